#pragma once

#include "HostApiExport.h"
#include "IRegisterServicePartHandler.h"
#include "QVXMLImportProcessor.h"

namespace hostapi {

// The host's own register-service part handler: registrations ("qv_registration" items) stored in
// the host table "qvregistrations", which is also its log. An item:
//   <qv_registration source="S" ident="42" email="a@b.example" name="…" company="…"
//                    registered="2026-01-31T10:00:00Z"><message>…</message></qv_registration>
// A registration is found again by source and ident, else by its e-mail address. Imports on
// several threads at once each use their own processor.
class HOSTAPI_EXPORT TQVRegistrationPartHandler : public IRegisterServicePartHandler {
public:
    QString PartName() const override;
    void ImportItem(const QString& AName, const TQVXMLElement& AData) override;
    void BeginImport(TQVXMLImportProcessor& AProcessor, const TQVXMLElement& AData) override;
    void EndImport() override;
    bool HasConfigForm() const override { return false; }
    IRegisterServiceConfigForm* CreateConfigForm(QWidget* AParent) override;
    QString LogCaption() const override;
    QString LogSchema() const override;

    static TQVXMLRecordTarget Target();
    // Registers one instance with the host's part handlers (the host does at start); later calls do
    // nothing.
    static void RegisterWithHost();
};

} // namespace hostapi
