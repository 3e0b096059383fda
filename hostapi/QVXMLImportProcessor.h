#pragma once

#include "HostApiExport.h"
#include "QVXMLElement.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariantList>

namespace hostapi {

// Where the items of one item type go: a table of the host database that carries the columns
// "impsource" and "globalrecuid" (the exporting installation and the item's identifier there), or
// an exchange view of such a table ("<table>_qvxml"): then only the view's fields are accepted and
// the records are written to its table.
struct HOSTAPI_EXPORT TQVXMLRecordTarget {
    QString ItemType;        // item element name, e.g. "em_emailtemplate_item"
    QString Schema;          // target table
    QString SourceAttribute; // attribute holding the source identification
    QString IdentAttribute;  // attribute holding the item's identifier at the source
    QString MatchField;      // field that finds a local record when source and ident do not; may be empty
    // Items of one document are distinct records: the matching field finds only records that existed
    // before the import and that no earlier item of it has written, and the same source and ident
    // twice in one document fails the import.
    bool DistinctItems = false;
    // The reference field that links an item to its parent record, and the parent's item type: then
    // every item names its parent by "<ParentField>--ref" (a raw local id is never taken).
    QString ParentField = {};
    QString ParentItemType = {};
};

// Writes imported items as records, inside the import's transaction on the calling thread.
//
// An item's fields are its attributes (but the source and ident attributes) and its child elements
// (their text; base64 for binary fields), named as the target's columns. An attribute "X--ref"
// with an item type as value makes field X a cross reference: X holds the referenced item's
// identifier, which is resolved by the item's source to the local id of the referenced record
// (imported in this run, or earlier). The record is found by source and ident (an item of this
// installation's own source finds the records made here, whose source is empty), else by the
// matching field; both lookups are scoped to the referenced parent records, so an "image001.png"
// of one template never overwrites another template's. Found: updated; else inserted. A reference
// resolves to an item earlier in the document or to a stored record, never to a later item. A field
// is text only: a field element holding elements (markup) fails the item.
class HOSTAPI_EXPORT TQVXMLImportProcessor {
public:
    // Makes the target known, so that references to its item type resolve against its table.
    void RegisterTarget(const TQVXMLRecordTarget& ATarget);

    // Writes the item; answers the record's local id. EQVException names the item and its line.
    qint64 ImportRecord(const TQVXMLElement& AItem, const TQVXMLRecordTarget& ATarget);

    // The id of the last record inserted for that item type in this run; -1 when none.
    qint64 LastInsertID(const QString& AItemType) const { return FLastInsert.value(AItemType, -1); }
    int InsertedCount() const { return FInserted; }
    int UpdatedCount() const { return FUpdated; }

    // The table that records of the schema are written to: itself, or an exchange view's table.
    static QString TableOf(const QString& ASchema);

private:
    qint64 ResolveReference(const QString& AItemType, const QString& ASource, const QString& AIdent) const;
    qint64 FindRecord(const QString& ASchema, const QString& AWhere, QVariantList ABinds) const;
    // Whether the record AId of ATable carries that source and ident.
    bool IsRecordOf(qint64 AId, const QString& ATable, const QString& ASource, const QString& AIdent) const;
    // The first record (by id) that the condition finds and this run has not written; -1 when none.
    qint64 FindUnwrittenRecord(const QString& ATable, const QString& AWhere, QVariantList ABinds) const;
    // The source as stored: empty for the own installation's source identification.
    QString LocalSource(const QString& ASource);

    QString FOwnSource;                          // read on first use
    QHash<QString, TQVXMLRecordTarget> FTargets; // by item type
    QHash<quint64, qint64> FImported;            // digest of item type, source, ident -> local id
    QHash<QString, QSet<qint64>> FWritten;       // by table: records distinct items of this run wrote
    QHash<QString, qint64> FLastInsert;          // by item type
    int FInserted = 0;
    int FUpdated = 0;
};

} // namespace hostapi
