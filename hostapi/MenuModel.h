#pragma once

#include "HostApiExport.h"
#include "QVPluginFormManager.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace hostapi {

class TClientPluginBase;

// One window in the host's menus.
struct HOSTAPI_EXPORT TMenuEntry {
    QString PluginGUID;  // the module that registers the window
    QString ModuleTitle; // of the form manager that declared it
    TQVPluginFormManagerItem Item;
};

struct HOSTAPI_EXPORT TMenuSection {
    QString Caption;
    QList<TMenuEntry> Entries; // in the order of declaration
};

// The host's menus, merged from the form managers of all modules: sections in the order they first
// appear, each with its entries. A window (module GUID and class name) declared by several data
// modules appears once, as first declared. The model keeps its own copies of the texts and may
// outlive the modules.
class HOSTAPI_EXPORT MenuModel {
public:
    // Adds the entries of AManager, which belongs to module APluginGUID.
    void AddFormManager(const QString& APluginGUID, const TQVPluginFormManager& AManager);
    // Adds the form managers of APlugin's data modules. Every entry must name a window class that the
    // module registers; EQVException otherwise.
    void AddPlugin(const TClientPluginBase& APlugin);
    static MenuModel FromPlugins(const QList<TClientPluginBase*>& APlugins);

    const QList<TMenuSection>& Sections() const { return FSections; }
    QStringList SectionCaptions() const;
    // The entries of section ACaption; empty when there is no such section.
    QList<TMenuEntry> Entries(const QString& ASection) const;

private:
    bool Contains(const QString& APluginGUID, const QString& AClassName) const;

    QList<TMenuSection> FSections;
};

} // namespace hostapi
