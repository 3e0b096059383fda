#pragma once

#include "PluginBaseDataModule.h"
#include "TestModuleControl.h"

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

protected:
    hostapi::IExtFunc* DoOnGetExtFunc(const QString& AIID) override;

private:
    void Step(const QString& AStep);
    void QVFirstStartLink(hostapi::TQVFirstStart* Sender, const hostapi::TQVFirstStartItem& AItem);

    hostapi::TQVPluginFormManager* QVPluginFormManager;
    hostapi::TQVFirstStart* QVFirstStart;
    bool FCanShutDown = true;
    int FRunningThreads = 0;
    QString FFailureStep;
    QString FFailureMessage;
};

} // namespace testmodule
