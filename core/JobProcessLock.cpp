#include "JobProcessLock.h"

#include "Database.h"
#include "QVException.h"

#include <QAtomicInteger>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace emailmarketing {

namespace {

QAtomicInteger<quint64> g_connectionCounter;

// The first key of the advisory lock: the jobs of one schema, so that databases sharing a server
// (schemas of their own) do not block each other's job ids.
qint32 SchemaKey(const QString& ASchema) {
    quint32 hash = 2166136261u; // FNV-1a
    for (const char c : (QStringLiteral("emljobs.") + ASchema).toUtf8()) {
        hash ^= quint8(c);
        hash *= 16777619u;
    }
    return qint32(hash);
}

QString ErrnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString TJobProcessLock::LockFilePath(const QString& ADatabasePath) {
    return ADatabasePath + QStringLiteral("-joblocks");
}

std::unique_ptr<TJobProcessLock> TJobProcessLock::TryAcquire(qint64 AJobID) {
    if (AJobID < 0)
        throw hostapi::EQVException(QStringLiteral("A job without a row has no lock"));
    std::unique_ptr<TJobProcessLock> lock(new TJobProcessLock(AJobID));
    const hostapi::DatabaseConfig config = hostapi::Database::Config();
    if (config.IsPostgres()) {
        lock->FConnectionName = QStringLiteral("qv-joblock-%1-%2").arg(AJobID).arg(++g_connectionCounter);
        bool held = false;
        QString error;
        {
            QSqlDatabase db = hostapi::Database::AddConnection(config, lock->FConnectionName);
            if (!db.open()) {
                error = db.lastError().text();
            } else {
                QSqlQuery query(db);
                if (query.exec(QStringLiteral("SELECT current_schema()")) && query.next()) {
                    const qint32 key = SchemaKey(query.value(0).toString());
                    query.prepare(QStringLiteral("SELECT pg_try_advisory_lock(?, ?)"));
                    query.addBindValue(key);
                    query.addBindValue(qint32(AJobID));
                    if (query.exec() && query.next())
                        held = query.value(0).toBool();
                    else
                        error = query.lastError().text();
                } else {
                    error = query.lastError().text();
                }
            }
            if (held)
                lock->FSession = db;
            else
                db.close();
        }
        if (!held) {
            QSqlDatabase::removeDatabase(lock->FConnectionName);
            lock->FConnectionName.clear();
            if (!error.isEmpty())
                throw hostapi::EQVDatabaseException(
                    QStringLiteral("Cannot lock the mailing job %1: %2").arg(AJobID).arg(error));
            return nullptr;
        }
        return lock;
    }
    const QByteArray path = QFile::encodeName(LockFilePath(config.SqlitePath));
    lock->FFile = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock->FFile < 0)
        throw hostapi::EQVDatabaseException(
            QStringLiteral("Cannot open the job lock file %1: %2").arg(QFile::decodeName(path), ErrnoText()));
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = off_t(AJobID);
    range.l_len = 1;
    if (::fcntl(lock->FFile, F_OFD_SETLK, &range) == 0)
        return lock;
    if (errno == EAGAIN || errno == EACCES)
        return nullptr; // the destructor closes the file
    throw hostapi::EQVDatabaseException(
        QStringLiteral("Cannot lock the mailing job %1: %2").arg(AJobID).arg(ErrnoText()));
}

TJobProcessLock::~TJobProcessLock() {
    if (FFile >= 0)
        ::close(FFile); // releases the lock of this file description
    if (!FConnectionName.isEmpty()) {
        // Ending the session releases its advisory locks.
        FSession.close();
        FSession = QSqlDatabase();
        QSqlDatabase::removeDatabase(FConnectionName);
    }
}

} // namespace emailmarketing
