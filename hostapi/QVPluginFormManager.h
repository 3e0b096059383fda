#pragma once

#include "HostApiExport.h"
#include "PluginBaseComponent.h"

#include <QList>
#include <QString>

namespace hostapi {

// Where the host puts a window's menu entry: its main menu (the default) or the work menu.
enum TPluginMenuType : int { pmtMainMenu = 0, pmtWorkMenu = 1 };

// How the host keeps a window: pfldPermanent (the default) creates it on first opening and keeps it
// when the user closes it; pfldTemporary destroys it on close and creates it anew on the next opening.
enum TPluginFormLoading : int { pfldPermanent = 0, pfldTemporary = 1 };

// One window a data module declares to the host, with its menu entry.
struct HOSTAPI_EXPORT TQVPluginFormManagerItem {
    QString PluginFormClassName; // a window class registered by the module
    QString MenuSection;
    QString MenuTitle;
    TPluginMenuType MenuType = pmtMainMenu;
    int GlobalMenuIconIndex = -1; // -1: no icon
    TPluginFormLoading Loading = pfldPermanent;
};

// A data module's declaration of the module's windows and their menu entries. Owned by the data
// module (QObject child); the host builds its menus from the form managers of all data modules.
class HOSTAPI_EXPORT TQVPluginFormManager : public TPluginBaseComponent {
    Q_OBJECT

public:
    explicit TQVPluginFormManager(QObject* AOwner);
    ~TQVPluginFormManager() override;

    QString ModuleTitle() const { return FModuleTitle; }
    void SetModuleTitle(const QString& AValue) { FModuleTitle = AValue; }

    // Answers the new item's index. Class name, section and title must not be empty (EQVAssertion).
    int Add(const TQVPluginFormManagerItem& AItem);
    const QList<TQVPluginFormManagerItem>& Items() const { return FItems; }

private:
    QString FModuleTitle;
    QList<TQVPluginFormManagerItem> FItems;
};

} // namespace hostapi
