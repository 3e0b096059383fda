// Must show: 8 threads inserting 10 000 "emlsentlist" rows in total into one SQLite database, each
// row in its own write transaction like a sender thread writing one result: every row is there and
// no insert fails with "database is locked".

#include "Database.h"
#include "QVException.h"
#include "support/TestDatabase.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutex>
#include <QTest>

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
                        QMutexLocker lock(&errorsLock);
                        errors << e.Message();
                    }
                }
            });
        }
        for (auto& th : threads)
            th.join();
        const qint64 ms = timer.elapsed();
        qInfo("%d rows from %d threads in %lld ms", kRows, kThreads, ms);

        QVERIFY2(errors.isEmpty(),
                 qPrintable(
                     QStringLiteral("%1 inserts failed, first: %2").arg(errors.size()).arg(errors.value(0))));
        QSqlQuery q = Database::Exec(
            QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT \"addressid\"), MIN(\"addressid\"), "
                           "MAX(\"addressid\") FROM \"emlsentlist\" WHERE \"emljobs_id\" = ?"),
            {job});
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toLongLong(), kRows);
        QCOMPARE(q.value(1).toLongLong(), kRows);
        QCOMPARE(q.value(2).toLongLong(), 0);
        QCOMPARE(q.value(3).toLongLong(), kRows - 1);
        // Every thread's connection went with its thread.
        QCOMPARE(Database::ConnectionNames().size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_DatabaseStress)
#include "tst_DatabaseStress.moc"
