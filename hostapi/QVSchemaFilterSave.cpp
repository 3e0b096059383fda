#include "QVSchemaFilterSave.h"

#include "DBFieldSchema.h"
#include "Database.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "QVSQLDeleteNotify.h"

#include <QHash>

namespace hostapi {

namespace {

[[noreturn]] void Fail(const QString& message) {
    throw EQVDatabaseException(message);
}

// A filter value as stored in the text column: lists comma-separated, date-times in ISO form.
QVariant ValueText(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QVariantList || value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return ConvertFieldValue(value, TFieldDataType::fdtText, QStringLiteral("value"));
}

qint64 IntOr(const QVariant& v, qint64 fallback) {
    return v.isNull() ? fallback : v.toLongLong();
}

} // namespace

TQVSchemaFilterSave::TQVSchemaFilterSave(const QString& saveSchema) : FSaveSchema(saveSchema) {}

void TQVSchemaFilterSave::SetAdditionalField(const QString& fieldName, const QVariant& value) {
    for (auto& field : FAdditionalFields)
        if (field.first.compare(fieldName, Qt::CaseInsensitive) == 0) {
            field.second = value;
            return;
        }
    FAdditionalFields.append({fieldName, value});
}

void TQVSchemaFilterSave::RequireConfigured() const {
    if (FSchemaName.isEmpty())
        Fail(QStringLiteral("The saved filters name no schema"));
    TDBFieldSchema::Instance().RequireSchema(FSchemaName);
    const IDBFieldSchemaItem& save = TDBFieldSchema::Instance().RequireSchema(FSaveSchema);
    if (save.Definition().IsView())
        Fail(QStringLiteral("Filters cannot be saved in the view %1").arg(save.SchemaName()));
    const QStringList columns{FColumns.SchemaName,    FColumns.FieldName,   FColumns.FilterType,
                              FColumns.FilterLink,    FColumns.AsLookup,    FColumns.ValueType,
                              FColumns.Value,         FColumns.Parenthesis, FColumns.SubSelSchema,
                              FColumns.ParentFilterID};
    for (const QString& c : columns)
        if (!save.HasField(c))
            Fail(QStringLiteral("Unknown field %1 in schema %2").arg(c, save.SchemaName()));
    for (const auto& field : FAdditionalFields)
        if (!save.HasField(field.first))
            Fail(QStringLiteral("Unknown field %1 in schema %2").arg(field.first, save.SchemaName()));
}

TQVFilterList TQVSchemaFilterSave::SetFilters() const {
    TQVFilterList selection;
    selection.Add(FColumns.SchemaName, FSchemaName);
    selection.AddGroup(FFilters);
    return selection;
}

void TQVSchemaFilterSave::SaveFilters(const TQVFilterList& filters) const {
    RequireConfigured();
    // Without a filter of its own the rows to replace would be every set of the schema.
    if (!FFilters.HasActiveFilter())
        Fail(QStringLiteral("The filters of %1 are not saved: no filter selects the saved set to replace "
                            "(e.g. the list is not stored yet)")
                 .arg(FSchemaName));
    // Names, values, parentheses and sub-select structure must hold before anything is written.
    BuildWhere(FSchemaName, filters);
    QHash<qint64, QString> schemaOfChildren; // filter id -> its sub-select schema
    for (const TQVFilter& f : filters.Items())
        if (f.ID >= 0 && !f.SubSelSchema.isEmpty())
            schemaOfChildren.insert(f.ID, f.SubSelSchema);
    for (const TQVFilter& f : filters.Items()) {
        if (f.IsParenthesis())
            continue;
        const QString schema = f.ParentFilterID >= 0 ? schemaOfChildren.value(f.ParentFilterID) : FSchemaName;
        TDBFieldSchema::Instance().ResolveField(schema, f.FieldName);
        if (!f.SubSelSchema.isEmpty())
            TDBFieldSchema::Instance().RequireSchema(f.SubSelSchema);
    }

    const TSqlWhere selection = BuildWhere(FSaveSchema, SetFilters());
    Transaction transaction;
    DeleteNotifyRegistry::Delete(FSaveSchema, selection, true);

    QStringList columns{FColumns.SchemaName,    FColumns.FieldName,   FColumns.FilterType,
                        FColumns.FilterLink,    FColumns.AsLookup,    FColumns.ValueType,
                        FColumns.Value,         FColumns.Parenthesis, FColumns.SubSelSchema,
                        FColumns.ParentFilterID};
    QVariantList additional;
    for (const auto& field : FAdditionalFields) {
        columns << field.first;
        additional << field.second;
    }
    const IDBFieldSchemaItem& save = TDBFieldSchema::Instance().RequireSchema(FSaveSchema);
    QHash<qint64, qint64> rowIds;                // filter id -> row id
    QList<QPair<qint64, qint64>> pendingParents; // row id -> filter id of its parent
    for (const TQVFilter& f : filters.Items()) {
        const qint64 parentRow = f.ParentFilterID >= 0 ? rowIds.value(f.ParentFilterID, -1) : -1;
        QVariantList values{FSchemaName,        f.FieldName,      int(f.FilterType),  int(f.Link),
                            f.AsLookup ? 1 : 0, int(f.ValueType), ValueText(f.Value), int(f.Parenthesis),
                            f.SubSelSchema,     parentRow};
        values += additional;
        QVariantList typed;
        for (int i = 0; i < columns.size(); ++i) {
            const TFieldDataType type = save.FieldType(columns[i]);
            typed << ToBindValue(ConvertFieldValue(values[i], type, columns[i]), type);
        }
        const qint64 row = Database::InsertRow(FSaveSchema, columns, typed);
        if (f.ID >= 0)
            rowIds.insert(f.ID, row);
        if (f.ParentFilterID >= 0 && parentRow < 0)
            pendingParents.append({row, f.ParentFilterID});
    }
    // Children saved before their parent get the parent's row id now.
    for (const auto& [row, parentId] : pendingParents)
        Database::Exec(
            QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                .arg(Database::QuoteIdentifier(save.SchemaName()),
                     Database::QuoteIdentifier(save.Field(save.IndexOfField(FColumns.ParentFilterID)).Name),
                     Database::QuoteIdentifier(QStringLiteral("id"))),
            {rowIds.value(parentId), row}, QStringLiteral("save filters of %1").arg(FSchemaName));
    transaction.Commit();
}

TQVFilterList TQVSchemaFilterSave::LoadFilters(TQVFilterList* addTo) const {
    RequireConfigured();
    TQVRecordSet rows(FSaveSchema);
    rows.SetOptions(rsoReadOnly);
    rows.Filters() = SetFilters();
    rows.Open();
    TQVFilterList loaded;
    for (rows.First(); !rows.Eof(); rows.Next()) {
        TQVFilter f;
        f.ID = rows.RecordID();
        f.FieldName = rows.FieldValue(FColumns.FieldName).toString();
        f.FilterType = FilterTypeFromCode(int(IntOr(rows.FieldValue(FColumns.FilterType), 0)));
        f.Link = FilterLinkFromCode(int(IntOr(rows.FieldValue(FColumns.FilterLink), 0)));
        f.AsLookup = IntOr(rows.FieldValue(FColumns.AsLookup), 0) != 0;
        f.ValueType = FilterValueTypeFromCode(int(IntOr(rows.FieldValue(FColumns.ValueType), 0)));
        f.Value = rows.FieldValue(FColumns.Value);
        f.Parenthesis = ParenthesisFromCode(int(IntOr(rows.FieldValue(FColumns.Parenthesis), 0)));
        f.SubSelSchema = rows.FieldValue(FColumns.SubSelSchema).toString();
        const qint64 parent = IntOr(rows.FieldValue(FColumns.ParentFilterID), -1);
        f.ParentFilterID = parent < 0 ? -1 : parent;
        loaded.Add(f);
    }
    if (addTo)
        addTo->AddGroup(loaded);
    return loaded;
}

} // namespace hostapi
