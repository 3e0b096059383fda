#include "BaseEmailSender.h"

#include "ClientSQL.h"
#include "DocumentPreparer.h"
#include "DBFieldSchema.h"
#include "ExceptionDisplay.h"
#include "FileUtils.h"
#include "QVException.h"
#include "TextUtils.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>

namespace emailmarketing {

namespace {

// Limits of the waits, in rounds of 10 ms.
constexpr int TerminateRounds = 3000;
constexpr int PreviewRounds = 6000;
constexpr int RoundMs = 10;

const char* const StateNames[] = {"jsInitialized",      "jsPrepared",         "jsPreparing",
                                  "jsSent",             "jsSending",          "jsTerminateing",
                                  "jsTerminated",       "jsAutoStarted",      "jsReseting",
                                  "jsPreparingPreview", "jsPreparedPreview",  "jsDelayd",
                                  "jsRegisterServiceFetching", "jsRegisterServiceFetched", "jsThrottling"};

QString ReplaceMacroPair(const QString& AText, const QString& AName, const QString& ACaption, bool FieldsToCaption) {
    // An empty name or caption would turn "%%" or "[]" into a macro.
    if (AName.isEmpty() || ACaption.isEmpty())
        return AText;
    const QString stored = QLatin1Char('%') + AName + QLatin1Char('%');
    const QString shown = QLatin1Char('[') + ACaption + QLatin1Char(']');
    return FieldsToCaption ? hostapi::FastReplace(AText, stored, shown, false)
                           : hostapi::FastReplace(AText, shown, stored, false);
}

QString ReplaceMacroList(QString AText, const TMacroList& AMacros, bool FieldsToCaption) {
    for (int i = 0; i < AMacros.Count(); ++i) {
        const TMacroItem* macro = AMacros.Items(i);
        AText = ReplaceMacroPair(AText, macro->MacroName().toUpper(), macro->Caption(), FieldsToCaption);
    }
    return AText;
}

} // namespace

// ---- TJobStateSet ----

TJobStateSet::TJobStateSet(std::initializer_list<TJobState> AStates) {
    for (TJobState state : AStates)
        FBits |= Bit(state);
}

TJobStateSet TJobStateSet::FromInt(quint16 ABits) {
    TJobStateSet result;
    result.FBits = ABits;
    return result;
}

TJobStateSet& TJobStateSet::Include(TJobStateSet ASet) {
    FBits |= ASet.FBits;
    return *this;
}

TJobStateSet& TJobStateSet::Exclude(TJobStateSet ASet) {
    FBits &= static_cast<quint16>(~ASet.FBits);
    return *this;
}

QString TJobStateSet::ToString() const {
    QStringList names;
    for (int i = 0; i <= jsThrottling; ++i)
        if (Contains(static_cast<TJobState>(i)))
            names << QString::fromLatin1(StateNames[i]);
    return QLatin1Char('{') + names.join(QStringLiteral(", ")) + QLatin1Char('}');
}

// ---- TBaseEmailSender ----

TBaseEmailSender::TBaseEmailSender(QObject* AOwner, qint32 ATemplateID, std::shared_ptr<TEmailListItem> ADestList,
                                   TEmailStyle AEmailStyle)
    : hostapi::TPluginBaseComponent(AOwner), FDestinationList(std::move(ADestList)), FEmailStyle(AEmailStyle),
      FTemplateID(ATemplateID) {}

TBaseEmailSender::~TBaseEmailSender() = default;

void TBaseEmailSender::FreeJob(TBaseEmailSender* AJob) {
    if (!AJob)
        return;
    AJob->BeforeDestruction();
    delete AJob;
}

void TBaseEmailSender::BeforeDestruction() {
    ClearTempDirectory();
    if (FOnDestroyJob)
        FOnDestroyJob(*this);
}

QDateTime TBaseEmailSender::Now() const { return FClock ? FClock() : QDateTime::currentDateTime(); }

TJobStateSet TBaseEmailSender::State() const { return {}; }
void TBaseEmailSender::SetState(TJobStateSet) {}
void TBaseEmailSender::AddState(TJobStateSet AStates) { SetState(State().Include(AStates)); }
void TBaseEmailSender::RemoveState(TJobStateSet AStates) { SetState(State().Exclude(AStates)); }
QDateTime TBaseEmailSender::StartDate() const { return {}; }
int TBaseEmailSender::PrepareCount() const { return -1; }
int TBaseEmailSender::SendCount() const { return -1; }
int TBaseEmailSender::SentCount() const { return -1; }
int TBaseEmailSender::SentFailedCount() const { return -1; }
int TBaseEmailSender::SentRetryCount() const { return -1; }
TEmailDocument* TBaseEmailSender::GetSendMails(int) const { return nullptr; }
int TBaseEmailSender::SendStackCount() const { return -1; }
QDateTime TBaseEmailSender::LastSentStatisticUpdate() const { return Now(); }
QDateTime TBaseEmailSender::SendStarted() const { return {}; }
int TBaseEmailSender::SentUnits() const { return -1; }
QDateTime TBaseEmailSender::PrepareStarted() const { return {}; }
int TBaseEmailSender::FailedMailsCount() const { return 0; }
TEmailDocument* TBaseEmailSender::GetFailedMails(int) const { return nullptr; }
bool TBaseEmailSender::AutoStart() const { return false; }
QDateTime TBaseEmailSender::AutoStartDate() const { return {}; }
void TBaseEmailSender::SetAutoStart(bool) {}
void TBaseEmailSender::SetAutoStartDate(const QDateTime&) {}
int TBaseEmailSender::CurrentDelay() const { return 0; }
void TBaseEmailSender::DoPrepare() {}
void TBaseEmailSender::DoPreparePreview() {}
void TBaseEmailSender::DoSend() {}
void TBaseEmailSender::ProcessTerminate() {}
void TBaseEmailSender::InitializeData() {}
void TBaseEmailSender::ResetData() {}

bool TBaseEmailSender::Terminate(bool WaitFor) {
    AddState({jsTerminateing});
    ProcessTerminate();
    if (WaitFor) {
        const QDateTime deadline = Now().addMSecs(qint64(TerminateRounds) * RoundMs);
        while (!State().Contains(jsTerminated)) {
            if (Now() >= deadline)
                throw hostapi::EQVException(QStringLiteral("Timeout while waiting for termination state!"));
            WaitForStateChange(RoundMs);
            ProcessTerminate();
        }
    }
    return State().Contains(jsTerminated);
}

void TBaseEmailSender::WaitForStateChange(int AMaxMs) {
    // The base job has no state to wait for; a plain pause of one round.
    std::this_thread::sleep_for(std::chrono::milliseconds(AMaxMs));
}

bool TBaseEmailSender::WaitForJobState(TJobState AState, int ARounds) {
    FPreviewPreparingAborting = false;
    const QDateTime deadline = ARounds > 0 ? Now().addMSecs(qint64(ARounds) * RoundMs) : QDateTime();
    TJobStateSet s = State();
    while (!s.Contains(AState)) {
        if (ARounds != -1 && (ARounds <= 0 || Now() >= deadline))
            break;
        WaitForStateChange(RoundMs);
        s = State();
        if (s.Contains(AState))
            break;
        if (s.Contains(jsPreparingPreview) && FPreviewPreparingAborting)
            break;
        if (FOnWaitCallBack)
            FOnWaitCallBack(*this);
    }
    return s.Contains(AState);
}

void TBaseEmailSender::CheckPrepare() const {
    const TJobStateSet s = State();
    if (s.Contains(jsSent))
        throw hostapi::EQVUserMessageException(QStringLiteral("job is allready prepared and sent!"));
    if (s.Contains(jsSending))
        throw hostapi::EQVUserMessageException(QStringLiteral("job is allready prepared and is currently on sending!"));
    if (s.Contains(jsPrepared))
        throw hostapi::EQVUserMessageException(QStringLiteral("job is allready prepared!"));
    if (s.ContainsAny({jsPreparing, jsPreparingPreview}))
        throw hostapi::EQVUserMessageException(QStringLiteral("Job is allready preparing!"));
}

void TBaseEmailSender::Prepare() {
    CheckPrepare();
    DoPrepare();
}

void TBaseEmailSender::PreparePreview() {
    CheckPrepare();
    DoPreparePreview();
    WaitForJobState(jsPreparedPreview, FOnWaitCallBack ? -1 : PreviewRounds);
}

void TBaseEmailSender::AbortPreviewPreparing() { FPreviewPreparingAborting = true; }

void TBaseEmailSender::Send() {
    const TJobStateSet s = State();
    if (!s.ContainsAny({jsPrepared, jsPreparing}))
        throw hostapi::EQVUserMessageException(QStringLiteral("Job has not prepared or preparing not startet yet!"));
    if (s.Contains(jsSending))
        throw hostapi::EQVUserMessageException(QStringLiteral("Job is allready on sending!"));
    DoSend();
}

bool TBaseEmailSender::CanAction(TEMLAction AAction) const {
    const TJobStateSet s = State();
    const bool startable = s == TJobStateSet{jsInitialized} || s == TJobStateSet{jsInitialized, jsPreparedPreview};
    switch (AAction) {
    case eaPrepare:
    case eaChangeScheduler:
    case eaStart: return startable;
    case eaResetJob: return !startable;
    case eaSend: return !s.Contains(jsSending) && s.ContainsAny({jsPrepared, jsPreparing});
    case eaPreview: return SendCount() > 0;
    case eaPreviewFailed: return FailedMailsCount() > 0;
    case eaCancelJob: return s.ContainsAny({jsPreparing, jsSending});
    case eaKillJob: return true;
    case eaPreparePreview: return !s.ContainsAny({jsPreparing, jsPrepared, jsPreparedPreview});
    case aeKillIdle: return !s.ContainsAny({jsPreparing, jsSending, jsPreparingPreview});
    }
    return false;
}

void TBaseEmailSender::ClearTempDirectory() {
    if (FTempDirectory.isEmpty() || !QDir::isAbsolutePath(FTempDirectory))
        return;
    const QFileInfo dir(FTempDirectory);
    if (dir.isSymLink() || !dir.isDir())
        return;
    const QString temp = QDir(hostapi::GetTempPath()).canonicalPath();
    const QString folder = QDir(FTempDirectory).canonicalPath();
    if (temp.isEmpty() || folder.isEmpty() || !folder.startsWith(temp + QLatin1Char('/')))
        return;
    hostapi::ClearFolder(FTempDirectory, true);
}

const QList<QPair<QString, QString>>& TBaseEmailSender::PredefinedMacros() {
    static const QList<QPair<QString, QString>> macros = {
        {QStringLiteral("PRE_DATE"), QStringLiteral("Aktuelles Datum")},
        {QStringLiteral("PRE_TIME"), QStringLiteral("Aktuelle Uhrzeit")},
        {QStringLiteral("PRE_YEAR2"), QStringLiteral("Aktuelles Jahr - zwei stellig")},
        {QStringLiteral("PRE_YEAR4"), QStringLiteral("Aktuelles Jahr - vier stellig")},
        {QStringLiteral("PRE_MONTH1"), QStringLiteral("Aktueller Monat - ein stellig")},
        {QStringLiteral("PRE_MONTH2"), QStringLiteral("Aktueller Monat - zwei stellig")},
        {QStringLiteral("PRE_MONTH3"), QStringLiteral("Aktueller Monat - kurz")},
        {QStringLiteral("PRE_MONTH4"), QStringLiteral("Aktueller Monat - lang")},
        {QStringLiteral("PRE_DAY1"), QStringLiteral("Aktueller Tag - ein stellig")},
        {QStringLiteral("PRE_DAY2"), QStringLiteral("Aktueller Tag - zwei stellig")},
        {QStringLiteral("PRE_DAY3"), QStringLiteral("Aktueller Tag - kurz")},
        {QStringLiteral("PRE_DAY4"), QStringLiteral("Aktueller Tag - lang")},
        {QStringLiteral("PRE_USER"), QStringLiteral("Angemeldeter Benutzer")},
        {QStringLiteral("PRE_SENDERNAME"), QStringLiteral("Absender Name")},
        {QStringLiteral("PRE_SENDEREMAIL"), QStringLiteral("Absender EMailadresse")},
        {QStringLiteral("PRE_MAILCOUNT"), QStringLiteral("Anzahl Empfänger")},
        {QStringLiteral("PRE_DISTRIBUTORLIST"), QStringLiteral("Verteilerliste")},
    };
    return macros;
}

QString TBaseEmailSender::ReplaceFieldMacros(const QString& SchemaName, const QString& AText, bool FieldsToCaption,
                                             const hostapi::TDBFieldSchema& ADBFieldSchema) {
    const hostapi::IDBFieldSchemaItem& schema = ADBFieldSchema.RequireSchema(SchemaName);
    QString result = AText;
    for (int i = 0; i < schema.FieldCount(); ++i) {
        const hostapi::TDBFieldDef field = schema.Field(i);
        result = ReplaceMacroPair(result, field.Name.toUpper(), field.Caption, FieldsToCaption);
    }
    return result;
}

QString TBaseEmailSender::ReplaceFieldMacros(const QString& AText, bool FieldsToCaption,
                                             const TEmailListItem* AEmailList,
                                             const hostapi::TDBFieldSchema& ADBFieldSchema) {
    if (!AEmailList)
        return AText;
    QString result = ReplaceFieldMacros(AEmailList->SectionName(), AText, FieldsToCaption, ADBFieldSchema);
    result = ReplaceMacroList(result, AEmailList->UserMacros(), FieldsToCaption);
    if (const std::shared_ptr<TMacroList> schemaMacros = AEmailList->GlobalTableMacros())
        result = ReplaceMacroList(result, *schemaMacros, FieldsToCaption);
    for (const auto& [name, caption] : PredefinedMacros())
        result = ReplaceMacroPair(result, name, caption, FieldsToCaption);
    return result;
}

// ---- TLocalEmailSender ----

TLocalEmailSender::TLocalEmailSender(QObject* AOwner, qint32 ATemplateID, std::shared_ptr<TEmailListItem> ADestList,
                                     TEmailStyle AEmailStyle)
    : TBaseEmailSender(AOwner, ATemplateID, std::move(ADestList), AEmailStyle) {
    FStartDate = QDateTime::currentDateTime();
}

TLocalEmailSender::~TLocalEmailSender() {
    // FreeJob has joined the threads; a job deleted directly must not leave one running on it.
    JoinThreads();
}

QDateTime TLocalEmailSender::StartDate() const { return FStartDate; }

TJobStateSet TLocalEmailSender::State() const {
    std::shared_lock lock(FStateCriticalSection);
    return FState;
}

void TLocalEmailSender::SetState(TJobStateSet value) {
    ModifyState([&](TJobStateSet& s) { s = value; });
}

void TLocalEmailSender::AddState(TJobStateSet AStates) {
    ModifyState([&](TJobStateSet& s) { s.Include(AStates); });
}

void TLocalEmailSender::RemoveState(TJobStateSet AStates) {
    ModifyState([&](TJobStateSet& s) { s.Exclude(AStates); });
}

void TLocalEmailSender::ModifyState(const std::function<void(TJobStateSet&)>& AChange) {
    {
        std::unique_lock lock(FStateCriticalSection);
        AChange(FState);
    }
    NotifyStateChanged();
}

void TLocalEmailSender::NotifyStateChanged() {
    {
        std::lock_guard lock(FStateWaitLock);
        ++FStateVersion;
    }
    FStateChanged.notify_all();
}

void TLocalEmailSender::WaitForStateChange(int AMaxMs) {
    std::unique_lock lock(FStateWaitLock);
    const quint64 version = FStateVersion;
    FStateChanged.wait_for(lock, std::chrono::milliseconds(AMaxMs), [&] { return FStateVersion != version; });
}

int TLocalEmailSender::PrepareCount() const { return FPrepareCount; }

int TLocalEmailSender::SendCount() const {
    std::lock_guard lock(FDocumentLock);
    return static_cast<int>(FEmailDocumentList.size());
}

int TLocalEmailSender::SentCount() const {
    std::lock_guard lock(FSendStatistics);
    return FSentCount;
}

int TLocalEmailSender::SentFailedCount() const {
    std::lock_guard lock(FSendStatistics);
    return FSentFailed;
}

int TLocalEmailSender::SentRetryCount() const {
    std::lock_guard lock(FSendStatistics);
    return FSentRetry;
}

TEmailDocument* TLocalEmailSender::GetSendMails(int Index) const {
    std::lock_guard lock(FDocumentLock);
    QV_ASSERT(Index >= 0 && Index < static_cast<int>(FEmailDocumentList.size()));
    return FEmailDocumentList[static_cast<size_t>(Index)].get();
}

int TLocalEmailSender::SendStackCount() const {
    std::lock_guard lock(FDocumentLock);
    return static_cast<int>(FEmailDocumentSendStack.size());
}

QDateTime TLocalEmailSender::LastSentStatisticUpdate() const {
    std::lock_guard lock(FSendStatistics);
    return FLastSentStatisticUpdate;
}

QDateTime TLocalEmailSender::SendStarted() const { return FSendStarted; }

int TLocalEmailSender::SentUnits() const {
    std::lock_guard lock(FSendStatistics);
    return FSentUnits;
}

QDateTime TLocalEmailSender::PrepareStarted() const { return FPrepareStarted; }

int TLocalEmailSender::FailedMailsCount() const {
    std::lock_guard lock(FDocumentLock);
    return static_cast<int>(FFailedList.size());
}

TEmailDocument* TLocalEmailSender::GetFailedMails(int Index) const {
    std::lock_guard lock(FDocumentLock);
    QV_ASSERT(Index >= 0 && Index < FFailedList.size());
    return FFailedList.at(Index);
}

bool TLocalEmailSender::AutoStart() const { return FAutoStart; }
QDateTime TLocalEmailSender::AutoStartDate() const { return FAutoStartDate; }
void TLocalEmailSender::SetAutoStart(bool value) { FAutoStart = value; }
void TLocalEmailSender::SetAutoStartDate(const QDateTime& value) { FAutoStartDate = value; }

void TLocalEmailSender::InitializeData() {
    RemoveState({jsInitialized});
    if (Content().isEmpty() && HTMLContent().isEmpty())
        throw hostapi::EQVException(QStringLiteral("no content!"));
    if (!DestinationList())
        throw hostapi::EQVException(QStringLiteral("No destination list!"));
    if (DestinationList()->GetEmailFields(FieldFlagOfEmailStyle(EmailStyle())).isEmpty())
        throw hostapi::EQVException(QStringLiteral("Fields not set on list!"));
    FJobDBID = -1;
    AddState({jsInitialized});
}

void TLocalEmailSender::ClearSendStatistics() {
    {
        std::lock_guard lock(FSendStatistics);
        FSentCount = 0;
        FSentFailed = 0;
        FSentRetry = 0;
        FSentUnits = 0;
        FLastSentStatisticUpdate = Now();
    }
    std::lock_guard lock(FDocumentLock);
    FSuccessList.clear();
    FFailedList.clear();
}

void TLocalEmailSender::FreeDocuments() {
    {
        std::lock_guard lock(FDocumentLock);
        FEmailDocumentSendStack.clear();
        FSuccessList.clear();
        FFailedList.clear();
        FEmailDocumentList.clear();
    }
    FPrepareCount = 0;
    FPrepareStarted = QDateTime();
    FDocumentPreparer.reset();
    RemoveState({jsPrepared, jsPreparedPreview});
}

bool TLocalEmailSender::PrepareDocument(TEmailDocument* ADocument, int RecNo, const hostapi::TQVRecordSet& ARecords,
                                        const TAttachementList& AAttachements) {
    QV_ASSERT(ADocument != nullptr);
    if (!FDocumentPreparer)
        FDocumentPreparer = std::make_unique<TDocumentPreparer>(
            TDocumentPreparer::TJobData{EmailStyle(), DestinationList(), UsedMakros(), TempDirectory(),
                                        [this] { return Now(); }});
    return FDocumentPreparer->PrepareDocument(*ADocument, RecNo, ARecords, AAttachements);
}

void TLocalEmailSender::AddPreparedDocument(std::unique_ptr<TEmailDocument> ADocument) {
    std::lock_guard lock(FDocumentLock);
    FEmailDocumentSendStack.append(ADocument.get());
    FEmailDocumentList.push_back(std::move(ADocument));
}

void TLocalEmailSender::ResetData() {
    if (State().Contains(jsTerminateing))
        return;
    AddState({jsReseting});
    try {
        if (Terminate(true)) {
            ClearSendStatistics();
            FreeDocuments();
            CloseJobRow();
            FJobDBID = -1;
            FAutoStart = false;
            RemoveState({jsTerminated, jsSent, jsAutoStarted, jsRegisterServiceFetched, jsDelayd, jsThrottling});
        }
    } catch (...) {
        RemoveState({jsReseting});
        throw;
    }
    RemoveState({jsReseting});
}

bool TLocalEmailSender::Terminate(bool WaitFor) {
    const bool terminated = TBaseEmailSender::Terminate(WaitFor);
    // Nothing prepares or sends any more: the threads are at their end; join them.
    if (WaitFor && terminated)
        JoinThreads();
    return terminated;
}

void TLocalEmailSender::ProcessTerminate() {
    bool idle = false;
    ModifyState([&](TJobStateSet& s) {
        if (!s.ContainsAny({jsPreparingPreview, jsPreparing, jsSending}) && s.Contains(jsTerminateing)) {
            s.Exclude({jsTerminateing}).Include({jsTerminated});
            idle = true;
        }
    });
    if (idle || !State().Contains(jsTerminateing))
        return;
    std::lock_guard lock(FThreadLock);
    for (const auto& thread : FSendThreadList)
        thread->Terminate();
}

bool TLocalEmailSender::ExecuteTimerFunc() {
    const TJobStateSet s = State();
    if (s.Contains(jsSent) && !s.ContainsAny({jsTerminateing, jsTerminated})) {
        FreeJob(this);
        return true;
    }
    if (FAutoStart && Now() >= FAutoStartDate && s == TJobStateSet{jsInitialized}) {
        AddState({jsAutoStarted});
        Prepare();
        Send();
    }
    return false;
}

bool TLocalEmailSender::ThreadsAlive() const {
    std::lock_guard lock(FThreadLock);
    if (FPrepareThread && FPrepareThread->Alive())
        return true;
    for (const auto& thread : FSendThreadList)
        if (thread->Alive())
            return true;
    return false;
}

void TLocalEmailSender::JoinThreads() {
    std::unique_ptr<TMethodeCallThread> prepare;
    std::vector<std::unique_ptr<TMethodeCallThread>> senders;
    {
        std::lock_guard lock(FThreadLock);
        prepare = std::move(FPrepareThread);
        senders = std::move(FSendThreadList);
        FSendThreadList.clear();
    }
    if (prepare)
        prepare->WaitFor();
    for (const auto& thread : senders)
        thread->WaitFor();
}

TMethodeCallThread& TLocalEmailSender::StartWorkerThread(bool ASender, bool AIsRoot, QThread::Priority APriority,
                                                         TObjProcedure AMethode, TObjFinalProcedure AFinalize) {
    auto thread = std::make_unique<TMethodeCallThread>();
    thread->SetObjMethode(std::move(AMethode));
    thread->SetFinalizeMethode(std::move(AFinalize));
    thread->SetIsRoot(AIsRoot);
    thread->SetPriority(APriority);
    TMethodeCallThread& result = *thread;
    std::unique_ptr<TMethodeCallThread> previous;
    {
        std::lock_guard lock(FThreadLock);
        if (ASender) {
            FSendThreadList.push_back(std::move(thread));
        } else {
            QV_ASSERT(!FPrepareThread || !FPrepareThread->Alive());
            previous = std::move(FPrepareThread);
            FPrepareThread = std::move(thread);
        }
        // Started under the lock, so that a concurrent ProcessTerminate sees only started threads.
        result.Start();
    }
    if (previous)
        previous->WaitFor();
    return result;
}

void TLocalEmailSender::DoPrepare() {
    if (!State().Contains(jsInitialized))
        InitializeData();
    FreeDocuments();
    WriteJobRow();
    ModifyState([](TJobStateSet& s) {
        if (!s.Contains(jsPreparingPreview))
            s.Include({jsPreparing});
    });
    try {
        FPrepareStarted = Now();
        const QThread::Priority priority =
            DestinationList() ? DestinationList()->PreparePriority() : QThread::NormalPriority;
        StartWorkerThread(false, false, priority, [this](TMethodeCallThread& t) { PrepareThreadExecute(t); },
                          [this] { PrepareThreadFinalize(); });
    } catch (...) {
        RemoveState({jsPreparing, jsPreparingPreview});
        throw;
    }
}

void TLocalEmailSender::DoPreparePreview() {
    AddState({jsPreparingPreview});
    DoPrepare();
}

void TLocalEmailSender::PrepareThreadFinalize() {
    ModifyState([](TJobStateSet& s) {
        if (s.Contains(jsPreparingPreview))
            s.Exclude({jsPreparingPreview});
        else
            s.Exclude({jsPreparing});
    });
}

void TLocalEmailSender::DoSend() {
    {
        // Sender threads of an earlier send have ended (jsSending is gone); join them first.
        std::vector<std::unique_ptr<TMethodeCallThread>> ended;
        {
            std::lock_guard lock(FThreadLock);
            ended = std::move(FSendThreadList);
            FSendThreadList.clear();
        }
        for (const auto& thread : ended)
            thread->WaitFor();
    }
    ModifyState([](TJobStateSet& s) { s.Exclude({jsSent}).Include({jsSending}); });
    try {
        FSendStarted = Now();
        StartSendThreads();
    } catch (...) {
        if (!ThreadsAlive())
            RemoveState({jsSending});
        throw;
    }
}

void TLocalEmailSender::StartSendThreads() {
    const QThread::Priority priority = DestinationList() ? DestinationList()->SendPriority() : QThread::NormalPriority;
    StartWorkerThread(true, true, priority, [this](TMethodeCallThread& t) { SendThreadExecute(t); },
                      [this] { SendThreadFinalize(true); });
}

void TLocalEmailSender::SendThreadFinalize(bool AIsRoot) {
    if (AIsRoot)
        RemoveState({jsSending});
}

void TLocalEmailSender::PrepareThreadExecute(TMethodeCallThread&) {}
void TLocalEmailSender::SendThreadExecute(TMethodeCallThread&) {}
void TLocalEmailSender::WriteJobRow() {}
void TLocalEmailSender::WriteJobEndRows() {}
void TLocalEmailSender::CancelBlockingWork() {}

void TLocalEmailSender::CloseJobRow() {
    if (FJobDBID < 0)
        return;
    hostapi::TClientSQL sql(QStringLiteral("emljobs"), hostapi::ckUpdate);
    sql.AddField(QStringLiteral("jobstate"));
    sql.AddField(QStringLiteral("enddate"));
    sql.SetFieldValue(QStringLiteral("jobstate"), 1);
    sql.SetFieldValue(QStringLiteral("enddate"), Now());
    sql.Filters().Add(QStringLiteral("id"), FJobDBID);
    sql.Execute();
}

void TLocalEmailSender::BeforeDestruction() {
    if (ThreadsAlive()) {
        AddState({jsTerminateing});
        ProcessTerminate();
        {
            std::lock_guard lock(FThreadLock);
            if (FPrepareThread)
                FPrepareThread->Terminate();
        }
        CancelBlockingWork();
    }
    JoinThreads();
    try {
        WriteJobEndRows();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
    ClearSendStatistics();
    FreeDocuments();
    try {
        ClearTempDirectory();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
    if (OnDestroyJob())
        OnDestroyJob()(*this);
}

} // namespace emailmarketing
