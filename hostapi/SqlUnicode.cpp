#include "SqlUnicode.h"

#include "QVException.h"

#include <QCollator>
#include <QLocale>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace hostapi {

namespace {

const char kCollationName[] = "und-x-icu";
const char kLowerFunction[] = "qv_lower";

// No exception may unwind through SQLite's C frames: a failure becomes the function's error.
void LowerFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (!text) {
        sqlite3_result_error_nomem(context);
        return;
    }
    try {
        const QByteArray lower = QString::fromUtf8(text, sqlite3_value_bytes(argv[0])).toLower().toUtf8();
        sqlite3_result_text(context, lower.constData(), int(lower.size()), SQLITE_TRANSIENT);
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

int CompareBytes(int size1, const void* data1, int size2, const void* data2) {
    const int n = std::min(size1, size2);
    const int c = n > 0 ? std::memcmp(data1, data2, size_t(n)) : 0;
    if (c != 0)
        return c < 0 ? -1 : 1;
    return size1 == size2 ? 0 : (size1 < size2 ? -1 : 1);
}

// Ties of the collator are broken by the UTF-8 bytes, as PostgreSQL does for a deterministic
// collation, so both backends give one order.
int CollateText(void* collator, int size1, const void* data1, int size2, const void* data2) {
    try {
        const QString a = QString::fromUtf8(static_cast<const char*>(data1), size1);
        const QString b = QString::fromUtf8(static_cast<const char*>(data2), size2);
        const int c = static_cast<const QCollator*>(collator)->compare(a, b);
        if (c != 0)
            return c < 0 ? -1 : 1;
    } catch (...) {
        // A collation has no way to report an error; out of memory, the bytes decide.
    }
    return CompareBytes(size1, data1, size2, data2);
}

void DestroyCollator(void* collator) {
    delete static_cast<QCollator*>(collator);
}

} // namespace

QString TextCollationSql() {
    return QLatin1Char('"') + QLatin1String(kCollationName) + QLatin1Char('"');
}

QString LowerSql(const QString& expr, bool postgres) {
    if (postgres)
        return QStringLiteral("LOWER(CAST(%1 AS TEXT) COLLATE %2)").arg(expr, TextCollationSql());
    return QStringLiteral("%1(%2)").arg(QLatin1String(kLowerFunction), expr);
}

QString CollateSql(const QString& expr) {
    return expr + QStringLiteral(" COLLATE ") + TextCollationSql();
}

void RegisterSqliteUnicode(const QSqlDatabase& db) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw EQVDatabaseException(QStringLiteral(
            "Database error (register text functions): the connection is no SQLite connection"));
    sqlite3* sqlite = *static_cast<sqlite3* const*>(handle.constData());
    if (!sqlite)
        throw EQVDatabaseException(
            QStringLiteral("Database error (register text functions): the SQLite connection is not open"));
    int rc = sqlite3_create_function_v2(sqlite, kLowerFunction, 1,
                                        SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                        LowerFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        // The ICU root collation: English has no tailoring of its own.
        auto* collator = new QCollator(QLocale(QLocale::English, QLocale::UnitedStates));
        collator->setCaseSensitivity(Qt::CaseSensitive);
        collator->setNumericMode(false);
        collator->setIgnorePunctuation(false);
        rc = sqlite3_create_collation_v2(sqlite, kCollationName, SQLITE_UTF8, collator, CollateText,
                                         DestroyCollator);
        if (rc != SQLITE_OK) // SQLite frees the collator only once it was taken
            delete collator;
    }
    if (rc != SQLITE_OK)
        throw EQVDatabaseException(QStringLiteral("Database error (register text functions): %1")
                                       .arg(QString::fromUtf8(sqlite3_errmsg(sqlite))));
}

} // namespace hostapi
