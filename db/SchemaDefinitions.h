#pragma once

// The schemas of the host database: tables, views, their fields (German captions, declared types,
// field-type flags, defaults, pick lists), indexes and relations, and the ordered list of schema
// migrations. One set of definitions produces the DDL for SQLite and for PostgreSQL.
//
// Versioning: the definitions always describe the LATEST schema version (CurrentSchemaVersion()).
// A fresh database is created from them (tables, then indexes, then views) and stamped with that
// version in "qvschemaversion". A database of an older version runs every migration step whose
// Version is greater than its recorded version, in order, in one transaction; the views are then
// dropped and created again from the definitions. To change the schema later:
//   1. change the definition below (e.g. add a field),
//   2. append a TSchemaMigration with Version = previous last + 1 whose statements bring a database
//      of the previous version to the new one (e.g. AddColumnSql(...)),
// and never edit a step that has been released.

#include "DBFieldSchema.h"
#include "HostApiExport.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace hostapi::db {

enum class TSqlDialect { SQLite, PostgreSQL };

// Every schema of the host database in definition order: tables first, then views (a view only
// refers to schemas defined before it).
HOSTAPI_EXPORT const QList<TDBSchemaDef>& SchemaDefinitions();

// Name of the table that records the schema version (one row, column "version").
HOSTAPI_EXPORT QString SchemaVersionTable();

// One migration step: brings a database of version Version - 1 to Version. Step 1 is the
// initial creation from the definitions; it only ever runs on an empty database.
struct HOSTAPI_EXPORT TSchemaMigration {
    int Version = 0;
    QString Description;
    std::function<QStringList(TSqlDialect)> Statements;
};

HOSTAPI_EXPORT const QList<TSchemaMigration>& SchemaMigrations();
// The version of the definitions = Version of the last migration step.
HOSTAPI_EXPORT int CurrentSchemaVersion();

// DDL from the definitions.
HOSTAPI_EXPORT QString QuoteIdent(const QString& name);                              // "name"
HOSTAPI_EXPORT QString ColumnTypeSql(const TDBFieldDef& field, TSqlDialect dialect); // declared type
HOSTAPI_EXPORT QString ColumnSql(const TDBFieldDef& field, TSqlDialect dialect);     // column clause
HOSTAPI_EXPORT QString CreateTableSql(const TDBSchemaDef& schema, TSqlDialect dialect);
HOSTAPI_EXPORT QStringList CreateIndexSql(const TDBSchemaDef& schema, TSqlDialect dialect);
HOSTAPI_EXPORT QString CreateViewSql(const TDBSchemaDef& schema, TSqlDialect dialect);
HOSTAPI_EXPORT QString DropViewSql(const TDBSchemaDef& schema, TSqlDialect dialect);
// "ALTER TABLE t ADD COLUMN c <type> [DEFAULT d]" for the field named so in the current definition.
HOSTAPI_EXPORT QString AddColumnSql(const QString& table, const QString& field, TSqlDialect dialect);
// Every statement that creates the whole current schema: tables, indexes, views, version table.
HOSTAPI_EXPORT QStringList CreateAllSql(TSqlDialect dialect);

} // namespace hostapi::db
