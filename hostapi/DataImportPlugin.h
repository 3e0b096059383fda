#pragma once

#include "HostApiExport.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace hostapi {

// The host's data-import plug-in: reads exchange files into the database and writes them from it
// through the registered XML import containers (see TQVXMLImport).
class HOSTAPI_EXPORT TDataImportPlugin {
public:
    virtual ~TDataImportPlugin();

    // Writes the listed parts into AFileName (UTF-8). The file is replaced only by a complete
    // document; on failure it is left as it was and the answer is False with the text in AErrorText.
    virtual bool ExportToFile(const QString& AFileName, const QStringList& AParts, QString& AErrorText,
                              const QVariantMap& AParams, const QString& ADescription);

    // Imports the file (in the encoding it declares; UTF-8 without a declaration) in one transaction;
    // False with the text in AErrorText when anything failed, and then nothing is imported.
    virtual bool ImportFile(const QString& AFileName, QString& AErrorText);

    // The host's export option: only records made in this installation, none that were imported.
    bool OwnRecordsOnly() const { return FOwnRecordsOnly; }
    void SetOwnRecordsOnly(bool value) { FOwnRecordsOnly = value; }

private:
    bool FOwnRecordsOnly = false;
};

} // namespace hostapi
