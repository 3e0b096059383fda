#pragma once

#include "HostApiExport.h"
#include "QVXMLExport.h"
#include "XMLImportContext.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

namespace hostapi {

class TQVXMLImportContainer;

// The host's XML import and export. A document's root element is RootElement; each child of the
// root is a part, named by its element name and carrying its attributes; the part's children are
// its items (see the README).
class HOSTAPI_EXPORT TQVXMLImport {
public:
    static constexpr const char* RootElement = "qvdata";
    static constexpr qint64 MaxDocumentBytes = 64ll << 20;

    // Imports a document on the calling thread, in one transaction of its database connection: each
    // part that a registered container knows goes to it (begin part, each item in document order,
    // end part); other parts are skipped. The document is checked whole first (a malformed one
    // reaches no container), then read as a stream: each item is handed on as it is read, so only
    // one item is held at a time; containers sharing a part get each event in turn. Any failure
    // rolls everything back and answers False with the text in AErrorText. AContext (may be
    // nullptr) carries the run's variables to the caller.
    static bool Import(const QByteArray& AData, QString& AErrorText, TXMLImportContext* AContext = nullptr);

    // Writes a document (UTF-8) with the given parts (each exportable part of a registered container
    // whose id is listed); False with the text in AErrorText on failure. The root element carries
    // the installation's source identification and the settings' description.
    static bool Export(QIODevice& ADevice, const QStringList& APartIds, QString& AErrorText,
                       const TQVXMLExportSettings& ASettings = {});

    // The containers registered now, in registration order.
    static QList<TQVXMLImportContainer*> Containers();

private:
    friend class TQVXMLImportContainer;
    static void Register(TQVXMLImportContainer* AContainer);
    static void Unregister(TQVXMLImportContainer* AContainer);
};

} // namespace hostapi
