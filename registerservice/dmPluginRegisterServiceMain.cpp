#include "dmPluginRegisterServiceMain.h"

#include "ExceptionDisplay.h"
#include "MessageSink.h"
#include "QVMainInterface.h"
#include "QVPluginFormManager.h"
#include "RegisterServiceClient.h"
#include "RegisterServiceForms.h"
#include "SchedulePlugin.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "VRNLang.h"

namespace registerservice {

TdmPluginRegisterServiceMain* dmPluginRegisterServiceMain = nullptr;

namespace {

QString MessageOf(std::exception_ptr AError) {
    return hostapi::TVRNExceptionUtils::Describe(AError, {}).Message;
}

} // namespace

TdmPluginRegisterServiceMain::TdmPluginRegisterServiceMain(hostapi::TClientPluginBase* AOwner)
    : hostapi::TPluginBaseDataModule(AOwner),
      siLang(std::make_unique<hostapi::TVRNLang>(QStringLiteral("dmPluginRegisterServiceMain"))),
      FSchedulePlugin(new hostapi::TSchedulePlugin(this)),
      FRegisterServiceClient(new TRegisterServiceClient(this)) {
    dmPluginRegisterServiceMain = this;
    SetSelfIsExtFunc(true);
    BuildFormManager();
    FSchedulePlugin->AddAction(QStringLiteral("Register-Service aktualisieren"),
                               QStringLiteral("{01E3FADE-2C6F-4E4F-9E1D-1E2087BD0B23}"));
    FSchedulePlugin->OnExecute = [this](hostapi::TSchedulePlugin* Sender, int Index,
                                        hostapi::IScheduleExecuteCallBack& ACallBack, QVariant& AData,
                                        bool& ASuccess) {
        SchedulePluginExecute(Sender, Index, ACallBack, AData, ASuccess);
    };
    FRegisterServiceClient->OnLastFetchStampChanged = [this] {
        SetLastFetchStamp(FRegisterServiceClient->LastFetchStamp());
    };
}

TdmPluginRegisterServiceMain::~TdmPluginRegisterServiceMain() {
    FRegisterServiceClient->BeforeUnInit(); // no fetch outlives the data module
    if (dmPluginRegisterServiceMain == this)
        dmPluginRegisterServiceMain = nullptr;
}

void TdmPluginRegisterServiceMain::Init() {
    hostapi::TPluginBaseDataModule::Init();
    InitRegisterClient();
}

void TdmPluginRegisterServiceMain::AfterStartup() {
    hostapi::TPluginBaseDataModule::AfterStartup();
    FRegisterServiceClient->AfterStartup();
}

void TdmPluginRegisterServiceMain::SetLanguage(const QString& ALangName) {
    hostapi::TPluginBaseDataModule::SetLanguage(ALangName);
    siLang->SetLanguage(ALangName);
    BuildFormManager();
}

void TdmPluginRegisterServiceMain::BuildFormManager() {
    // Rebuilt on every language switch: the host reads the menu texts anew from it.
    delete FQVPluginFormManager;
    FQVPluginFormManager = new hostapi::TQVPluginFormManager(this);
    FQVPluginFormManager->setObjectName(QStringLiteral("QVPluginFormManager"));
    FQVPluginFormManager->SetModuleTitle(QStringLiteral("Registerservice"));
    AddRegisterServiceForms(*FQVPluginFormManager, -1, siLang->Language());
}

void TdmPluginRegisterServiceMain::BeforeUnInit() {
    FRegisterServiceClient->BeforeUnInit();
    hostapi::TPluginBaseDataModule::BeforeUnInit();
}

int TdmPluginRegisterServiceMain::RunningThreadCount() const {
    return FRegisterServiceClient->RunningThreadCount();
}

hostapi::IExtFunc* TdmPluginRegisterServiceMain::DoOnGetExtFunc(const QString& AIID) {
    if (hostapi::IExtFunc::IsIID<hostapi::IExtFuncPluginRegisterService>(AIID))
        return static_cast<hostapi::IExtFuncPluginRegisterService*>(this);
    return nullptr;
}

QString TdmPluginRegisterServiceMain::ReadSetting(const char* AKey) {
    return hostapi::StringDataToStr(GetSaveSettings().ReadString(QLatin1String(Section), QLatin1String(AKey)),
                                    true);
}

void TdmPluginRegisterServiceMain::WriteSetting(const char* AKey, const QString& AValue) {
    GetSaveSettings().WriteString(QLatin1String(Section), QLatin1String(AKey),
                                  hostapi::StrToStringData(AValue));
}

QString TdmPluginRegisterServiceMain::FetchURL() {
    return ReadSetting("FETCHURL");
}
void TdmPluginRegisterServiceMain::SetFetchURL(const QString& AValue) {
    WriteSetting("FETCHURL", AValue);
}
QString TdmPluginRegisterServiceMain::FetchUser() {
    return ReadSetting("USER");
}
void TdmPluginRegisterServiceMain::SetFetchUser(const QString& AValue) {
    WriteSetting("USER", AValue);
}
QString TdmPluginRegisterServiceMain::FetchPassword() {
    return ReadSetting("PWD");
}
void TdmPluginRegisterServiceMain::SetFetchPassword(const QString& AValue) {
    WriteSetting("PWD", AValue);
}
QString TdmPluginRegisterServiceMain::LastFetchStamp() {
    return ReadSetting("LASTFST");
}
void TdmPluginRegisterServiceMain::SetLastFetchStamp(const QString& AValue) {
    WriteSetting("LASTFST", AValue);
    GetSaveSettings().Flush();
}

void TdmPluginRegisterServiceMain::InitRegisterClient() {
    FRegisterServiceClient->SetBaseURL(FetchURL());
    FRegisterServiceClient->SetUserName(FetchUser());
    FRegisterServiceClient->SetPassword(FetchPassword());
    FRegisterServiceClient->SetLastFetchStamp(LastFetchStamp());
}

void TdmPluginRegisterServiceMain::Fetch(bool AThreaded) {
    FRegisterServiceClient->Fetch(AThreaded);
}

void TdmPluginRegisterServiceMain::FetchWithProgress() {
    FRegisterServiceClient->FetchWithProgress();
}

void TdmPluginRegisterServiceMain::ResetLastFetchStamp() {
    FRegisterServiceClient->ResetLastFetchStamp();
    SetLastFetchStamp(QString());
    InitRegisterClient();
}

bool TdmPluginRegisterServiceMain::FetchRegisterService(bool AThreaded, bool ARaiseErrors) {
    try {
        Fetch(AThreaded);
        return true;
    } catch (...) {
        if (ARaiseErrors)
            throw;
        hostapi::TQVMainInterface::GetMessageSink().AddMessage(QStringLiteral("Register-Service Error: ") +
                                                                   MessageOf(std::current_exception()),
                                                               hostapi::MessageKind::Error);
        return false;
    }
}

void TdmPluginRegisterServiceMain::SchedulePluginExecute(
    hostapi::TSchedulePlugin* Sender, int Index, hostapi::IScheduleExecuteCallBack& AScheduleExecuteCallBack,
    QVariant&, bool& ASuccess) {
    const QString caption = Sender->Action(Index).Caption;
    try {
        FRegisterServiceClient->Fetch(false);
    } catch (...) {
        ASuccess = false;
        AScheduleExecuteCallBack.Report(caption, hostapi::MessageKind::Error,
                                        MessageOf(std::current_exception()));
        return;
    }
    ASuccess = true;
    AScheduleExecuteCallBack.Report(caption, hostapi::MessageKind::Info,
                                    siLang->Text(QStringLiteral("IDS_SCHEDFETCHSUCC")));
}

} // namespace registerservice
