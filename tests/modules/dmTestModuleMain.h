#pragma once

#include "PluginBaseDataModule.h"
#include "TestModuleControl.h"
#include "VRNLang.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace hostapi {
class TQVFirstStart;
struct TQVFirstStartItem;
class TQVPluginFormManager;
} // namespace hostapi

namespace testmodule {

// The test module's main data module: records its life-cycle, answers as the tests script, declares
// both windows and offers one first-start step that opens the settings window.
class TdmTestModuleMain : public hostapi::TPluginBaseDataModule, public ITestModuleControl {
    Q_OBJECT

public:
    explicit TdmTestModuleMain(hostapi::TClientPluginBase* AOwner);
    ~TdmTestModuleMain() override;

    void Init() override;
    void AfterStartup() override;
    void SetLanguage(const QString& ALangName) override;
    bool CanShutDown() override;
    void BeforeUnInit() override;
    void UnInit() override;
    int RunningThreadCount() const override;

    QStringList Log() const override;
    void SetSink(std::function<void(const QString&)> ASink) override;
    void SetCanShutDownAnswer(bool AAnswer) override;
    void SetRunningThreads(int ACount) override;
    void SetFailure(const QString& AStep, const QString& AMessage) override;
    QString Text(const QString& AId) const override;
    void OfferScheduleAction() override;
    int OpenProgress() override;

protected:
    hostapi::IExtFunc* DoOnGetExtFunc(const QString& AIID) override;

private:
    void Step(const QString& AStep);
    void QVFirstStartLink(hostapi::TQVFirstStart* Sender, const hostapi::TQVFirstStartItem& AItem);
    // The job that QV_TEST_MODULE_JOB asks for.
    void StartJob();
    void EndJob();

    hostapi::TQVPluginFormManager* QVPluginFormManager;
    hostapi::TQVFirstStart* QVFirstStart;
    bool FCanShutDown = true;
    int FRunningThreads = 0;
    QString FFailureStep;
    QString FFailureMessage;
    hostapi::TVRNLang siLang;

    qint64 FJobRowID = -1;
    std::mutex FJobLock;
    std::condition_variable FJobWake;
    bool FJobEnd = false; // guarded by FJobLock
    std::thread FJobThread;
};

} // namespace testmodule
