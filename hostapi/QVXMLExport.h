#pragma once

#include "HostApiExport.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariantMap>
#include <QXmlStreamWriter>

#include <functional>

namespace hostapi {

class TQVRecordSet;

// What one export run was asked for.
struct HOSTAPI_EXPORT TQVXMLExportSettings {
    QVariantMap Params;          // parameters for the parts, e.g. "em_template_dbid"
    bool OwnRecordsOnly = false; // only records made here (empty "impsource"), none that were imported
    QString Description;         // the document's description; may be empty

    // The parameter as an integer; ADefault when it is absent or not an integer.
    qint64 IntegerParam(const QString& AName, qint64 ADefault = -1) const;
};

// The XML stream of one export with the settings of the run and the installation's source
// identification, which every exported item carries.
class HOSTAPI_EXPORT TQVXMLWriter : public QXmlStreamWriter {
public:
    TQVXMLWriter(QIODevice* ADevice, TQVXMLExportSettings ASettings, QString ASourceIdent);

    const TQVXMLExportSettings& Settings() const { return FSettings; }
    QString SourceIdent() const { return FSourceIdent; }

private:
    TQVXMLExportSettings FSettings;
    QString FSourceIdent;
};

// One item being written: its attributes and its child elements (name and text), in order.
struct HOSTAPI_EXPORT TQVXMLItem {
    QString Name;
    QList<QPair<QString, QString>> Attributes;
    QList<QPair<QString, QString>> Elements;

    void Clear();
    void AddAttribute(const QString& AName, const QString& AValue) { Attributes.append({AName, AValue}); }
    void AddElement(const QString& AName, const QString& AText) { Elements.append({AName, AText}); }
    // Writes the item as one element. A text with a character that XML 1.0 cannot carry (most
    // control characters) raises EQVException naming the item and the field: nothing is dropped.
    void Write(QXmlStreamWriter& AWriter) const;
};

// The points at which the record writer calls back for each record.
enum TXMLCallBackType : int {
    xcbBeforeItem = 1, // before the record's item is written
    xcbAfterItem = 2   // after the record's item is closed: further items may follow it
};

struct HOSTAPI_EXPORT TQVXMLRecordWriteOptions {
    QString ItemName;        // element name of each record's item
    QString SourceAttribute; // attribute for the writer's source identification
    QString IdentAttribute;  // attribute for the record's "globalrecuid"
    int ProgressHandle = -1; // progress entry to update (main thread), or -1
};

// Writes the records of an exchange view ("<table>_qvxml") as items: the source and ident
// attributes, then every field of the view but "id", "globalrecuid" and "impsource" with a value:
// numbers and date-times (ISO 8601, UTC) as attributes, texts as child elements, bytes as child
// elements in base64. A record without a "globalrecuid" gets one first, stored in its table, so that
// importing the document again updates instead of duplicating.
class HOSTAPI_EXPORT TQVXMLRecordWriter {
public:
    using TRecordCallback = std::function<void(TQVRecordSet& ARecords, int ARecNo, TQVXMLWriter& AWriter,
                                               TXMLCallBackType AType)>;

    // Writes every record of the open record set from the first; answers their number.
    static int WriteRecords(TQVXMLWriter& AWriter, TQVRecordSet& ARecords,
                            const TQVXMLRecordWriteOptions& AOptions, const TRecordCallback& ACallback = {});

    // The "globalrecuid" of the record AId of a table or exchange view; a record without one gets a
    // new one, stored. Raises EQVException when there is no such record.
    static QString GlobalRecordID(const QString& ASchema, qint64 AId);
};

// The installation's source identification: made once (a UUID) and kept in the settings store.
HOSTAPI_EXPORT QString XMLExportSourceIdent();

} // namespace hostapi
