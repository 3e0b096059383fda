#include "PluginModuleRegistration.h"

#include "dmPluginRegisterServerMenus.h"
#include "dmPluginRegisterServiceMain.h"
#include "frmPluginRegisterServiceConfig.h"
#include "frmPluginRegisterServiceLogFile.h"

namespace registerservice {

QString PluginModuleGUID() {
    return QStringLiteral("{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10}");
}

hostapi::TPluginDataModuleClassList& PluginDataModuleClasses() {
    static hostapi::TPluginDataModuleClassList classes;
    return classes;
}

hostapi::TPluginFormClassList& PluginFormClasses() {
    static hostapi::TPluginFormClassList classes;
    return classes;
}

// How a class registers: add one call here, in the order the host shall create the data modules
// and list the windows, and include the class's header:
//   data module: hostapi::TClientPluginBase::RegisterPluginDataModule<TdmX>(PluginDataModuleClasses());
//   window:      hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmX>(PluginFormClasses());
// The class declares Q_OBJECT; a data module's constructor takes (hostapi::TClientPluginBase* AOwner),
// a window's (QWidget* AParent). Then add its name to the expected classes of the module in
// tests/modules/tst_ModuleRegistration.cpp. The calls are explicit (no registrar objects), so a class
// is registered whether the module is linked as a library or into a test, in a fixed order.
void RegisterModuleClasses() {
    hostapi::TClientPluginBase::RegisterPluginDataModule<TdmPluginRegisterServiceMain>(
        PluginDataModuleClasses());
    hostapi::TClientPluginBase::RegisterPluginDataModule<TdmPluginRegisterServerMenus>(
        PluginDataModuleClasses());
    hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmPluginRegisterServiceConfig>(
        PluginFormClasses());
    hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmPluginRegisterServiceLogFile>(
        PluginFormClasses());
}

} // namespace registerservice
