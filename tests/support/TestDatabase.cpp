#include "TestDatabase.h"

#include "Database.h"
#include "QVException.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

#include <atomic>
#include <future>
#include <thread>

namespace testsupport {

namespace {

std::atomic<int> g_schemaSeq{0};

QString PostgresUrl() {
    return qEnvironmentVariable("QV_TEST_POSTGRES_URL");
}

// Runs statements on a connection of its own to the server of QV_TEST_POSTGRES_URL.
void AdminExec(const QStringList& statements) {
    const QString name = QStringLiteral("qvtest-admin-%1").arg(++g_schemaSeq);
    QString error;
    {
        hostapi::DatabaseConfig config;
        config.PostgresUrl = PostgresUrl();
        QSqlDatabase db = hostapi::Database::AddConnection(config, name);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            for (const QString& sql : statements) {
                QSqlQuery q(db);
                if (!q.exec(sql)) {
                    error = sql + QStringLiteral(": ") + q.lastError().text();
                    break;
                }
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty())
        throw hostapi::EQVDatabaseException(QStringLiteral("PostgreSQL test setup: %1").arg(error));
}

} // namespace

TestDatabase::TestDatabase(Backend backend) : FBackend(backend), FDir(std::make_unique<QTemporaryDir>()) {
    if (!FDir->isValid())
        throw hostapi::EQVDatabaseException(QStringLiteral("Cannot create a temporary folder"));
    hostapi::DatabaseConfig config;
    if (backend == Backend::SQLite) {
        config.SqlitePath = SqlitePath();
    } else {
        if (!PostgresAvailable())
            throw hostapi::EQVDatabaseException(QString::fromLatin1(PostgresSkipReason()));
        FPgSchema = QStringLiteral("qvt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++g_schemaSeq);
        AdminExec({QStringLiteral("SET client_min_messages = warning"),
                   QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(FPgSchema),
                   QStringLiteral("CREATE SCHEMA %1").arg(FPgSchema)});
        QUrl url(PostgresUrl());
        QUrlQuery query(url);
        query.removeAllQueryItems(QStringLiteral("options"));
        query.addQueryItem(QStringLiteral("options"), QStringLiteral("-csearch_path=%1").arg(FPgSchema));
        url.setQuery(query);
        config.PostgresUrl = url.toString();
    }
    hostapi::Database::Open(config);
}

TestDatabase::~TestDatabase() {
    hostapi::Database::Close();
    if (!FPgSchema.isEmpty()) {
        try {
            AdminExec({QStringLiteral("SET client_min_messages = warning"),
                       QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(FPgSchema)});
        } catch (const std::exception& e) {
            qWarning("%s", e.what());
        }
    }
}

bool TestDatabase::PostgresAvailable() {
    return !PostgresUrl().isEmpty();
}

const char* TestDatabase::PostgresSkipReason() {
    return "QV_TEST_POSTGRES_URL is not set (scripts/test starts a PostgreSQL server and sets it)";
}

QString TestDatabase::SqlitePath() const {
    return FBackend == Backend::SQLite ? FDir->filePath(QStringLiteral("qvtest.sqlite")) : QString();
}

QString TestDatabase::TempFolder() const {
    return FDir->path();
}

void TestDatabase::AddBackendColumn() {
    QTest::addColumn<Backend>("backend");
}

QList<Backend> TestDatabase::SelectedBackends() {
    const QString env = qEnvironmentVariable("QV_TEST_BACKENDS").trimmed().toLower();
    QList<Backend> out;
    if (env.isEmpty()) {
        out << Backend::SQLite;
        if (PostgresAvailable())
            out << Backend::PostgreSQL;
        return out;
    }
    const QStringList names = env.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& n : names) {
        if (n.trimmed() == QLatin1String("sqlite"))
            out << Backend::SQLite;
        else if (n.trimmed() == QLatin1String("postgresql") || n.trimmed() == QLatin1String("postgres"))
            out << Backend::PostgreSQL;
    }
    return out;
}

void TestDatabase::AddBackendRows(const char* suffix) {
    const QByteArray s = suffix ? QByteArray(" ") + suffix : QByteArray();
    for (Backend b : SelectedBackends()) {
        const QByteArray name = (b == Backend::SQLite ? QByteArray("sqlite") : QByteArray("postgresql")) + s;
        QTest::newRow(name.constData()) << b;
    }
}

qint64 Count(const QString& table, const QString& where, const QVariantList& binds) {
    QSqlQuery q = hostapi::Database::Exec(
        QStringLiteral("SELECT COUNT(*) FROM %1%2")
            .arg(hostapi::Database::QuoteIdentifier(table), where.isEmpty() ? QString() : " WHERE " + where),
        binds);
    return q.next() ? q.value(0).toLongLong() : -1;
}

namespace {

QString LockTableSql(const QString& table) {
    return QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(hostapi::Database::QuoteIdentifier(table));
}

} // namespace

struct WriteLockHolder::Private {
    Kind HolderKind;
    bool Held = false;
    // OtherConnection
    QString ConnectionName;
    // OtherThread
    std::thread Thread;
    std::promise<void> ReleaseRequest;
};

WriteLockHolder::WriteLockHolder(Kind kind, const QString& table) : d(std::make_unique<Private>()) {
    d->HolderKind = kind;
    const bool postgres = hostapi::Database::IsPostgres();
    if (kind == Kind::OtherConnection) {
        d->ConnectionName = QStringLiteral("qvtest-lock-holder-%1").arg(++g_schemaSeq);
        QString error;
        {
            QSqlDatabase db =
                hostapi::Database::AddConnection(hostapi::Database::Config(), d->ConnectionName);
            if (!db.open()) {
                error = db.lastError().text();
            } else {
                QSqlQuery q(db);
                const QStringList statements = postgres
                                                   ? QStringList{QStringLiteral("BEGIN"), LockTableSql(table)}
                                                   : QStringList{QStringLiteral("BEGIN IMMEDIATE")};
                for (const QString& sql : statements)
                    if (error.isEmpty() && !q.exec(sql))
                        error = sql + QStringLiteral(": ") + q.lastError().text();
            }
        }
        if (!error.isEmpty()) {
            QSqlDatabase::removeDatabase(d->ConnectionName);
            throw hostapi::EQVDatabaseException(QStringLiteral("Cannot hold the write lock: %1").arg(error));
        }
    } else {
        std::promise<void> held;
        std::future<void> heldFuture = held.get_future();
        std::future<void> releaseFuture = d->ReleaseRequest.get_future();
        d->Thread = std::thread(
            [held = std::move(held), releaseFuture = std::move(releaseFuture), table, postgres]() mutable {
                try {
                    hostapi::Transaction transaction;
                    if (postgres)
                        hostapi::Database::Exec(LockTableSql(table));
                    held.set_value();
                    releaseFuture.wait();
                } catch (...) { // handed to the constructor, which raises it
                    held.set_exception(std::current_exception());
                }
            });
        try {
            heldFuture.get();
        } catch (...) {
            d->Thread.join();
            throw;
        }
    }
    d->Held = true;
}

WriteLockHolder::~WriteLockHolder() {
    Release();
}

void WriteLockHolder::Release() {
    if (!d->Held)
        return;
    d->Held = false;
    if (d->HolderKind == Kind::OtherConnection) {
        {
            QSqlDatabase db = QSqlDatabase::database(d->ConnectionName, false);
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("ROLLBACK")))
                qWarning("releasing the write lock: %s", qPrintable(q.lastError().text()));
            q = QSqlQuery();
            db.close();
        }
        QSqlDatabase::removeDatabase(d->ConnectionName);
    } else {
        d->ReleaseRequest.set_value();
        d->Thread.join();
    }
}

QVariant Value(const QString& table, const QString& column, const QString& where, const QVariantList& binds) {
    QSqlQuery q = hostapi::Database::Exec(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                                              .arg(hostapi::Database::QuoteIdentifier(column),
                                                   hostapi::Database::QuoteIdentifier(table), where),
                                          binds);
    return q.next() ? q.value(0) : QVariant();
}

} // namespace testsupport
