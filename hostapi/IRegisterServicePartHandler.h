#pragma once

#include "HostApiExport.h"
#include "QVXMLElement.h"

#include <QString>

class QWidget;

namespace hostapi {

class TQVXMLImportProcessor;

// A part handler's configuration form, shown on a tab of its own in the register service's settings
// window. The window places the form on the tab (PlaceOn with AFill True), captions the tab with
// Caption(), then calls SetFormVisible(True). Destroying the interface releases the form; the window
// destroys it before the tab.
class HOSTAPI_EXPORT IRegisterServiceConfigForm {
public:
    virtual ~IRegisterServiceConfigForm();
    // Makes ASheet the form's parent; AFill: the form fills the sheet.
    virtual void PlaceOn(QWidget* ASheet, bool AFill) = 0;
    virtual QString Caption() const = 0;
    virtual QWidget* Form() = 0;
    virtual void SetFormVisible(bool AVisible) = 0;
};

// A host module's share of the register service's data: the items whose element name equals
// PartName. The register service calls BeginImport, ImportItem for each such item and EndImport on
// the import's thread, inside its transaction; an exception rolls the whole import back.
class HOSTAPI_EXPORT IRegisterServicePartHandler {
public:
    virtual ~IRegisterServicePartHandler();

    virtual QString PartName() const = 0;
    virtual void ImportItem(const QString& AName, const TQVXMLElement& AData) = 0;
    // AData: the "register_service" part element (its attributes, e.g. "fetch").
    virtual void BeginImport(TQVXMLImportProcessor& AProcessor, const TQVXMLElement& AData) = 0;
    virtual void EndImport() = 0;
    virtual bool HasConfigForm() const = 0;
    // nullptr when the handler has none. The caller owns the answer.
    virtual IRegisterServiceConfigForm* CreateConfigForm(QWidget* AParent) = 0;
    // Caption and host table of the handler's log; empty when it keeps none.
    virtual QString LogCaption() const = 0;
    virtual QString LogSchema() const = 0;
};

} // namespace hostapi
