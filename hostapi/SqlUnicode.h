#pragma once

#include "HostApiExport.h"

#include <QSqlDatabase>
#include <QString>

namespace hostapi {

// Text comparison that means the same on SQLite and PostgreSQL: lower-casing by Unicode rules and
// one named collation for ordering, the ICU root collation "und-x-icu". PostgreSQL ships that
// collation; on SQLite the host registers a collation of the same name and the function
// "qv_lower" on every connection it opens (RegisterSqliteUnicode).

// The collation name, quoted as an SQL identifier.
HOSTAPI_EXPORT QString TextCollationSql();

// expr lower-cased by Unicode rules (not ASCII only), whatever the database's own locale.
HOSTAPI_EXPORT QString LowerSql(const QString& expr, bool postgres);

// expr under the text collation.
HOSTAPI_EXPORT QString CollateSql(const QString& expr);

// Registers "qv_lower" and the collation "und-x-icu" on an open SQLite connection through its
// driver handle. Throws EQVDatabaseException when the handle is no SQLite handle or SQLite refuses.
HOSTAPI_EXPORT void RegisterSqliteUnicode(const QSqlDatabase& db);

} // namespace hostapi
