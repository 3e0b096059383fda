#pragma once

#include <QSqlDatabase>
#include <QString>

#include <memory>

namespace emailmarketing {

// The lock a send job holds while it lives, released with this object or with the process that
// holds it (a crash included), so that a later start can tell a job that still runs somewhere from
// one that was interrupted. PostgreSQL: a session advisory lock on the job id, through a connection
// of its own. SQLite: a byte-range lock (open file description lock) on the file beside the
// database with the suffix "-joblocks", at the job id's offset; it conflicts with every other holder,
// in this process as well.
class TJobProcessLock {
public:
    // Takes the lock of job AJobID of the open host database; nullptr when another holder has it.
    // Throws EQVDatabaseException when the lock cannot be asked for.
    static std::unique_ptr<TJobProcessLock> TryAcquire(qint64 AJobID);
    ~TJobProcessLock();
    TJobProcessLock(const TJobProcessLock&) = delete;
    TJobProcessLock& operator=(const TJobProcessLock&) = delete;

    qint64 JobID() const { return FJobID; }
    // The lock file of a SQLite database at ADatabasePath.
    static QString LockFilePath(const QString& ADatabasePath);

private:
    explicit TJobProcessLock(qint64 AJobID) : FJobID(AJobID) {}

    qint64 FJobID;
    int FFile = -1;          // SQLite
    QString FConnectionName; // PostgreSQL
    QSqlDatabase FSession;   // PostgreSQL, holding the advisory lock
};

} // namespace emailmarketing
