// The sent-list writer: rows of concurrent sender threads committed together, each exactly once, and
// rows that meet a busy database kept and retried. Every case runs on SQLite and on PostgreSQL
// (see TestDatabase).

#include "SentListWriter.h"

#include "PendingSentList.h"
#include "SentListSubmission.h"

#include "Database.h"
#include "support/TestDatabase.h"

#include <QHash>
#include <QMutex>
#include <QSet>
#include <QSqlQuery>
#include <QTest>

#include <atomic>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace emailmarketing;
using testsupport::Backend;
using testsupport::Count;
using testsupport::TestDatabase;
using testsupport::WriteLockHolder;

namespace {

const QString kSentList = QStringLiteral("emlsentlist");

TSentListRow Row(const QString& email, qint64 job, const QString& error = QStringLiteral("0: "),
                 int state = 1, qint64 address = 1) {
    TSentListRow r;
    r.Email = email;
    r.ErrorMessage = error;
    r.SentState = state;
    // Made once: building a local time in many threads at once races inside the C library's tzset.
    static const QDateTime sentDate(QDate(2026, 7, 14), QTime(9, 5, 7, 250));
    r.SentDate = sentDate;
    r.AddressID = address;
    r.JobID = job;
    return r;
}

qint64 AddJob() {
    return hostapi::Database::InsertRow(QStringLiteral("emljobs"), {QStringLiteral("jobstate")}, {1});
}

// How often each e-mail address was handed to OnWritten.
class WrittenLog {
public:
    void Attach(TSentListWriter& writer) {
        writer.SetOnWritten([this](const TSentListRow& row) {
            QMutexLocker lock(&FLock);
            ++FCalls[row.Email];
        });
    }
    int Calls(const QString& email) const {
        QMutexLocker lock(&FLock);
        return FCalls.value(email);
    }
    QHash<QString, int> All() const {
        QMutexLocker lock(&FLock);
        return FCalls;
    }

private:
    mutable QMutex FLock;
    QHash<QString, int> FCalls;
};

// Rows of the sent list per e-mail address.
QHash<QString, int> StoredRows() {
    QHash<QString, int> out;
    QSqlQuery q = hostapi::Database::Exec(QStringLiteral("SELECT \"email\" FROM \"emlsentlist\""));
    while (q.next())
        ++out[q.value(0).toString()];
    return out;
}

// Every address of `expected` exactly once in the table and in OnWritten, nothing else.
void VerifyEachOnce(const QStringList& expected, const WrittenLog& log) {
    const QHash<QString, int> stored = StoredRows();
    const QHash<QString, int> written = log.All();
    QCOMPARE(stored.size(), expected.size());
    QCOMPARE(written.size(), expected.size());
    for (const QString& email : expected) {
        QVERIFY2(stored.value(email) == 1,
                 qPrintable(QStringLiteral("%1: %2 rows").arg(email).arg(stored.value(email))));
        QVERIFY2(written.value(email) == 1,
                 qPrintable(QStringLiteral("%1: %2 OnWritten calls").arg(email).arg(written.value(email))));
    }
}

QStringList Addresses(const QString& prefix, int count) {
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << QStringLiteral("%1%2@example.org").arg(prefix).arg(i);
    return out;
}

// One job's writer on a fresh database, its OnWritten calls logged.
struct WriterFixture {
    explicit WriterFixture(Backend backend, int busyTimeoutMs = 30000) : Db(backend), Job(AddJob()) {
        Writer.SetBusyTimeoutMs(busyTimeoutMs);
        Log.Attach(Writer);
    }
    TestDatabase Db;
    qint64 Job;
    WrittenLog Log;
    TSentListWriter Writer;
};

// Sender threads that write `rowsPerThread` rows each. OnFirstRefusal runs on a thread at its
// first refused Write; WhileRunning on the calling thread while they write.
struct SenderRun {
    int Threads = 8;
    int RowsPerThread = 10;
    std::function<void()> OnFirstRefusal;
    std::function<void()> WhileRunning;

    // Results
    QStringList Written; // every address handed to Write
    int Refused = 0;
    int AnsweredBeforeReported = 0; // Write answered True before OnWritten had the row

    void Run(WriterFixture& f) {
        std::atomic<int> refused{0};
        std::atomic<int> early{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t)
            threads.emplace_back([&, t] {
                bool refusedOnce = false;
                for (const QString& email : Addresses(QStringLiteral("t%1-").arg(t), RowsPerThread)) {
                    if (f.Writer.Write(Row(email, f.Job))) {
                        if (f.Log.Calls(email) != 1)
                            ++early;
                    } else {
                        ++refused;
                        if (!refusedOnce && OnFirstRefusal)
                            OnFirstRefusal();
                        refusedOnce = true;
                    }
                }
            });
        if (WhileRunning)
            WhileRunning();
        for (auto& th : threads)
            th.join();
        Refused = refused;
        AnsweredBeforeReported = early;
        Written.clear();
        for (int t = 0; t < Threads; ++t)
            Written += Addresses(QStringLiteral("t%1-").arg(t), RowsPerThread);
    }
};

void AddBackendAndHolderRows() {
    QTest::addColumn<Backend>("backend");
    QTest::addColumn<WriteLockHolder::Kind>("holder");
    for (Backend b : TestDatabase::SelectedBackends()) {
        const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s, locked by another connection", n) << b << WriteLockHolder::Kind::OtherConnection;
        QTest::addRow("%s, locked by a transaction of this process", n)
            << b << WriteLockHolder::Kind::OtherThread;
    }
}

// Rows of every selected backend with a flag named AColumn: one row "<backend>, AWithout" (False)
// and one "<backend>, AWith" (True).
void AddBackendAndFlagRows(const char* AColumn, const char* AWithout, const char* AWith) {
    QTest::addColumn<Backend>("backend");
    QTest::addColumn<bool>(AColumn);
    for (Backend b : TestDatabase::SelectedBackends()) {
        const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s, %s", n, AWithout) << b << false;
        QTest::addRow("%s, %s", n, AWith) << b << true;
    }
}

// A busy commit fails after this long; the outcome of no case depends on the value.
constexpr int kShortBusyMs = 30;

} // namespace

class tst_SentListWriter : public QObject {
    Q_OBJECT

private slots:
    void rowsAreStoredAsGiven_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void rowsAreStoredAsGiven() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        const qint64 job = AddJob();
        TSentListWriter writer;
        QList<TSentListRow> reported;
        writer.SetOnWritten([&](const TSentListRow& row) { reported << row; });

        const QList<TSentListRow> rows{
            Row(QStringLiteral("anna@example.org"), job),
            Row(QStringLiteral("jürgen@müller.example"), job, QStringLiteral("550: Mailbox unavailable"), 2,
                7),
            Row(QStringLiteral("o'brien@example.org"), job, QStringLiteral("421: try \"later\"; -- 'x'"), 2,
                -1),
        };
        for (const TSentListRow& row : rows)
            QVERIFY2(writer.Write(row), qPrintable(writer.LastError()));
        QCOMPARE(writer.UnwrittenCount(), 0);
        QCOMPARE(writer.WrittenCount(), qint64(rows.size()));
        QCOMPARE(reported.size(), rows.size());

        QSqlQuery q = hostapi::Database::Exec(
            QStringLiteral("SELECT \"email\", \"errormessage\", \"sentstate\", \"sentdate\", \"addressid\", "
                           "\"emljobs_id\" FROM \"emlsentlist\" ORDER BY \"id\""));
        for (const TSentListRow& row : rows) {
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), row.Email);
            QCOMPARE(q.value(1).toString(), row.ErrorMessage);
            QCOMPARE(q.value(2).toInt(), row.SentState);
            QCOMPARE(q.value(3).toDateTime(), row.SentDate);
            QCOMPARE(q.value(4).toLongLong(), row.AddressID);
            QCOMPARE(q.value(5).toLongLong(), job);
        }
        QVERIFY(!q.next());

        // Without a date the row carries the moment it was handed over, never NULL.
        TSentListRow undated = Row(QStringLiteral("undated@example.org"), job);
        undated.SentDate = QDateTime();
        QVERIFY(writer.Write(undated));
        QCOMPARE(reported.last().Email, undated.Email);
        QVERIFY(reported.last().SentDate.isValid());
        QCOMPARE(
            Count(kSentList, QStringLiteral("\"email\" = ? AND \"sentdate\" IS NOT NULL"), {undated.Email}),
            1);
    }

    // Many sender threads: every row exactly once, reported once, and before its Write answers.
    void concurrentWritersStoreEachRowOnce_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void concurrentWritersStoreEachRowOnce() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        WriterFixture f(backend);
        SenderRun senders;
        senders.RowsPerThread = 150;
        senders.Run(f);

        QCOMPARE(senders.Refused, 0);
        QCOMPARE(senders.AnsweredBeforeReported, 0);
        VerifyEachOnce(senders.Written, f.Log);
        QCOMPARE(f.Writer.WrittenCount(), qint64(senders.Written.size()));
        QCOMPARE(f.Writer.UnwrittenCount(), 0);
        QVERIFY(f.Writer.CommitCount() >= 1 && f.Writer.CommitCount() <= senders.Written.size());
        QVERIFY(f.Writer.LastError().isEmpty());
    }

    // A busy database: Write answers False and keeps the row; once the lock is gone the kept rows
    // land with the next commit, each once.
    void busyDatabaseKeepsRowsUntilTheLockIsGone_data() {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<WriteLockHolder::Kind>("holder");
        QTest::addColumn<bool>("retryByWrite"); // else by Flush
        for (Backend b : TestDatabase::SelectedBackends()) {
            const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
            for (auto [kind, who] :
                 {std::pair{WriteLockHolder::Kind::OtherConnection, "another connection"},
                  std::pair{WriteLockHolder::Kind::OtherThread, "a transaction of this process"}}) {
                QTest::addRow("%s, %s, retried by the next Write", n, who) << b << kind << true;
                QTest::addRow("%s, %s, retried by Flush", n, who) << b << kind << false;
            }
        }
    }
    void busyDatabaseKeepsRowsUntilTheLockIsGone() {
        QFETCH(Backend, backend);
        QFETCH(WriteLockHolder::Kind, holder);
        QFETCH(bool, retryByWrite);
        QV_SKIP_UNLESS_BACKEND(backend);
        WriterFixture f(backend, kShortBusyMs);

        WriteLockHolder lock(holder, kSentList);
        QVERIFY(!f.Writer.Write(Row(QStringLiteral("a@example.org"), f.Job)));
        QVERIFY2(f.Writer.LastError().contains(QStringLiteral("lock")), qPrintable(f.Writer.LastError()));
        QCOMPARE(f.Writer.UnwrittenCount(), 1);
        QVERIFY(!f.Writer.Write(Row(QStringLiteral("b@example.org"), f.Job)));
        QCOMPARE(f.Writer.UnwrittenCount(), 2);
        // Flush gives up with the rows still blocked, with or without time to retry.
        QCOMPARE(f.Writer.Flush(0), 2);
        QCOMPARE(f.Writer.Flush(3 * kShortBusyMs), 2);
        QCOMPARE(f.Writer.WrittenCount(), qint64(0));
        QVERIFY(f.Log.All().isEmpty());
        QCOMPARE(Count(kSentList), 0);

        lock.Release();
        QStringList expected{QStringLiteral("a@example.org"), QStringLiteral("b@example.org")};
        if (retryByWrite) {
            QVERIFY2(f.Writer.Write(Row(QStringLiteral("c@example.org"), f.Job)),
                     qPrintable(f.Writer.LastError()));
            expected << QStringLiteral("c@example.org");
        } else {
            QCOMPARE(f.Writer.Flush(60000), 0);
        }
        QCOMPARE(f.Writer.UnwrittenCount(), 0);
        QCOMPARE(f.Writer.Flush(0), 0);
        VerifyEachOnce(expected, f.Log);
        QCOMPARE(f.Writer.WrittenCount(), qint64(expected.size()));
    }

    // Sender threads keep writing while the database is busy, and the lock goes away while they
    // write: after Flush every row is stored and reported once.
    void rowsRefusedDuringConcurrentWritesLandOnce_data() { AddBackendAndHolderRows(); }
    void rowsRefusedDuringConcurrentWritesLandOnce() {
        QFETCH(Backend, backend);
        QFETCH(WriteLockHolder::Kind, holder);
        QV_SKIP_UNLESS_BACKEND(backend);
        WriterFixture f(backend, kShortBusyMs);
        WriteLockHolder lock(holder, kSentList);
        SenderRun senders;
        senders.RowsPerThread = 12;
        std::latch everyThreadRefused(senders.Threads);
        // Each thread meets the busy database at least once (every Write fails while the lock is
        // held), then the lock goes away while they may still be writing.
        senders.OnFirstRefusal = [&] { everyThreadRefused.count_down(); };
        senders.WhileRunning = [&] {
            everyThreadRefused.wait();
            lock.Release();
        };
        senders.Run(f);

        QVERIFY(senders.Refused >= senders.Threads);
        QCOMPARE(f.Writer.Flush(60000), 0);
        QCOMPARE(senders.AnsweredBeforeReported, 0);
        VerifyEachOnce(senders.Written, f.Log);
        QCOMPARE(f.Writer.WrittenCount(), qint64(senders.Written.size()));
    }

    // A job that ends while the database stays busy: Cancel ends a long Flush, which answers the
    // rows still unwritten; a later Flush writes them once the lock is gone.
    void cancelEndsAWaitingFlush_data() { AddBackendAndHolderRows(); }
    void cancelEndsAWaitingFlush() {
        QFETCH(Backend, backend);
        QFETCH(WriteLockHolder::Kind, holder);
        QV_SKIP_UNLESS_BACKEND(backend);
        WriterFixture f(backend, kShortBusyMs);

        WriteLockHolder lock(holder, kSentList);
        QVERIFY(!f.Writer.Write(Row(QStringLiteral("a@example.org"), f.Job)));
        int unwritten = -1;
        std::thread flusher([&] { unwritten = f.Writer.Flush(24 * 60 * 60 * 1000); });
        f.Writer.Cancel();
        flusher.join();
        QCOMPARE(unwritten, 1);
        QCOMPARE(f.Writer.UnwrittenCount(), 1);

        lock.Release();
        QCOMPARE(f.Writer.Flush(60000), 0);
        VerifyEachOnce({QStringLiteral("a@example.org")}, f.Log);
    }

    // A failing OnWritten raises from the Write that committed; the rows stay written, every row
    // is still reported, and the writer goes on.
    void failingOnWrittenLeavesTheWriterUsable_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void failingOnWrittenLeavesTheWriterUsable() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        const qint64 job = AddJob();
        TSentListWriter writer;
        writer.SetBusyTimeoutMs(kShortBusyMs);
        QStringList reported;
        writer.SetOnWritten([&](const TSentListRow& row) {
            reported << row.Email;
            if (row.Email.startsWith(QLatin1String("bad")))
                throw std::runtime_error("counter failed");
        });

        {
            // Two rows in one commit: the failing one first.
            WriteLockHolder lock(WriteLockHolder::Kind::OtherConnection, kSentList);
            QVERIFY(!writer.Write(Row(QStringLiteral("bad@example.org"), job)));
            QVERIFY(!writer.Write(Row(QStringLiteral("good@example.org"), job)));
        }
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, writer.Flush(60000));
        QCOMPARE(reported,
                 (QStringList{QStringLiteral("bad@example.org"), QStringLiteral("good@example.org")}));
        QCOMPARE(writer.UnwrittenCount(), 0);
        QVERIFY(writer.Write(Row(QStringLiteral("next@example.org"), job)));
        QCOMPARE(Count(kSentList), 3);
    }

    // Every pending row holds its recipient's address and address id as given, and the ids answered
    // follow the recipients' order, over several statements and transactions; addresses that a
    // statement's text could mangle (quotes, backslashes, control characters, NUL, a lone
    // surrogate, characters beyond the basic plane) arrive unchanged.
    void pendingRowsKeepAddressesAndOrder_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void pendingRowsKeepAddressesAndOrder() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        const qint64 job = AddJob();
        const QStringList tricky{QStringLiteral("o'brien@example.org"),
                                 QStringLiteral("\"quoted\"@example.org"),
                                 QStringLiteral("back\\slash@example.org"),
                                 QStringLiteral("tab\there@example.org"),
                                 QString::fromUtf8("m\xC3\xBCller@b\xC3\xA4cker.de"),
                                 QString::fromUtf8("smile\xF0\x9F\x98\x80@example.org"),
                                 QStringLiteral("[1,2]@example.org"),
                                 QStringLiteral("0042@example.org")};
        QList<TPendingSentList::TRecipient> recipients;
        const int count = TPendingSentList::RowsPerTransaction + 1234;
        for (int i = 0; i < count; ++i)
            recipients.append({i % 100 < tricky.size() ? tricky[i % 100] : QStringLiteral("r%1@example.org").arg(i),
                               qint64(1000 + i)});
        const bool postgres = hostapi::Database::IsPostgres();
        // NUL and lone surrogates only where the backend stores them.
        if (!postgres) {
            recipients[5].Email = QStringLiteral("nul") + QChar(u'\0') + QStringLiteral("@example.org");
            recipients[2500].Email = QStringLiteral("lone") + QChar(0xD800) + QStringLiteral("@example.org");
        }
        const QList<qint64> ids = TPendingSentList::Write(job, recipients);
        QCOMPARE(ids.size(), recipients.size());
        QCOMPARE(QSet<qint64>(ids.begin(), ids.end()).size(), ids.size());
        QSqlQuery rows = hostapi::Database::Exec(
            QStringLiteral("SELECT \"id\", \"email\", \"addressid\", \"sentstate\", \"emljobs_id\" FROM "
                           "\"emlsentlist\""));
        QHash<qint64, TPendingSentList::TRecipient> stored;
        while (rows.next()) {
            QCOMPARE(rows.value(3).toInt(), 0);
            QCOMPARE(rows.value(4).toLongLong(), job);
            stored.insert(rows.value(0).toLongLong(), {rows.value(1).toString(), rows.value(2).toLongLong()});
        }
        QCOMPARE(stored.size(), recipients.size());
        for (int i = 0; i < recipients.size(); ++i) {
            const TPendingSentList::TRecipient row = stored.value(ids[i]);
            QCOMPARE(row.AddressID, recipients[i].AddressID);
            if (i == 2500)
                continue; // a lone surrogate is no text a backend keeps
            QCOMPARE(row.Email, recipients[i].Email);
        }
    }

    // A result with the id of its pending row replaces that row; one whose pending row is gone
    // becomes a row of its own.
    void pendingRowsAreUpdatedInPlace_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void pendingRowsAreUpdatedInPlace() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        const qint64 job = AddJob();
        const QStringList emails = Addresses(QStringLiteral("p"), 3);
        const QList<qint64> ids =
            TPendingSentList::Write(job, {{emails[0], 10}, {emails[1], 11}, {emails[2], 12}});
        QCOMPARE(ids.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(testsupport::Value(kSentList, QStringLiteral("email"), QStringLiteral("\"id\" = ?"), {ids[i]})
                         .toString(),
                     emails[i]);
            QCOMPARE(Count(kSentList, QStringLiteral("\"id\" = ? AND \"sentstate\" = 0 AND \"sentdate\" IS NULL"),
                           {ids[i]}),
                     1);
        }
        TPendingSentList::Delete({ids[2]});

        TSentListWriter writer;
        WrittenLog log;
        log.Attach(writer);
        TSentListRow sent = Row(emails[0], job, QStringLiteral("0: "), 1, 10);
        sent.RowID = ids[0];
        TSentListRow failed = Row(emails[1], job, QStringLiteral("550: No such user"), 2, 11);
        failed.RowID = ids[1];
        TSentListRow orphan = Row(emails[2], job, QStringLiteral("0: "), 1, 12);
        orphan.RowID = ids[2];
        const TSentListTicket ticket = writer.Submit(sent);
        QVERIFY(!writer.IsWritten(ticket));
        QVERIFY(writer.Write(failed)); // commits the submitted row as well
        QVERIFY(writer.IsWritten(ticket));
        QVERIFY(writer.WaitWritten(writer.Submit(orphan), {}));

        QCOMPARE(Count(kSentList), 3);
        QCOMPARE(Count(kSentList, QStringLiteral("\"sentstate\" = 0")), 0);
        QCOMPARE(Count(kSentList, QStringLiteral("\"id\" = ? AND \"sentstate\" = 1 AND \"errormessage\" = ?"),
                       {ids[0], QStringLiteral("0: ")}),
                 1);
        QCOMPARE(Count(kSentList, QStringLiteral("\"id\" = ? AND \"sentstate\" = 2 AND \"errormessage\" = ?"),
                       {ids[1], QStringLiteral("550: No such user")}),
                 1);
        QCOMPARE(Count(kSentList, QStringLiteral("\"email\" = ? AND \"sentstate\" = 1 AND \"id\" <> ?"),
                       {emails[2], ids[2]}),
                 1);
        VerifyEachOnce(emails, log);
    }

    // Threads that submit within the bound: never more than the bound outstanding, every row once.
    void boundedSubmissionsStoreEachRowOnce_data() {
        AddBackendAndFlagRows("committer", "commits led by the waiting senders", "commits by the writer's thread");
    }
    void boundedSubmissionsStoreEachRowOnce() {
        QFETCH(Backend, backend);
        QFETCH(bool, committer);
        QV_SKIP_UNLESS_BACKEND(backend);
        WriterFixture f(backend);
        if (committer)
            f.Writer.StartCommitter();
        constexpr int Threads = 6;
        constexpr int Rows = 4 * TSentListSubmission::Bound;
        std::atomic<int> overBound{0};
        std::atomic<int> refused{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t)
            threads.emplace_back([&, t] {
                TSentListSubmission submission(f.Writer);
                for (const QString& email : Addresses(QStringLiteral("s%1-").arg(t), Rows)) {
                    if (!submission.WaitForRoom({}))
                        ++refused;
                    if (submission.Outstanding() >= TSentListSubmission::Bound)
                        ++overBound;
                    submission.Submit(Row(email, f.Job));
                }
                if (!submission.WaitAll({}) || submission.Outstanding() != 0)
                    ++refused;
            });
        for (auto& th : threads)
            th.join();
        QCOMPARE(refused.load(), 0);
        QCOMPARE(overBound.load(), 0);
        QStringList expected;
        for (int t = 0; t < Threads; ++t)
            expected += Addresses(QStringLiteral("s%1-").arg(t), Rows);
        VerifyEachOnce(expected, f.Log);
        QCOMPARE(f.Writer.UnwrittenCount(), 0);
    }

    // With the writer's commit thread, a submitting thread never commits: its rows are written by
    // that thread, also those a busy database refused at first, while WaitWritten only waits.
    void committerWritesSubmittedRowsOnItsOwnThread_data() { AddBackendAndHolderRows(); }
    void committerWritesSubmittedRowsOnItsOwnThread() {
        QFETCH(Backend, backend);
        QFETCH(WriteLockHolder::Kind, holder);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        const qint64 job = AddJob();
        QMutex lock;
        QHash<QString, std::thread::id> committedBy;
        {
            TSentListWriter writer;
            writer.SetBusyTimeoutMs(kShortBusyMs);
            writer.SetOnWritten([&](const TSentListRow& row) {
                QMutexLocker locker(&lock);
                committedBy.insert(row.Email, std::this_thread::get_id());
            });
            writer.StartCommitter();
            QVERIFY(writer.WaitWritten(writer.Submit(Row(QStringLiteral("a@example.org"), job)), {}));

            WriteLockHolder busy(holder, kSentList);
            const TSentListTicket refused = writer.Submit(Row(QStringLiteral("b@example.org"), job));
            int checks = 0;
            QVERIFY(!writer.WaitWritten(refused, [&] { return ++checks >= 3; }));
            QVERIFY(!writer.IsWritten(refused));
            QCOMPARE(writer.UnwrittenCount(), 1);
            busy.Release();
            QVERIFY2(writer.WaitWritten(refused, {}), qPrintable(writer.LastError()));
            // Queued rows that nobody waits for are written before the writer ends.
            const TSentListTicket last = writer.Submit(Row(QStringLiteral("c@example.org"), job));
            QVERIFY(writer.WaitWritten(last, {}));
            QCOMPARE(writer.UnwrittenCount(), 0);
            QCOMPARE(writer.WrittenCount(), qint64(3));
        }
        QCOMPARE(Count(kSentList), 3);
        QCOMPARE(committedBy.size(), 3);
        for (auto it = committedBy.cbegin(); it != committedBy.cend(); ++it)
            QVERIFY2(it.value() != std::this_thread::get_id(),
                     qPrintable(QStringLiteral("%1 was committed by the submitting thread").arg(it.key())));
    }

    // The commit thread beside threads that Submit and Write, a Flush, and the writer's end while it
    // may be committing: every row reported written is in the table once, no row is there twice or
    // unreported, and a flushed writer ends with every row written.
    void committerRacesWritesFlushAndTheWritersEnd_data() {
        AddBackendAndFlagRows("flushFirst", "ended at once", "flushed, then ended");
    }
    void committerRacesWritesFlushAndTheWritersEnd() {
        QFETCH(Backend, backend);
        QFETCH(bool, flushFirst);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        const qint64 job = AddJob();
        constexpr int Rounds = 8;
        constexpr int Threads = 4;
        constexpr int Rows = 25;
        QStringList expected;
        WrittenLog log;
        for (int round = 0; round < Rounds; ++round) {
            TSentListWriter writer;
            log.Attach(writer);
            writer.StartCommitter();
            std::vector<std::thread> threads;
            for (int t = 0; t < Threads; ++t) {
                const QStringList emails = Addresses(QStringLiteral("r%1-t%2-").arg(round).arg(t), Rows);
                expected += emails;
                // The first thread writes and waits (leading a commit when none runs), the others
                // only submit.
                threads.emplace_back([&writer, emails, job, t] {
                    for (const QString& email : emails) {
                        if (t == 0)
                            writer.Write(Row(email, job));
                        else
                            writer.Submit(Row(email, job));
                    }
                });
            }
            for (auto& th : threads)
                th.join();
            if (flushFirst)
                QCOMPARE(writer.Flush(30000), 0);
        }
        const QHash<QString, int> stored = StoredRows();
        QCOMPARE(log.All(), stored);
        const QSet<QString> known(expected.cbegin(), expected.cend());
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            QVERIFY2(it.value() == 1 && known.contains(it.key()), qPrintable(it.key()));
        if (flushFirst)
            QCOMPARE(stored.size(), expected.size());
    }

    // An OnWritten that raises on the commit thread leaves the rows written and the thread going on.
    void committerSurvivesAFailingOnWritten_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void committerSurvivesAFailingOnWritten() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        const qint64 job = AddJob();
        TSentListWriter writer;
        std::atomic<int> reported{0};
        writer.SetOnWritten([&](const TSentListRow& row) {
            ++reported;
            if (row.Email.startsWith(QLatin1String("bad")))
                throw std::runtime_error("counter failed");
        });
        writer.StartCommitter();
        QVERIFY(writer.WaitWritten(writer.Submit(Row(QStringLiteral("bad@example.org"), job)), {}));
        QVERIFY(writer.WaitWritten(writer.Submit(Row(QStringLiteral("good@example.org"), job)), {}));
        QCOMPARE(reported.load(), 2);
        QCOMPARE(Count(kSentList), 2);
    }

    // A wait for a busy database ends when the caller gives up; the row stays queued and lands later.
    void waitWrittenGivesUpAndKeepsTheRow_data() { AddBackendAndHolderRows(); }
    void waitWrittenGivesUpAndKeepsTheRow() {
        QFETCH(Backend, backend);
        QFETCH(WriteLockHolder::Kind, holder);
        QV_SKIP_UNLESS_BACKEND(backend);
        WriterFixture f(backend, kShortBusyMs);
        WriteLockHolder lock(holder, kSentList);
        const TSentListTicket ticket = f.Writer.Submit(Row(QStringLiteral("a@example.org"), f.Job));
        int checks = 0;
        // Gives up at its third look: after at least one failed commit.
        QVERIFY(!f.Writer.WaitWritten(ticket, [&] { return ++checks >= 3; }));
        QCOMPARE(checks, 3);
        QVERIFY(!f.Writer.IsWritten(ticket));
        QCOMPARE(f.Writer.UnwrittenCount(), 1);
        QCOMPARE(f.Writer.WaitingCount(), 0);
        lock.Release();
        QVERIFY(f.Writer.WaitWritten(ticket, {}));
        VerifyEachOnce({QStringLiteral("a@example.org")}, f.Log);
    }
};

QTEST_GUILESS_MAIN(tst_SentListWriter)
#include "tst_SentListWriter.moc"
