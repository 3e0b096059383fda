#include "dmTestModuleMain.h"

#include "ClientPluginBase.h"
#include "Database.h"
#include "MessageSink.h"
#include "ProgressService.h"
#include "QVException.h"
#include "QVFirstStart.h"
#include "QVMainInterface.h"
#include "QVPluginFormManager.h"
#include "SchedulePlugin.h"
#include "ScreenService.h"
#include "TestModuleLog.h"

#include <QDateTime>

#include <cstdio>

namespace testmodule {

TdmTestModuleMain::TdmTestModuleMain(hostapi::TClientPluginBase* AOwner)
    : hostapi::TPluginBaseDataModule(AOwner), QVPluginFormManager(new hostapi::TQVPluginFormManager(this)),
      QVFirstStart(new hostapi::TQVFirstStart(this)), siLang(QStringLiteral("TstLangTestModule")) {
    // A literal of the module's own: the host reads it while the module is still mapped.
    if (qEnvironmentVariableIsSet("QV_TEST_MODULE_FAIL_CREATE"))
        throw hostapi::EQVUserMessageException(QStringLiteral("Das Testmodul kann nicht erstellt werden."));
    SetSelfIsExtFunc(true);

    QVPluginFormManager->SetModuleTitle(QStringLiteral("Testmodul"));
    QVPluginFormManager->Add({QStringLiteral("TfrmTestModuleSettings"), QStringLiteral("Konfiguration"),
                              QStringLiteral("Testmodul"), hostapi::pmtMainMenu, 7, hostapi::pfldTemporary});
    QVPluginFormManager->Add({QStringLiteral("TfrmTestModuleMain"), QStringLiteral("Testmodul"),
                              QStringLiteral("Übersicht"), hostapi::pmtWorkMenu, 8, hostapi::pfldPermanent});

    QVFirstStart->SetPriority(500);
    QVFirstStart->SetTitle(QStringLiteral("Testmodul"));
    QVFirstStart->Add({-1, QStringLiteral("Testmodul einrichten"),
                       QStringLiteral("Die Einstellungen des Testmoduls."),
                       QStringLiteral("TfrmTestModuleSettings"), 0});
    QVFirstStart->OnLink = [this](hostapi::TQVFirstStart* Sender, const hostapi::TQVFirstStartItem& AItem) {
        QVFirstStartLink(Sender, AItem);
    };
    Record(QStringLiteral("TdmTestModuleMain.Created"));
}

TdmTestModuleMain::~TdmTestModuleMain() {
    try {
        EndJob();
    } catch (const std::exception& e) {
        Record(QStringLiteral("TdmTestModuleMain.JobNotClosed ") + QString::fromUtf8(e.what()));
    }
    Record(QStringLiteral("TdmTestModuleMain.Destroyed"));
}

void TdmTestModuleMain::Step(const QString& AStep) {
    Record(QStringLiteral("TdmTestModuleMain.") + AStep);
    if (!FFailureStep.isEmpty() && AStep.startsWith(FFailureStep))
        throw hostapi::EQVUserMessageException(FFailureMessage);
}

void TdmTestModuleMain::Init() {
    hostapi::TPluginBaseDataModule::Init();
    Step(QStringLiteral("Init"));
}

void TdmTestModuleMain::AfterStartup() {
    hostapi::TPluginBaseDataModule::AfterStartup();
    Step(QStringLiteral("AfterStartup"));
    if (qEnvironmentVariableIsSet("QV_TEST_MODULE_JOB"))
        StartJob();
}

void TdmTestModuleMain::StartJob() {
    FJobRowID = hostapi::Database::InsertRow(QStringLiteral("emljobs"),
                                             {QStringLiteral("startdate"), QStringLiteral("jobstate")},
                                             {QDateTime::currentDateTime(), 1});
    FJobThread = std::thread([this] {
        std::unique_lock lock(FJobLock);
        FJobWake.wait(lock, [this] { return FJobEnd; });
    });
    std::fprintf(stderr, "TestModule: job running\n");
    std::fflush(stderr);
}

void TdmTestModuleMain::EndJob() {
    if (!FJobThread.joinable())
        return;
    {
        std::lock_guard lock(FJobLock);
        FJobEnd = true;
    }
    FJobWake.notify_all();
    FJobThread.join();
    hostapi::Database::Exec(QStringLiteral("UPDATE emljobs SET enddate = ? WHERE id = ?"),
                            {QDateTime::currentDateTime(), FJobRowID}, QStringLiteral("close the test job"));
    Record(QStringLiteral("TdmTestModuleMain.JobEnded"));
}

void TdmTestModuleMain::SetLanguage(const QString& ALangName) {
    hostapi::TPluginBaseDataModule::SetLanguage(ALangName);
    siLang.SetLanguage(ALangName);
    Step(QStringLiteral("SetLanguage ") + ALangName);
}

bool TdmTestModuleMain::CanShutDown() {
    Step(QStringLiteral("CanShutDown"));
    return FCanShutDown && !qEnvironmentVariableIsSet("QV_TEST_MODULE_REFUSE_SHUTDOWN");
}

void TdmTestModuleMain::BeforeUnInit() {
    hostapi::TPluginBaseDataModule::BeforeUnInit();
    Step(QStringLiteral("BeforeUnInit"));
    EndJob();
}

void TdmTestModuleMain::UnInit() {
    hostapi::TPluginBaseDataModule::UnInit();
    Step(QStringLiteral("UnInit"));
}

int TdmTestModuleMain::RunningThreadCount() const {
    return FRunningThreads + (FJobThread.joinable() ? 1 : 0);
}

QStringList TdmTestModuleMain::Log() const {
    return RecordedLog();
}

void TdmTestModuleMain::SetSink(std::function<void(const QString&)> ASink) {
    SetRecordSink(std::move(ASink));
}

void TdmTestModuleMain::SetCanShutDownAnswer(bool AAnswer) {
    FCanShutDown = AAnswer;
}

void TdmTestModuleMain::SetRunningThreads(int ACount) {
    FRunningThreads = ACount;
}

void TdmTestModuleMain::SetFailure(const QString& AStep, const QString& AMessage) {
    FFailureStep = AStep;
    FFailureMessage = AMessage;
}

QString TdmTestModuleMain::Text(const QString& AId) const {
    return siLang.Text(AId);
}

void TdmTestModuleMain::OfferScheduleAction() {
    auto* schedule = new hostapi::TSchedulePlugin(this);
    schedule->AddAction(QStringLiteral("Testmodul abgleichen"), QString::fromLatin1(TestActionIdentifier));
    schedule->OnExecute = [](hostapi::TSchedulePlugin*, int, hostapi::IScheduleExecuteCallBack& ACallBack,
                             QVariant&, bool& ASuccess) {
        ACallBack.Report(QStringLiteral("Testmodul abgleichen"), hostapi::MessageKind::Info,
                         QStringLiteral("abgeglichen"));
        hostapi::TQVMainInterface::GetMessageSink().AddMessage(QStringLiteral("Testmodul: Abgleich fertig"),
                                                               hostapi::MessageKind::Info);
        ASuccess = true;
    };
}

int TdmTestModuleMain::OpenProgress() {
    hostapi::IProgressService& progress = hostapi::TQVMainInterface::GetProgress();
    const int handle = progress.OpenProgress(QStringLiteral("Testmodul arbeitet"));
    progress.UpdateProgress(handle, 1, 3, QStringLiteral("Schritt 1"));
    return handle;
}

hostapi::IExtFunc* TdmTestModuleMain::DoOnGetExtFunc(const QString& AIID) {
    if (hostapi::IExtFunc::IsIID<ITestModuleControl>(AIID))
        return static_cast<ITestModuleControl*>(this);
    return hostapi::TPluginBaseDataModule::DoOnGetExtFunc(AIID);
}

void TdmTestModuleMain::QVFirstStartLink(hostapi::TQVFirstStart* Sender,
                                         const hostapi::TQVFirstStartItem& AItem) {
    Q_UNUSED(Sender);
    Record(QStringLiteral("TdmTestModuleMain.QVFirstStartLink %1").arg(AItem.Index));
    auto* plugin = dynamic_cast<hostapi::TClientPluginBaseGUI*>(PluginOwner());
    QV_ASSERT(plugin != nullptr);
    GetScreen().OpenPluginForm(PluginGUID(), plugin->IndexOfPluginForm(AItem.PluginFormClassName),
                               QStringLiteral("SETUP"));
}

} // namespace testmodule
