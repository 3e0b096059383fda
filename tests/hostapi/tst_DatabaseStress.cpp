// Must show: 8 threads inserting 10 000 "emlsentlist" rows in total into one SQLite database, each
// row in its own write transaction like a sender thread writing one result: every row is there and
// no insert fails with "database is locked" - while a writer on a connection of its own (as another
// process would) takes SQLite's write lock again and again and holds it for a while, so the busy
// handling, not only the in-process lock, is met.

#include "Database.h"
#include "QVException.h"
#include "support/TestDatabase.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutex>
#include <QSemaphore>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace hostapi;
using testsupport::Backend;
using testsupport::TestDatabase;

class tst_DatabaseStress : public QObject {
    Q_OBJECT

private slots:
    void eightThreadsInsertTenThousandSentListRows_data() {
        TestDatabase::AddBackendColumn();
        QTest::newRow("sqlite") << Backend::SQLite;
    }
    void eightThreadsInsertTenThousandSentListRows() {
        QFETCH(Backend, backend);
        TestDatabase tdb(backend);
        constexpr int kThreads = 8;
        constexpr int kRows = 10000;
        const qint64 job = Database::InsertRow(QStringLiteral("emljobs"), {QStringLiteral("jobstate")}, {1});
        const QStringList cols{"emljobs_id", "email", "errormessage", "sentstate", "sentdate", "addressid"};

        QMutex errorsLock;
        QStringList errors;
        auto fail = [&](const QString& message) {
            QMutexLocker lock(&errorsLock);
            errors << message;
        };

        // The foreign writer holds the write lock before the threads start, so their first
        // transactions meet it whatever the scheduling; then it takes it again until they are done.
        std::atomic<bool> writersDone{false};
        std::atomic<int> holds{0};
        QSemaphore firstHold;
        std::thread foreign([&] {
            const QString name = QStringLiteral("stress-foreign-writer");
            {
                QSqlDatabase db = Database::AddConnection(Database::Config(), name);
                if (!db.open()) {
                    fail(QStringLiteral("foreign writer: %1").arg(db.lastError().text()));
                    firstHold.release();
                } else {
                    QSqlQuery q(db);
                    auto run = [&](const QString& sql) {
                        if (!q.exec(sql))
                            throw std::runtime_error(
                                (sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
                    };
                    try {
                        do {
                            run(QStringLiteral("BEGIN IMMEDIATE"));
                            run(QStringLiteral("INSERT INTO \"emlsentlist\" (\"emljobs_id\", \"addressid\") "
                                               "VALUES (%1, %2)")
                                    .arg(job)
                                    .arg(-1 - holds.load()));
                            if (holds.fetch_add(1) == 0)
                                firstHold.release();
                            QThread::msleep(150);
                            run(QStringLiteral("COMMIT"));
                            QThread::msleep(20);
                        } while (!writersDone.load());
                    } catch (const std::exception& e) {
                        fail(QStringLiteral("foreign writer: %1").arg(QString::fromUtf8(e.what())));
                        if (holds.load() == 0)
                            firstHold.release();
                    }
                    db.close();
                }
            }
            QSqlDatabase::removeDatabase(name);
        });
        firstHold.acquire();

        std::vector<std::thread> threads;
        QElapsedTimer timer;
        timer.start();
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = t; i < kRows; i += kThreads) {
                    try {
                        Transaction tx;
                        Database::InsertRow(QStringLiteral("emlsentlist"), cols,
                                            {job, QStringLiteral("r%1@example.org").arg(i),
                                             QStringLiteral("0: "), i % 7 == 0 ? 2 : 1,
                                             QDateTime::currentDateTime(), i});
                        tx.Commit();
                    } catch (const EQVException& e) {
                        fail(e.Message());
                    }
                }
            });
        }
        for (auto& th : threads)
            th.join();
        writersDone = true;
        foreign.join();
        const qint64 ms = timer.elapsed();
        qInfo("%d rows from %d threads in %lld ms; the foreign writer held the lock %d times", kRows,
              kThreads, ms, holds.load());

        QVERIFY2(errors.isEmpty(),
                 qPrintable(
                     QStringLiteral("%1 inserts failed, first: %2").arg(errors.size()).arg(errors.value(0))));
        QSqlQuery q = Database::Exec(
            QStringLiteral(
                "SELECT COUNT(*), COUNT(DISTINCT \"addressid\"), MIN(\"addressid\"), "
                "MAX(\"addressid\") FROM \"emlsentlist\" WHERE \"emljobs_id\" = ? AND \"addressid\" >= 0"),
            {job});
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toLongLong(), kRows);
        QCOMPARE(q.value(1).toLongLong(), kRows);
        QCOMPARE(q.value(2).toLongLong(), 0);
        QCOMPARE(q.value(3).toLongLong(), kRows - 1);
        QVERIFY(holds.load() >= 1);
        QCOMPARE(testsupport::Count(QStringLiteral("emlsentlist"), QStringLiteral("\"addressid\" < 0")),
                 qint64(holds.load()));
        // Every thread's connection went with its thread.
        QCOMPARE(Database::ConnectionNames().size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_DatabaseStress)
#include "tst_DatabaseStress.moc"
