#include "PluginModuleRegistration.h"

#include "dmPluginEmailMarketingMain.h"

namespace emailmarketing {

QString PluginModuleGUID() {
    return QStringLiteral("{57C4F894-231F-4568-AA61-80DEB7BA4687}");
}

hostapi::TPluginDataModuleClassList& PluginDataModuleClasses() {
    static hostapi::TPluginDataModuleClassList classes;
    return classes;
}

hostapi::TPluginFormClassList& PluginFormClasses() {
    static hostapi::TPluginFormClassList classes;
    return classes;
}

// How a data module registers: add one call here, in the order the host shall create the data
// modules, and include the class's header:
//   hostapi::TClientPluginBase::RegisterPluginDataModule<TdmX>(PluginDataModuleClasses());
// The class declares Q_OBJECT; its constructor takes (hostapi::TClientPluginBase* AOwner). Then add its
// name to the expected classes of the module in tests/modules/tst_ModuleRegistration.cpp. The calls
// are explicit (no registrar objects), so a class is registered whether the module is linked as a
// library or into a test, in a fixed order. Windows register in the module entry
// (PluginModuleEntry.cpp), as the engine does not link them.
void RegisterModuleClasses() {
    hostapi::TClientPluginBase::RegisterPluginDataModule<TdmPluginEmailMarketingMain>(
        PluginDataModuleClasses());
}

} // namespace emailmarketing
