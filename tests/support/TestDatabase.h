#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

namespace testsupport {

enum class Backend { SQLite, PostgreSQL };

// Opens a fresh host database (hostapi::Database::Open) for one test and closes it again.
// SQLite: a new file in a temporary folder. PostgreSQL: the server named by the environment
// variable QV_TEST_POSTGRES_URL, in a schema of its own that is created empty for this object
// ("qvt_<pid>_<n>", made the connection's search_path through the URL's "options" query item)
// and dropped again by the destructor. So every table and view starts absent, and test programs
// that ctest runs in parallel against one server do not disturb each other. Throws
// hostapi::EQVDatabaseException when the database cannot be opened.
class TestDatabase {
public:
    explicit TestDatabase(Backend backend = Backend::SQLite);
    ~TestDatabase();

    // True when QV_TEST_POSTGRES_URL is set.
    static bool PostgresAvailable();
    // "QSKIP" helper text for tests that need PostgreSQL.
    static const char* PostgresSkipReason();

    Backend Kind() const { return FBackend; }
    QString SqlitePath() const; // empty for PostgreSQL
    QString TempFolder() const;
    // PostgreSQL: the schema this object uses (empty for SQLite).
    QString PostgresSchema() const { return FPgSchema; }

    // Runs a test body once per backend: the `_data()` helpers below add a column "backend"
    // (Backend) and one row per backend: "sqlite" and "postgresql" (row names get " <suffix>").
    // The environment variable QV_TEST_BACKENDS ("sqlite", "postgresql" or both, comma-separated)
    // chooses them; unset: "sqlite", plus "postgresql" when PostgresAvailable(). A "postgresql" row
    // asked for without a server skips (QV_SKIP_UNLESS_BACKEND).
    static void AddBackendColumn();
    static void AddBackendRows(const char* suffix = nullptr);
    static QList<Backend> SelectedBackends();

private:
    Backend FBackend;
    std::unique_ptr<QTemporaryDir> FDir;
    QString FPgSchema;
};

// Number of rows of table (checked against the field schema), optionally restricted by a WHERE
// text with positional binds; -1 when the count cannot be read.
qint64 Count(const QString& table, const QString& where = {}, const QVariantList& binds = {});

// Keeps the open host database busy for writers until Release (or the end of the object): SQLite's
// write lock (BEGIN IMMEDIATE), on PostgreSQL an exclusive lock of `table` (reads stay possible).
// OtherConnection holds it through a connection of its own, as another program would, on the
// calling thread (Release on the same thread); OtherThread through a hostapi::Transaction on a
// thread of its own, as a long import running in this process. The constructor returns once the
// lock is held; it throws hostapi::EQVDatabaseException when it cannot be taken.
class WriteLockHolder {
public:
    enum class Kind { OtherConnection, OtherThread };
    WriteLockHolder(Kind kind, const QString& table);
    ~WriteLockHolder();
    WriteLockHolder(const WriteLockHolder&) = delete;
    WriteLockHolder& operator=(const WriteLockHolder&) = delete;

    void Release();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The column's value in the first row of table that matches the WHERE text (checked against the
// field schema like Count); null when no row matches.
QVariant Value(const QString& table, const QString& column, const QString& where,
               const QVariantList& binds = {});

} // namespace testsupport

Q_DECLARE_METATYPE(testsupport::Backend)
Q_DECLARE_METATYPE(testsupport::WriteLockHolder::Kind)

// In a test function: skips when the backend is PostgreSQL and no server is configured.
#define QV_SKIP_UNLESS_BACKEND(backend)                                                                      \
    do {                                                                                                     \
        if ((backend) == ::testsupport::Backend::PostgreSQL &&                                               \
            !::testsupport::TestDatabase::PostgresAvailable())                                               \
            QSKIP(::testsupport::TestDatabase::PostgresSkipReason());                                        \
    } while (false)
