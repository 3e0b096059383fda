#pragma once

#include "HostApiExport.h"

#include <QList>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>

#include <memory>

namespace hostapi {

// Declared type of a field; conditions and filters compare by it.
enum class TFieldDataType : int { fdtInteger = 0, fdtFloat = 1, fdtText = 2, fdtDateTime = 3, fdtBytes = 4 };

// Field-type flags (0..15) of the field schema. A field carries a set of them.
enum TFieldTypeFlag : int {
    fftEmail = 2,  // e-mail address field
    fftMobile = 11 // mobile phone field
};

struct HOSTAPI_EXPORT TDBFieldDef {
    QString Name;    // lower-case column name
    QString Caption; // German caption
    TFieldDataType Type = TFieldDataType::fdtText;
    quint16 FlagSet = 0;     // bit n set = flag n
    bool PrimaryKey = false; // the integer id, generated on insert
    QString DefaultValue;    // SQL literal used in the table definition; empty = none
    QString ListData;        // pick list, "n=text" lines; empty = none

    bool HasFlag(int flag) const { return flag >= 0 && flag <= 15 && (FlagSet & (1u << flag)); }
};

// A related schema that shares the record's key: "pelm_addresses_det" is joined to an address
// schema by its "id" = the address id. Qualified field names ("pelm_addresses_det.isactive") use it.
struct HOSTAPI_EXPORT TDBRelation {
    QString Schema;     // related schema (or the alias under which a view exposes it)
    QString LocalKey;   // column of the base schema that holds the related row's key
    QString RelatedKey; // key column of the related schema
};

struct HOSTAPI_EXPORT TDBSchemaDef {
    QString Name;                 // lower-case schema (table or view) name
    QString Caption;              // German caption; schemas without one are not offered to users
    QList<TDBFieldDef> Fields;    // in schema order
    QString ViewSql;              // SELECT of a view; empty for a table
    QList<TDBRelation> Relations; // related schemas usable in qualified field names
    QStringList Indexes;          // tables: one index per entry, its columns comma-separated
    // Views that show the rows of one table one by one, with its "id" (the XML exchange views
    // "<table>_qvxml"): that table. The XML import writes to it; empty for other schemas.
    QString BaseTable;
    bool IsView() const { return !ViewSql.isEmpty(); }
    // The field named so (case-insensitive); nullptr when unknown.
    const TDBFieldDef* FieldByName(const QString& name) const;
};

// The field schema of one data schema, as the host exposes it. Pick lists may change at run time
// (SetFieldListData); everything else is fixed after start. Safe to read from any thread.
class HOSTAPI_EXPORT IDBFieldSchemaItem {
public:
    virtual ~IDBFieldSchemaItem();
    virtual QString SchemaName() const = 0;
    virtual QString Caption() const = 0;
    virtual int FieldCount() const = 0;
    virtual TDBFieldDef Field(int index) const = 0;          // copy
    virtual int IndexOfField(const QString& name) const = 0; // case-insensitive, -1 when unknown
    virtual bool HasField(const QString& name) const = 0;
    virtual quint16 GetFieldTypeFlagSet(const QString& name) const = 0; // 0 when unknown
    virtual TFieldDataType FieldType(const QString& name) const = 0;    // throws when unknown
    virtual QString FieldListData(const QString& name) const = 0;
    virtual void SetFieldListData(const QString& name, const QString& listData) = 0; // throws when unknown
    // The fixed definition. Its fields' ListData are the pick lists as defined at start; the current
    // ones (after SetFieldListData) are answered by Field() and FieldListData().
    virtual const TDBSchemaDef& Definition() const = 0;
};

// A field reference resolved against a base schema: either a field of the base schema or,
// qualified, a field of a related schema joined by key.
struct HOSTAPI_EXPORT TResolvedField {
    QString Schema; // schema that holds the column
    QString Field;  // column name
    TFieldDataType Type = TFieldDataType::fdtText;
    bool Related = false; // true when joined through a TDBRelation
    TDBRelation Relation; // valid when Related
};

// The registry of all schemas of the host database (defined in db/). One instance per process.
class HOSTAPI_EXPORT TDBFieldSchema {
public:
    static TDBFieldSchema& Instance();

    // Schema by name, case-insensitive; nullptr when unknown.
    IDBFieldSchemaItem* SchemaByName(const QString& name) const;
    // Like SchemaByName, but throws EQVDatabaseException "Unknown schema: <name>".
    IDBFieldSchemaItem& RequireSchema(const QString& name) const;
    QStringList SchemaNames() const;
    // Schemas with a caption (offered to users), as (name, caption) pairs in definition order.
    QList<QPair<QString, QString>> SchemaCaptions() const;

    // Resolves "field" or "schema.field" against baseSchema; throws EQVDatabaseException
    // "Unknown field <name> in schema <schema>" for anything not in the field schema.
    TResolvedField ResolveField(const QString& baseSchema, const QString& fieldName) const;

private:
    TDBFieldSchema();
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace hostapi
