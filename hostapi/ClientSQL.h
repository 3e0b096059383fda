#pragma once

#include "HostApiExport.h"
#include "QVFilter.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace hostapi {

// Kind of statement a TClientSQL runs.
enum TClientSQLKind : int { ckInsert = 0, ckUpdate = 1, ckDelete = 2 };

// A statement of one kind (insert, update or delete; switchable) on one named schema, with declared
// fields and named filters. Field values are kept between executions until changed.
//
// - Insert writes every declared field that has a value or a declared default and answers the new id.
// - Update writes the same fields to the rows that the active filters select.
// - Delete removes the rows that the active filters select, through the delete notification.
// An update or delete with no active filter is refused: it never runs unfiltered. Schema, field and
// filter names are checked against the field schema before anything runs. Runs on the calling
// thread's connection.
class HOSTAPI_EXPORT TClientSQL {
public:
    explicit TClientSQL(const QString& schemaName = {}, TClientSQLKind kind = ckInsert);

    QString SchemaName() const { return FSchemaName; }
    void SetSchemaName(const QString& schemaName) { FSchemaName = schemaName; }
    TClientSQLKind Kind() const { return FKind; }
    void SetKind(TClientSQLKind kind) { FKind = kind; }

    // Declares a field; defaultValue (when not null) is written while the field has no value.
    void AddField(const QString& fieldName, const QVariant& defaultValue = {});
    QStringList FieldNames() const;
    // Values by declared field name (case-insensitive); an undeclared name raises.
    void SetFieldValue(const QString& fieldName, const QVariant& value);
    QVariant FieldValue(const QString& fieldName) const;
    // Forgets every value set (defaults stay).
    void ClearFieldValues();

    TQVFilterList& Filters() { return FFilters; }
    const TQVFilterList& Filters() const { return FFilters; }

    // Runs the statement. Insert: the new id. Update: the rows changed. Delete: the rows deleted of
    // this schema (dependents not counted); withDependents False raises the delete notification
    // without dependents.
    qint64 Execute(bool withDependents = true);

private:
    struct TField {
        QString Name;
        QVariant Default;
        QVariant Value;
        bool HasValue = false;
    };

    TField& RequireField(const QString& fieldName);
    const TField& RequireField(const QString& fieldName) const;
    // Checked column names and typed values of the fields to write.
    void CollectValues(QStringList& columns, QVariantList& values) const;
    TSqlWhere RequireFilter(const QString& action) const;

    QString FSchemaName;
    TClientSQLKind FKind;
    QList<TField> FFields;
    TQVFilterList FFilters;
};

} // namespace hostapi
