#pragma once

#include "IExtFuncPluginRegisterService.h"
#include "PluginBaseDataModule.h"

#include <QString>
#include <QVariant>

#include <memory>

namespace hostapi {
class IScheduleExecuteCallBack;
class TQVPluginFormManager;
class TSchedulePlugin;
class TVRNLang;
} // namespace hostapi

namespace registerservice {

class TRegisterServiceClient;

// The register service module's main data module: the register-service settings (section
// "REGSRV" of the host's settings store), the client, the interface other modules fetch through,
// the scheduler action "Register-Service aktualisieren" and the module's two windows (index 0 the
// configuration window, 1 the log window).
class TdmPluginRegisterServiceMain : public hostapi::TPluginBaseDataModule,
                                     public hostapi::IExtFuncPluginRegisterService {
    Q_OBJECT

public:
    explicit TdmPluginRegisterServiceMain(hostapi::TClientPluginBase* AOwner);
    ~TdmPluginRegisterServiceMain() override;

    void Init() override;
    void AfterStartup() override;
    void SetLanguage(const QString& ALangName) override;
    void BeforeUnInit() override;
    int RunningThreadCount() const override;

    // Copies the stored settings into the client (at Init and after every change of them).
    void InitRegisterClient();

    QString FetchURL();
    void SetFetchURL(const QString& AValue);
    QString FetchUser();
    void SetFetchUser(const QString& AValue);
    QString FetchPassword();
    void SetFetchPassword(const QString& AValue);
    QString LastFetchStamp();
    // Also flushes the settings store.
    void SetLastFetchStamp(const QString& AValue);

    bool FetchRegisterService(bool AThreaded, bool ARaiseErrors) override;
    void Fetch(bool AThreaded);
    // GUI thread: a threaded fetch with its progress entries (the global menu's entry).
    void FetchWithProgress();
    // Cancels the fetches in flight and waits for them, then stores an empty stamp and reloads the
    // client: the next fetch reads everything.
    void ResetLastFetchStamp();

    void SchedulePluginExecute(hostapi::TSchedulePlugin* Sender, int Index,
                               hostapi::IScheduleExecuteCallBack& AScheduleExecuteCallBack, QVariant& AData,
                               bool& ASuccess);

    TRegisterServiceClient& RegisterServiceClient() const { return *FRegisterServiceClient; }
    hostapi::TSchedulePlugin& SchedulePlugin() const { return *FSchedulePlugin; }
    hostapi::TQVPluginFormManager& QVPluginFormManager() const { return *FQVPluginFormManager; }

    static constexpr const char* Section = "REGSRV";

protected:
    hostapi::IExtFunc* DoOnGetExtFunc(const QString& AIID) override;

private:
    void BuildFormManager();
    QString ReadSetting(const char* AKey);
    void WriteSetting(const char* AKey, const QString& AValue);

    std::unique_ptr<hostapi::TVRNLang> siLang;
    hostapi::TSchedulePlugin* FSchedulePlugin;
    hostapi::TQVPluginFormManager* FQVPluginFormManager = nullptr;
    TRegisterServiceClient* FRegisterServiceClient;
};

// The one instance while it lives (the module's windows reach the settings and Fetch through it).
extern TdmPluginRegisterServiceMain* dmPluginRegisterServiceMain;

} // namespace registerservice
