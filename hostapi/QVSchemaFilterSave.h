#pragma once

#include "HostApiExport.h"
#include "QVFilter.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

namespace hostapi {

// Column names of a saved filter row in the save schema.
struct HOSTAPI_EXPORT TQVFilterSaveColumns {
    QString SchemaName = QStringLiteral("schemaname");
    QString FieldName = QStringLiteral("fieldname");
    QString FilterType = QStringLiteral("filtertype");
    QString FilterLink = QStringLiteral("filterlink");
    QString AsLookup = QStringLiteral("aslookup");
    QString ValueType = QStringLiteral("valuetype");
    QString Value = QStringLiteral("value");
    QString Parenthesis = QStringLiteral("parenthesis");
    QString SubSelSchema = QStringLiteral("subselschema");
    QString ParentFilterID = QStringLiteral("parentfilterid");
};

// Saves and loads the filter set of one data schema (the save name) in a save schema such as
// "emllists_filters", one row per filter. The rows of a set are those whose schema-name column holds
// the save name and that match the filters of the save (e.g. "emllists_id" = list id); every row
// written also gets the additional fields (e.g. "emllists_id" = list id). Every row of a set, sub-select
// children included, carries the save name; a child's field belongs to its parent's sub-select
// schema, and its parent-filter column holds the parent row's id (top-level rows: -1).
// Rows are read in id order, which is the order in which the set was saved.
class HOSTAPI_EXPORT TQVSchemaFilterSave {
public:
    explicit TQVSchemaFilterSave(const QString& saveSchema = QStringLiteral("emllists_filters"));

    QString SaveSchema() const { return FSaveSchema; }
    void SetSaveSchema(const QString& saveSchema) { FSaveSchema = saveSchema; }
    const TQVFilterSaveColumns& Columns() const { return FColumns; }
    void SetColumns(const TQVFilterSaveColumns& columns) { FColumns = columns; }
    // The data schema whose filters are saved (the save name).
    QString SchemaName() const { return FSchemaName; }
    void SetSchemaName(const QString& schemaName) { FSchemaName = schemaName; }

    // Filters on the save schema that select the rows of this set.
    TQVFilterList& Filters() { return FFilters; }
    const TQVFilterList& Filters() const { return FFilters; }
    // Columns of the save schema written with every row.
    void SetAdditionalField(const QString& fieldName, const QVariant& value);
    const QList<QPair<QString, QVariant>>& AdditionalFields() const { return FAdditionalFields; }

    // Replaces the stored rows of the set by filters, in one transaction. The filters are checked
    // against the data schema first (names, values, parentheses, sub-selects); nothing is written
    // when they do not hold. Refused (EQVDatabaseException, nothing written) while none of Filters()
    // is active, for the rows to replace would then be those of every set of the schema.
    void SaveFilters(const TQVFilterList& filters) const;
    // The stored filters of the set, each with its row id as ID. When addTo is given, they are also
    // appended to it as one group (TQVFilterList::AddGroup).
    TQVFilterList LoadFilters(TQVFilterList* addTo = nullptr) const;

private:
    void RequireConfigured() const;
    TQVFilterList SetFilters() const;

    QString FSaveSchema;
    TQVFilterSaveColumns FColumns;
    QString FSchemaName;
    TQVFilterList FFilters;
    QList<QPair<QString, QVariant>> FAdditionalFields;
};

} // namespace hostapi
