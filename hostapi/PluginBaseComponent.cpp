#include "PluginBaseComponent.h"

#include "PluginBaseDataModule.h"
#include "QVMainInterface.h"
#include "UserAccess.h"

namespace hostapi {

TPluginBaseComponent::TPluginBaseComponent(QObject* AOwner) : QObject(AOwner) {}

TPluginBaseComponent::~TPluginBaseComponent() = default;

TPluginBaseDataModule* TPluginBaseComponent::DataModule() const {
    for (QObject* owner = parent(); owner; owner = owner->parent()) {
        if (auto* dataModule = qobject_cast<TPluginBaseDataModule*>(owner))
            return dataModule;
    }
    return nullptr;
}

TClientPluginBase* TPluginBaseComponent::PluginOwner() const {
    TPluginBaseDataModule* dataModule = DataModule();
    return dataModule ? dataModule->PluginOwner() : nullptr;
}

QString TPluginBaseComponent::UserName() const {
    return UserAccess::UserName();
}

qint64 TPluginBaseComponent::UserNumber() const {
    return UserAccess::UserNumber();
}

TDBFieldSchema& TPluginBaseComponent::GetDBFieldSchema() const {
    return TQVMainInterface::GetDBFieldSchema();
}

ISettingsStore& TPluginBaseComponent::GetSaveSettings() const {
    return TQVMainInterface::GetSaveSettings();
}

IScreenService& TPluginBaseComponent::GetScreen() const {
    return TQVMainInterface::GetScreen();
}

} // namespace hostapi
