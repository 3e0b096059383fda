#include "PluginBaseDataModule.h"

#include "ClientPluginBase.h"
#include "QVMainInterface.h"
#include "VRNLang.h"

namespace hostapi {

IExtFunc::~IExtFunc() = default;

TPluginBaseDataModule::TPluginBaseDataModule(TClientPluginBase* AOwner)
    : FPluginOwner(AOwner), FLanguage(TVRNLang::CurrentLanguage()) {}

TPluginBaseDataModule::~TPluginBaseDataModule() = default;

QString TPluginBaseDataModule::PluginGUID() const {
    return FPluginOwner ? FPluginOwner->PluginGUID() : QString();
}

void TPluginBaseDataModule::Init() {}

void TPluginBaseDataModule::AfterStartup() {}

void TPluginBaseDataModule::SetLanguage(const QString& ALangName) {
    FLanguage = ALangName;
}

bool TPluginBaseDataModule::CanShutDown() {
    return true;
}

void TPluginBaseDataModule::BeforeUnInit() {}

void TPluginBaseDataModule::UnInit() {}

int TPluginBaseDataModule::RunningThreadCount() const {
    return 0;
}

IExtFunc* TPluginBaseDataModule::GetExtFunc(const QString& AIID) {
    if (!FSelfIsExtFunc)
        return nullptr;
    return DoOnGetExtFunc(AIID);
}

IExtFunc* TPluginBaseDataModule::DoOnGetExtFunc(const QString& AIID) {
    Q_UNUSED(AIID);
    return nullptr;
}

TDBFieldSchema& TPluginBaseDataModule::GetDBFieldSchema() const {
    return TQVMainInterface::GetDBFieldSchema();
}

ISettingsStore& TPluginBaseDataModule::GetSaveSettings() const {
    return TQVMainInterface::GetSaveSettings();
}

IScreenService& TPluginBaseDataModule::GetScreen() const {
    return TQVMainInterface::GetScreen();
}

} // namespace hostapi
