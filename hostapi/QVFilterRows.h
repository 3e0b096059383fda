#pragma once

#include "HostApiExport.h"
#include "QVFilter.h"
#include "VRNLang.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

namespace hostapi {

// The filter rows of one schema as a filter editor edits them: conditions (field, filter type, link,
// value) and parenthesis markers, in order. Fields are offered by their caption. A row keeps every
// other attribute it was loaded with (value type, as-lookup, sub-select with its child filters), so
// a loaded set is written back as it came unless a row was edited.
//
// Changed() is set by every edit that changes a row and cleared by Load and SetChanged(false).
// Texts (captions, messages) come from the table "frmDBListViewSearch".
class HOSTAPI_EXPORT TQVFilterRows {
public:
    TQVFilterRows();
    TQVFilterRows(const TQVFilterRows&) = delete;
    TQVFilterRows& operator=(const TQVFilterRows&) = delete;

    void SetLanguage(const QString& ALangName) { FLang.SetLanguage(ALangName); }
    const TVRNLang& Lang() const { return FLang; }

    // Empties the rows and clears the changed flag. An empty name detaches the rows from any schema.
    // Raises for a schema the field schema does not have.
    void SetSchemaName(const QString& ASchemaName);
    QString SchemaName() const { return FSchemaName; }
    // The fields offered for a condition: every field of the schema but the id, as (name, caption),
    // in schema order; a field without a caption is offered by its name.
    const QList<QPair<QString, QString>>& Fields() const { return FFields; }
    // Whether the schema has the field ("field" or a related "schema.field").
    bool FieldKnown(const QString& AFieldName) const;
    // The caption a row shows: the field's caption, a field the schema does not have marked as such.
    QString FieldCaption(const QString& AFieldName) const;
    // The caption of a filter type in the current language.
    QString FilterTypeCaption(TQVFilterType AType) const;
    QString LinkCaption(TQVFilterLink ALink) const;

    int Count() const { return FRows.size(); }
    const TQVFilter& Row(int ARow) const;
    // Whether the row's link takes part: not for the first condition of the list or of a group, and
    // never for a parenthesis (a group is always joined with AND).
    bool LinkUsed(int ARow) const;
    // Whether the row's filter type needs no value (is empty / is not empty).
    static bool ValueUnused(TQVFilterType AType) { return AType == ftIsNull || AType == ftIsNotNull; }

    // Replaces the rows by a filter list (sub-select children go with their parent); not changed.
    void Load(const TQVFilterList& AFilters);
    // Appends a condition; the field must be one the schema has. Answers its row.
    int AddCondition(const QString& AFieldName, TQVFilterType AType, const QVariant& AValue,
                     TQVFilterLink ALink = flAnd);
    // Encloses the rows AFirst..ALast in parentheses. Refused (EQVUserMessageException) when the rows
    // open a parenthesis they do not close or close one they do not open.
    void AddParentheses(int AFirst, int ALast);
    // Removes rows; a parenthesis takes its partner with it, a condition its sub-select filters.
    void RemoveRows(const QList<int>& ARows);

    void SetFieldName(int ARow, const QString& AFieldName);
    void SetFilterType(int ARow, TQVFilterType AType);
    void SetLink(int ARow, TQVFilterLink ALink);
    void SetValue(int ARow, const QVariant& AValue);

    bool Changed() const { return FChanged; }
    void SetChanged(bool AValue) { FChanged = AValue; }

    // The rows as a filter list, checked first: every field must be one the schema has and every
    // parenthesis must be closed; then the list must build for the schema (values that convert).
    // Raises EQVUserMessageException naming the row.
    TQVFilterList ToFilterList() const;

private:
    struct TRow {
        TQVFilter Filter;
        QList<TQVFilter> Children; // sub-select filters of this row
    };

    QString SchemaText() const;
    void RequireRow(int ARow) const;
    void RequireCondition(int ARow) const;
    int PartnerOf(int ARow) const;
    void Change(int ARow, const TQVFilter& AFilter);

    TVRNLang FLang;
    QString FSchemaName;
    QList<QPair<QString, QString>> FFields;
    QList<TRow> FRows;
    bool FChanged = false;
};

} // namespace hostapi
