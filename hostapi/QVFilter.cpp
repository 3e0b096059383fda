#include "QVFilter.h"

#include "QVException.h"
#include "Database.h"
#include "SchemaDefinitions.h"
#include "SqlUnicode.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace hostapi {

namespace {

const QString kDateTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

[[noreturn]] void Fail(const QString& message) {
    throw EQVDatabaseException(message);
}

QString Quote(const QString& name) {
    return db::QuoteIdent(name);
}

QString TypeName(TFieldDataType type) {
    switch (type) {
    case TFieldDataType::fdtInteger:
        return QStringLiteral("an integer");
    case TFieldDataType::fdtFloat:
        return QStringLiteral("a number");
    case TFieldDataType::fdtText:
        return QStringLiteral("a text");
    case TFieldDataType::fdtDateTime:
        return QStringLiteral("a date-time");
    case TFieldDataType::fdtBytes:
        return QStringLiteral("bytes");
    }
    return QString();
}

[[noreturn]] void FailConvert(const QVariant& value, TFieldDataType type, const QString& fieldName) {
    Fail(QStringLiteral("The value \"%1\" of field %2 is not %3")
             .arg(value.toString(), fieldName, TypeName(type)));
}

bool IsTextLike(const QVariant& v) {
    const int id = v.metaType().id();
    return id == QMetaType::QString || id == QMetaType::QByteArray || id == QMetaType::QChar;
}

// Null, "" and an invalid date-time: the "empty" value of the filter model.
bool IsEmptyValue(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return true;
    if (IsTextLike(v))
        return v.toString().isEmpty();
    if (v.metaType().id() == QMetaType::QDateTime)
        return !v.toDateTime().isValid();
    return false;
}

QDateTime ParseDateTime(const QString& text) {
    const QString t = text.trimmed();
    QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!dt.isValid()) {
        QString alt = t;
        if (alt.size() > 10 && alt.at(10) == QLatin1Char(' '))
            alt[10] = QLatin1Char('T');
        dt = QDateTime::fromString(alt, Qt::ISODateWithMs);
    }
    if (!dt.isValid())
        return {};
    return dt.timeSpec() == Qt::LocalTime ? dt : dt.toLocalTime();
}

bool IsNumberType(const QVariant& v) {
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

bool SameValueText(const QVariant& a, const QVariant& b) {
    auto text = [](const QVariant& v) {
        if (IsEmptyValue(v))
            return QString();
        if (v.metaType().id() == QMetaType::QDateTime)
            return v.toDateTime().toString(kDateTimeFormat);
        return v.toString();
    };
    return text(a) == text(b);
}

// ---- pick lists for as-lookup filters ----------------------------------------------------------

struct PickEntry {
    QString Key;
    QString Text;
};

QList<PickEntry> ParsePickList(const QString& listData) {
    QList<PickEntry> out;
    const QStringList lines =
        listData.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            out.append({line, line});
        else
            out.append({line.left(eq), line.mid(eq + 1)});
    }
    return out;
}

QRegularExpression WildcardPattern(const QString& value, TQVFilterType type) {
    QString re;
    for (const QChar c : value) {
        if (type == ftLike && c == QLatin1Char('*'))
            re += QStringLiteral(".*");
        else if (type == ftLike && c == QLatin1Char('?'))
            re += QLatin1Char('.');
        else
            re += QRegularExpression::escape(QString(c));
    }
    switch (type) {
    case ftBeginsWith:
        re = QLatin1Char('^') + re;
        break;
    case ftEndsWith:
        re += QLatin1Char('$');
        break;
    default:
        break;
    }
    return QRegularExpression(re, QRegularExpression::CaseInsensitiveOption |
                                      QRegularExpression::DotMatchesEverythingOption);
}

QStringList SplitInValues(const QVariant& value, const QString& fieldName) {
    QStringList items;
    if (value.metaType().id() == QMetaType::QVariantList) {
        for (const QVariant& v : value.toList())
            items << v.toString();
    } else if (value.metaType().id() == QMetaType::QStringList) {
        items = value.toStringList();
    } else {
        items = value.toString().split(QLatin1Char(','));
    }
    for (const QString& s : std::as_const(items)) {
        if (s.isEmpty())
            Fail(QStringLiteral("The filter on field %1 lists an empty value").arg(fieldName));
    }
    if (items.isEmpty())
        Fail(QStringLiteral("The filter on field %1 lists no value").arg(fieldName));
    return items;
}

bool PickTextMatches(const QString& text, const TQVFilter& f, const QString& fieldName) {
    const QString value = f.Value.toString();
    switch (f.FilterType) {
    case ftEqual:
        return text.compare(value, Qt::CaseInsensitive) == 0;
    case ftNotEqual:
        return text.compare(value, Qt::CaseInsensitive) != 0;
    case ftLike:
    case ftBeginsWith:
    case ftEndsWith:
        return WildcardPattern(value, f.FilterType).match(text).hasMatch();
    case ftNotLike:
        return !WildcardPattern(value, ftLike).match(text).hasMatch();
    case ftGreater:
        return text.compare(value, Qt::CaseInsensitive) > 0;
    case ftLess:
        return text.compare(value, Qt::CaseInsensitive) < 0;
    case ftGreaterEqual:
        return text.compare(value, Qt::CaseInsensitive) >= 0;
    case ftLessEqual:
        return text.compare(value, Qt::CaseInsensitive) <= 0;
    case ftIn: {
        const QStringList items = SplitInValues(f.Value, fieldName);
        return std::any_of(items.begin(), items.end(),
                           [&](const QString& s) { return s.compare(text, Qt::CaseInsensitive) == 0; });
    }
    case ftIsNull:
    case ftIsNotNull:
        break;
    }
    return false;
}

// ---- WHERE builder -----------------------------------------------------------------------------

class WhereBuilder {
public:
    explicit WhereBuilder(const TQVFilterList& filters) : FFilters(filters) { CheckStructure(); }

    // The condition of the filters that belong to parentId (-1: the top level) on schema under alias.
    QString Level(const QString& schema, const QString& alias, qint64 parentId, QStringList& joins,
                  QVariantList& binds) {
        struct Group {
            QString Text;
            QVariantList Binds;
        };
        QList<Group> stack{Group()};
        auto append = [&](const QString& cond, const QVariantList& condBinds, TQVFilterLink link) {
            Group& g = stack.last();
            if (!g.Text.isEmpty())
                g.Text += link == flOr ? QStringLiteral(" OR ") : QStringLiteral(" AND ");
            g.Text += cond;
            g.Binds += condBinds;
        };
        for (const TQVFilter& f : FFilters.Items()) {
            if (!BelongsTo(f, parentId))
                continue;
            if (f.Parenthesis == fpOpen) {
                stack.append(Group());
                continue;
            }
            if (f.Parenthesis == fpClose) {
                if (stack.size() < 2)
                    Fail(QStringLiteral("Unbalanced parentheses in the filters of %1: a closing parenthesis "
                                        "without an opening one")
                             .arg(schema));
                const Group g = stack.takeLast();
                if (!g.Text.isEmpty())
                    append(QLatin1Char('(') + g.Text + QLatin1Char(')'), g.Binds, flAnd);
                continue;
            }
            if (!f.IsActive())
                continue;
            QVariantList condBinds;
            const QString cond = Condition(f, schema, alias, joins, condBinds);
            append(cond, condBinds, f.Link);
        }
        if (stack.size() != 1)
            Fail(QStringLiteral("Unbalanced parentheses in the filters of %1: %2 parenthesis not closed")
                     .arg(schema)
                     .arg(stack.size() - 1));
        binds += stack.first().Binds;
        return stack.first().Text;
    }

private:
    static bool BelongsTo(const TQVFilter& f, qint64 parentId) {
        return parentId < 0 ? f.ParentFilterID < 0 : f.ParentFilterID == parentId;
    }

    // Every sub-select child must lead, through parents with a sub-select schema, to the top level.
    void CheckStructure() {
        QHash<qint64, const TQVFilter*> byId;
        for (const TQVFilter& f : FFilters.Items()) {
            if (f.ID < 0)
                continue;
            if (byId.contains(f.ID))
                Fail(QStringLiteral("Two filters share the id %1").arg(f.ID));
            byId.insert(f.ID, &f);
        }
        for (const TQVFilter& f : FFilters.Items()) {
            const TQVFilter* current = &f;
            int steps = 0;
            while (current->ParentFilterID >= 0) {
                const TQVFilter* parent = byId.value(current->ParentFilterID, nullptr);
                if (!parent || parent->SubSelSchema.isEmpty())
                    Fail(QStringLiteral("The filter on %1 belongs to the filter %2, which is no sub-select")
                             .arg(current->FieldName.isEmpty() ? QStringLiteral("(parenthesis)")
                                                               : current->FieldName)
                             .arg(current->ParentFilterID));
                if (++steps > FFilters.Count())
                    Fail(QStringLiteral("The sub-select filters refer to each other in a cycle"));
                current = parent;
            }
        }
    }

    static QString Column(const TResolvedField& rf, const QString& alias, QStringList& joins) {
        return FieldColumnSql(rf, alias, joins);
    }

    static QString EmptyCondition(const QString& col, TFieldDataType type, bool empty) {
        switch (type) {
        case TFieldDataType::fdtText:
            return empty ? QStringLiteral("(%1 IS NULL OR %1 = '')").arg(col)
                         : QStringLiteral("(%1 IS NOT NULL AND %1 <> '')").arg(col);
        case TFieldDataType::fdtBytes:
            return empty ? QStringLiteral("(%1 IS NULL OR LENGTH(%1) = 0)").arg(col)
                         : QStringLiteral("(%1 IS NOT NULL AND LENGTH(%1) > 0)").arg(col);
        default:
            return empty ? QStringLiteral("%1 IS NULL").arg(col) : QStringLiteral("%1 IS NOT NULL").arg(col);
        }
    }

    // The filter's value read as its value type, then converted to the field's declared type.
    static QVariant TypedValue(const TQVFilter& f, const QVariant& raw, TFieldDataType fieldType,
                               const QString& fieldName) {
        QVariant v = raw;
        switch (f.ValueType) {
        case fvtAuto:
            break;
        case fvtText:
            v = IsEmptyValue(raw) ? QVariant() : QVariant(raw.toString());
            break;
        case fvtInteger:
            v = ConvertFieldValue(raw, TFieldDataType::fdtInteger, fieldName);
            break;
        case fvtFloat:
            v = ConvertFieldValue(raw, TFieldDataType::fdtFloat, fieldName);
            break;
        case fvtDateTime:
            v = ConvertFieldValue(raw, TFieldDataType::fdtDateTime, fieldName);
            break;
        }
        return ToBindValue(ConvertFieldValue(v, fieldType, fieldName), fieldType);
    }

    static QString FilterTypeName(TQVFilterType type) { return QString::number(int(type)); }

    QString Condition(const TQVFilter& f, const QString& schema, const QString& alias, QStringList& joins,
                      QVariantList& binds) {
        if (f.FieldName.isEmpty())
            Fail(QStringLiteral("A filter of %1 names no field").arg(schema));
        const TResolvedField rf = TDBFieldSchema::Instance().ResolveField(schema, f.FieldName);
        const QString col = Column(rf, alias, joins);
        if (!f.SubSelSchema.isEmpty())
            return SubSelect(f, rf, col, binds);
        const bool empty = IsEmptyValue(f.Value);
        if (f.FilterType == ftIsNull || f.FilterType == ftIsNotNull)
            return EmptyCondition(col, rf.Type, f.FilterType == ftIsNull);
        if ((f.FilterType == ftEqual || f.FilterType == ftNotEqual) && empty)
            return EmptyCondition(col, rf.Type, f.FilterType == ftEqual);
        if (f.AsLookup)
            return Lookup(f, rf, col, binds);

        switch (f.FilterType) {
        case ftEqual:
        case ftNotEqual:
        case ftGreater:
        case ftLess:
        case ftGreaterEqual:
        case ftLessEqual: {
            static const char* const ops[] = {"=", nullptr, ">", "<", ">=", "<=", "<>"};
            if (empty)
                Fail(QStringLiteral("The filter on field %1 needs a value").arg(f.FieldName));
            if (rf.Type == TFieldDataType::fdtBytes && f.FilterType != ftEqual && f.FilterType != ftNotEqual)
                Fail(QStringLiteral("Filter type %1 cannot compare the bytes field %2")
                         .arg(FilterTypeName(f.FilterType), f.FieldName));
            binds << TypedValue(f, f.Value, rf.Type, f.FieldName);
            return QStringLiteral("%1 %2 ?").arg(col, QLatin1String(ops[f.FilterType]));
        }
        case ftLike:
        case ftBeginsWith:
        case ftEndsWith:
        case ftNotLike: {
            if (rf.Type == TFieldDataType::fdtBytes)
                Fail(QStringLiteral("Filter type %1 cannot compare the bytes field %2")
                         .arg(FilterTypeName(f.FilterType), f.FieldName));
            QString pattern;
            const QString value = f.Value.metaType().id() == QMetaType::QDateTime
                                      ? f.Value.toDateTime().toString(kDateTimeFormat)
                                      : f.Value.toString();
            for (const QChar c : value) {
                if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
                    pattern += QLatin1Char('\\') + QString(c);
                else if (f.FilterType == ftLike && c == QLatin1Char('*'))
                    pattern += QLatin1Char('%');
                else if (f.FilterType == ftLike && c == QLatin1Char('?'))
                    pattern += QLatin1Char('_');
                else
                    pattern += c;
            }
            if (f.FilterType != ftBeginsWith)
                pattern.prepend(QLatin1Char('%'));
            if (f.FilterType != ftEndsWith)
                pattern.append(QLatin1Char('%'));
            binds << pattern;
            const QString text =
                rf.Type == TFieldDataType::fdtText ? col : QStringLiteral("CAST(%1 AS TEXT)").arg(col);
            const bool postgres = Database::IsPostgres();
            const QString like = QStringLiteral("%1 LIKE %2 ESCAPE '\\'")
                                     .arg(LowerSql(text, postgres), LowerSql(QStringLiteral("?"), postgres));
            if (f.FilterType == ftNotLike)
                return QStringLiteral("(%1 IS NULL OR NOT (%2))").arg(col, like);
            return like;
        }
        case ftIn: {
            QStringList marks;
            for (const QString& item : SplitInValues(f.Value, f.FieldName)) {
                binds << TypedValue(f, item, rf.Type, f.FieldName);
                marks << QStringLiteral("?");
            }
            return QStringLiteral("%1 IN (%2)").arg(col, marks.join(QStringLiteral(", ")));
        }
        case ftIsNull:
        case ftIsNotNull:
            break;
        }
        Fail(QStringLiteral("Unknown filter type %1 on field %2").arg(int(f.FilterType)).arg(f.FieldName));
    }

    QString Lookup(const TQVFilter& f, const TResolvedField& rf, const QString& col, QVariantList& binds) {
        const IDBFieldSchemaItem& item = TDBFieldSchema::Instance().RequireSchema(rf.Schema);
        const QString listData = item.FieldListData(rf.Field);
        if (listData.isEmpty())
            Fail(QStringLiteral("The field %1 has no pick list to look up \"%2\" in")
                     .arg(f.FieldName, f.Value.toString()));
        QStringList marks;
        for (const PickEntry& e : ParsePickList(listData)) {
            if (!PickTextMatches(e.Text, f, f.FieldName))
                continue;
            binds << ToBindValue(ConvertFieldValue(e.Key, rf.Type, f.FieldName), rf.Type);
            marks << QStringLiteral("?");
        }
        if (marks.isEmpty())
            return QStringLiteral("1 = 0");
        return QStringLiteral("%1 IN (%2)").arg(col, marks.join(QStringLiteral(", ")));
    }

    QString SubSelect(const TQVFilter& f, const TResolvedField& rf, const QString& col, QVariantList& binds) {
        if (f.FilterType != ftEqual && f.FilterType != ftIn && f.FilterType != ftNotEqual)
            Fail(QStringLiteral("Filter type %1 cannot be used with the sub-select on field %2")
                     .arg(FilterTypeName(f.FilterType), f.FieldName));
        if (rf.Type != TFieldDataType::fdtInteger)
            Fail(QStringLiteral("The sub-select on field %1 needs an integer field").arg(f.FieldName));
        const TResolvedField subId =
            TDBFieldSchema::Instance().ResolveField(f.SubSelSchema, QStringLiteral("id"));
        const QString subAlias = QStringLiteral("s%1").arg(++FSubSelects);
        QStringList subJoins;
        QString where;
        if (f.ID >= 0)
            where = Level(subId.Schema, subAlias, f.ID, subJoins, binds);
        QString sql =
            QStringLiteral("SELECT %1.%2 FROM %3 %1").arg(subAlias, Quote(subId.Field), Quote(subId.Schema));
        for (const QString& j : subJoins)
            sql += QLatin1Char(' ') + j;
        if (!where.isEmpty())
            sql += QStringLiteral(" WHERE ") + where;
        return QStringLiteral("%1 %2 (%3)")
            .arg(col, f.FilterType == ftNotEqual ? QStringLiteral("NOT IN") : QStringLiteral("IN"), sql);
    }

    const TQVFilterList& FFilters;
    int FSubSelects = 0;
};

template <typename E> E CodeToEnum(int code, int last, const char* what) {
    if (code < 0 || code > last)
        Fail(QStringLiteral("Unknown %1 code %2").arg(QLatin1String(what)).arg(code));
    return E(code);
}

} // namespace

TQVFilterType FilterTypeFromCode(int code) {
    return CodeToEnum<TQVFilterType>(code, ftNotLike, "filter type");
}
TQVFilterLink FilterLinkFromCode(int code) {
    return CodeToEnum<TQVFilterLink>(code, flOr, "filter link");
}
TQVParenthesis ParenthesisFromCode(int code) {
    return CodeToEnum<TQVParenthesis>(code, fpClose, "parenthesis");
}
TQVFilterValueType FilterValueTypeFromCode(int code) {
    return CodeToEnum<TQVFilterValueType>(code, fvtDateTime, "value type");
}

// ---- TQVFilter --------------------------------------------------------------------------------

bool TQVFilter::IsActive() const {
    if (IsParenthesis() || !AutoActive)
        return true;
    if (IsEmptyValue(Value) || IsEmptyValue(InactiveValue))
        return !(IsEmptyValue(Value) && IsEmptyValue(InactiveValue));
    bool okA = false;
    bool okB = false;
    const double a = Value.toString().trimmed().toDouble(&okA);
    const double b = InactiveValue.toString().trimmed().toDouble(&okB);
    if (okA && okB)
        return a != b;
    return !SameValueText(Value, InactiveValue);
}

bool TQVFilter::operator==(const TQVFilter& other) const {
    return FieldName.compare(other.FieldName, Qt::CaseInsensitive) == 0 && FilterType == other.FilterType &&
           Link == other.Link && Parenthesis == other.Parenthesis && ValueType == other.ValueType &&
           SameValueText(Value, other.Value) && AsLookup == other.AsLookup &&
           SubSelSchema.compare(other.SubSelSchema, Qt::CaseInsensitive) == 0 &&
           AutoActive == other.AutoActive && SameValueText(InactiveValue, other.InactiveValue);
}

// ---- TQVFilterList -----------------------------------------------------------------------------

TQVFilter& TQVFilterList::Add(const TQVFilter& filter) {
    FItems.append(filter);
    return FItems.last();
}

TQVFilter& TQVFilterList::Add(const QString& fieldName, const QVariant& value, TQVFilterType type,
                              TQVFilterLink link) {
    TQVFilter f;
    f.FieldName = fieldName;
    f.Value = value;
    f.FilterType = type;
    f.Link = link;
    return Add(f);
}

TQVFilter& TQVFilterList::AddParenthesis(TQVParenthesis parenthesis, TQVFilterLink link) {
    QV_ASSERT(parenthesis != fpNone);
    TQVFilter f;
    f.Parenthesis = parenthesis;
    f.Link = link;
    return Add(f);
}

void TQVFilterList::AddGroup(const TQVFilterList& other) {
    // Both sides are enclosed: "a OR b" plus "c" must mean (a OR b) AND (c), and auto-active filters
    // may turn active after the lists were combined.
    if (FItems.isEmpty() || other.FItems.isEmpty()) {
        FItems += other.FItems;
        return;
    }
    TQVFilter open;
    open.Parenthesis = fpOpen;
    TQVFilter close;
    close.Parenthesis = fpClose;
    FItems.prepend(open);
    FItems.append(close);
    FItems.append(open);
    FItems += other.FItems;
    FItems.append(close);
}

void TQVFilterList::Clear() {
    FItems.clear();
}

TQVFilter* TQVFilterList::ByName(const QString& fieldName) {
    for (TQVFilter& f : FItems)
        if (!f.IsParenthesis() && f.FieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

const TQVFilter* TQVFilterList::ByName(const QString& fieldName) const {
    return const_cast<TQVFilterList*>(this)->ByName(fieldName);
}

void TQVFilterList::SetValue(const QString& fieldName, const QVariant& value) {
    TQVFilter* f = ByName(fieldName);
    if (!f)
        Fail(QStringLiteral("No filter on field %1").arg(fieldName));
    f->Value = value;
}

bool TQVFilterList::HasActiveFilter() const {
    return std::any_of(FItems.begin(), FItems.end(), [](const TQVFilter& f) {
        return !f.IsParenthesis() && f.ParentFilterID < 0 && f.IsActive();
    });
}

bool TQVFilterList::operator==(const TQVFilterList& other) const {
    if (FItems.size() != other.FItems.size())
        return false;
    auto parentIndex = [](const QList<TQVFilter>& items, qint64 parentId) {
        if (parentId < 0)
            return -1;
        for (int i = 0; i < items.size(); ++i)
            if (items[i].ID == parentId)
                return i;
        return -2;
    };
    for (int i = 0; i < FItems.size(); ++i) {
        if (!(FItems[i] == other.FItems[i]))
            return false;
        if (parentIndex(FItems, FItems[i].ParentFilterID) !=
            parentIndex(other.FItems, other.FItems[i].ParentFilterID))
            return false;
    }
    return true;
}

// ---- TSqlWhere / BuildWhere --------------------------------------------------------------------

QString TSqlWhere::JoinText() const {
    QString out;
    for (const QString& j : Joins)
        out += QLatin1Char(' ') + j;
    return out;
}

QString TSqlWhere::WhereText() const {
    return Where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + Where;
}

QString FieldColumnSql(const TResolvedField& field, const QString& alias, QStringList& joins) {
    if (!field.Related)
        return alias + QLatin1Char('.') + Quote(field.Field);
    const QString joinAlias = alias + QLatin1Char('_') + field.Relation.Schema;
    const QString join = QStringLiteral("LEFT JOIN %1 %2 ON %2.%3 = %4.%5")
                             .arg(Quote(field.Schema), joinAlias, Quote(field.Relation.RelatedKey), alias,
                                  Quote(field.Relation.LocalKey));
    if (!joins.contains(join))
        joins << join;
    return joinAlias + QLatin1Char('.') + Quote(field.Field);
}

TSqlWhere BuildWhere(const QString& baseSchema, const TQVFilterList& filters) {
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(baseSchema);
    TSqlWhere out;
    WhereBuilder builder(filters);
    out.Where = builder.Level(schema.SchemaName(), QStringLiteral("t"), -1, out.Joins, out.Binds);
    return out;
}

// ---- values ------------------------------------------------------------------------------------

QVariant ConvertFieldValue(const QVariant& value, TFieldDataType type, const QString& fieldName) {
    if (type == TFieldDataType::fdtText) {
        if (!value.isValid() || value.isNull())
            return QVariant();
        if (value.metaType().id() == QMetaType::QDateTime)
            return value.toDateTime().isValid() ? QVariant(value.toDateTime().toString(kDateTimeFormat))
                                                : QVariant();
        if (value.metaType().id() == QMetaType::QByteArray)
            return QString::fromUtf8(value.toByteArray());
        if (!value.canConvert<QString>())
            FailConvert(value, type, fieldName);
        return value.toString();
    }
    if (IsEmptyValue(value))
        return QVariant();
    const int id = value.metaType().id();
    switch (type) {
    case TFieldDataType::fdtInteger: {
        if (id == QMetaType::Bool)
            return qint64(value.toBool() ? 1 : 0);
        if (id == QMetaType::Double || id == QMetaType::Float) {
            const double d = value.toDouble();
            if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.2e18)
                return qint64(d);
            FailConvert(value, type, fieldName);
        }
        if (IsNumberType(value))
            return value.toLongLong();
        if (IsTextLike(value)) {
            bool ok = false;
            const qint64 n = value.toString().trimmed().toLongLong(&ok);
            if (ok)
                return n;
        }
        FailConvert(value, type, fieldName);
    }
    case TFieldDataType::fdtFloat: {
        if (IsNumberType(value))
            return value.toDouble();
        if (IsTextLike(value)) {
            bool ok = false;
            const double d = value.toString().trimmed().toDouble(&ok);
            if (ok && std::isfinite(d))
                return d;
        }
        FailConvert(value, type, fieldName);
    }
    case TFieldDataType::fdtDateTime: {
        if (id == QMetaType::QDateTime)
            return value.toDateTime().toLocalTime();
        if (id == QMetaType::QDate)
            return value.toDate().startOfDay();
        if (IsTextLike(value)) {
            const QDateTime dt = ParseDateTime(value.toString());
            if (dt.isValid())
                return dt;
        }
        FailConvert(value, type, fieldName);
    }
    case TFieldDataType::fdtBytes:
        if (id == QMetaType::QByteArray)
            return value;
        if (id == QMetaType::QString)
            return value.toString().toUtf8();
        FailConvert(value, type, fieldName);
    case TFieldDataType::fdtText:
        break;
    }
    FailConvert(value, type, fieldName);
}

QVariant ToBindValue(const QVariant& typedValue, TFieldDataType type) {
    if (!typedValue.isValid() || typedValue.isNull()) {
        switch (type) {
        case TFieldDataType::fdtInteger:
            return QVariant(QMetaType::fromType<qint64>());
        case TFieldDataType::fdtFloat:
            return QVariant(QMetaType::fromType<double>());
        case TFieldDataType::fdtBytes:
            return QVariant(QMetaType::fromType<QByteArray>());
        default:
            return QVariant(QMetaType::fromType<QString>());
        }
    }
    // Date-times are local time, bound as ISO text: both backends then store exactly the local
    // time that was written (Qt's PostgreSQL driver would shift a bound QDateTime to UTC).
    if (type == TFieldDataType::fdtDateTime && typedValue.metaType().id() == QMetaType::QDateTime)
        return typedValue.toDateTime().toLocalTime().toString(kDateTimeFormat);
    return typedValue;
}

QVariant FromDatabaseValue(const QVariant& raw, TFieldDataType type, const QString& fieldName) {
    if (!raw.isValid() || raw.isNull())
        return QVariant();
    switch (type) {
    case TFieldDataType::fdtText: {
        const QString s = raw.metaType().id() == QMetaType::QByteArray ? QString::fromUtf8(raw.toByteArray())
                                                                       : raw.toString();
        return s.isEmpty() ? QVariant() : QVariant(s);
    }
    case TFieldDataType::fdtBytes: {
        const QByteArray b = raw.toByteArray();
        return b.isEmpty() ? QVariant() : QVariant(b);
    }
    case TFieldDataType::fdtDateTime:
        if (raw.metaType().id() == QMetaType::QDateTime)
            return raw.toDateTime().isValid() ? QVariant(raw.toDateTime()) : QVariant();
        break;
    default:
        break;
    }
    return ConvertFieldValue(raw, type, fieldName);
}

} // namespace hostapi
