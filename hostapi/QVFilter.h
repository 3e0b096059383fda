#pragma once

#include "DBFieldSchema.h"
#include "HostApiExport.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace hostapi {

// The one filter model of the host, shared by record sets, statements and saved filters.
// Its codes are stored in "emllists_filters" and must never change.
//
// Filter types (column "filtertype"). "Empty" means NULL, and for text fields also "":
//   code  name            condition
//    0    ftEqual         field = value; with "" or a null value: field is empty
//    1    ftLike          field contains value, case-insensitive; "*" and "?" are wildcards
//    2    ftGreater       field >  value
//    3    ftLess          field <  value
//    4    ftGreaterEqual  field >= value
//    5    ftLessEqual     field <= value
//    6    ftNotEqual      field <> value; with "" or a null value: field is not empty ("not empty"),
//                         so NULL is excluded too
//    7    ftBeginsWith    field starts with value, case-insensitive
//    8    ftEndsWith      field ends with value, case-insensitive
//    9    ftIsNull        field is empty; value ignored
//   10    ftIsNotNull     field is not empty; value ignored
//   11    ftIn            field equals one of the values (comma-separated text or a list)
//   12    ftNotLike       field does not contain value; a NULL field counts as not containing it
// Every other comparison with a non-empty value is false for a NULL field (ftNotEqual included).
// ftGreater to ftLessEqual and ftIn need a value; ftIn compares its values as they stand (no
// trimming). The text comparisons (1, 7, 8, 12) read the field as text and fold case by Unicode
// rules, the same on SQLite and PostgreSQL ("Ö" matches "ö").
//
// Links (column "filterlink"): 0 flNone, 1 flAnd, 2 flOr. A filter's link joins it to the condition
// before it; the first condition of the whole list or of a group has no predecessor and its link is
// ignored; flNone elsewhere counts as flAnd. The SQL precedence applies: AND binds before OR, so
// "a OR b AND c" is "a OR (b AND c)"; use parentheses to group.
// Parentheses (column "parenthesis"): 0 fpNone, 1 fpOpen, 2 fpClose. A parenthesis filter is a marker
// without a field; an opening parenthesis joins its group to the condition before it with AND
// (whatever its link). A group whose filters are all inactive takes no part.
//
// Value types (column "valuetype"): 0 fvtAuto (read by the field's declared type), 1 fvtText,
// 2 fvtInteger, 3 fvtFloat, 4 fvtDateTime (ISO 8601). The value is read as its value type and then
// converted to the field's declared type; a value that does not convert raises.
//
// As-lookup (column "aslookup"): the value is compared with the texts of the field's pick list
// ("n=text" lines, compared without regard to case) and the filter matches the rows whose stored
// value is the key of a matching text; a stored value without a pick-list entry never matches.
//
// Sub-select (column "subselschema"): the field must hold the id of a row of that schema which
// matches the filters whose ParentFilterID is this filter's ID (fields of those filters belong to
// the sub-select schema). ftEqual and ftIn select "in", ftNotEqual "not in"; other types raise.
//
// Qualified field names ("pelm_addresses_det.isactive") reach a related schema through the relation
// that the field schema declares; the related row is joined by key.
enum TQVFilterType : int {
    ftEqual = 0,
    ftLike = 1,
    ftGreater = 2,
    ftLess = 3,
    ftGreaterEqual = 4,
    ftLessEqual = 5,
    ftNotEqual = 6,
    ftBeginsWith = 7,
    ftEndsWith = 8,
    ftIsNull = 9,
    ftIsNotNull = 10,
    ftIn = 11,
    ftNotLike = 12
};

enum TQVFilterLink : int { flNone = 0, flAnd = 1, flOr = 2 };
enum TQVParenthesis : int { fpNone = 0, fpOpen = 1, fpClose = 2 };
enum TQVFilterValueType : int { fvtAuto = 0, fvtText = 1, fvtInteger = 2, fvtFloat = 3, fvtDateTime = 4 };

// Stored codes read back into the enumerations; an unknown code raises EQVDatabaseException.
HOSTAPI_EXPORT TQVFilterType FilterTypeFromCode(int code);
HOSTAPI_EXPORT TQVFilterLink FilterLinkFromCode(int code);
HOSTAPI_EXPORT TQVParenthesis ParenthesisFromCode(int code);
HOSTAPI_EXPORT TQVFilterValueType FilterValueTypeFromCode(int code);

struct HOSTAPI_EXPORT TQVFilter {
    qint64 ID = -1;    // row id when loaded from a saved filter set
    QString FieldName; // "field" or "schema.field"; empty for a parenthesis marker
    TQVFilterType FilterType = ftEqual;
    TQVFilterLink Link = flAnd;
    TQVParenthesis Parenthesis = fpNone;
    TQVFilterValueType ValueType = fvtAuto;
    QVariant Value;
    bool AsLookup = false;
    QString SubSelSchema;
    qint64 ParentFilterID = -1; // >= 0: belongs to the sub-select of the filter with that ID
    // Auto-active: the filter takes no part while its value equals InactiveValue (compared as
    // numbers when both are numbers, else as text).
    bool AutoActive = false;
    QVariant InactiveValue;

    bool IsParenthesis() const { return Parenthesis != fpNone; }
    bool IsActive() const;

    // Same condition: every member but ID and ParentFilterID; field names without regard to case;
    // values compared as text, null equal to "".
    bool operator==(const TQVFilter& other) const;
};

// An ordered filter list; access by name finds the first filter of that field (case-insensitive).
class HOSTAPI_EXPORT TQVFilterList {
public:
    TQVFilter& Add(const TQVFilter& filter);
    TQVFilter& Add(const QString& fieldName, const QVariant& value, TQVFilterType type = ftEqual,
                   TQVFilterLink link = flAnd);
    TQVFilter& AddParenthesis(TQVParenthesis parenthesis, TQVFilterLink link = flAnd);
    // Appends every filter of other so that the result selects (this list) AND (other): when both
    // hold filters, the top-level filters of each side are enclosed in parentheses of their own, so
    // that an OR on either side stays inside it.
    void AddGroup(const TQVFilterList& other);
    void Clear();
    int Count() const { return FItems.size(); }
    TQVFilter& operator[](int index) { return FItems[index]; }
    const TQVFilter& operator[](int index) const { return FItems[index]; }
    TQVFilter* ByName(const QString& fieldName);
    const TQVFilter* ByName(const QString& fieldName) const;
    // Sets the value of the first filter of that field; throws when there is none.
    void SetValue(const QString& fieldName, const QVariant& value);
    const QList<TQVFilter>& Items() const { return FItems; }
    // True when BuildWhere would produce a condition: some non-parenthesis filter is active.
    bool HasActiveFilter() const;

    // Equal filter sets: equal filters in the same order, and every sub-select child belongs to the
    // filter at the same position.
    bool operator==(const TQVFilterList& other) const;

private:
    QList<TQVFilter> FItems;
};

// A WHERE clause built from a filter list: SQL text with positional placeholders, their values in
// order, and the joins that qualified field names need.
struct HOSTAPI_EXPORT TSqlWhere {
    QString Where; // without the keyword; empty when no filter is active
    QVariantList Binds;
    QStringList Joins; // complete "LEFT JOIN ..." clauses, each once

    // " LEFT JOIN ..." clauses joined by blanks, with a leading blank; empty without joins.
    QString JoinText() const;
    // " WHERE ..." with a leading blank; empty without a condition.
    QString WhereText() const;
};

// Builds the WHERE clause of the active filters for baseSchema. Every field name is checked
// against the field schema (unknown names raise EQVDatabaseException); values are always bound;
// unbalanced parentheses raise. The base schema is referenced under the alias "t".
HOSTAPI_EXPORT TSqlWhere BuildWhere(const QString& baseSchema, const TQVFilterList& filters);

// The SQL column of a resolved field for a base schema under alias; a related field adds its join
// ("LEFT JOIN <schema> <alias>_<relation> ON ...") to joins once.
HOSTAPI_EXPORT QString FieldColumnSql(const TResolvedField& field, const QString& alias, QStringList& joins);

// Converts value to the declared type: null, qint64, double, QString, QDateTime or QByteArray.
// "" and an invalid QDateTime are null for every type but text. Raises EQVDatabaseException naming
// fieldName when the value does not convert.
HOSTAPI_EXPORT QVariant ConvertFieldValue(const QVariant& value, TFieldDataType type,
                                          const QString& fieldName);

// A converted value as it is bound to a statement: a null of the field's type, or a date-time as
// local ISO text ("yyyy-MM-ddTHH:mm:ss.zzz"), which both backends store unchanged.
HOSTAPI_EXPORT QVariant ToBindValue(const QVariant& typedValue, TFieldDataType type);

// A value read from the database as its declared type; empty text and empty bytes read as null.
HOSTAPI_EXPORT QVariant FromDatabaseValue(const QVariant& raw, TFieldDataType type, const QString& fieldName);

} // namespace hostapi
