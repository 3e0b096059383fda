#include "SentListWriter.h"

#include "CoreLog.h"
#include "Database.h"
#include "QVException.h"

#include <QScopeGuard>
#include <QSqlQuery>
#include <QStringList>
#include <QVariantList>

#include <algorithm>
#include <chrono>
#include <limits>
#include <exception>

namespace emailmarketing {

namespace {

using Clock = std::chrono::steady_clock;

// Rows per INSERT statement: 6 values each, well below the bound-value limits of SQLite (32 766)
// and PostgreSQL (65 535).
constexpr int kRowsPerStatement = 500;

// Times a commit takes in the rows that came after it began (see CommitQueue).
constexpr int kLateRounds = 2;

int RemainingMs(Clock::time_point AEnd) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(AEnd - Clock::now()).count();
    return int(std::clamp<qint64>(left, 0, std::numeric_limits<int>::max()));
}

QString InsertSql(int ARows) {
    QStringList columns;
    for (const char* c : {"email", "errormessage", "sentstate", "sentdate", "addressid", "emljobs_id"})
        columns << hostapi::Database::QuoteIdentifier(QString::fromLatin1(c));
    const QString marks = QStringLiteral("(?, ?, ?, ?, ?, ?)");
    QStringList values;
    values.reserve(ARows);
    for (int i = 0; i < ARows; ++i)
        values << marks;
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(hostapi::Database::QuoteIdentifier(QStringLiteral("emlsentlist")),
             columns.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")));
}

} // namespace

struct TSentListWriter::TEntry {
    TSentListRow Row;
    // Under FLock:
    bool Written = false;
    int FailedCommits = 0;
    bool Waiting = false; // its Write waits; woken through Wake (only the threads concerned wake)
    std::condition_variable Wake;
};

TSentListWriter::TSentListWriter() = default;

TSentListWriter::~TSentListWriter() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
        FWork.notify_all();
    }
    if (FCommitter.joinable())
        FCommitter.join();
    std::lock_guard lock(FLock);
    if (FCommitting)
        qCCritical(lcCore) << "sent-list writer destroyed during a commit";
    if (!FQueue.isEmpty())
        qCWarning(lcCore) << FQueue.size() << "sent-list rows were not written:" << FLastError;
}

void TSentListWriter::SetOnWritten(std::function<void(const TSentListRow&)> AOnWritten) {
    std::lock_guard lock(FLock);
    FOnWritten = std::move(AOnWritten);
}

void TSentListWriter::StartCommitter() {
    std::lock_guard lock(FLock);
    if (FCommitterRunning)
        return;
    FCommitterRunning = true;
    FCommitter = std::thread([this] { CommitLoop(); });
}

void TSentListWriter::CommitLoop() {
    int backoffMs = MinBackoffMs;
    std::unique_lock lock(FLock);
    while (!FStopping) {
        if (FQueue.isEmpty() || FCommitting) {
            FWork.wait(lock);
            continue;
        }
        bool committed = false;
        try {
            committed = CommitQueue(lock, FBusyTimeoutMs);
        } catch (const std::exception& e) { // from OnWritten: the rows are written all the same
            committed = true;
            qCCritical(lcCore) << "sent-list rows written, but counting them failed:" << e.what();
        } catch (...) {
            committed = true;
            qCCritical(lcCore) << "sent-list rows written, but counting them failed";
        }
        if (committed) {
            backoffMs = MinBackoffMs;
            continue;
        }
        // A failed commit is tried again after a pause; once the job is being ended (Cancel) only
        // when further rows come (Flush then has the last word).
        if (FCancelled) {
            const qint64 submitted = FSubmittedCount;
            FWork.wait(lock, [&] { return FStopping || FQueue.isEmpty() || FSubmittedCount != submitted; });
        } else {
            FWork.wait_for(lock, std::chrono::milliseconds(backoffMs), [&] { return FStopping; });
            backoffMs = std::min(backoffMs * 2, MaxBackoffMs);
        }
    }
}

TSentListWriter::TEntryPtr TSentListWriter::Enqueue(const TSentListRow& ARow) {
    auto entry = std::make_shared<TEntry>();
    entry->Row = ARow;
    if (!entry->Row.SentDate.isValid())
        entry->Row.SentDate = QDateTime::currentDateTime();
    return entry;
}

TSentListTicket TSentListWriter::Submit(const TSentListRow& ARow) {
    TEntryPtr entry = Enqueue(ARow);
    std::lock_guard lock(FLock);
    FQueue.append(entry);
    ++FSubmittedCount;
    FWork.notify_one();
    return TSentListTicket(entry);
}

bool TSentListWriter::IsWritten(const TSentListTicket& ATicket) const {
    QV_ASSERT(!ATicket.IsNull());
    const auto* entry = static_cast<const TEntry*>(ATicket.FEntry.get());
    std::lock_guard lock(FLock);
    return entry->Written;
}

int TSentListWriter::WaitingCount() const {
    std::lock_guard lock(FLock);
    return FWaitingCount;
}

bool TSentListWriter::WaitWritten(const TSentListTicket& ATicket, const std::function<bool()>& AGiveUp) {
    QV_ASSERT(!ATicket.IsNull());
    const TEntryPtr entry = std::static_pointer_cast<TEntry>(ATicket.FEntry);
    int backoffMs = MinBackoffMs;
    std::unique_lock lock(FLock);
    // The give-up check may take other locks: it runs without FLock.
    const auto giveUp = [&] {
        if (FCancelled)
            return true;
        if (!AGiveUp)
            return false;
        lock.unlock();
        const bool result = AGiveUp();
        lock.lock();
        return result;
    };
    ++FWaitingCount;
    const auto leave = qScopeGuard([&] {
        entry->Waiting = false;
        --FWaitingCount;
    });
    for (;;) {
        if (entry->Written)
            return true;
        if (giveUp())
            return entry->Written;
        if (FCommitting || FCommitterRunning) {
            // Woken when the commit holding the row ends, or to lead the next one (the commit
            // thread, when it runs, leads every commit and retries the failed ones).
            entry->Waiting = true;
            entry->Wake.wait_for(lock, std::chrono::milliseconds(MinBackoffMs));
            continue;
        }
        const int failedBefore = entry->FailedCommits;
        CommitQueue(lock, FBusyTimeoutMs);
        if (entry->Written || entry->FailedCommits == failedBefore)
            continue;
        // The commit failed: pause (cut short by Cancel, a commit of another thread or the give-up
        // check), then try again.
        const auto pauseEnd = Clock::now() + std::chrono::milliseconds(backoffMs);
        while (!entry->Written && Clock::now() < pauseEnd) {
            if (giveUp())
                return entry->Written;
            FChanged.wait_until(lock,
                                std::min(pauseEnd, Clock::now() + std::chrono::milliseconds(MinBackoffMs)));
        }
        backoffMs = std::min(backoffMs * 2, MaxBackoffMs);
    }
}

bool TSentListWriter::Write(const TSentListRow& ARow) {
    TEntryPtr entry = Enqueue(ARow);
    std::unique_lock lock(FLock);
    FQueue.append(entry);
    ++FSubmittedCount;
    for (;;) {
        if (entry->Written || entry->FailedCommits > 0) {
            entry->Waiting = false;
            return entry->Written;
        }
        if (FCommitting) {
            // Woken when the commit holding the row ends, or to lead the next one.
            entry->Waiting = true;
            entry->Wake.wait(lock);
        } else {
            CommitQueue(lock, FBusyTimeoutMs);
        }
    }
}

int TSentListWriter::Flush(int ATimeoutMs) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(0, ATimeoutMs));
    int backoffMs = MinBackoffMs;
    bool tried = false;
    std::unique_lock lock(FLock);
    for (;;) {
        if (FQueue.isEmpty())
            return 0;
        if (FCommitting) { // another thread's commit holds rows: wait for its end
            if (Clock::now() >= end)
                return int(FQueue.size());
            FChanged.wait_until(lock, end);
            continue;
        }
        if (tried && (FCancelled || Clock::now() >= end))
            return int(FQueue.size());
        tried = true;
        if (CommitQueue(lock, std::min(FBusyTimeoutMs, RemainingMs(end)))) {
            backoffMs = MinBackoffMs;
            continue;
        }
        if (FCancelled || Clock::now() >= end)
            return int(FQueue.size());
        const auto pauseEnd = std::min(end, Clock::now() + std::chrono::milliseconds(backoffMs));
        FChanged.wait_until(lock, pauseEnd, [this] { return FCancelled || FQueue.isEmpty(); });
        backoffMs = std::min(backoffMs * 2, MaxBackoffMs);
    }
}

void TSentListWriter::Cancel() {
    std::lock_guard lock(FLock);
    FCancelled = true;
    FChanged.notify_all();
}

bool TSentListWriter::CommitQueue(std::unique_lock<std::mutex>& ALock, int ABusyLimitMs) {
    FCommitting = true;
    // Rows are only appended while the commit runs, so the batch stays the queue's head. A copy of
    // its own (not sharing the queue's array): the queue grows under FLock while the batch is read
    // without it.
    QList<TEntryPtr> batch(FQueue.cbegin(), FQueue.cend());
    const auto onWritten = FOnWritten;
    ALock.unlock();

    QString error;
    try {
        hostapi::BusyLimit busyLimit(ABusyLimitMs);
        hostapi::Transaction transaction;
        WriteRows(batch);
        // Rows that came while the transaction began and took the first ones (often those of the
        // threads the last commit released) still join it: they share its flush.
        for (int round = 0; round < kLateRounds; ++round) {
            QList<TEntryPtr> late;
            {
                std::lock_guard lock(FLock);
                late = QList<TEntryPtr>(FQueue.cbegin() + batch.size(), FQueue.cend());
            }
            if (late.isEmpty())
                break;
            WriteRows(late);
            batch += late;
        }
        transaction.Commit();
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    std::exception_ptr callbackFailure;
    if (error.isEmpty() && onWritten) {
        for (const TEntryPtr& entry : batch) {
            try {
                onWritten(entry->Row);
            } catch (...) { // the other rows are reported all the same; the first failure is raised below
                if (!callbackFailure)
                    callbackFailure = std::current_exception();
            }
        }
    }

    ALock.lock();
    if (error.isEmpty()) {
        FQueue.erase(FQueue.begin(), FQueue.begin() + batch.size());
        for (const TEntryPtr& entry : batch)
            entry->Written = true;
        FWrittenCount += batch.size();
        ++FCommitCount;
    } else {
        for (const TEntryPtr& entry : batch)
            ++entry->FailedCommits;
        FLastError = error;
        qCWarning(lcCore) << batch.size() << "sent-list rows not written, kept for the next commit:" << error;
    }
    FCommitting = false;
    for (const TEntryPtr& entry : batch)
        entry->Wake.notify_one();
    WakeNextLeader();
    FChanged.notify_all();
    FWork.notify_all();
    if (callbackFailure)
        std::rethrow_exception(callbackFailure);
    return error.isEmpty();
}

void TSentListWriter::WakeNextLeader() {
    for (const TEntryPtr& entry : std::as_const(FQueue))
        if (entry->Waiting && !entry->Written && entry->FailedCommits == 0) {
            entry->Wake.notify_one();
            return;
        }
}

void TSentListWriter::WriteRows(const QList<TEntryPtr>& ABatch) {
    QList<TEntryPtr> inserts;
    QList<TEntryPtr> updates;
    for (const TEntryPtr& entry : ABatch)
        (entry->Row.RowID < 0 ? inserts : updates).append(entry);
    if (!updates.isEmpty())
        inserts += UpdateRows(updates);
    if (!inserts.isEmpty())
        InsertRows(inserts);
}

QList<TSentListWriter::TEntryPtr> TSentListWriter::UpdateRows(const QList<TEntryPtr>& ABatch) {
    static const QString sql = [] {
        QStringList sets;
        for (const char* c : {"email", "errormessage", "sentstate", "sentdate", "addressid", "emljobs_id"})
            sets << hostapi::Database::QuoteIdentifier(QString::fromLatin1(c)) + QStringLiteral(" = ?");
        return QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
            .arg(hostapi::Database::QuoteIdentifier(QStringLiteral("emlsentlist")),
                 sets.join(QStringLiteral(", ")), hostapi::Database::QuoteIdentifier(QStringLiteral("id")));
    }();
    QList<TEntryPtr> missing;
    if (ABatch.isEmpty())
        return missing;
    // Prepared once for the batch: preparing each row's statement anew cost more than running it (on
    // PostgreSQL two more round trips a row).
    hostapi::PreparedStatement update(sql, QStringLiteral("write the sent list"));
    for (const TEntryPtr& entry : ABatch) {
        const TSentListRow& row = entry->Row;
        const QSqlQuery& query =
            update.Exec({row.Email, row.ErrorMessage, row.SentState, row.SentDate, row.AddressID, row.JobID, row.RowID});
        if (query.numRowsAffected() == 0)
            missing.append(entry);
    }
    return missing;
}

void TSentListWriter::InsertRows(const QList<TEntryPtr>& ABatch) {
    for (qsizetype first = 0; first < ABatch.size(); first += kRowsPerStatement) {
        const int count = int(std::min<qsizetype>(kRowsPerStatement, ABatch.size() - first));
        QVariantList binds;
        binds.reserve(count * 6);
        for (qsizetype i = first; i < first + count; ++i) {
            const TSentListRow& row = ABatch[i]->Row;
            binds << row.Email << row.ErrorMessage << row.SentState << row.SentDate << row.AddressID
                  << row.JobID;
        }
        hostapi::Database::Exec(InsertSql(count), binds, QStringLiteral("write the sent list"));
    }
}

int TSentListWriter::UnwrittenCount() const {
    std::lock_guard lock(FLock);
    return int(FQueue.size());
}

QString TSentListWriter::LastError() const {
    std::lock_guard lock(FLock);
    return FLastError;
}

qint64 TSentListWriter::WrittenCount() const {
    std::lock_guard lock(FLock);
    return FWrittenCount;
}

qint64 TSentListWriter::CommitCount() const {
    std::lock_guard lock(FLock);
    return FCommitCount;
}

int TSentListWriter::BusyTimeoutMs() const {
    std::lock_guard lock(FLock);
    return FBusyTimeoutMs;
}

void TSentListWriter::SetBusyTimeoutMs(int AValue) {
    std::lock_guard lock(FLock);
    FBusyTimeoutMs = std::max(0, AValue);
}

} // namespace emailmarketing
