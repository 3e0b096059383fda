// Benchmark (not a test): "emlsentlist" rows per second from sender threads on SQLite (WAL,
// synchronous FULL), in one run:
//   1. the disk's flush rate: a small record appended and fsync'ed, once per row, in the database's
//      folder (the ceiling of one durable commit per row);
//   2. one write transaction per row from N threads (each row waits for its own flush);
//   3. TSentListWriter from N threads (group commit: the rows of all threads share a flush).
//
//   bench_sentlist_inserts [--rows N] [--threads N] [--folder DIR]
//
// Without --folder the files live in a temporary folder on the system's temporary file system;
// name a folder on the disk you care about to measure that disk.

#include "Database.h"
#include "QVException.h"
#include "SentListWriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace hostapi;
using emailmarketing::TSentListRow;
using emailmarketing::TSentListWriter;

namespace {

// Appends `rows` records of 100 bytes to a new file in `folder`, each followed by fsync; answers
// flushes per second.
double FlushRate(const QString& folder, int rows) {
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(QStringLiteral("flush-probe")));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error(std::string("cannot create the flush probe: ") + std::strerror(errno));
    const QByteArray record(100, 'x');
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rows; ++i) {
        if (::write(fd, record.constData(), size_t(record.size())) != record.size() || ::fsync(fd) != 0) {
            const int error = errno;
            ::close(fd);
            throw std::runtime_error(std::string("flush probe failed: ") + std::strerror(error));
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    ::close(fd);
    ::unlink(path.constData());
    return rows / seconds;
}

TSentListRow Row(qint64 job, int i) {
    TSentListRow r;
    r.Email = QStringLiteral("recipient%1@example.org").arg(i);
    r.ErrorMessage = QStringLiteral("0: ");
    r.SentState = 1;
    r.SentDate = QDateTime::currentDateTime();
    r.AddressID = i;
    r.JobID = job;
    return r;
}

qint64 StoredRows(qint64 job) {
    QSqlQuery q = Database::Exec(
        QStringLiteral("SELECT COUNT(*) FROM \"emlsentlist\" WHERE \"emljobs_id\" = ?"), {job});
    return q.next() ? q.value(0).toLongLong() : -1;
}

struct RunResult {
    double RowsPerSecond = 0;
    qint64 Commits = 0;
};

// Writes `rows` rows from `threads` threads; `write` writes one row and answers whether it is stored.
template <typename WriteOne> double RunThreads(int threads, int rows, qint64 job, WriteOne write) {
    std::atomic<int> failures{0};
    std::vector<std::thread> pool;
    QElapsedTimer timer;
    timer.start();
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int i = t; i < rows; i += threads)
                if (!write(Row(job, i)) && failures++ == 0)
                    std::fprintf(stderr, "a row was not written\n");
        });
    for (auto& th : pool)
        th.join();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const qint64 stored = StoredRows(job);
    if (stored != rows || failures > 0)
        std::fprintf(stderr, "WARNING: %lld of %d rows stored, %d failures\n", stored, rows, failures.load());
    return rows / seconds;
}

// One write transaction per row, as each sender thread would write its own results.
RunResult OneTransactionPerRow(int threads, int rows) {
    const qint64 job = Database::InsertRow(QStringLiteral("emljobs"), {QStringLiteral("jobstate")}, {1});
    const QStringList cols{"emljobs_id", "email", "errormessage", "sentstate", "sentdate", "addressid"};
    RunResult r;
    r.RowsPerSecond = RunThreads(threads, rows, job, [&](const TSentListRow& row) {
        try {
            Transaction tx;
            Database::InsertRow(
                QStringLiteral("emlsentlist"), cols,
                {row.JobID, row.Email, row.ErrorMessage, row.SentState, row.SentDate, row.AddressID});
            tx.Commit();
            return true;
        } catch (const EQVException& e) {
            std::fprintf(stderr, "insert failed: %s\n", e.what());
            return false;
        }
    });
    r.Commits = rows;
    return r;
}

RunResult GroupCommit(int threads, int rows) {
    const qint64 job = Database::InsertRow(QStringLiteral("emljobs"), {QStringLiteral("jobstate")}, {1});
    TSentListWriter writer;
    RunResult r;
    r.RowsPerSecond =
        RunThreads(threads, rows, job, [&](const TSentListRow& row) { return writer.Write(row); });
    if (writer.UnwrittenCount() > 0)
        std::fprintf(stderr, "WARNING: %d rows unwritten: %s\n", writer.UnwrittenCount(),
                     qPrintable(writer.LastError()));
    r.Commits = writer.CommitCount();
    return r;
}

int SynchronousSetting() {
    QSqlQuery q = Database::Exec(QStringLiteral("PRAGMA synchronous"));
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("emlsentlist rows per second on SQLite"));
    parser.addHelpOption();
    QCommandLineOption rowsOpt(QStringLiteral("rows"), QStringLiteral("rows per run (default 40000)"),
                               QStringLiteral("N"), QStringLiteral("40000"));
    QCommandLineOption threadsOpt(QStringLiteral("threads"), QStringLiteral("sender threads (default 8)"),
                                  QStringLiteral("N"), QStringLiteral("8"));
    QCommandLineOption folderOpt(QStringLiteral("folder"),
                                 QStringLiteral("folder of the database and the flush probe (default: a "
                                                "temporary folder)"),
                                 QStringLiteral("DIR"));
    parser.addOptions({rowsOpt, threadsOpt, folderOpt});
    parser.process(app);
    const int rows = qMax(1, parser.value(rowsOpt).toInt());
    const int threads = qMax(1, parser.value(threadsOpt).toInt());

    QTemporaryDir tempDir;
    std::unique_ptr<QTemporaryDir> givenDir;
    QString folder = tempDir.path();
    if (parser.isSet(folderOpt)) {
        givenDir = std::make_unique<QTemporaryDir>(
            QDir(parser.value(folderOpt)).filePath(QStringLiteral("bench-XXXXXX")));
        if (!givenDir->isValid()) {
            std::fprintf(stderr, "bench_sentlist_inserts: cannot create a folder in %s\n",
                         qPrintable(parser.value(folderOpt)));
            return 1;
        }
        folder = givenDir->path();
    }
    DatabaseConfig config;
    config.SqlitePath = QDir(folder).filePath(QStringLiteral("bench.sqlite"));
    try {
        Database::Open(config);
        const int synchronous = SynchronousSetting();
        if (synchronous != 2)
            throw std::runtime_error("SQLite is not at synchronous FULL");
        OneTransactionPerRow(1, qMin(rows, 500)); // warm-up

        // The slow run gets fewer rows: its rate does not depend on the count.
        const int perRowRows = qMin(rows, 10000);
        const double flushes = FlushRate(folder, qMin(rows, 5000));
        const RunResult perRow = OneTransactionPerRow(threads, perRowRows);
        const RunResult grouped = GroupCommit(threads, rows);
        const double flushesAfter = FlushRate(folder, qMin(rows, 5000));

        std::printf("emlsentlist rows, SQLite (WAL, synchronous FULL), %d sender threads, folder %s\n",
                    threads, qPrintable(folder));
        std::printf("  disk flush rate (one fsync per row):        %9.0f /s  (before) %9.0f /s  (after)\n",
                    flushes, flushesAfter);
        const double flushRate = (flushes + flushesAfter) / 2;
        std::printf("  one transaction per row, %d rows:         %9.0f rows/s  %.2f x flush rate\n",
                    perRowRows, perRow.RowsPerSecond, perRow.RowsPerSecond / flushRate);
        std::printf("  TSentListWriter (group commit), %d rows: %9.0f rows/s  %.2f x flush rate, "
                    "%.2f x one transaction per row\n",
                    rows, grouped.RowsPerSecond, grouped.RowsPerSecond / flushRate,
                    grouped.RowsPerSecond / perRow.RowsPerSecond);
        std::printf("    %lld commits, %.2f rows per commit\n", grouped.Commits,
                    grouped.Commits > 0 ? double(rows) / grouped.Commits : 0.0);
        Database::Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_sentlist_inserts: %s\n", e.what());
        return 1;
    }
    return 0;
}
