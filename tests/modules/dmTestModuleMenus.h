#pragma once

#include "PluginBaseDataModule.h"

namespace testmodule {

// The test module's second data module: declares the settings window once more (the host shows it
// once) and records its life-cycle.
class TdmTestModuleMenus : public hostapi::TPluginBaseDataModule {
    Q_OBJECT

public:
    explicit TdmTestModuleMenus(hostapi::TClientPluginBase* AOwner);
    ~TdmTestModuleMenus() override;

    void Init() override;
    void AfterStartup() override;
    void SetLanguage(const QString& ALangName) override;
    bool CanShutDown() override;
    void BeforeUnInit() override;
    void UnInit() override;
};

} // namespace testmodule
