#include "BaseEmailSender.h"

#include "CancellationScope.h"
#include "BodySpillWorker.h"
#include "CoreLog.h"
#include "DocumentPreparer.h"
#include "Database.h"
#include "ExceptionDisplay.h"
#include "FileUtils.h"
#include "IExtFuncPluginRegisterService.h"
#include "JobProcessLock.h"
#include "JobRows.h"
#include "MacroForms.h"
#include "MessageSink.h"
#include "PendingSentList.h"
#include "QVException.h"
#include "SendPacket.h"
#include "SendRetryPolicy.h"
#include "SenderThread.h"
#include "SentListSubmission.h"
#include "SentListWriter.h"
#include "QVRecordSet.h"
#include "RecipientPages.h"
#include "RecipientSelection.h"
#include "RegisterServicePlugin.h"

#include <QDir>
#include <QScopeGuard>
#include <QFileInfo>

#include <algorithm>
#include <chrono>

namespace emailmarketing {

namespace {

// Limits of the waits, in rounds of 10 ms.
constexpr int TerminateRounds = 3000;
constexpr int PreviewRounds = 6000;
constexpr int RoundMs = 10;

QString TerminatedText() {
    return QStringLiteral("The job was terminated before this message was sent.");
}

// Documents per packet: the list's messages per unit when it sends in packets, else -1 (one packet).
int PacketSizeOf(const TEmailListItem& AList) {
    const int perUnit = AList.MailsPerUnit();
    return AList.SendPerUnits() && perUnit > 0 ? perUnit : -1;
}

} // namespace

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

qint64 TBaseEmailSender::NowMSecs() const {
    return FClock ? FClock().toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
}

TJobStateSet TBaseEmailSender::State() const { return {}; }
void TBaseEmailSender::SetState(TJobStateSet) {}
void TBaseEmailSender::AddState(TJobStateSet AStates) { SetState(State().Include(AStates)); }
void TBaseEmailSender::RemoveState(TJobStateSet AStates) { SetState(State().Exclude(AStates)); }
QDateTime TBaseEmailSender::StartDate() const { return {}; }
int TBaseEmailSender::PrepareCount() const { return -1; }
int TBaseEmailSender::DroppedCount() const { return 0; }
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
double TBaseEmailSender::CurrentDelay() const { return 0.0; }
void TBaseEmailSender::ModifyState(const std::function<void(TJobStateSet&)>& AChange) {
    TJobStateSet s = State();
    AChange(s);
    SetState(s);
}
void TBaseEmailSender::DoPrepare() {}
void TBaseEmailSender::DoPreparePreview() {}
void TBaseEmailSender::DoSend() {}
void TBaseEmailSender::ProcessTerminate() {}
void TBaseEmailSender::InitializeData() {}
void TBaseEmailSender::ResetData() {}
void TBaseEmailSender::DropPreviewDocuments() {}

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
    // The preparation ends with its thread's completion step, with or without AState.
    const auto ended = [](TJobStateSet s) { return !s.ContainsAny({jsPreparing, jsPreparingPreview}); };
    TJobStateSet s = State();
    while (!ended(s)) {
        if (ARounds != -1 && (ARounds <= 0 || Now() >= deadline))
            break;
        WaitForStateChange(RoundMs);
        s = State();
        if (ended(s) || FPreviewPreparingAborting)
            break;
        if (FOnWaitCallBack)
            FOnWaitCallBack(*this);
    }
    return s.Contains(AState);
}

void TBaseEmailSender::StartPreparation(bool APreview) {
    // The check and the claim are one step; no other preparation can start after it.
    const TJobState claim = APreview ? jsPreparingPreview : jsPreparing;
    ModifyState([&](TJobStateSet& s) {
        TJobActionRules::CheckPrepare(s);
        s.Include({claim});
    });
    try {
        if (APreview)
            DoPreparePreview();
        else
            DoPrepare();
    } catch (...) {
        // No preparation runs; neither bit was set before the claim.
        RemoveState({jsPreparing, jsPreparingPreview});
        throw;
    }
}

void TBaseEmailSender::Prepare() {
    StartPreparation(false);
}

void TBaseEmailSender::PreparePreview() {
    StartPreparation(true);
    WaitForJobState(jsPreparedPreview, FOnWaitCallBack ? -1 : PreviewRounds);
}

void TBaseEmailSender::AbortPreviewPreparing() { FPreviewPreparingAborting = true; }

void TBaseEmailSender::Send() {
    ModifyState([](TJobStateSet& s) {
        TJobActionRules::CheckSend(s);
        s.Include({jsSending});
    });
    DoSend();
}

bool TBaseEmailSender::CanAction(TEMLAction AAction) const {
    return TJobActionRules::CanAction(AAction, State(), SendCount(), FailedMailsCount());
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
    return TMacroForms::PredefinedMacros();
}

QString TBaseEmailSender::ReplaceFieldMacros(const QString& SchemaName, const QString& AText, bool FieldsToCaption,
                                             const hostapi::TDBFieldSchema& ADBFieldSchema) {
    return TMacroForms::ReplaceFieldMacros(SchemaName, AText, FieldsToCaption, ADBFieldSchema);
}

QString TBaseEmailSender::ReplaceFieldMacros(const QString& AText, bool FieldsToCaption,
                                             const TEmailListItem* AEmailList,
                                             const hostapi::TDBFieldSchema& ADBFieldSchema) {
    return TMacroForms::ReplaceFieldMacros(AText, FieldsToCaption, AEmailList, ADBFieldSchema);
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
    bool changed = false;
    {
        std::unique_lock lock(FStateCriticalSection);
        TJobStateSet s = FState;
        AChange(s);
        changed = !(s == FState);
        FState = s;
    }
    if (changed)
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
    return FSendStatistics.SentCount();
}

int TLocalEmailSender::SentFailedCount() const {
    return FSendStatistics.SentFailedCount();
}

int TLocalEmailSender::SentRetryCount() const {
    return FSendStatistics.SentRetryCount();
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
    return FSendStatistics.LastUpdate();
}

QDateTime TLocalEmailSender::SendStarted() const { return FSendStarted; }

int TLocalEmailSender::SentUnits() const {
    return FSendStatistics.SentUnits();
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

void TLocalEmailSender::ClearSendStatistics(bool AKeepRetries) {
    FSendStatistics.Clear(AKeepRetries, NowMSecs());
    std::lock_guard lock(FDocumentLock);
    FSuccessList.clear();
    FFailedList.clear();
}

void TLocalEmailSender::FreeDocuments() {
    // The spill thread holds documents until it has ended.
    FSpillWorker.reset();
    {
        std::lock_guard lock(FDocumentLock);
        FEmailDocumentSendStack.clear();
        FSuccessList.clear();
        FFailedList.clear();
        FEmailDocumentList.clear();
    }
    FBodySpill.reset();
    FPrepareCount = 0;
    FDroppedRecipients.Reset();
    FPrepareStarted = QDateTime();
    FDocumentPreparer.reset();
    RemoveState({jsPrepared, jsPreparedPreview});
}

bool TLocalEmailSender::PrepareDocument(TEmailDocument* ADocument, int RecNo, const hostapi::TQVRecordSet& ARecords,
                                        const TAttachementList& AAttachements) {
    QV_ASSERT(ADocument != nullptr);
    return DocumentPreparer().PrepareDocument(*ADocument, RecNo, ARecords, AAttachements);
}

TDocumentPreparer& TLocalEmailSender::DocumentPreparer() {
    if (!FDocumentPreparer)
        FDocumentPreparer = std::make_unique<TDocumentPreparer>(
            TDocumentPreparer::TJobData{EmailStyle(), DestinationList(), UsedMakros(), TempDirectory(),
                                        [this] { return Now(); }});
    return *FDocumentPreparer;
}

void TLocalEmailSender::AddPreparedDocument(std::unique_ptr<TEmailDocument> ADocument) {
    {
        std::lock_guard lock(FDocumentLock);
        FEmailDocumentSendStack.append(ADocument.get());
        FEmailDocumentList.push_back(std::move(ADocument));
    }
    ResumeSenders();
}

void TLocalEmailSender::ResetData() { ResetRun(false); }

void TLocalEmailSender::DropPreviewDocuments() {
    if (State().ContainsAny({jsPreparedPreview, jsPreparingPreview}))
        ResetRun(true);
}

void TLocalEmailSender::ResetRun(bool AKeepSchedule) {
    if (State().Contains(jsTerminateing))
        return;
    AddState({jsReseting});
    try {
        if (Terminate(true)) {
            // A sent run keeps what it achieved: its row and its template are ended as a freed job's.
            if (State().Contains(jsSent)) {
                WriteJobEndRows();
                FJobRowClosed = true;
            }
            ClearSendStatistics();
            FreeDocuments();
            CloseJobRow();
            FJobDBID = -1;
            if (!AKeepSchedule)
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
    bool terminating = false;
    ModifyState([&](TJobStateSet& s) {
        terminating = s.Contains(jsTerminateing);
        if (terminating && !s.ContainsAny({jsPreparingPreview, jsPreparing, jsSending}))
            s.Exclude({jsTerminateing}).Include({jsTerminated});
    });
    if (!terminating)
        return;
    // Every pause and idle wait of the sender threads ends at once, and so does a child process of
    // the preparation.
    FSendGate.Cancel();
    FReplacerCancellation.Cancel();
    // The request reaches every thread that has not ended, whatever the state set shows.
    FThreads.TerminateAll();
}

bool TLocalEmailSender::ExecuteTimerFunc() {
    const TJobStateSet s = State();
    if (s.Contains(jsSent) && !s.ContainsAny({jsTerminateing, jsTerminated})) {
        FreeJob(this);
        return true;
    }
    if (!FAutoStart || Now() < FAutoStartDate)
        return false;
    bool due = false;
    ModifyState([&](TJobStateSet& state) {
        // A previewed job is due as well: its preparation drops the preview's documents.
        due = TJobActionRules::Startable(state);
        if (due)
            state.Include({jsAutoStarted});
    });
    if (due) {
        Prepare();
        Send();
    }
    return false;
}

qint64 TLocalEmailSender::SpillFileSize() const { return FBodySpill ? FBodySpill->FileSize() : 0; }

QString TLocalEmailSender::SpillFileName() const { return FBodySpill ? FBodySpill->FileName() : QString(); }

bool TLocalEmailSender::ThreadsAlive() const {
    return FThreads.Alive();
}

int TLocalEmailSender::SenderThreadCount() const {
    return FThreads.SenderCount();
}

void TLocalEmailSender::JoinThreads() {
    FThreads.JoinAll();
}

TMethodeCallThread& TLocalEmailSender::StartWorkerThread(bool ASender, bool AIsRoot,
                                                         QThread::Priority APriority, TObjProcedure AMethode,
                                                         TObjFinalProcedure AFinalize) {
    return FThreads.Start(ASender, AIsRoot, APriority, std::move(AMethode), std::move(AFinalize),
                          [this](TMethodeCallThread& AThread) { CompletionStepDone(AThread); });
}

void TLocalEmailSender::CompletionStepDone(TMethodeCallThread&) {}

void TLocalEmailSender::DoPrepare() {
    if (!State().Contains(jsInitialized))
        InitializeData();
    // Refusals and a failed row come before anything of an earlier preparation is discarded.
    WriteJobRow();
    FreeDocuments();
    FReplacerCancellation.Reset();
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
    // A run that ended without its documents (failed or terminated) closes its row before it leaves
    // the preparing state: a new preparation may start right after and write its own row.
    std::exception_ptr failure;
    if (!State().Contains(jsPrepared)) {
        try {
            CloseJobRow();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    ModifyState([](TJobStateSet& s) {
        if (s.Contains(jsPreparingPreview))
            s.Exclude({jsPreparingPreview});
        else
            s.Exclude({jsPreparing});
    });
    // Senders waiting for packets learn that the preparation has ended, with or without documents.
    ResumeSenders();
    if (failure)
        std::rethrow_exception(failure);
}

void TLocalEmailSender::DoSend() {
    // jsSending stays while threads are being started, even when the first ones end at once.
    FThreads.BeginSenderStarts();
    ModifyState([](TJobStateSet& s) { s.Exclude({jsSent}).Include({jsSending}); });
    std::exception_ptr failure;
    try {
        ResetSendRun();
        StartSendThreads();
    } catch (...) {
        failure = std::current_exception();
    }
    // Sending lasts as long as a sender thread does; without one it is over.
    FThreads.EndSenderStarts();
    if (failure)
        std::rethrow_exception(failure);
}

// ---- preparation ----

void TLocalEmailSender::PrepareThreadExecute(TMethodeCallThread& CallingThread) {
    const TReplacerCancellation::TScope replacers(FReplacerCancellation);
    const bool preview = State().Contains(jsPreparingPreview);
    const std::shared_ptr<TEmailListItem> list = DestinationList();
    QV_ASSERT(list != nullptr);
    if (list->FetchRegisterServiceBeforeSending()) {
        FetchRegisterServiceBeforePreparing();
        if (PrepareTerminated(CallingThread))
            return;
    }
    const int packetSize = PacketSizeOf(*list);

    const TRecipientQuery query =
        TRecipientSelection::LoadQuery(*list, FieldFlagOfEmailStyle(EmailStyle()), ReSendJobID(), ReSendJobState());
    hostapi::TQVRecordSet records;
    TRecipientSelection::Apply(query, records);
    // Every document's texts are in the job's file, or reported, when the preparation ends.
    const auto spilled = qScopeGuard([this] { FinishSpilling(); });
    // One page of recipient rows at a time: the job's memory does not grow with its list.
    TRecipientPages pages(records);
    FPrepareCount = pages.Count();
    DocumentPreparer().SetMailCount(pages.Count());
    // Every recipient has its row before the first message goes out: a crash leaves no one without.
    const QList<qint64> pendingRows = preview || FJobDBID < 0 ? QList<qint64>() : WritePendingRows(query, pages);

    QList<TEmailDocument*> packet;
    bool terminated = false;
    pages.Rewind();
    while (!terminated && pages.NextPage()) {
        // Recipients deleted or no longer selected since the ids were read are left out.
        const QList<qint64> missing = pages.PageMissing();
        const QList<int> missingIndexes = pages.PageMissingIndexes();
        for (qsizetype i = 0; i < missing.size(); ++i) {
            FDroppedRecipients.Drop(missing[i], TDropReason::LeftSelection);
            if (const qint64 row = pendingRows.value(missingIndexes[i], -1); row >= 0)
                FDroppedPendingRows << row;
        }
        for (records.First(); !records.Eof(); records.Next()) {
            const int index = pages.IndexOf(records.RecNo());
            BeforePrepareRecipient(index);
            TEmailDocument* document = PrepareRecipient(records.RecNo(), records, pendingRows.value(index, -1));
            if (document && !preview) {
                packet.append(document);
                if (packetSize != -1 && packet.size() >= packetSize) {
                    DeleteDroppedPendingRows();
                    PushPacket(&packet, true);
                }
            }
            if (PrepareTerminated(CallingThread)) {
                terminated = true; // the documents of the packet stay with the job, unsent
                break;
            }
        }
    }
    records.Close();
    DeleteDroppedPendingRows();
    if (const QString summary = FDroppedRecipients.Summary(FPrepareCount); !summary.isEmpty())
        hostapi::MessageSink::Current().AddMessage(summary, hostapi::MessageKind::Warning);
    if (terminated)
        return;
    if (preview) {
        AddState({jsPreparedPreview});
    } else {
        PushPacket(&packet, false);
        AddState({jsPrepared});
        PushPacket(nullptr, true);
    }
}

QList<qint64> TLocalEmailSender::WritePendingRows(const TRecipientQuery& AQuery, const TRecipientPages& ASelection) {
    // The same selection read once more, with only the address fields.
    hostapi::TQVRecordSet records;
    TRecipientSelection::Apply(AQuery, records);
    const hostapi::TQVRecordSet::TGetFieldIsRequiredEvent selected = records.OnGetFieldIsRequired();
    records.SetOnGetFieldIsRequired([selected, fields = AQuery.AddressFields](const QString& AFieldName) {
        return fields.contains(AFieldName, Qt::CaseInsensitive) && selected(AFieldName);
    });
    TRecipientPages pages(records, ASelection);
    QList<qint64> rows(pages.Count(), -1);
    while (pages.NextPage()) {
        QList<int> indexes;
        QList<TPendingSentList::TRecipient> recipients;
        for (int r = 0; r < records.RecordCount(); ++r) {
            const QString address = DocumentPreparer().UsableAddress(r, records);
            if (address.isEmpty())
                continue; // dropped by the preparation without a row
            indexes << pages.IndexOf(r);
            recipients.append({address, records.RecordIDAt(r)});
        }
        const QList<qint64> ids = TPendingSentList::Write(FJobDBID, recipients);
        for (qsizetype i = 0; i < ids.size(); ++i)
            rows[indexes[i]] = ids[i];
    }
    return rows;
}

void TLocalEmailSender::DeleteDroppedPendingRows() {
    TPendingSentList::Delete(FDroppedPendingRows);
    FDroppedPendingRows.clear();
}

TEmailDocument* TLocalEmailSender::PrepareRecipient(int RecNo, const hostapi::TQVRecordSet& ARecords,
                                                    qint64 APendingRowID) {
    auto document = std::make_unique<TEmailDocument>();
    const qint64 addressID = ARecords.RecordID();
    // A recipient left out has no result: its pending row goes.
    const auto drop = [&](TDropReason AReason, const QString& AFailure) {
        FDroppedRecipients.Drop(addressID, AReason, AFailure);
        if (APendingRowID >= 0)
            FDroppedPendingRows << APendingRowID;
    };
    document->SetSentListRowID(APendingRowID);
    try {
        document->SetSubject(Subject());
        document->SetCCList(CCList());
        document->SetBCCList(BCCList());
        document->SetStatus(esPrepared);
        document->SetAddressID(addressID);
        if (EmailStyle() == esRTFText || EmailStyle() == esHTMLSource || EmailStyle() == esHTML) {
            document->InlineFileList() = InlineFileList();
            document->SetHTMLMailBody(HTMLContent());
        }
        document->SetPlainMailBody(Content());
        if (!PrepareDocument(document.get(), RecNo, ARecords, Attachements())) {
            drop(FDocumentPreparer->LastSkipReason(), QString());
            return nullptr;
        }
        if (FDocumentPreparer->LastCopyEntriesLeftOut())
            FDroppedRecipients.CopyEntriesLeftOut();
        // The texts go to the job's file (the system's temporary folder without a job folder), on
        // the spill thread.
        if (!FBodySpill)
            FBodySpill = std::make_shared<TBodySpill>(TempDirectory());
        if (!FSpillWorker)
            FSpillWorker = std::make_unique<TBodySpillWorker>(FBodySpill);
    } catch (...) {
        // The recipient is dropped, the preparation goes on; the failure's text may carry field
        // values, so only its kind is logged, and only the first text reaches the job's summary.
        drop(TDropReason::PreparationFailed,
             hostapi::TVRNExceptionUtils::Describe(std::current_exception(), {}).Message);
        return nullptr;
    }
    TEmailDocument* accepted = document.get();
    {
        std::lock_guard lock(FDocumentLock);
        FEmailDocumentList.push_back(std::move(document));
    }
    FSpillWorker->Add(accepted);
    return accepted;
}

void TLocalEmailSender::FinishSpilling() {
    if (!FSpillWorker)
        return;
    FSpillWorker->Finish();
    if (const int failed = FSpillWorker->FailedCount(); failed > 0)
        hostapi::MessageSink::Current().AddMessage(
            QStringLiteral("The texts of %1 prepared messages are kept in memory, as they could not be written "
                           "to the job's file: %2")
                .arg(failed)
                .arg(FSpillWorker->FirstFailure()),
            hostapi::MessageKind::Warning);
    FSpillWorker.reset();
}

bool TLocalEmailSender::PrepareTerminated(const TMethodeCallThread& AThread) const {
    return AThread.Terminated() || State().Contains(jsTerminateing);
}

void TLocalEmailSender::FetchRegisterServiceBeforePreparing() {
    AddState({jsRegisterServiceFetching});
    try {
        // Not threaded, errors not raised: the module reports its failures to the message sink.
        // A termination of the job cancels the download it waits for.
        const hostapi::TCancellationScope terminated([this] { return State().Contains(jsTerminateing); });
        if (hostapi::IExtFuncPluginRegisterService* service = RegisterServiceInterface())
            service->FetchRegisterService(false, false);
    } catch (const hostapi::EQVException& E) {
        hostapi::MessageSink::Current().AddMessage(QStringLiteral("Register-Service Error: ") + E.Message(),
                                                   hostapi::MessageKind::Error);
    } catch (const std::exception& E) {
        hostapi::MessageSink::Current().AddMessage(QStringLiteral("Register-Service Error: ") +
                                                       QString::fromLocal8Bit(E.what()),
                                                   hostapi::MessageKind::Error);
    } catch (...) {
        hostapi::MessageSink::Current().AddMessage(QStringLiteral("Register-Service Error: unknown error"),
                                                   hostapi::MessageKind::Error);
    }
    ModifyState(
        [](TJobStateSet& s) { s.Exclude({jsRegisterServiceFetching}).Include({jsRegisterServiceFetched}); });
}

hostapi::IExtFuncPluginRegisterService* TLocalEmailSender::RegisterServiceInterface() {
    const hostapi::TRegisterServicePlugin plugin;
    return plugin.Available() ? &plugin.GetPlugin() : nullptr;
}

void TLocalEmailSender::BeforePrepareRecipient(int) {}

void TLocalEmailSender::PushPacket(QList<TEmailDocument*>* APacket, bool AResume) {
    if (APacket) {
        std::lock_guard lock(FDocumentLock);
        FEmailDocumentSendStack.append(*APacket);
        APacket->clear();
    }
    if (AResume)
        ResumeSenders();
}

void TLocalEmailSender::WriteJobRow() {
    if (State().Contains(jsPreparingPreview)) {
        FJobDBID = -1;
        return;
    }
    // A run that was not reset still holds its row: it is closed, and this run gets its own.
    CloseJobRow();
    hostapi::Transaction transaction;
    const qint32 id = TJobRows::Insert(
        {TemplateID(), StartDate(), State().Contains(jsSent) ? 2 : 1, ReSendJobID(), ReSendJobState()});
    // Locked before the row is visible: a start of the module elsewhere sees a running job.
    std::unique_ptr<TJobProcessLock> lock = TJobProcessLock::TryAcquire(id);
    if (!lock)
        throw hostapi::EQVException(QStringLiteral("The new mailing job %1 is locked by another process").arg(id));
    transaction.Commit();
    FJobLock = std::move(lock);
    FJobDBID = id;
    FJobRowClosed = false;
}

// ---- end of preparation ----

void TLocalEmailSender::CloseJobRow() {
    if (FJobDBID < 0 || FJobRowClosed)
        return;
    // The run's recipients without a result fail with it.
    hostapi::Transaction transaction;
    TJobRows::Close(FJobDBID, 1, Now());
    TPendingSentList::FailJob(FJobDBID, TerminatedText(), Now());
    transaction.Commit();
    FJobRowClosed = true;
}

void TLocalEmailSender::BeforeDestruction() {
    FThreads.Close();
    if (ThreadsAlive()) {
        AddState({jsTerminateing});
        ProcessTerminate();
        CancelBlockingWork();
    }
    JoinThreads();
    try {
        WriteJobEndRows();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
    // What the end could not write is left to the next start of the module.
    FJobLock.reset();
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

// ---- TLocalEmailSender: sender threads, results and retries ----

namespace {

// Replacements of failed sender threads in a row without a sent message before sending stops.
constexpr int MaxSenderReplacements = 3;
// Pause between the starts of two sender threads.
constexpr int SenderStartPauseMs = 100;
// How long a job being freed lets its senders finish the message in flight before it cancels them.
constexpr int SenderCancelGraceMs = 2000;
// How long the end of a job waits for sent-list rows that are still queued.
constexpr int SentListFlushMs = 10000;

} // namespace

void TLocalEmailSender::ResetSendRun() {
    // The retries of earlier runs stay counted.
    ClearSendStatistics(true);
    {
        std::lock_guard lock(FSendDelaySync);
        FLastDelayedSent = QDateTime();
        FUnitPacketClaimed = false;
    }
    FSendStarted = Now();
    FSenderFailuresInRow = 0;
    FSendingStopped = false;
    EnsureSentListWriter();
    FSendGate.Reopen();
}

void TLocalEmailSender::EnsureSentListWriter() {
    if (FSentListWriter)
        return;
    FSentListWriter = std::make_unique<TSentListWriter>();
    FSentListWriter->SetOnWritten(
        [this](const TSentListRow& ARow) { UpdateSendStatistics(true, false, ARow.SentState != 1, false); });
    // The senders go on while their rows are committed (within their bound).
    FSentListWriter->StartCommitter();
}

void TLocalEmailSender::StartSendThreads() {
    StartSenderThread(true);
    const std::shared_ptr<TEmailListItem> list = DestinationList();
    if (!list || !list->SendPerUnits() || list->SendThreads() < 2)
        return;
    for (int i = 1; i < list->SendThreads(); ++i) {
        if (FSendGate.Pause(SenderStartPauseMs) == TSendWaitGate::wrCancelled)
            return;
        StartSenderThread(false);
    }
}

void TLocalEmailSender::StartSenderThread(bool AIsRoot) {
    const QThread::Priority priority =
        DestinationList() ? DestinationList()->SendPriority() : QThread::NormalPriority;
    ++FSenderBodies;
    try {
        StartWorkerThread(true, AIsRoot, priority, [this](TMethodeCallThread& t) { SendThreadExecute(t); },
                          {});
    } catch (...) {
        --FSenderBodies;
        throw;
    }
}

void TLocalEmailSender::SendThreadExecute(TMethodeCallThread& CallingThread) {
    std::exception_ptr failure;
    try {
        SenderThreadBody(CallingThread);
    } catch (...) {
        failure = std::current_exception();
    }
    // The last sender of a terminated run fails what was not sent.
    const bool terminated = CallingThread.Terminated() || State().Contains(jsTerminateing);
    if (--FSenderBodies == 0 && terminated) {
        try {
            FailUnsentDocuments(TerminatedText());
        } catch (...) {
            if (!failure)
                throw;
            hostapi::TVRNExceptionUtils::ShowCurrent();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TLocalEmailSender::SenderThreadBody(TMethodeCallThread& CallingThread) {
    std::exception_ptr failure;
    try {
        TSenderThread sender(*this, CallingThread);
        sender.Run();
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        const QString text = hostapi::TVRNExceptionUtils::Describe(failure, {}).Message;
        if (FSenderFailuresInRow.fetch_add(1) + 1 > MaxSenderReplacements) {
            // The job stops sending; what is left stays unsent and visible, and the user learns why.
            if (!FSendingStopped.exchange(true)) {
                qCWarning(lcCore).noquote() << "Sending stopped after repeated sender failures:" << text;
                FSendGate.Wake();
                hostapi::TVRNExceptionUtils::Show(failure);
            }
            return;
        }
        qCWarning(lcCore).noquote() << "Sender thread failed and is replaced:" << text;
        if (!SenderStopRequested(CallingThread))
            StartSenderThread(CallingThread.IsRoot());
        return;
    }
    if (CallingThread.IsRoot()) {
        WaitForOtherSenders(CallingThread);
        if (!SenderStopRequested(CallingThread) && SendStackCount() == 0 && State().Contains(jsPrepared))
            AddState({jsSent});
    } else if (SendStackCount() == 0 && State().Contains(jsPrepared)) {
        ResumeRootSender();
    }
}

bool TLocalEmailSender::SenderStopRequested(const TMethodeCallThread& CallingThread) const {
    return CallingThread.Terminated() || FSendingStopped.load() || State().Contains(jsTerminateing);
}

void TLocalEmailSender::ResumeSenders() {
    FSendGate.Wake();
    // A sender body that suspends its thread (rather than waiting at the gate) is resumed, too; a
    // busy one keeps the wake as a token.
    FThreads.ResumeSenders();
}

void TLocalEmailSender::ResumeRootSender() {
    FSendGate.Wake();
}

void TLocalEmailSender::WaitForOtherSenders(TMethodeCallThread& CallingThread) {
    // Idle further threads look again and end when nothing is left for them.
    FSendGate.Wake();
    for (;;) {
        const quint64 wakeToken = FSendGate.WakeCount();
        if (SenderThreadCount() <= 1 || SenderStopRequested(CallingThread))
            return;
        FSendGate.WaitUntil(QDateTime(), wakeToken);
    }
}

bool TLocalEmailSender::TakeSendPacket(int APacketSize, QList<TEmailDocument*>& APending) {
    std::lock_guard lock(FDocumentLock);
    const bool prepared = State().Contains(jsPrepared);
    return TSendPacket::Take(
        FEmailDocumentSendStack, APacketSize, prepared,
        [this](const TEmailDocument& d) { return IsRetryDue(d); }, APending);
}

bool TLocalEmailSender::WaitUnitDelay(int AMinutes) {
    if (AMinutes < 1)
        return true;
    std::lock_guard lock(FSendDelaySync);
    if (FUnitPacketClaimed)
        return false; // another thread sends the packet of this delay
    const bool due = TUnitDelay::Due(Now(), FLastDelayedSent, AMinutes);
    FUnitPacketClaimed = due;
    if (due)
        RemoveState({jsDelayd});
    else
        AddState({jsDelayd});
    return due;
}

void TLocalEmailSender::ReleaseUnitDelay() {
    std::lock_guard lock(FSendDelaySync);
    FUnitPacketClaimed = false;
}

double TLocalEmailSender::CurrentDelay() const {
    const int minutes = DestinationList() ? DestinationList()->UnitDelay() : 0;
    std::lock_guard lock(FSendDelaySync);
    return TUnitDelay::CurrentDelay(Now(), FLastDelayedSent, minutes);
}

QDateTime TLocalEmailSender::NextSendDue(bool AUnitDelay, int AMinutes) const {
    const QDateTime now = Now();
    QDateTime due;
    const auto consider = [&](const QDateTime& ATime) {
        if (ATime.isValid() && ATime > now && (!due.isValid() || ATime < due))
            due = ATime;
    };
    if (AUnitDelay) {
        std::lock_guard lock(FSendDelaySync);
        // While another thread sends the packet of this delay, its end wakes the others.
        const QDateTime end = TUnitDelay::DueAfter(FLastDelayedSent, AMinutes);
        if (!FUnitPacketClaimed && end.isValid())
            consider(end.addMSecs(1));
    }
    std::lock_guard lock(FDocumentLock);
    for (const TEmailDocument* document : FEmailDocumentSendStack)
        consider(TSendRetryPolicy::DueAt(document->RetryCount(), document->LastRetry()));
    return due;
}

void TLocalEmailSender::EndOfPacket(TSenderLists& ALists, bool AClaimedUnitDelay) {
    {
        std::lock_guard lock(FSendDelaySync);
        FLastDelayedSent = Now();
        if (AClaimedUnitDelay)
            FUnitPacketClaimed = false;
    }
    {
        std::lock_guard lock(FDocumentLock);
        FSuccessList.append(ALists.Success);
        FFailedList.append(ALists.Failure);
        FEmailDocumentSendStack.append(ALists.Pending);
    }
    ALists.Success.clear();
    ALists.Failure.clear();
    ALists.Pending.clear();
    UpdateSendStatistics(false, true, false, false);
    ResumeSenders();
}

void TLocalEmailSender::ReturnPacket(TSenderLists& ALists, bool AClaimedUnitDelay) {
    if (AClaimedUnitDelay) {
        std::lock_guard lock(FSendDelaySync);
        FUnitPacketClaimed = false;
    }
    {
        std::lock_guard lock(FDocumentLock);
        FEmailDocumentSendStack = ALists.Pending + FEmailDocumentSendStack;
    }
    ALists.Success.clear();
    ALists.Failure.clear();
    ALists.Pending.clear();
    ResumeSenders();
}

void TLocalEmailSender::ChangeDeliveringSenders(int ADelta) {
    if (FDeliveringSenders.fetch_add(ADelta) + ADelta == 0)
        FSendGate.Wake();
}

bool TLocalEmailSender::IsRetryDue(const TEmailDocument& ADocument) const {
    // The clock is read only for a document that waits for a retry.
    if (!TSendRetryPolicy::DueAt(ADocument.RetryCount(), ADocument.LastRetry()).isValid())
        return true;
    return TSendRetryPolicy::IsDue(ADocument.RetryCount(), ADocument.LastRetry(), Now());
}

bool TLocalEmailSender::ScheduleRetry(TEmailDocument& ADocument, qint32 AErrorCode) {
    if (TSendRetryPolicy::Verdict(false, AErrorCode, ADocument.RetryCount()) == TSendVerdict::Retry) {
        ADocument.SetRetryCount(ADocument.RetryCount() + 1);
        ADocument.SetLastRetry(Now());
        return true;
    }
    ADocument.SetLastRetry(QDateTime());
    return false;
}

void TLocalEmailSender::HandleSendResult(TEmailDocument& ADocument, bool ASuccess, const QString& AErrorText,
                                         qint32 AErrorCode, TSenderLists& ALists) {
    if (ASuccess) {
        ADocument.SetSentErrorMessage(QString());
        ADocument.SetStatus(esSent);
        ALists.Success.append(&ADocument);
        FSenderFailuresInRow = 0;
    } else if (ScheduleRetry(ADocument, AErrorCode)) {
        UpdateSendStatistics(false, false, false, true);
        return;
    } else {
        ADocument.SetErrorCode(AErrorCode);
        ADocument.SetSentErrorMessage(AErrorText);
        ADocument.SetStatus(esSentError);
        ALists.Failure.append(&ADocument);
    }
    ALists.Pending.removeOne(&ADocument);
    WriteSentListEntry(ADocument, ALists.Submission);
}

void TLocalEmailSender::WriteSentListEntry(const TEmailDocument& ADocument, TSentListSubmission* ASubmission) {
    QV_ASSERT(FSentListWriter != nullptr);
    TSentListRow row;
    row.Email = ADocument.EmailAddress();
    row.ErrorMessage = SentListErrorMessage(ADocument.ErrorCode(), ADocument.SentErrorMessage());
    row.SentState = ADocument.Status() == esSent ? 1 : 2;
    row.SentDate = Now();
    row.AddressID = ADocument.AddressID();
    row.JobID = FJobDBID;
    row.RowID = ADocument.SentListRowID();
    if (ASubmission) {
        ASubmission->Submit(row);
        return;
    }
    // A row that cannot be written now stays queued in the writer and is retried; it counts once
    // it is durable.
    if (!FSentListWriter->Write(row))
        qCWarning(lcCore).noquote() << "A sent-list row waits for the database:"
                                    << FSentListWriter->LastError();
}

int TLocalEmailSender::SucceededCount() const {
    return FSendStatistics.SucceededCount();
}

void TLocalEmailSender::UpdateSendStatistics(bool ASent, bool AUnit, bool AFailed, bool ARetry) {
    FSendStatistics.Update(ASent, AUnit, AFailed, ARetry, NowMSecs());
}

void TLocalEmailSender::FailUnsentDocuments(const QString& AText) {
    QList<TEmailDocument*> failed;
    {
        std::lock_guard lock(FDocumentLock);
        for (const auto& document : FEmailDocumentList)
            if (document->Status() == esPrepared)
                failed.append(document.get());
        for (TEmailDocument* document : failed) {
            document->SetErrorCode(0);
            document->SetSentErrorMessage(AText);
            document->SetStatus(esSentError);
            FEmailDocumentSendStack.removeOne(document);
        }
        FFailedList.append(failed);
    }
    // One statement for every pending row; documents without one get rows of their own.
    if (FJobDBID > -1)
        TPendingSentList::FailJob(FJobDBID, AText, Now());
    QList<const TEmailDocument*> withoutRow;
    for (const TEmailDocument* document : std::as_const(failed)) {
        if (document->SentListRowID() >= 0)
            UpdateSendStatistics(true, false, true, false);
        else
            withoutRow.append(document);
    }
    if (withoutRow.isEmpty())
        return;
    EnsureSentListWriter();
    for (const TEmailDocument* document : std::as_const(withoutRow))
        WriteSentListEntry(*document);
}

void TLocalEmailSender::WriteJobEndRows() {
    // The results of the senders first; then a run that was not completed fails what it has not
    // sent, so that a resend reaches exactly those.
    if (FSentListWriter)
        FSentListWriter->Flush(SentListFlushMs);
    if ((FSentListWriter || FJobDBID > -1) && !State().Contains(jsSent))
        FailUnsentDocuments(TerminatedText());
    const int unwritten = FSentListWriter ? FSentListWriter->Flush(SentListFlushMs) : 0;
    FinishJobRows(unwritten == 0);
    if (unwritten > 0)
        throw hostapi::EQVException(QStringLiteral("%1 sent-list rows could not be written: %2")
                                        .arg(unwritten)
                                        .arg(FSentListWriter->LastError()));
}

void TLocalEmailSender::FinishJobRows(bool AAllRowsWritten) {
    const int stateCode = State().Contains(jsSent) && AAllRowsWritten ? 2 : 1;
    const QDateTime now = Now();
    if (FJobDBID > -1)
        TJobRows::Close(FJobDBID, stateCode, now);
    // A run in which every message failed has completed, but it did not mail the template.
    if (TemplateID() > -1 && stateCode == 2 && SucceededCount() > 0)
        TJobRows::MarkTemplateSent(TemplateID(), SuccessTemplateStateID(), now);
}

void TLocalEmailSender::RegisterTransport(TCustomMessageSender* ATransport) {
    std::lock_guard lock(FTransportLock);
    FTransports.push_back(ATransport);
    if (FTransportsCancelled)
        ATransport->Cancel();
}

void TLocalEmailSender::UnregisterTransport(TCustomMessageSender* ATransport) {
    std::lock_guard lock(FTransportLock);
    std::erase(FTransports, ATransport);
}

void TLocalEmailSender::CancelBlockingWork() {
    FSendGate.Cancel();
    // A child process has no message in flight: it is stopped at once.
    FReplacerCancellation.Cancel();
    // A message in flight may finish first, so that what the server accepts is recorded as sent;
    // only a sender still blocked after that has its transport cancelled.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(SenderCancelGraceMs);
    while (SenderThreadCount() > 0 && std::chrono::steady_clock::now() < deadline)
        WaitForStateChange(RoundMs * 10);
    std::lock_guard lock(FTransportLock);
    FTransportsCancelled = true;
    for (TCustomMessageSender* transport : FTransports)
        transport->Cancel();
}

} // namespace emailmarketing
