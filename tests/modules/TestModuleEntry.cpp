#include "ClientPluginBase.h"
#include "TestModuleControl.h"
#include "dmTestModuleMain.h"
#include "dmTestModuleMenus.h"
#include "frmTestModuleMain.h"
#include "frmTestModuleSettings.h"

namespace testmodule {

namespace {

const char ModuleAnchor = 0;

hostapi::TPluginDataModuleClassList& PluginDataModuleClasses() {
    static hostapi::TPluginDataModuleClassList classes;
    return classes;
}

hostapi::TPluginFormClassList& PluginFormClasses() {
    static hostapi::TPluginFormClassList classes;
    return classes;
}

void RegisterModuleClasses() {
    hostapi::TClientPluginBase::RegisterPluginDataModule<TdmTestModuleMain>(PluginDataModuleClasses());
    hostapi::TClientPluginBase::RegisterPluginDataModule<TdmTestModuleMenus>(PluginDataModuleClasses());
    hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmTestModuleMain>(PluginFormClasses());
    hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmTestModuleSettings>(PluginFormClasses());
}

} // namespace

} // namespace testmodule

extern "C" Q_DECL_EXPORT hostapi::TClientPluginBase* InitProc() {
    testmodule::RegisterModuleClasses();
    return new hostapi::TClientPluginBaseGUI(
        QString::fromLatin1(testmodule::TestModuleGUID),
        hostapi::TClientPluginBase::ModuleInstance(&testmodule::ModuleAnchor),
        testmodule::PluginDataModuleClasses(), testmodule::PluginFormClasses(), true);
}
