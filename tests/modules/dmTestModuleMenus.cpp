#include "dmTestModuleMenus.h"

#include "QVPluginFormManager.h"
#include "TestModuleLog.h"

namespace testmodule {

TdmTestModuleMenus::TdmTestModuleMenus(hostapi::TClientPluginBase* AOwner)
    : hostapi::TPluginBaseDataModule(AOwner) {
    auto* formManager = new hostapi::TQVPluginFormManager(this);
    formManager->SetModuleTitle(QStringLiteral("Testmodul Menüs"));
    formManager->Add({QStringLiteral("TfrmTestModuleSettings"), QStringLiteral("Konfiguration"),
                      QStringLiteral("Testmodul"), hostapi::pmtMainMenu, 7, hostapi::pfldTemporary});
    Record(QStringLiteral("TdmTestModuleMenus.Created"));
}

TdmTestModuleMenus::~TdmTestModuleMenus() {
    Record(QStringLiteral("TdmTestModuleMenus.Destroyed"));
}

void TdmTestModuleMenus::Init() {
    Record(QStringLiteral("TdmTestModuleMenus.Init"));
}

void TdmTestModuleMenus::AfterStartup() {
    Record(QStringLiteral("TdmTestModuleMenus.AfterStartup"));
}

void TdmTestModuleMenus::SetLanguage(const QString& ALangName) {
    hostapi::TPluginBaseDataModule::SetLanguage(ALangName);
    Record(QStringLiteral("TdmTestModuleMenus.SetLanguage ") + ALangName);
}

bool TdmTestModuleMenus::CanShutDown() {
    Record(QStringLiteral("TdmTestModuleMenus.CanShutDown"));
    return true;
}

void TdmTestModuleMenus::BeforeUnInit() {
    Record(QStringLiteral("TdmTestModuleMenus.BeforeUnInit"));
}

void TdmTestModuleMenus::UnInit() {
    Record(QStringLiteral("TdmTestModuleMenus.UnInit"));
}

} // namespace testmodule
