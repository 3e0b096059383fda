#pragma once

#include "PluginBaseDataModule.h"
#include "VRNLang.h"

class QAction;

namespace hostapi {
class TQVGlobalMenuClient;
class TQVPluginFormManager;
} // namespace hostapi

namespace registerservice {

// The register service module's second data module: the entry "Daten von Register-Service
// aktualisieren" in the host's global import menu, and the module's two windows once more (the host
// lists them once).
class TdmPluginRegisterServerMenus : public hostapi::TPluginBaseDataModule {
    Q_OBJECT

public:
    explicit TdmPluginRegisterServerMenus(hostapi::TClientPluginBase* AOwner);
    ~TdmPluginRegisterServerMenus() override;

    void SetLanguage(const QString& ALangName) override;

    QAction& actFetch() const { return *FactFetch; }
    hostapi::TQVPluginFormManager& QVPluginFormManager() const { return *FQVPluginFormManager; }

    // Starts a fetch in the background with its progress entry; errors reach the host's exception
    // display.
    void actFetchExecute();

private:
    void ApplyTexts();

    hostapi::TVRNLang siLang;
    QAction* FactFetch;
    hostapi::TQVGlobalMenuClient* GlobalMenuRegisterService;
    hostapi::TQVPluginFormManager* FQVPluginFormManager = nullptr;
};

// The one instance while it lives.
extern TdmPluginRegisterServerMenus* dmPluginRegisterServerMenus;

} // namespace registerservice
