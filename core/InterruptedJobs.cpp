#include "InterruptedJobs.h"

#include "Database.h"
#include "JobProcessLock.h"
#include "PendingSentList.h"

#include <QList>
#include <QSet>
#include <QSqlQuery>

namespace emailmarketing {

namespace {

QString Q(const char* AName) {
    return hostapi::Database::QuoteIdentifier(QString::fromLatin1(AName));
}

// Unfinished jobs, and jobs that still have pending rows (a crash while a job was ending).
QList<qint64> CandidateJobs() {
    const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE (%3 = 1 AND %4 IS NULL) "
                                       "OR %1 IN (SELECT %5 FROM %6 WHERE %7 = 0) ORDER BY %1")
                            .arg(Q("id"), Q("emljobs"), Q("jobstate"), Q("enddate"), Q("emljobs_id"),
                                 Q("emlsentlist"), Q("sentstate"));
    QSqlQuery query = hostapi::Database::Exec(sql, {}, QStringLiteral("find interrupted mailings"));
    QList<qint64> ids;
    while (query.next())
        ids << query.value(0).toLongLong();
    return ids;
}

} // namespace

QString TInterruptedJobs::InterruptedText() {
    return QStringLiteral("The mailing was interrupted before this message was sent.");
}

TInterruptedJobs::TResult TInterruptedJobs::Recover(const QDateTime& ANow) {
    TResult result;
    for (const qint64 jobID : CandidateJobs()) {
        // Held while the rows change, so that the job cannot start again meanwhile.
        const std::unique_ptr<TJobProcessLock> lock = TJobProcessLock::TryAcquire(jobID);
        if (!lock)
            continue; // it runs in another process
        hostapi::Transaction transaction;
        const QSqlQuery closed = hostapi::Database::Exec(
            QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ? AND %4 = 1 AND %2 IS NULL")
                .arg(Q("emljobs"), Q("enddate"), Q("id"), Q("jobstate")),
            {ANow, jobID}, QStringLiteral("close an interrupted mailing"));
        const int rows = TPendingSentList::FailJob(jobID, InterruptedText(), ANow);
        transaction.Commit();
        result.Jobs += closed.numRowsAffected() > 0 ? 1 : 0;
        result.Rows += rows;
    }
    result.Rows += TPendingSentList::FailOrphans(InterruptedText(), ANow);
    return result;
}

QString TInterruptedJobs::Summary(const TResult& AResult) {
    if (AResult.Jobs == 0 && AResult.Rows == 0)
        return {};
    return QStringLiteral("Interrupted mailings closed: %1; messages not sent because of the interruption, "
                          "now in the failed list: %2")
        .arg(AResult.Jobs)
        .arg(AResult.Rows);
}

} // namespace emailmarketing
