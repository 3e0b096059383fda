#include "QVXMLImport.h"

#include "Database.h"
#include "HostApiLog.h"
#include "QVException.h"
#include "QVXMLImportContainer.h"
#include "QVXMLImportProcessor.h"
#include "QVXMLStreamReader.h"

#include <QIODevice>
#include <QMutex>
#include <QReadWriteLock>
#include <QXmlStreamWriter>

namespace hostapi {

namespace {

// Imports and exports read the registered containers for their whole run; unregistering waits
// for them, so no container is used after its BeforeUnInit.
QReadWriteLock& RegistryLock() {
    static QReadWriteLock lock(QReadWriteLock::Recursive);
    return lock;
}

QList<TQVXMLImportContainer*>& Registry() {
    static QList<TQVXMLImportContainer*> containers;
    return containers;
}

void ImportDocument(const QByteArray& AData, TXMLImportContext& AContext) {
    if (AData.size() > TQVXMLImport::MaxDocumentBytes)
        throw EQVException(QStringLiteral("The XML document is larger than %1 MiB (%2 bytes)")
                               .arg(TQVXMLImport::MaxDocumentBytes >> 20)
                               .arg(AData.size()));
    // A malformed or refused document reaches no container; then the items are dispatched as they
    // are read, so only one item is in memory at a time.
    TQVXMLStreamReader::Check(AData);
    TQVXMLStreamReader reader(AData);
    reader.NextElement();
    const TQVXMLElement root = reader.Head();
    if (root.Name != QLatin1String(TQVXMLImport::RootElement))
        throw EQVException(
            QStringLiteral("Not a data exchange document: the root element is '%1', expected '%2'")
                .arg(root.Name, QLatin1String(TQVXMLImport::RootElement)));
    TQVXMLImportProcessor processor;
    Transaction transaction;
    while (reader.NextElement()) {
        const TQVXMLElement partData = reader.Head();
        QList<QPair<TQVXMLImportContainer*, TQVXMLImportPart>> readers;
        for (TQVXMLImportContainer* container : Registry())
            for (const TQVXMLImportPart& part : container->Parts())
                if (part.Id == partData.Name)
                    readers.append({container, part});
        for (const auto& [container, part] : readers)
            if (container->OnBeginPart)
                container->OnBeginPart(container, part, processor, partData, AContext);
        while (reader.NextElement()) {
            const TQVXMLElement item = reader.ReadElement();
            for (const auto& [container, part] : readers)
                if (container->OnImportData)
                    container->OnImportData(container, part, item.Name, item, AContext);
        }
        for (const auto& [container, part] : readers)
            if (container->OnEndPart)
                container->OnEndPart(container, part, processor, AContext);
    }
    reader.Finish();
    transaction.Commit();
}

} // namespace

bool TQVXMLImport::Import(const QByteArray& AData, QString& AErrorText, TXMLImportContext* AContext) {
    TXMLImportContext ownContext;
    TXMLImportContext& context = AContext ? *AContext : ownContext;
    try {
        const QReadLocker locker(&RegistryLock());
        ImportDocument(AData, context);
        return true;
    } catch (const std::exception& e) {
        AErrorText = QString::fromUtf8(e.what());
    } catch (...) {
        AErrorText = QStringLiteral("Unknown error during the XML import");
    }
    qCWarning(lcHostApi) << "XML import rolled back:" << AErrorText;
    return false;
}

bool TQVXMLImport::Export(QIODevice& ADevice, const QStringList& APartIds, QString& AErrorText,
                          const TQVXMLExportSettings& ASettings) {
    try {
        const QReadLocker locker(&RegistryLock());
        // One transaction: the parts read one state of the data, and the global ids the export
        // gives to records are stored with it.
        Transaction transaction;
        TQVXMLWriter writer(&ADevice, ASettings, XMLExportSourceIdent());
        writer.setAutoFormatting(true);
        writer.writeStartDocument();
        writer.writeStartElement(QLatin1String(RootElement));
        writer.writeAttribute(QStringLiteral("source"), writer.SourceIdent());
        if (!ASettings.Description.isEmpty())
            writer.writeAttribute(QStringLiteral("description"), ASettings.Description);
        for (TQVXMLImportContainer* container : Registry())
            for (const TQVXMLImportPart& part : container->Parts())
                if (part.Exportable && APartIds.contains(part.Id) && container->OnExportData) {
                    writer.writeStartElement(part.Id);
                    container->OnExportData(container, part, writer);
                    writer.writeEndElement();
                }
        writer.writeEndElement();
        writer.writeEndDocument();
        if (writer.hasError())
            throw EQVException(
                QStringLiteral("The XML document could not be written: %1").arg(ADevice.errorString()));
        transaction.Commit();
        return true;
    } catch (const std::exception& e) {
        AErrorText = QString::fromUtf8(e.what());
    } catch (...) {
        AErrorText = QStringLiteral("Unknown error during the XML export");
    }
    qCWarning(lcHostApi) << "XML export failed:" << AErrorText;
    return false;
}

QList<TQVXMLImportContainer*> TQVXMLImport::Containers() {
    const QReadLocker locker(&RegistryLock());
    return Registry();
}

void TQVXMLImport::Register(TQVXMLImportContainer* AContainer) {
    const QWriteLocker locker(&RegistryLock());
    Registry().append(AContainer);
}

void TQVXMLImport::Unregister(TQVXMLImportContainer* AContainer) {
    const QWriteLocker locker(&RegistryLock());
    Registry().removeAll(AContainer);
}

} // namespace hostapi
