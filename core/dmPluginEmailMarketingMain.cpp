#include "dmPluginEmailMarketingMain.h"

#include "CascadingDeletes.h"
#include "ClientPluginBase.h"
#include "DBFieldSchema.h"
#include "DialogService.h"
#include "Database.h"
#include "ExceptionDisplay.h"
#include "InterruptedJobs.h"
#include "MessageSink.h"
#include "NetworkSettings.h"
#include "PelmarisPlugin.h"
#include "QVException.h"
#include "QVFirstStart.h"
#include "QVPluginFormManager.h"
#include "QVRecordSet.h"
#include "ScreenService.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "VRNLang.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>

#include <limits>
#include <mutex>
#include <shared_mutex>

namespace emailmarketing {

TdmPluginEmailMarketingMain* dmPluginEmailMarketingMain = nullptr;

namespace {

const QString Section = QStringLiteral("EMLMARK");

// Text ids of the first-start steps by step index; the description's id adds "Descr".
const QString FirstStartTitleIds[] = {QStringLiteral("IDS_FirstStartEmailServer"),
                                      QStringLiteral("IDS_FirstStartSmsProvider")};

int ToStoredInteger(qint64 AValue, const QString& AKey) {
    if (AValue < std::numeric_limits<int>::min() || AValue > std::numeric_limits<int>::max())
        throw hostapi::EQVException(
            QStringLiteral("Value %1 for setting %2 is out of range").arg(AValue).arg(AKey));
    return static_cast<int>(AValue);
}

} // namespace

TdmPluginEmailMarketingMain::TdmPluginEmailMarketingMain(hostapi::TClientPluginBase* AOwner)
    : hostapi::TPluginBaseDataModule(AOwner), tmrCheckAutostart(new QTimer(this)),
      PelmarisPlugin(new hostapi::TPelmarisPlugin(this)),
      siLang(std::make_unique<hostapi::TVRNLang>(QStringLiteral("dmPluginEmailMarketingMain"))),
      QVFirstStart(new hostapi::TQVFirstStart(this)), FJobs(std::make_unique<TEmailSenderJobList>()),
      FListStore([this](TEmailListItem& AList) { ConnectGlobalCallbacks(AList); }),
      QVSQLDeleteNotifyListener([](hostapi::TQVSQLDeleteNotifyListener&,
                                   hostapi::IQVSQLDeleteNotify& AEvent) { AddDependentDeletes(AEvent); }),
      FResolvConfPath(QStringLiteral("/etc/resolv.conf")) {
    dmPluginEmailMarketingMain = this;
    SetSelfIsExtFunc(true);
    if (auto* plugin = dynamic_cast<hostapi::TClientPluginBaseGUI*>(AOwner))
        plugin->SetModuleName(QStringLiteral("EmailMarketing"));
    FListStore.SetOnGetUsedLists([this] { return UsedLists(); });

    BuildFormManager();

    QVFirstStart->SetPriority(10000);
    QVFirstStart->SetTitle(QStringLiteral("Email Marketing"));
    for (const QString& id : FirstStartTitleIds)
        QVFirstStart->Add({-1, siLang->Text(id), siLang->Text(id + QStringLiteral("Descr")),
                           QStringLiteral("TfrmPluginEmailMarketingGlobalSettings"), 0});

    QVFirstStart->OnLink = [this](hostapi::TQVFirstStart* Sender, const hostapi::TQVFirstStartItem& AItem) {
        QVFirstStartLink(Sender, AItem);
    };

    FJobs->SetJobOwner(this);
    // The data module observes its own job list; the list does not own it.
    FJobNotifyer = std::shared_ptr<IJobNotification>(std::shared_ptr<IJobNotification>(),
                                                     static_cast<IJobNotification*>(this));
    FJobs->RegisterJobNotifyer(FJobNotifyer);

    tmrCheckAutostart->setObjectName(QStringLiteral("tmrCheckAutostart"));
    tmrCheckAutostart->setInterval(60000);
    connect(tmrCheckAutostart, &QTimer::timeout, this, &TdmPluginEmailMarketingMain::tmrCheckAutostartTimer);
    tmrCheckAutostart->start();

    FTemplateExchange = std::make_unique<TTemplateXMLExchange>(
        *siLang, [this](qint64& LastInsertID) { TemplatesChanged(this, LastInsertID); });
}

TdmPluginEmailMarketingMain::~TdmPluginEmailMarketingMain() {
    tmrCheckAutostart->stop();
    // Freeing the job list ends and joins every job left; only then go the lists they use.
    FJobs->UnRegisterJobNotifyer(FJobNotifyer);
    FJobs.reset();
    FListStore.Clear();
    if (dmPluginEmailMarketingMain == this)
        dmPluginEmailMarketingMain = nullptr;
}

void TdmPluginEmailMarketingMain::BuildFormManager() {
    // Rebuilt on every language switch: the host reads the menu texts anew from it.
    delete QVPluginFormManager;
    QVPluginFormManager = new hostapi::TQVPluginFormManager(this);
    QVPluginFormManager->setObjectName(QStringLiteral("QVPluginFormManager"));
    QVPluginFormManager->SetModuleTitle(QStringLiteral("Email Marketing"));
    const QString moduleSection = siLang->Text(QStringLiteral("IDS_MenuEmailMarketing"));
    hostapi::TQVPluginFormManagerItem settings;
    settings.PluginFormClassName = QStringLiteral("TfrmPluginEmailMarketingGlobalSettings");
    settings.MenuSection = siLang->Text(QStringLiteral("IDS_MenuConfiguration"));
    settings.MenuTitle = siLang->Text(QStringLiteral("IDS_MenuEmailMarketing"));
    settings.GlobalMenuIconIndex = 215;
    settings.Loading = hostapi::pfldTemporary;
    QVPluginFormManager->Add(settings);
    QVPluginFormManager->Add({QStringLiteral("TfrmEmailMarketingLists"), moduleSection,
                              siLang->Text(QStringLiteral("IDS_MenuLists")), hostapi::pmtWorkMenu, 216,
                              hostapi::pfldPermanent});
    QVPluginFormManager->Add({QStringLiteral("TfrmEmailMarketing"), moduleSection,
                              siLang->Text(QStringLiteral("IDS_MenuDelivery")), hostapi::pmtWorkMenu, 215,
                              hostapi::pfldPermanent});
}

void TdmPluginEmailMarketingMain::RetranslateFirstStart() {
    for (int step = 0; step < 2; ++step)
        QVFirstStart->SetItemTexts(step, siLang->Text(FirstStartTitleIds[step]),
                                   siLang->Text(FirstStartTitleIds[step] + QStringLiteral("Descr")));
}

void TdmPluginEmailMarketingMain::QVFirstStartLink(hostapi::TQVFirstStart* Sender,
                                                   const hostapi::TQVFirstStartItem& AItem) {
    Q_UNUSED(Sender);
    // The settings window opens on the page of the step.
    const QString page = AItem.Index == 0 ? QStringLiteral("EMAILSERVER") : QStringLiteral("SMSPROVIDER");
    auto* plugin = dynamic_cast<hostapi::TClientPluginBaseGUI*>(PluginOwner());
    QV_ASSERT(plugin != nullptr);
    const int formIndex = plugin->IndexOfPluginForm(AItem.PluginFormClassName);
    if (formIndex < 0)
        throw hostapi::EQVException(
            QStringLiteral("Module %1 has no window class %2").arg(PluginGUID(), AItem.PluginFormClassName));
    GetScreen().OpenPluginForm(PluginGUID(), formIndex, page);
}

void TdmPluginEmailMarketingMain::TemplatesChanged(QObject* Sender, qint64& LastInsertID) {
    QV_ASSERT(QCoreApplication::instance() &&
              QThread::currentThread() == QCoreApplication::instance()->thread());
    if (FOnTemplatesChanged)
        FOnTemplatesChanged(Sender, LastInsertID);
}

void TdmPluginEmailMarketingMain::AfterStartup() {
    hostapi::TPluginBaseDataModule::AfterStartup();
    FTemplateExchange->QVXMLImportContainer().AfterStartup();
    RecoverInterruptedJobs();
}

void TdmPluginEmailMarketingMain::RecoverInterruptedJobs() {
    if (!hostapi::Database::IsOpen())
        return;
    try {
        const QString summary = TInterruptedJobs::Summary(TInterruptedJobs::Recover(QDateTime::currentDateTime()));
        if (!summary.isEmpty())
            hostapi::MessageSink::Current().AddMessage(summary, hostapi::MessageKind::Warning);
    } catch (...) {
        // The module starts all the same; the next start tries again.
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

void TdmPluginEmailMarketingMain::SetLanguage(const QString& ALangName) {
    hostapi::TPluginBaseDataModule::SetLanguage(ALangName);
    siLang->SetLanguage(ALangName);
    BuildFormManager();
    RetranslateFirstStart();
    UpdateAttachmentFileOptions();
}

void TdmPluginEmailMarketingMain::UpdateAttachmentFileOptions() {
    const QString options = QStringLiteral("0=") + siLang->Text(QStringLiteral("AFO_0")) +
                            QStringLiteral("\r\n1=") + siLang->Text(QStringLiteral("AFO_1"));
    GetDBFieldSchema()
        .RequireSchema(QStringLiteral("emlattachements"))
        .SetFieldListData(QStringLiteral("fileoptions"), options);
}

bool TdmPluginEmailMarketingMain::CanShutDown() {
    if (FJobs->Count() == 0)
        return true;
    const hostapi::TMsgDlgButtons buttons = hostapi::mbNo | hostapi::mbCancel | hostapi::mbIgnore;
    if (hostapi::MessageDlg(siLang->Text(QStringLiteral("IDS_RJRA")), hostapi::mtWarning, buttons, 0) !=
        hostapi::mrIgnore)
        return false;
    FJobs->ShutDownAllJobs(true);
    if (FJobs->Count() == 0)
        return true;
    // The jobs still working are ended by BeforeUnInit.
    return hostapi::MessageDlg(siLang->Text(QStringLiteral("IDS_RJRASJ")), hostapi::mtWarning, buttons, 0) ==
           hostapi::mrIgnore;
}

void TdmPluginEmailMarketingMain::BeforeUnInit() {
    hostapi::TPluginBaseDataModule::BeforeUnInit();
    FTemplateExchange->QVXMLImportContainer().BeforeUnInit();
    FJobs->ShutDownAllJobs(false);
    FJobs->UnRegisterJobNotifyer(FJobNotifyer);
    FProvidersClosed = true;
    FListStore.Providers().Clear();
}

void TdmPluginEmailMarketingMain::UnInit() {
    hostapi::TPluginBaseDataModule::UnInit();
}

void TdmPluginEmailMarketingMain::tmrCheckAutostartTimer() {
    try {
        FJobs->TimerFuncExecute();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

void TdmPluginEmailMarketingMain::JobListChanged(TEmailSenderJobList& AJobList, TBaseEmailSender* AJob,
                                                 bool ARemoved) {
    Q_UNUSED(AJobList);
    FRemovedJob = ARemoved ? AJob : nullptr;
    const auto reset = qScopeGuard([this] { FRemovedJob = nullptr; });
    FListStore.UpdateInUse();
}

QList<TEmailListIdentity> TdmPluginEmailMarketingMain::UsedLists() const {
    QList<TEmailListIdentity> used;
    if (!FJobs)
        return used;
    for (int i = 0; i < FJobs->Count(); ++i) {
        const TBaseEmailSender* job = FJobs->Jobs(i);
        if (job == FRemovedJob)
            continue;
        if (const std::shared_ptr<TEmailListItem> list = job->DestinationList())
            used << list->Identity();
    }
    return used;
}

// Ext-function interface and client list providers ----------------------------------------------

hostapi::IExtFunc* TdmPluginEmailMarketingMain::DoOnGetExtFunc(const QString& AIID) {
    if (hostapi::IExtFunc::IsIID<hostapi::IExtFuncPluginEmailMarketing>(AIID))
        return static_cast<hostapi::IExtFuncPluginEmailMarketing*>(this);
    return hostapi::TPluginBaseDataModule::DoOnGetExtFunc(AIID);
}

QString TdmPluginEmailMarketingMain::ReplaceFieldMacros(const QString& SchemaName, const QString& AText,
                                                        bool FieldsToCaption) const {
    return TBaseEmailSender::ReplaceFieldMacros(SchemaName, AText, FieldsToCaption, GetDBFieldSchema());
}

void TdmPluginEmailMarketingMain::OnMainThread(std::function<void()> AAction) {
    if (QThread::currentThread() == thread()) {
        AAction();
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [action = std::move(AAction)] {
            try {
                action();
            } catch (...) {
                hostapi::TVRNExceptionUtils::ShowCurrent();
            }
        },
        Qt::QueuedConnection);
}

void TdmPluginEmailMarketingMain::DeleteClientList(
    const std::shared_ptr<hostapi::IClientListProvider>& AProvider, int AListIndex) {
    QV_ASSERT(AProvider != nullptr);
    OnMainThread([this, AProvider, AListIndex] {
        const QString clientIdent = TClientListProviders::ClientIdentOf(*AProvider);
        const QString listIdent = TClientListProviders::ListIdentOf(*AProvider, AListIndex);
        if (const std::shared_ptr<TEmailListItem> list = FListStore.ByClient(clientIdent, listIdent))
            FListStore.Delete(list);
    });
}

void TdmPluginEmailMarketingMain::RegisterClientProvider(
    const std::shared_ptr<hostapi::IClientListProvider>& AProvider) {
    QV_ASSERT(AProvider != nullptr);
    OnMainThread([this, AProvider] {
        if (FProvidersClosed || !FListStore.Providers().Register(AProvider))
            return;
        FListStore.Save();
        FListStore.Clear();
    });
}

void TdmPluginEmailMarketingMain::UnRegisterClientProvider(
    const std::shared_ptr<hostapi::IClientListProvider>& AProvider) {
    OnMainThread([this, AProvider] {
        if (!FListStore.Providers().UnRegister(AProvider))
            return;
        FListStore.Save();
        FListStore.Clear();
    });
}

// Settings store access --------------------------------------------------------------------------

QString TdmPluginEmailMarketingMain::ReadText(const QString& AKey) const {
    return hostapi::StringDataToStr(GetSaveSettings().ReadString(Section, AKey), true);
}

void TdmPluginEmailMarketingMain::WriteText(const QString& AKey, const QString& AValue) {
    GetSaveSettings().WriteString(Section, AKey, hostapi::StrToStringData(AValue));
}

int TdmPluginEmailMarketingMain::ReadConvertedInteger(const QString& AKey, int ADefault) const {
    bool ok = false;
    const int value = ReadText(AKey).toInt(&ok);
    return ok ? value : ADefault;
}

bool TdmPluginEmailMarketingMain::ReadBoolean(const QString& AKey) const {
    return GetSaveSettings().ReadInteger(Section, AKey) == 1;
}

void TdmPluginEmailMarketingMain::WriteBoolean(const QString& AKey, bool AValue) {
    GetSaveSettings().WriteInteger(Section, AKey, AValue ? 1 : 0);
}

QString TdmPluginEmailMarketingMain::DNSServer() const {
    const QString stored = ReadText(QStringLiteral("DNS"));
    if (!stored.isEmpty())
        return stored;
    const QStringList servers = hostapi::QueryNetworkSettings(FResolvConfPath).DNSServers;
    return servers.isEmpty() ? QString() : servers.first();
}

void TdmPluginEmailMarketingMain::SetDNSServer(const QString& value) {
    // The machine's own first server is never stored, so that a change of it is followed.
    const QStringList servers = hostapi::QueryNetworkSettings(FResolvConfPath).DNSServers;
    WriteText(QStringLiteral("DNS"), !servers.isEmpty() && servers.first() == value ? QString() : value);
}

QString TdmPluginEmailMarketingMain::GlobalReplyEmailAddressField() const {
    const QString field = ReadText(QStringLiteral("globadrefld"));
    return field.isEmpty() ? QStringLiteral("email1") : field;
}

void TdmPluginEmailMarketingMain::SetGlobalReplyEmailAddressField(const QString& value) {
    WriteText(QStringLiteral("globadrefld"), value);
}

QString TdmPluginEmailMarketingMain::GlobalSenderEmail() const {
    return ReadText(QStringLiteral("DEFSENDEREMAIL"));
}

void TdmPluginEmailMarketingMain::SetGlobalSenderEmail(const QString& value) {
    WriteText(QStringLiteral("DEFSENDEREMAIL"), value);
}

qint64 TdmPluginEmailMarketingMain::StateID_AfterCreate() const {
    return ReadConvertedInteger(QStringLiteral("sidac"), -1);
}

void TdmPluginEmailMarketingMain::SetStateID_AfterCreate(qint64 value) {
    const QString key = QStringLiteral("sidac");
    GetSaveSettings().WriteInteger(Section, key, ToStoredInteger(value, key));
}

qint64 TdmPluginEmailMarketingMain::StateID_AfterSuccSend() const {
    return ReadConvertedInteger(QStringLiteral("sidass"), -1);
}

void TdmPluginEmailMarketingMain::SetStateID_AfterSuccSend(qint64 value) {
    const QString key = QStringLiteral("sidass");
    GetSaveSettings().WriteInteger(Section, key, ToStoredInteger(value, key));
}

TMessageSenderDevice TdmPluginEmailMarketingMain::GlobalMessageSenderDevice() const {
    return static_cast<TMessageSenderDevice>(
        GetSaveSettings().ReadInteger(Section, QStringLiteral("DEFEMLP")));
}

void TdmPluginEmailMarketingMain::SetGlobalMessageSenderDevice(TMessageSenderDevice value) {
    GetSaveSettings().WriteInteger(Section, QStringLiteral("DEFEMLP"), static_cast<int>(value));
}

TSMSMessageSenderDevice TdmPluginEmailMarketingMain::GlobalSMSMessageSenderDevice() const {
    return static_cast<TSMSMessageSenderDevice>(
        GetSaveSettings().ReadInteger(Section, QStringLiteral("DEFSMSP")));
}

void TdmPluginEmailMarketingMain::SetGlobalSMSMessageSenderDevice(TSMSMessageSenderDevice value) {
    GetSaveSettings().WriteInteger(Section, QStringLiteral("DEFSMSP"), static_cast<int>(value));
}

QString TdmPluginEmailMarketingMain::GlobalMailServer() const {
    return ReadText(QStringLiteral("DEFEMLSRV"));
}

void TdmPluginEmailMarketingMain::SetGlobalMailServer(const QString& value) {
    WriteText(QStringLiteral("DEFEMLSRV"), value);
}

bool TdmPluginEmailMarketingMain::GlobalAuthentication() const {
    return ReadBoolean(QStringLiteral("DEFSRVAUTH"));
}

void TdmPluginEmailMarketingMain::SetGlobalAuthentication(bool value) {
    WriteBoolean(QStringLiteral("DEFSRVAUTH"), value);
}

QString TdmPluginEmailMarketingMain::GlobalUserName() const {
    return ReadText(QStringLiteral("DEFSRVUSR"));
}

void TdmPluginEmailMarketingMain::SetGlobalUserName(const QString& value) {
    WriteText(QStringLiteral("DEFSRVUSR"), value);
}

QString TdmPluginEmailMarketingMain::GlobalPassword() const {
    return ReadText(QStringLiteral("DEFSRVPAS"));
}

void TdmPluginEmailMarketingMain::SetGlobalPassword(const QString& value) {
    WriteText(QStringLiteral("DEFSRVPAS"), value);
}

bool TdmPluginEmailMarketingMain::GlobalRegisterServiceFilterEnabled() const {
    return ReadBoolean(QStringLiteral("DEFRSENA"));
}

void TdmPluginEmailMarketingMain::SetGlobalRegisterServiceFilterEnabled(bool value) {
    WriteBoolean(QStringLiteral("DEFRSENA"), value);
}

bool TdmPluginEmailMarketingMain::GlobalFetchRegisterServiceBeforeSending() const {
    return ReadBoolean(QStringLiteral("DEFRSFETCH"));
}

void TdmPluginEmailMarketingMain::SetGlobalFetchRegisterServiceBeforeSending(bool value) {
    WriteBoolean(QStringLiteral("DEFRSFETCH"), value);
}

bool TdmPluginEmailMarketingMain::GlobalUnitSend() const {
    return ReadBoolean(QStringLiteral("DEFUNITSEND"));
}

void TdmPluginEmailMarketingMain::SetGlobalUnitSend(bool value) {
    WriteBoolean(QStringLiteral("DEFUNITSEND"), value);
}

int TdmPluginEmailMarketingMain::GlobalUnitCount() const {
    return ReadConvertedInteger(QStringLiteral("DEFUNITCOUNT"), 1000);
}

void TdmPluginEmailMarketingMain::SetGlobalUnitCount(int value) {
    GetSaveSettings().WriteInteger(Section, QStringLiteral("DEFUNITCOUNT"), value);
}

int TdmPluginEmailMarketingMain::GlobalSendThreads() const {
    return ReadConvertedInteger(QStringLiteral("DEFTHREADCOUNT"), 1);
}

void TdmPluginEmailMarketingMain::SetGlobalSendThreads(int value) {
    GetSaveSettings().WriteInteger(Section, QStringLiteral("DEFTHREADCOUNT"), value);
}

int TdmPluginEmailMarketingMain::GlobalUnitDelay() const {
    return GetSaveSettings().ReadInteger(Section, QStringLiteral("DEFUNITDELAY"));
}

void TdmPluginEmailMarketingMain::SetGlobalUnitDelay(int value) {
    GetSaveSettings().WriteInteger(Section, QStringLiteral("DEFUNITDELAY"), value);
}

bool TdmPluginEmailMarketingMain::GlobalThrottle() const {
    return ReadBoolean(QStringLiteral("DEFTHROT"));
}

void TdmPluginEmailMarketingMain::SetGlobalThrottle(bool value) {
    WriteBoolean(QStringLiteral("DEFTHROT"), value);
}

bool TdmPluginEmailMarketingMain::GlobalChaotic() const {
    return ReadBoolean(QStringLiteral("DEFCHAOTIC"));
}

void TdmPluginEmailMarketingMain::SetGlobalChaotic(bool value) {
    WriteBoolean(QStringLiteral("DEFCHAOTIC"), value);
}

// Company sender address and list callbacks ----------------------------------------------------

void TdmPluginEmailMarketingMain::ResetGlobalAddressData() {
    std::unique_lock lock(FGlobalAddressSync);
    FGlobalAddressLoaded = false;
    FGlobalAddressCompanyID = -1;
}

void TdmPluginEmailMarketingMain::LoadGlobalAddressData() {
    if (!PelmarisPlugin->Available())
        return;
    const qint64 companyID = PelmarisPlugin->GetCompanyAddressID();
    {
        std::shared_lock lock(FGlobalAddressSync);
        if (FGlobalAddressLoaded && companyID == FGlobalAddressCompanyID)
            return;
    }
    std::unique_lock lock(FGlobalAddressSync);
    if (FGlobalAddressLoaded && companyID == FGlobalAddressCompanyID)
        return; // another thread loaded it meanwhile
    // Another company's data never stays as sender when this company has no record.
    FGlobalAddressName.clear();
    FGlobalReplyEmail.clear();
    if (companyID >= 0) {
        hostapi::TQVRecordSet record(PelmarisPlugin->GetAddressSchema());
        record.SetOptions(hostapi::rsoReadOnly);
        record.Filters().Add(QStringLiteral("id"), companyID);
        record.Open();
        if (!record.Eof()) {
            const QString company = record.FieldValue(QStringLiteral("companyname")).toString();
            FGlobalAddressName =
                !company.isEmpty() ? company
                                   : record.FieldValue(QStringLiteral("name")).toString() + QLatin1Char(' ') +
                                         record.FieldValue(QStringLiteral("surname")).toString();
            const QString replyField = GlobalReplyEmailAddressField();
            if (record.HasField(replyField))
                FGlobalReplyEmail = record.FieldValue(replyField).toString();
        }
    }
    FGlobalAddressCompanyID = companyID;
    FGlobalAddressLoaded = true;
}

void TdmPluginEmailMarketingMain::ConnectGlobalCallbacks(TEmailListItem& AList) {
    AList.SetOnGetGlobalSenderDevice([this](const TEmailListItem& Sender, TMessageSenderDevice& ADevice) {
        DoGetGlobalSenderDevice(Sender, ADevice);
    });
    AList.SetOnGetGlobalSMSSenderDevice(
        [this](const TEmailListItem& Sender, TSMSMessageSenderDevice& ADevice) {
            DoGetGlobalSMSSenderDevice(Sender, ADevice);
        });
    AList.SetOnGetGlobalMailServer([this](const TEmailListItem& Sender, QString& AMailServer,
                                          QString& AUserName, QString& APassword, bool& AAuthentication) {
        DoGetGlobalMailServer(Sender, AMailServer, AUserName, APassword, AAuthentication);
    });
    AList.SetOnGetGlobalRegisterService([this](const TEmailListItem& Sender, bool& AFilter, bool& AFetch) {
        DoGetGlobalRegisterService(Sender, AFilter, AFetch);
    });
    AList.SetOnGetGlobalSendSettings([this](const TEmailListItem& Sender, bool& AUnitSend, int& AUnitCount,
                                            int& ASendThreads, int& AUnitDelay, bool& AThrottle,
                                            bool& AChaotic) {
        DoGetGlobalSendSettings(Sender, AUnitSend, AUnitCount, ASendThreads, AUnitDelay, AThrottle, AChaotic);
    });
    AList.SetOnGetGlobalAddressInfo(
        [this](const TEmailListItem& Sender, QString& AName, QString& AEmail, QString& AReplyToEmail) {
            DoGetGlobalAddressInfo(Sender, AName, AEmail, AReplyToEmail);
        });
}

void TdmPluginEmailMarketingMain::DoGetGlobalSenderDevice(const TEmailListItem& Sender,
                                                          TMessageSenderDevice& AMessageSenderDevice) {
    Q_UNUSED(Sender);
    AMessageSenderDevice = GlobalMessageSenderDevice();
}

void TdmPluginEmailMarketingMain::DoGetGlobalSMSSenderDevice(
    const TEmailListItem& Sender, TSMSMessageSenderDevice& ASMSMessageSenderDevice) {
    Q_UNUSED(Sender);
    ASMSMessageSenderDevice = GlobalSMSMessageSenderDevice();
}

void TdmPluginEmailMarketingMain::DoGetGlobalMailServer(const TEmailListItem& Sender, QString& AMailServer,
                                                        QString& AUserName, QString& APassword,
                                                        bool& AAuthentication) {
    Q_UNUSED(Sender);
    AMailServer = GlobalMailServer();
    AUserName = GlobalUserName();
    APassword = GlobalPassword();
    AAuthentication = GlobalAuthentication();
}

void TdmPluginEmailMarketingMain::DoGetGlobalRegisterService(const TEmailListItem& Sender,
                                                             bool& FilterEnabled, bool& FetchBeforeSend) {
    Q_UNUSED(Sender);
    FilterEnabled = GlobalRegisterServiceFilterEnabled();
    FetchBeforeSend = GlobalFetchRegisterServiceBeforeSending();
}

void TdmPluginEmailMarketingMain::DoGetGlobalSendSettings(const TEmailListItem& Sender, bool& AUnitSend,
                                                          int& AUnitCount, int& ASendThreads, int& AUnitDelay,
                                                          bool& AThrottle, bool& AChaotic) {
    Q_UNUSED(Sender);
    AUnitSend = GlobalUnitSend();
    AUnitCount = GlobalUnitCount();
    ASendThreads = GlobalSendThreads();
    AUnitDelay = GlobalUnitDelay();
    AThrottle = GlobalThrottle();
    AChaotic = GlobalChaotic();
}

void TdmPluginEmailMarketingMain::DoGetGlobalAddressInfo(const TEmailListItem& Sender, QString& AName,
                                                         QString& AEmail, QString& AReplyToEmail) {
    Q_UNUSED(Sender);
    LoadGlobalAddressData();
    {
        std::shared_lock lock(FGlobalAddressSync);
        AName = FGlobalAddressName;
        AReplyToEmail = FGlobalReplyEmail;
    }
    AEmail = GlobalSenderEmail();
}

} // namespace emailmarketing
