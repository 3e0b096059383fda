#include "ClientSQL.h"

#include "DBFieldSchema.h"
#include "Database.h"
#include "QVException.h"
#include "QVSQLDeleteNotify.h"

namespace hostapi {

namespace {

// The schema of a statement that changes rows: known and a table.
const IDBFieldSchemaItem& WritableSchema(const QString& name) {
    if (name.isEmpty())
        throw EQVDatabaseException(QStringLiteral("The statement names no schema"));
    const IDBFieldSchemaItem& item = TDBFieldSchema::Instance().RequireSchema(name);
    if (item.Definition().IsView())
        throw EQVDatabaseException(QStringLiteral("The view %1 cannot be changed").arg(item.SchemaName()));
    return item;
}

} // namespace

TClientSQL::TClientSQL(const QString& schemaName, TClientSQLKind kind)
    : FSchemaName(schemaName), FKind(kind) {}

void TClientSQL::AddField(const QString& fieldName, const QVariant& defaultValue) {
    for (const TField& f : FFields)
        if (f.Name.compare(fieldName, Qt::CaseInsensitive) == 0)
            throw EQVDatabaseException(QStringLiteral("The field %1 is declared twice").arg(fieldName));
    FFields.append({fieldName, defaultValue, {}, false});
}

QStringList TClientSQL::FieldNames() const {
    QStringList names;
    for (const TField& f : FFields)
        names << f.Name;
    return names;
}

TClientSQL::TField& TClientSQL::RequireField(const QString& fieldName) {
    return const_cast<TField&>(std::as_const(*this).RequireField(fieldName));
}

const TClientSQL::TField& TClientSQL::RequireField(const QString& fieldName) const {
    for (const TField& f : FFields)
        if (f.Name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return f;
    throw EQVDatabaseException(
        QStringLiteral("The field %1 is not declared in the statement on %2").arg(fieldName, FSchemaName));
}

void TClientSQL::SetFieldValue(const QString& fieldName, const QVariant& value) {
    TField& f = RequireField(fieldName);
    f.Value = value;
    f.HasValue = true;
}

QVariant TClientSQL::FieldValue(const QString& fieldName) const {
    const TField& f = RequireField(fieldName);
    return f.HasValue ? f.Value : f.Default;
}

void TClientSQL::ClearFieldValues() {
    for (TField& f : FFields) {
        f.Value = QVariant();
        f.HasValue = false;
    }
}

void TClientSQL::CollectValues(QStringList& columns, QVariantList& values) const {
    const IDBFieldSchemaItem& schema = WritableSchema(FSchemaName);
    for (const TField& f : FFields) {
        const int index = schema.IndexOfField(f.Name);
        if (index < 0)
            throw EQVDatabaseException(
                QStringLiteral("Unknown field %1 in schema %2").arg(f.Name, schema.SchemaName()));
        const TDBFieldDef def = schema.Field(index);
        if (def.PrimaryKey)
            throw EQVDatabaseException(
                QStringLiteral("The field %1 of %2 is the record id and cannot be written")
                    .arg(def.Name, schema.SchemaName()));
        if (!f.HasValue && f.Default.isNull())
            continue;
        columns << def.Name;
        values << ToBindValue(ConvertFieldValue(f.HasValue ? f.Value : f.Default, def.Type, def.Name),
                              def.Type);
    }
}

TSqlWhere TClientSQL::RequireFilter(const QString& action) const {
    const TSqlWhere where = BuildWhere(FSchemaName, FFilters);
    if (where.Where.isEmpty())
        throw EQVDatabaseException(
            QStringLiteral("Refused to %1 %2 without an active filter").arg(action, FSchemaName));
    return where;
}

qint64 TClientSQL::Execute(bool withDependents) {
    const IDBFieldSchemaItem& schema = WritableSchema(FSchemaName);
    switch (FKind) {
    case ckInsert: {
        QStringList columns;
        QVariantList values;
        CollectValues(columns, values);
        return Database::InsertRow(schema.SchemaName(), columns, values);
    }
    case ckUpdate: {
        QStringList columns;
        QVariantList values;
        CollectValues(columns, values);
        const TSqlWhere where = RequireFilter(QStringLiteral("update"));
        if (columns.isEmpty())
            throw EQVDatabaseException(
                QStringLiteral("The update of %1 sets no field").arg(schema.SchemaName()));
        QStringList sets;
        for (const QString& c : columns)
            sets << Database::QuoteIdentifier(c) + QStringLiteral(" = ?");
        const QString id = Database::QuoteIdentifier(QStringLiteral("id"));
        const QString table = Database::QuoteIdentifier(schema.SchemaName());
        QSqlQuery q = Database::Exec(
            QStringLiteral("UPDATE %1 SET %2 WHERE %3 IN (SELECT t.%3 FROM %1 t%4%5)")
                .arg(table, sets.join(QStringLiteral(", ")), id, where.JoinText(), where.WhereText()),
            values + where.Binds, QStringLiteral("update %1").arg(schema.SchemaName()));
        return q.numRowsAffected();
    }
    case ckDelete:
        return DeleteNotifyRegistry::Delete(schema.SchemaName(), RequireFilter(QStringLiteral("delete from")),
                                            withDependents)
            .Rows;
    }
    throw EQVDatabaseException(QStringLiteral("Unknown statement kind %1").arg(int(FKind)));
}

} // namespace hostapi
