#include "DataImportPlugin.h"

#include "QVException.h"
#include "QVXMLImport.h"

#include <QFile>
#include <QSaveFile>

namespace hostapi {

TDataImportPlugin::~TDataImportPlugin() = default;

bool TDataImportPlugin::ExportToFile(const QString& AFileName, const QStringList& AParts, QString& AErrorText,
                                     const QVariantMap& AParams, const QString& ADescription) {
    QSaveFile file(AFileName);
    if (!file.open(QIODevice::WriteOnly)) {
        AErrorText = QStringLiteral("Cannot write '%1': %2").arg(AFileName, file.errorString());
        return false;
    }
    TQVXMLExportSettings settings;
    settings.Params = AParams;
    settings.OwnRecordsOnly = FOwnRecordsOnly;
    settings.Description = ADescription;
    if (!TQVXMLImport::Export(file, AParts, AErrorText, settings)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        AErrorText = QStringLiteral("Cannot write '%1': %2").arg(AFileName, file.errorString());
        return false;
    }
    return true;
}

bool TDataImportPlugin::ImportFile(const QString& AFileName, QString& AErrorText) {
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly)) {
        AErrorText = QStringLiteral("Cannot read '%1': %2").arg(AFileName, file.errorString());
        return false;
    }
    if (file.size() > TQVXMLImport::MaxDocumentBytes) {
        AErrorText = QStringLiteral("'%1' is larger than %2 MiB")
                         .arg(AFileName)
                         .arg(TQVXMLImport::MaxDocumentBytes >> 20);
        return false;
    }
    const QByteArray data = file.read(TQVXMLImport::MaxDocumentBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        AErrorText = QStringLiteral("Cannot read '%1': %2").arg(AFileName, file.errorString());
        return false;
    }
    return TQVXMLImport::Import(data, AErrorText);
}

} // namespace hostapi
