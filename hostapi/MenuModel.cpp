#include "MenuModel.h"

#include "ClientPluginBase.h"
#include "OwnedText.h"
#include "QVException.h"

#include <algorithm>
#include <iterator>

namespace hostapi {

namespace {

// The model may outlive the modules, whose texts (literals) live in their code: it keeps copies.
TMenuEntry OwnedEntry(const QString& APluginGUID, const QString& AModuleTitle,
                      const TQVPluginFormManagerItem& AItem) {
    TMenuEntry entry{OwnedCopy(APluginGUID), OwnedCopy(AModuleTitle), AItem};
    entry.Item.PluginFormClassName = OwnedCopy(AItem.PluginFormClassName);
    entry.Item.MenuSection = OwnedCopy(AItem.MenuSection);
    entry.Item.MenuTitle = OwnedCopy(AItem.MenuTitle);
    return entry;
}

} // namespace

void MenuModel::AddFormManager(const QString& APluginGUID, const TQVPluginFormManager& AManager) {
    for (const TQVPluginFormManagerItem& item : AManager.Items()) {
        if (Contains(APluginGUID, item.PluginFormClassName))
            continue;
        auto section = std::find_if(FSections.begin(), FSections.end(),
                                    [&](const TMenuSection& s) { return s.Caption == item.MenuSection; });
        if (section == FSections.end()) {
            FSections.append(TMenuSection{OwnedCopy(item.MenuSection), {}});
            section = std::prev(FSections.end());
        }
        section->Entries.append(OwnedEntry(APluginGUID, AManager.ModuleTitle(), item));
    }
}

void MenuModel::AddPlugin(const TClientPluginBase& APlugin) {
    const auto* gui = dynamic_cast<const TClientPluginBaseGUI*>(&APlugin);
    for (const TQVPluginFormManager* manager : APlugin.FindComponents<TQVPluginFormManager>()) {
        for (const TQVPluginFormManagerItem& item : manager->Items()) {
            if (!gui || gui->IndexOfPluginForm(item.PluginFormClassName) < 0)
                throw EQVException(
                    QStringLiteral("Module %1 declares the menu entry \"%2\" for window class %3, "
                                   "which it does not register")
                        .arg(APlugin.PluginGUID(), item.MenuTitle, item.PluginFormClassName));
        }
        AddFormManager(APlugin.PluginGUID(), *manager);
    }
}

MenuModel MenuModel::FromPlugins(const QList<TClientPluginBase*>& APlugins) {
    MenuModel model;
    for (const TClientPluginBase* plugin : APlugins)
        model.AddPlugin(*plugin);
    return model;
}

QStringList MenuModel::SectionCaptions() const {
    QStringList captions;
    for (const TMenuSection& section : FSections)
        captions.append(section.Caption);
    return captions;
}

QList<TMenuEntry> MenuModel::Entries(const QString& ASection) const {
    for (const TMenuSection& section : FSections) {
        if (section.Caption == ASection)
            return section.Entries;
    }
    return {};
}

bool MenuModel::Contains(const QString& APluginGUID, const QString& AClassName) const {
    for (const TMenuSection& section : FSections) {
        for (const TMenuEntry& entry : section.Entries) {
            if (entry.PluginGUID.compare(APluginGUID, Qt::CaseInsensitive) == 0 &&
                entry.Item.PluginFormClassName == AClassName)
                return true;
        }
    }
    return false;
}

} // namespace hostapi
