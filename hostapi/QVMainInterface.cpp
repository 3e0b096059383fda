#include "QVMainInterface.h"

#include "DBFieldSchema.h"
#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "LocalSettingsStorage.h"
#include "MessageSink.h"
#include "ModuleLoader.h"
#include "ProgressService.h"
#include "QVException.h"
#include "ScreenService.h"
#include "SettingsStore.h"
#include "UserAccess.h"

#include <atomic>

namespace hostapi {

namespace {

std::atomic<ISettingsStore*> GSaveSettings{nullptr};
std::atomic<IScreenService*> GScreen{nullptr};
std::atomic<const ModuleLoader*> GModuleLoader{nullptr};

} // namespace

TDBFieldSchema& TQVMainInterface::GetDBFieldSchema() {
    return TDBFieldSchema::Instance();
}

ISettingsStore& TQVMainInterface::GetSaveSettings() {
    ISettingsStore* store = GSaveSettings.load();
    return store ? *store : SettingsStore::Instance();
}

void TQVMainInterface::SetSaveSettings(ISettingsStore* AStore) {
    GSaveSettings.store(AStore);
}

std::shared_ptr<ILocalSettingsStorage> TQVMainInterface::GetLocalSettingsStorage() {
    return std::make_shared<LocalSettingsStorage>(GetSaveSettings());
}

IScreenService& TQVMainInterface::GetScreen() {
    IScreenService* screen = GScreen.load();
    if (!screen)
        throw EQVException(QStringLiteral("The host has no screen service"));
    return *screen;
}

void TQVMainInterface::SetScreen(IScreenService* AScreen) {
    GScreen.store(AScreen);
}

IDialogService& TQVMainInterface::GetDialogs() {
    return DialogService::Current();
}

IExceptionDisplay& TQVMainInterface::GetExceptionDisplay() {
    return TVRNExceptionUtils::Current();
}

IMessageSink& TQVMainInterface::GetMessageSink() {
    return MessageSink::Current();
}

IProgressService& TQVMainInterface::GetProgress() {
    return ProgressService::Current();
}

QString TQVMainInterface::UserName() {
    return UserAccess::UserName();
}

qint64 TQVMainInterface::UserNumber() {
    return UserAccess::UserNumber();
}

void TQVMainInterface::SetModuleLoader(const ModuleLoader* ALoader) {
    GModuleLoader.store(ALoader);
}

const ModuleLoader* TQVMainInterface::GetModuleLoader() {
    return GModuleLoader.load();
}

TClientPluginBase* TQVMainInterface::FindPlugin(const QString& APluginGUID) {
    const ModuleLoader* loader = GModuleLoader.load();
    return loader ? loader->PluginByGUID(APluginGUID) : nullptr;
}

} // namespace hostapi
