#include "QVPluginFormManager.h"

#include "QVException.h"

namespace hostapi {

TQVPluginFormManager::TQVPluginFormManager(QObject* AOwner) : TPluginBaseComponent(AOwner) {}

TQVPluginFormManager::~TQVPluginFormManager() = default;

int TQVPluginFormManager::Add(const TQVPluginFormManagerItem& AItem) {
    QV_ASSERT(!AItem.PluginFormClassName.isEmpty());
    QV_ASSERT(!AItem.MenuSection.isEmpty());
    QV_ASSERT(!AItem.MenuTitle.isEmpty());
    FItems.append(AItem);
    return static_cast<int>(FItems.size() - 1);
}

} // namespace hostapi
