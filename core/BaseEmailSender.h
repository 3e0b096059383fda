#pragma once

#include "DroppedRecipients.h"
#include "EmailAttachement.h"
#include "EmailDocument.h"
#include "EmailListItem.h"
#include "JobThreads.h"
#include "JobActionRules.h"
#include "JobStateSet.h"
#include "MacroEngine.h"
#include "MethodeCallThread.h"
#include "PluginBaseComponent.h"
#include "SchedulePlugin.h"
#include "ReplacerCancellation.h"
#include "SendStatistics.h"
#include "SendWaitGate.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

namespace hostapi {
class IExtFuncPluginRegisterService;
class TDBFieldSchema;
class TQVRecordSet;
}

namespace emailmarketing {

class TBodySpillWorker;
class TDocumentPreparer;
class TRecipientPages;
struct TRecipientQuery;
class TCustomMessageSender;
class TJobProcessLock;
class TSenderThread;
class TSentListWriter;
class TSentListSubmission;
struct TSenderLists;

class TBaseEmailSender;
using TJobNotifyEvent = std::function<void(TBaseEmailSender& Sender)>;


// One run of one template to one distribution list: its data, its state set, the actions the state
// allows and the entry points. The base class answers neutrally; TLocalEmailSender is the job.
//
// Free a job with FreeJob (never delete it directly): its destruction steps run while the whole
// object, with its thread methods, is still alive.
class TBaseEmailSender : public hostapi::TPluginBaseComponent {
    Q_OBJECT

public:
    TBaseEmailSender(QObject* AOwner, qint32 ATemplateID, std::shared_ptr<TEmailListItem> ADestList,
                     TEmailStyle AEmailStyle);
    ~TBaseEmailSender() override;

    // Runs the destruction steps, then deletes the job.
    static void FreeJob(TBaseEmailSender* AJob);

    std::shared_ptr<TEmailListItem> DestinationList() const { return FDestinationList; }
    void SetDestinationList(std::shared_ptr<TEmailListItem> value) { FDestinationList = std::move(value); }
    QString Subject() const { return FSubject; }
    void SetSubject(const QString& value) { FSubject = value; }
    QString Content() const { return FContent; }
    void SetContent(const QString& value) { FContent = value; }
    TEmailStyle EmailStyle() const { return FEmailStyle; }
    void SetEmailStyle(TEmailStyle value) { FEmailStyle = value; }
    QStringList& InlineFileList() { return FInlineFileList; }
    TAttachementList& Attachements() { return FAttachements; }
    QList<TUsedMakro>& UsedMakros() { return FUsedMakros; }
    qint32 TemplateID() const { return FTemplateID; }
    QString TempDirectory() const { return FTempDirectory; }
    void SetTempDirectory(const QString& value) { FTempDirectory = value; }
    QString DNSServer() const { return FDNSServer; }
    void SetDNSServer(const QString& value) { FDNSServer = value; }
    TJobNotifyEvent OnWaitCallBack() const { return FOnWaitCallBack; }
    void SetOnWaitCallBack(TJobNotifyEvent value) { FOnWaitCallBack = std::move(value); }
    TJobNotifyEvent OnDestroyJob() const { return FOnDestroyJob; }
    void SetOnDestroyJob(TJobNotifyEvent value) { FOnDestroyJob = std::move(value); }
    QString HTMLContent() const { return FHTMLContent; }
    void SetHTMLContent(const QString& value) { FHTMLContent = value; }
    qint64 SuccessTemplateStateID() const { return FSuccessTemplateStateID; }
    void SetSuccessTemplateStateID(qint64 value) { FSuccessTemplateStateID = value; }
    qint64 ReSendJobID() const { return FReSendJobID; }
    void SetReSendJobID(qint64 value) { FReSendJobID = value; }
    qint64 ReSendJobState() const { return FReSendJobState; }
    void SetReSendJobState(qint64 value) { FReSendJobState = value; }
    QString CCList() const { return FCCList; }
    void SetCCList(const QString& value) { FCCList = value; }
    QString BCCList() const { return FBCCList; }
    void SetBCCList(const QString& value) { FBCCList = value; }

    // Time source of every wait and schedule of the job (default: the system clock).
    QDateTime Now() const;
    // Now() in milliseconds since the epoch, without reading the local zone.
    qint64 NowMSecs() const;
    hostapi::ScheduleClock Clock() const { return FClock; }
    void SetClock(hostapi::ScheduleClock value) { FClock = std::move(value); }

    virtual TJobStateSet State() const;
    virtual void SetState(TJobStateSet value);
    // Adds or removes states in one step.
    virtual void AddState(TJobStateSet AStates);
    virtual void RemoveState(TJobStateSet AStates);
    // Reads and changes the state set in one step; an exception from AChange changes nothing.
    virtual void ModifyState(const std::function<void(TJobStateSet&)>& AChange);
    virtual QDateTime StartDate() const;
    virtual int PrepareCount() const;
    // Recipients that the last preparation dropped (no document, no sent-list row).
    virtual int DroppedCount() const;
    virtual int SendCount() const;
    virtual int SentCount() const;
    virtual int SentFailedCount() const;
    virtual int SentRetryCount() const;
    virtual TEmailDocument* GetSendMails(int Index) const;
    virtual int SendStackCount() const;
    virtual QDateTime LastSentStatisticUpdate() const;
    virtual QDateTime SendStarted() const;
    virtual int SentUnits() const;
    virtual QDateTime PrepareStarted() const;
    virtual int FailedMailsCount() const;
    virtual TEmailDocument* GetFailedMails(int Index) const;
    virtual bool AutoStart() const;
    virtual QDateTime AutoStartDate() const;
    virtual void SetAutoStart(bool value);
    virtual void SetAutoStartDate(const QDateTime& value);
    // Minutes (with fraction) between now and the end of the unit delay.
    virtual double CurrentDelay() const;

    virtual void InitializeData();
    virtual void ResetData();
    // Drops the documents of a preview (holding jsPreparedPreview or jsPreparingPreview); unlike
    // ResetData the job stays scheduled (AutoStart and AutoStartDate are kept).
    virtual void DropPreviewDocuments();
    // Asks the job to end; with WaitFor waits until jsTerminated is set and raises
    // "Timeout while waiting for termination state!" after 30 s on the job's clock.
    virtual bool Terminate(bool WaitFor);

    // The checks of Prepare, PreparePreview and Send and the state change that claims the action
    // are one step, so of two concurrent calls one is refused. A Prepare or PreparePreview that fails
    // before its thread runs leaves the state as it was.
    void Prepare();
    // Prepares a preview and waits until the preparation has ended (then jsPreparingPreview is
    // clear): at most 60 s without OnWaitCallBack, with one until the preparation ends or
    // AbortPreviewPreparing is called.
    void PreparePreview();
    void AbortPreviewPreparing();
    void Send();
    bool CanAction(TEMLAction AAction) const;

    // Stored form "%NAME%" <-> editor form "[Caption]" of the fields of SchemaName (case-insensitive).
    static QString ReplaceFieldMacros(const QString& SchemaName, const QString& AText, bool FieldsToCaption,
                                      const hostapi::TDBFieldSchema& ADBFieldSchema);
    // The same for a list: its schema's fields, its own macros, its schema macros, then the
    // predefined macros. AText unchanged without a list.
    static QString ReplaceFieldMacros(const QString& AText, bool FieldsToCaption, const TEmailListItem* AEmailList,
                                      const hostapi::TDBFieldSchema& ADBFieldSchema);

    // Predefined macros (name, editor caption) in their fixed order.
    static const QList<QPair<QString, QString>>& PredefinedMacros();

protected:
    virtual void DoPrepare();
    virtual void DoPreparePreview();
    virtual void DoSend();
    virtual void ProcessTerminate();
    // Destruction steps that need the whole object; FreeJob runs them before deleting.
    virtual void BeforeDestruction();

    // Waits until the preparation has ended, the wait is aborted or ARounds 10 ms rounds on the
    // job's clock are over (-1: no limit); answers whether AState is set.
    bool WaitForJobState(TJobState AState, int ARounds);
    // Blocks the caller until the state set may have changed, at most AMaxMs milliseconds.
    virtual void WaitForStateChange(int AMaxMs);

    // Clears TempDirectory when it is a folder strictly inside the system's temporary folder (not a
    // link); anything else is left alone.
    void ClearTempDirectory();

private:
    void StartPreparation(bool APreview);

    std::shared_ptr<TEmailListItem> FDestinationList;
    QString FSubject;
    QString FContent;
    TEmailStyle FEmailStyle;
    QStringList FInlineFileList;
    TAttachementList FAttachements;
    QList<TUsedMakro> FUsedMakros;
    qint32 FTemplateID;
    QString FTempDirectory;
    QString FDNSServer;
    TJobNotifyEvent FOnWaitCallBack;
    TJobNotifyEvent FOnDestroyJob;
    QString FHTMLContent;
    qint64 FSuccessTemplateStateID = 0;
    std::atomic<bool> FPreviewPreparingAborting{false};
    qint64 FReSendJobID = -1;
    qint64 FReSendJobState = -1;
    QString FCCList;
    QString FBCCList;
    hostapi::ScheduleClock FClock;
};

// The send job. Its state set is guarded by a read/write lock; every change is one read-modify-write
// under the write lock, and the state lock is never held while another lock is taken.
//
// The job owns its prepare thread and its sender threads and joins them before it is destroyed.
// The thread bodies are the virtual methods PrepareThreadExecute and SendThreadExecute.
class TLocalEmailSender : public TBaseEmailSender {
    Q_OBJECT

public:
    TLocalEmailSender(QObject* AOwner, qint32 ATemplateID, std::shared_ptr<TEmailListItem> ADestList,
                      TEmailStyle AEmailStyle);
    ~TLocalEmailSender() override;

    TJobStateSet State() const override;
    void SetState(TJobStateSet value) override;
    // Single write-locked changes of the state set.
    void AddState(TJobStateSet AStates) override;
    void RemoveState(TJobStateSet AStates) override;
    void ModifyState(const std::function<void(TJobStateSet&)>& AChange) override;

    QDateTime StartDate() const override;
    int PrepareCount() const override;
    int SendCount() const override;
    int SentCount() const override;
    int SentFailedCount() const override;
    int SentRetryCount() const override;
    TEmailDocument* GetSendMails(int Index) const override;
    int SendStackCount() const override;
    QDateTime LastSentStatisticUpdate() const override;
    QDateTime SendStarted() const override;
    int SentUnits() const override;
    QDateTime PrepareStarted() const override;
    int FailedMailsCount() const override;
    TEmailDocument* GetFailedMails(int Index) const override;
    bool AutoStart() const override;
    QDateTime AutoStartDate() const override;
    void SetAutoStart(bool value) override;
    void SetAutoStartDate(const QDateTime& value) override;

    qint32 JobDBID() const { return FJobDBID; }
    // No usable address, a mandatory attachment not loaded, or the recipient's preparation raised.
    int DroppedCount() const override { return FDroppedRecipients.Count(); }

    // Fills ADocument for record RecNo of the recipient record set: address, attachments and every
    // used macro (see TDocumentPreparer). False: the recipient is skipped. Prepare thread only.
    bool PrepareDocument(TEmailDocument* ADocument, int RecNo, const hostapi::TQVRecordSet& ARecords,
                         const TAttachementList& AAttachements);

    void InitializeData() override;
    void ResetData() override;
    void DropPreviewDocuments() override;
    bool Terminate(bool WaitFor) override;

    // The job list's timer entry. A sent job (not terminating) frees itself: answers True, and the
    // object must not be touched any more. Otherwise starts a due auto-start job.
    bool ExecuteTimerFunc();

    double CurrentDelay() const override;
    // Wakes the idle sender threads: a new packet is on the send stack, or the preparation ended.
    void ResumeSenders();

    // The file that holds the texts of the prepared documents: its size in bytes (0: none) and its
    // name ("" : none). Read while no preparation runs.
    qint64 SpillFileSize() const;
    QString SpillFileName() const;

    // True while a thread of the job has not ended.
    bool ThreadsAlive() const;
    // Number of sender threads that have not passed their completion step.
    int SenderThreadCount() const;

protected:
    void DoPrepare() override;
    void DoPreparePreview() override;
    void DoSend() override;
    void ProcessTerminate() override;
    void BeforeDestruction() override;
    void WaitForStateChange(int AMaxMs) override;

    // Thread bodies and the database rows of the job, filled in by the preparation, the sender
    // threads and the result logging.
    virtual void PrepareThreadExecute(TMethodeCallThread& CallingThread);
    virtual void SendThreadExecute(TMethodeCallThread& CallingThread);
    // Writes the job's "emljobs" row at the start of a preparation: every run but a preview gets a
    // row of its own (an open row of an earlier run is closed first); a preview has none (id -1).
    virtual void WriteJobRow();
    // Appends the documents of APacket (when given) to the send stack in order and empties it; with
    // AResume wakes the sender threads.
    virtual void PushPacket(QList<TEmailDocument*>* APacket, bool AResume);
    // The register service module's interface for the fetch before preparing; nullptr when the
    // module is not loaded.
    virtual hostapi::IExtFuncPluginRegisterService* RegisterServiceInterface();
    // Called on the prepare thread before the recipient at position ARecNo of the selection is
    // prepared (a seam for tests that hold the preparation at a recipient).
    virtual void BeforePrepareRecipient(int ARecNo);
    // Writes the job's end rows when it is destroyed.
    virtual void WriteJobEndRows();
    // Closes the job's "emljobs" row (jobstate 1, end date now) when a reset discards the run.
    virtual void CloseJobRow();
    // Cancels the blocking work of the job's threads (transports, child processes) before they are
    // joined at destruction.
    virtual void CancelBlockingWork();
    // Starts the sender threads of DoSend; the first is the root.
    virtual void StartSendThreads();

    // Creates and starts a worker thread running AMethode; a sender thread is kept in the sender
    // thread list, otherwise it becomes the prepare thread. The completion of a sender thread takes
    // it out of the list, and the last one to leave removes jsSending (unless DoSend is still
    // starting threads). Raises EQVException once the job is being freed.
    TMethodeCallThread& StartWorkerThread(bool ASender, bool AIsRoot, QThread::Priority APriority,
                                          TObjProcedure AMethode, TObjFinalProcedure AFinalize);
    // Appends a prepared document (owned by the job) to the document list and the send stack.
    void AddPreparedDocument(std::unique_ptr<TEmailDocument> ADocument);
    void ClearSendStatistics(bool AKeepRetries = false);
    void FreeDocuments();
    // Joins every thread of the job, also those started while it joins.
    void JoinThreads();
    // Called on a worker thread right after its completion step, before the thread ends (a seam for
    // tests that hold a thread there).
    virtual void CompletionStepDone(TMethodeCallThread& AThread);
    void SetJobDBID(qint32 value) { FJobDBID = value; }

    // ---- sender threads, results and retries ----
    // Starts a sender thread; the root's end phase marks the job sent.
    void StartSenderThread(bool AIsRoot);
    // Moves the next packet of due documents from the send stack to APending (all or nothing).
    bool TakeSendPacket(int APacketSize, QList<TEmailDocument*>& APending);
    // Whether a packet may start now under the unit delay of AMinutes, claiming it for the calling
    // thread: no other thread takes a packet until EndOfPacket. Sets or clears jsDelayd.
    bool WaitUnitDelay(int AMinutes);
    // Gives up the claim of WaitUnitDelay when no packet was taken.
    void ReleaseUnitDelay();
    void ResumeRootSender();
    // The root waits until it is the last sender thread, or the job is terminated.
    void WaitForOtherSenders(TMethodeCallThread& CallingThread);
    // The result step of one attempt: a success or final failure is written to the sent list and
    // leaves APending; a 421 below three retries stays pending for a retry.
    void HandleSendResult(TEmailDocument& ADocument, bool ASuccess, const QString& AErrorText,
                          qint32 AErrorCode, TSenderLists& ALists);
    bool ScheduleRetry(TEmailDocument& ADocument, qint32 AErrorCode);
    bool IsRetryDue(const TEmailDocument& ADocument) const;
    // Hands a final result to the sent-list writer; it counts once its row is durable. With
    // ASubmission the result is queued within the sender thread's bound, else written at once.
    void WriteSentListEntry(const TEmailDocument& ADocument, TSentListSubmission* ASubmission = nullptr);
    void UpdateSendStatistics(bool ASent, bool AUnit, bool AFailed, bool ARetry);
    // Ends the run and drops its documents; AKeepSchedule keeps AutoStart.
    void ResetRun(bool AKeepSchedule);
    // Messages of this run whose sent row is durable.
    int SucceededCount() const;
    // End of a packet (also a failed one): the results go to the job's lists, the documents still
    // pending back to the end of the send stack, and the unit delay starts again.
    void EndOfPacket(TSenderLists& ALists, bool AClaimedUnitDelay);
    // A packet refused at its connect before any document was tried: its documents go back to the
    // front of the send stack untouched, and the unit delay is neither counted nor started again.
    void ReturnPacket(TSenderLists& ALists, bool AClaimedUnitDelay);
    // Sender threads that connect or whose last connect succeeded; ADelta +1 or -1. When none is
    // left, waiting senders look again.
    void ChangeDeliveringSenders(int ADelta);
    // Whether a sender thread other than the caller (who does not count itself) delivers.
    bool OtherSendersDelivering() const { return FDeliveringSenders.load() > 0; }
    // The earliest moment after now at which a document of the stack becomes due for its retry or
    // the unit delay ends; invalid when nothing is waiting for the clock.
    QDateTime NextSendDue(bool AUnitDelay, int AMinutes) const;
    // Whether the calling sender thread must stop: its own or the job's termination, or sending was
    // stopped after repeated thread failures.
    bool SenderStopRequested(const TMethodeCallThread& CallingThread) const;
    // Where the sender threads wait (tests drive their clock through it).
    TSendWaitGate& SendGate() { return FSendGate; }
    // Fails every document without a final result with the termination text, and turns every
    // pending sent-list row of the job (prepared recipients or not) into such a failure.
    void FailUnsentDocuments(const QString& AText);
    // Both rows at the end of a job: "emljobs" (jobstate 2 for a sent job whose rows are all written,
    // else 1; end date) and, for jobstate 2, its template's state and last sent date.
    void FinishJobRows(bool AAllRowsWritten);
    // The writer of the job's sent-list rows (created by the first send).
    TSentListWriter* SentListWriter() const { return FSentListWriter.get(); }

private:
    friend class TSenderThread;
    void SenderThreadBody(TMethodeCallThread& CallingThread);
    // Counters, lists, unit delay and waits of a new send run.
    void ResetSendRun();
    void EnsureSentListWriter();
    void RegisterTransport(TCustomMessageSender* ATransport);
    void UnregisterTransport(TCustomMessageSender* ATransport);

    void NotifyStateChanged();
    void PrepareThreadFinalize();
    // Waits until the spill thread has written what it was given, and reports what it could not.
    void FinishSpilling();
    void FetchRegisterServiceBeforePreparing();
    bool PrepareTerminated(const TMethodeCallThread& AThread) const;
    // Prepares the current record RecNo: the accepted document (owned by the job), or nullptr when
    // dropped. APendingRowID: the recipient's pending sent-list row (-1: none).
    TEmailDocument* PrepareRecipient(int RecNo, const hostapi::TQVRecordSet& ARecords, qint64 APendingRowID);
    TDocumentPreparer& DocumentPreparer();
    // Writes the pending sent-list rows of the recipients with a usable address; answers the row
    // id per record (-1: none).
    QList<qint64> WritePendingRows(const TRecipientQuery& AQuery, const TRecipientPages& ASelection);
    // Deletes the pending rows of the recipients dropped since the last call.
    void DeleteDroppedPendingRows();

    mutable std::shared_mutex FStateCriticalSection;
    TJobStateSet FState;
    std::mutex FStateWaitLock;
    std::condition_variable FStateChanged;
    quint64 FStateVersion = 0; // guarded by FStateWaitLock

    mutable std::mutex FDocumentLock; // the four document lists
    std::vector<std::unique_ptr<TEmailDocument>> FEmailDocumentList;
    QList<TEmailDocument*> FEmailDocumentSendStack;
    QList<TEmailDocument*> FSuccessList;
    QList<TEmailDocument*> FFailedList;

    // The prepare thread and the sender threads; the last sender to leave removes jsSending.
    TJobThreads FThreads{{[this] { RemoveState({jsSending}); }, [this] { FSendGate.Wake(); }}};

    QDateTime FStartDate;
    std::atomic<int> FPrepareCount{0};
    QDateTime FPrepareStarted;
    QDateTime FSendStarted;

    TSendStatistics FSendStatistics;

    mutable std::mutex FSendDelaySync;
    QDateTime FLastDelayedSent;
    bool FUnitPacketClaimed = false; // under FSendDelaySync

    TSendWaitGate FSendGate{[this] { return Now(); }};
    // The file macro replacers of the prepare thread that run a child process.
    TReplacerCancellation FReplacerCancellation;
    std::unique_ptr<TSentListWriter> FSentListWriter;
    // Sender thread failures in a row without a sent message; the fourth stops sending.
    std::atomic<int> FSenderFailuresInRow{0};
    // Sender threads started and not yet done with the job's documents.
    std::atomic<int> FSenderBodies{0};
    std::atomic<bool> FSendingStopped{false};
    std::atomic<int> FDeliveringSenders{0};
    std::mutex FTransportLock; // the transports of the sender threads, for CancelBlockingWork
    std::vector<TCustomMessageSender*> FTransports;
    bool FTransportsCancelled = false;

    qint32 FJobDBID = -1;
    bool FJobRowClosed = false;
    // Held from the job row's insert until the job is freed (or has a new row).
    std::unique_ptr<TJobProcessLock> FJobLock;
    // Pending rows of recipients the preparation dropped, not yet deleted (prepare thread).
    QList<qint64> FDroppedPendingRows;
    TDroppedRecipients FDroppedRecipients;
    // Made at the first document of a preparation from the job's data; dropped with the documents.
    std::unique_ptr<TDocumentPreparer> FDocumentPreparer;
    // The texts of the prepared documents, made at the first accepted document of a preparation
    // (prepare thread); the documents share it, so the file goes with the last of them.
    std::shared_ptr<TBodySpill> FBodySpill;
    // Spills the documents of the running preparation (prepare thread); ended with it.
    std::unique_ptr<TBodySpillWorker> FSpillWorker;
    bool FAutoStart = false;
    QDateTime FAutoStartDate;
};

} // namespace emailmarketing
