#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace emailmarketing {

// One final send result as a row of "emlsentlist".
struct TSentListRow {
    QString Email;         // "email"
    QString ErrorMessage;  // "errormessage": the error code in decimal, ": ", the error text
    int SentState = 2;     // "sentstate": 1 sent, 2 failed
    QDateTime SentDate;    // "sentdate"; invalid: the moment the row is handed to Write
    qint64 AddressID = -1; // "addressid"
    qint64 JobID = -1;     // "emljobs_id"
    qint64 RowID = -1;     // the recipient's pending row, updated in place; -1: a new row
};

// A row handed to TSentListWriter::Submit, to ask whether it has become durable.
class TSentListTicket {
public:
    TSentListTicket() = default;
    bool IsNull() const { return !FEntry; }

private:
    friend class TSentListWriter;
    explicit TSentListTicket(std::shared_ptr<void> AEntry) : FEntry(std::move(AEntry)) {}
    std::shared_ptr<void> FEntry;
};

// Writes the sent-list rows of one job, shared by its sender threads (thread-safe).
//
// Group commit: the rows of all threads are committed together. A thread that hands over a row
// while no commit runs commits every queued row in one transaction (rows that come while it is
// being filled join it as well); the others wait, woken when the commit holding their row ends,
// and a row that missed it goes into the next one. A row counts as written only
// once its transaction has committed (SQLite at synchronous FULL: on the disk).
//
// A row with a RowID updates that pending row (all its columns); one whose pending row is gone
// (deleted meanwhile) is inserted instead, so that no result is lost.
//
// A commit that fails (the database busy past the busy timeout, a lost server) leaves its rows
// queued; they go into every later commit until one succeeds, and Flush retries them at the end.
// No row is dropped: what is still unwritten when the writer ends is counted in UnwrittenCount.
//
// The commit runs on the thread that leads it, through that thread's own connection; a thread must
// not call Write or Flush inside a transaction of its own. With StartCommitter, a thread of the
// writer's own commits every submitted row as soon as it is queued: a thread that submits never
// commits itself and goes on while its rows are written.
class TSentListWriter {
public:
    TSentListWriter();
    // Ends the writer. Rows still unwritten are not written (logged with their count); read
    // UnwrittenCount before. No thread may be in Write or Flush any more.
    // Stops the commit thread (after the commit it runs), then ends the writer.
    ~TSentListWriter();
    TSentListWriter(const TSentListWriter&) = delete;
    TSentListWriter& operator=(const TSentListWriter&) = delete;

    // Queues the row and waits until the commit holding it has ended. True: the row is durable.
    // False: that commit failed (LastError says why); the row stays queued and is retried with later
    // commits.
    bool Write(const TSentListRow& ARow);
    // Called once per row when it has become durable (from whichever thread committed it), before
    // Write returns True for it. Set it before the first Write; it must not call Write or Flush. An
    // exception it throws leaves the Write of the thread that committed (the rows stay written; the
    // other rows' calls still run).
    // Queues the row and returns at once; the row goes into the next commit (one that a Write or
    // WaitWritten of any thread leads).
    TSentListTicket Submit(const TSentListRow& ARow);
    // Waits until the submitted row is durable, leading commits while none runs. A failed commit is
    // retried after a growing pause until the row is written, AGiveUp answers True (checked at least
    // every MinBackoffMs while it waits) or Cancel was called. True: the row is durable.
    bool WaitWritten(const TSentListTicket& ATicket, const std::function<bool()>& AGiveUp);
    bool IsWritten(const TSentListTicket& ATicket) const;
    // Threads waiting in WaitWritten now (for tests that hold the database).
    int WaitingCount() const;

    void SetOnWritten(std::function<void(const TSentListRow&)> AOnWritten);
    // Starts the writer's commit thread (once): from now on a submitted row is committed without
    // waiting for a WaitWritten, and WaitWritten only waits. A failed commit is retried by that
    // thread after a growing pause (until Cancel; later rows start it again). An exception of
    // OnWritten on that thread is logged; the rows stay written.
    void StartCommitter();
    // Retries queued rows until all are written or ATimeoutMs has passed; answers the number still
    // unwritten. Between failed commits it waits a growing pause (at most MaxBackoffMs), which Cancel
    // and the timeout cut short. While rows are queued at least one commit is tried, also with
    // ATimeoutMs 0, unless another thread's commit is still running when the time is up.
    int Flush(int ATimeoutMs);
    // Ends a Flush that waits, and makes later ones give up after one commit: for a job that is
    // being ended. Write is not affected.
    void Cancel();

    int UnwrittenCount() const;
    QString LastError() const;

    // Rows written, and the commits that wrote them (rows per commit shows the grouping).
    qint64 WrittenCount() const;
    qint64 CommitCount() const;

    // How long one commit waits for a busy database before it fails (default 30 s, the host's busy
    // timeout). Flush waits at most its own remaining time.
    int BusyTimeoutMs() const;
    void SetBusyTimeoutMs(int AValue);

    static constexpr int MinBackoffMs = 50;
    static constexpr int MaxBackoffMs = 2000;

private:
    struct TEntry;
    using TEntryPtr = std::shared_ptr<TEntry>;

    // Commits every queued row; called with FLock held and FCommitting false, answers with FLock
    // held. True when the commit succeeded.
    bool CommitQueue(std::unique_lock<std::mutex>& ALock, int ABusyLimitMs);
    static void WriteRows(const QList<TEntryPtr>& ABatch);
    static void InsertRows(const QList<TEntryPtr>& ABatch);
    // Updates the pending rows; answers the entries whose row was not found.
    static QList<TEntryPtr> UpdateRows(const QList<TEntryPtr>& ABatch);
    TEntryPtr Enqueue(const TSentListRow& ARow);

    // Wakes the thread that should commit next, after a commit (with FLock held).
    void WakeNextLeader();
    // The commit thread's loop.
    void CommitLoop();

    mutable std::mutex FLock;
    std::condition_variable FChanged; // a commit ended, or Cancel: for Flush
    QList<TEntryPtr> FQueue;          // unwritten rows, oldest first
    bool FCommitting = false;
    bool FCancelled = false;
    QString FLastError;
    qint64 FWrittenCount = 0;
    qint64 FCommitCount = 0;
    int FBusyTimeoutMs = 30000;
    int FWaitingCount = 0; // threads in WaitWritten
    std::function<void(const TSentListRow&)> FOnWritten;
    std::condition_variable FWork; // rows submitted, a commit ended, or the writer ends: for the commit thread
    bool FStopping = false;
    bool FCommitterRunning = false;
    qint64 FSubmittedCount = 0; // rows ever queued
    std::thread FCommitter;
};

} // namespace emailmarketing
