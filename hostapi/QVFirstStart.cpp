#include "QVFirstStart.h"

#include "ClientPluginBase.h"
#include "QVException.h"

#include <algorithm>

namespace hostapi {

TQVFirstStart::TQVFirstStart(QObject* AOwner) : TPluginBaseComponent(AOwner) {}

TQVFirstStart::~TQVFirstStart() = default;

int TQVFirstStart::Add(TQVFirstStartItem AItem) {
    QV_ASSERT(!AItem.Title.isEmpty());
    AItem.Index = static_cast<int>(FItems.size());
    FItems.append(std::move(AItem));
    return FItems.last().Index;
}

void TQVFirstStart::SetItemTexts(int AIndex, const QString& ATitle, const QString& ADescription) {
    QV_ASSERT(AIndex >= 0 && AIndex < FItems.size());
    QV_ASSERT(!ATitle.isEmpty());
    FItems[AIndex].Title = ATitle;
    FItems[AIndex].Description = ADescription;
}

void TQVFirstStart::Link(int AIndex) {
    QV_ASSERT(AIndex >= 0 && AIndex < FItems.size());
    QV_ASSERT(static_cast<bool>(OnLink));
    const TQVFirstStartItem item = FItems.at(AIndex); // OnLink may change the steps
    OnLink(this, item);
}

QList<TQVFirstStart*> TQVFirstStart::ByPriority(QList<TQVFirstStart*> AComponents) {
    std::stable_sort(
        AComponents.begin(), AComponents.end(),
        [](const TQVFirstStart* a, const TQVFirstStart* b) { return a->Priority() < b->Priority(); });
    return AComponents;
}

QList<TQVFirstStart*> TQVFirstStart::ByPriority(const QList<TClientPluginBase*>& APlugins) {
    QList<TQVFirstStart*> components;
    for (const TClientPluginBase* plugin : APlugins)
        components += plugin->FindComponents<TQVFirstStart>();
    return ByPriority(std::move(components));
}

} // namespace hostapi
