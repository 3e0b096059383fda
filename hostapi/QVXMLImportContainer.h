#pragma once

#include "HostApiExport.h"
#include "QVXMLElement.h"
#include "XMLImportContext.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace hostapi {

class TQVXMLImportProcessor;
class TQVXMLWriter;

// One part of the host's XML exchange: the element name under the document's root.
struct HOSTAPI_EXPORT TQVXMLImportPart {
    QString Id; // element name, e.g. "register_service"
    QString Caption;
    bool Exportable = false;
    bool ExportByDefault = false;
};

// A module's contribution to the host's XML import and export: its parts and the events that
// import and export them. Registered with the host from AfterStartup to BeforeUnInit (and at most
// until it is destroyed). The events run on the thread of the import, inside its transaction. The
// part data of OnBeginPart is the part element's name, attributes and position (its items follow,
// one OnImportData each).
class HOSTAPI_EXPORT TQVXMLImportContainer : public QObject {
    Q_OBJECT

public:
    using TBeginPartEvent = std::function<void(TQVXMLImportContainer* Sender, const TQVXMLImportPart& APart,
                                               TQVXMLImportProcessor& AProcessor,
                                               const TQVXMLElement& APartData, TXMLImportContext& AContext)>;
    using TImportDataEvent =
        std::function<void(TQVXMLImportContainer* Sender, const TQVXMLImportPart& APart, const QString& AName,
                           const TQVXMLElement& AData, TXMLImportContext& AContext)>;
    using TEndPartEvent = std::function<void(TQVXMLImportContainer* Sender, const TQVXMLImportPart& APart,
                                             TQVXMLImportProcessor& AProcessor, TXMLImportContext& AContext)>;
    using TExportDataEvent = std::function<void(TQVXMLImportContainer* Sender, const TQVXMLImportPart& APart,
                                                TQVXMLWriter& AWriter)>;

    explicit TQVXMLImportContainer(QObject* AOwner = nullptr);
    ~TQVXMLImportContainer() override;

    // The part id must be an XML name not used by another part of this container.
    void AddPart(const QString& AId, const QString& ACaption, bool AExportable, bool AExportByDefault);
    QList<TQVXMLImportPart> Parts() const { return FParts; }

    TBeginPartEvent OnBeginPart;
    TImportDataEvent OnImportData;
    TEndPartEvent OnEndPart;
    TExportDataEvent OnExportData;

    // Registers with the host's import; BeforeUnInit unregisters and waits for an import in flight
    // that uses the container.
    void AfterStartup();
    void BeforeUnInit();
    bool IsRegistered() const { return FRegistered; }

private:
    QList<TQVXMLImportPart> FParts;
    bool FRegistered = false;
};

} // namespace hostapi
