// Benchmark (not a test): "emlsentlist" inserts per second on SQLite, each insert in its own write
// transaction, as a sender thread writes one result. Runs 1 thread and then 8 threads
// (or --threads N) in one run and prints both figures and their ratio.
//
//   bench_sentlist_inserts [--rows N] [--threads N] [--database FILE]
//
// Without --database the file lives in a temporary folder on the system's temporary file system;
// give a path on the disk you care about to measure that disk's fsync.

#include "Database.h"
#include "QVException.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace hostapi;

namespace {

// Inserts `rows` rows from `threads` threads into a freshly emptied sent list; answers rows/s.
double Run(int threads, int rows) {
    Database::Exec(QStringLiteral("DELETE FROM \"emlsentlist\""));
    const qint64 job = Database::InsertRow(QStringLiteral("emljobs"), {QStringLiteral("jobstate")}, {1});
    const QStringList cols{"emljobs_id", "email", "errormessage", "sentstate", "sentdate", "addressid"};
    std::atomic<int> failures{0};
    std::vector<std::thread> pool;
    QElapsedTimer timer;
    timer.start();
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int i = t; i < rows; i += threads) {
                try {
                    Transaction tx;
                    Database::InsertRow(QStringLiteral("emlsentlist"), cols,
                                        {job, QStringLiteral("recipient%1@example.org").arg(i),
                                         QStringLiteral("0: "), 1, QDateTime::currentDateTime(), i});
                    tx.Commit();
                } catch (const EQVException& e) {
                    if (failures++ == 0)
                        std::fprintf(stderr, "insert failed: %s\n", e.what());
                }
            }
        });
    for (auto& th : pool)
        th.join();
    const double seconds = timer.nsecsElapsed() / 1e9;
    QSqlQuery q = Database::Exec(
        QStringLiteral("SELECT COUNT(*) FROM \"emlsentlist\" WHERE \"emljobs_id\" = ?"), {job});
    const qint64 stored = q.next() ? q.value(0).toLongLong() : -1;
    if (stored != rows || failures > 0)
        std::fprintf(stderr, "WARNING: %lld of %d rows stored, %d failures\n", stored, rows, failures.load());
    return rows / seconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("emlsentlist inserts per second on SQLite"));
    parser.addHelpOption();
    QCommandLineOption rowsOpt(QStringLiteral("rows"), QStringLiteral("rows per run (default 20000)"),
                               QStringLiteral("N"), QStringLiteral("20000"));
    QCommandLineOption threadsOpt(QStringLiteral("threads"),
                                  QStringLiteral("threads of the parallel run (default 8)"),
                                  QStringLiteral("N"), QStringLiteral("8"));
    QCommandLineOption dbOpt(QStringLiteral("database"),
                             QStringLiteral("SQLite file (default: a temporary file)"),
                             QStringLiteral("FILE"));
    parser.addOptions({rowsOpt, threadsOpt, dbOpt});
    parser.process(app);
    const int rows = qMax(1, parser.value(rowsOpt).toInt());
    const int threads = qMax(1, parser.value(threadsOpt).toInt());

    QTemporaryDir dir;
    DatabaseConfig config;
    config.SqlitePath =
        parser.isSet(dbOpt) ? parser.value(dbOpt) : dir.filePath(QStringLiteral("bench.sqlite"));
    try {
        Database::Open(config);
        Run(1, qMin(rows, 500)); // warm-up
        const double one = Run(1, rows);
        const double many = Run(threads, rows);
        std::printf(
            "emlsentlist inserts, SQLite (WAL, synchronous=FULL), one transaction per row, %d rows per run\n",
            rows);
        std::printf("  1 thread : %10.0f inserts/s\n", one);
        std::printf("  %d threads: %10.0f inserts/s  (%.2f x 1 thread)\n", threads, many, many / one);
        Database::Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_sentlist_inserts: %s\n", e.what());
        return 1;
    }
    return 0;
}
