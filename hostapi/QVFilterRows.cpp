#include "QVFilterRows.h"

#include "DBFieldSchema.h"
#include "QVException.h"

#include <QHash>

#include <algorithm>

namespace hostapi {

namespace {

const QString IdField = QStringLiteral("id");

} // namespace

TQVFilterRows::TQVFilterRows() : FLang(QStringLiteral("frmDBListViewSearch")) {}

void TQVFilterRows::SetSchemaName(const QString& ASchemaName) {
    QList<QPair<QString, QString>> fields;
    if (!ASchemaName.isEmpty()) {
        const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(ASchemaName);
        for (int i = 0; i < schema.FieldCount(); ++i) {
            const TDBFieldDef field = schema.Field(i);
            if (field.PrimaryKey || field.Name == IdField)
                continue;
            fields.append({field.Name, field.Caption.isEmpty() ? field.Name : field.Caption});
        }
    }
    FSchemaName = ASchemaName.toLower();
    FFields = fields;
    FRows.clear();
    FChanged = false;
}

bool TQVFilterRows::FieldKnown(const QString& AFieldName) const {
    if (FSchemaName.isEmpty() || AFieldName.isEmpty())
        return false;
    try {
        TDBFieldSchema::Instance().ResolveField(FSchemaName, AFieldName);
        return true;
    } catch (const EQVDatabaseException&) {
        return false; // the answer: the schema has no such field
    }
}

QString TQVFilterRows::FieldCaption(const QString& AFieldName) const {
    for (const auto& [name, caption] : FFields)
        if (name.compare(AFieldName, Qt::CaseInsensitive) == 0)
            return caption;
    if (!FieldKnown(AFieldName))
        return FLang.Text(QStringLiteral("IDS_UnknownFieldMark")).arg(AFieldName);
    const TResolvedField field = TDBFieldSchema::Instance().ResolveField(FSchemaName, AFieldName);
    const TDBFieldDef* def =
        TDBFieldSchema::Instance().RequireSchema(field.Schema).Definition().FieldByName(field.Field);
    return def && !def->Caption.isEmpty() ? def->Caption : AFieldName;
}

QString TQVFilterRows::FilterTypeCaption(TQVFilterType AType) const {
    return FLang.Text(QStringLiteral("IDS_FT%1").arg(int(AType)));
}

QString TQVFilterRows::LinkCaption(TQVFilterLink ALink) const {
    return FLang.Text(ALink == flOr ? QStringLiteral("IDS_LinkOr") : QStringLiteral("IDS_LinkAnd"));
}

QString TQVFilterRows::SchemaText() const {
    const IDBFieldSchemaItem* schema = TDBFieldSchema::Instance().SchemaByName(FSchemaName);
    return schema && !schema->Caption().isEmpty() ? schema->Caption() : FSchemaName;
}

void TQVFilterRows::RequireRow(int ARow) const {
    if (ARow < 0 || ARow >= FRows.size())
        throw EQVException(
            QStringLiteral("Filter row %1 out of range (%2 rows)").arg(ARow).arg(FRows.size()));
}

void TQVFilterRows::RequireCondition(int ARow) const {
    RequireRow(ARow);
    if (FRows[ARow].Filter.IsParenthesis())
        throw EQVException(QStringLiteral("Filter row %1 is a parenthesis, not a condition").arg(ARow));
}

const TQVFilter& TQVFilterRows::Row(int ARow) const {
    RequireRow(ARow);
    return FRows[ARow].Filter;
}

bool TQVFilterRows::LinkUsed(int ARow) const {
    RequireRow(ARow);
    if (FRows[ARow].Filter.IsParenthesis())
        return false;
    return ARow > 0 && FRows[ARow - 1].Filter.Parenthesis != fpOpen;
}

void TQVFilterRows::Load(const TQVFilterList& AFilters) {
    QList<TRow> rows;
    QHash<qint64, int> owner; // filter id -> row that holds it
    QList<TQVFilter> children;
    for (const TQVFilter& f : AFilters.Items()) {
        if (f.ParentFilterID >= 0) {
            children.append(f);
            continue;
        }
        if (f.ID >= 0)
            owner.insert(f.ID, rows.size());
        rows.append({f, {}});
    }
    // A child may name a parent that is itself a child: attach it once its parent has an owner.
    while (!children.isEmpty()) {
        QList<TQVFilter> waiting;
        for (const TQVFilter& child : children) {
            const auto it = owner.constFind(child.ParentFilterID);
            if (it == owner.constEnd()) {
                waiting.append(child);
                continue;
            }
            rows[*it].Children.append(child);
            if (child.ID >= 0)
                owner.insert(child.ID, *it);
        }
        if (waiting.size() == children.size())
            throw EQVException(
                QStringLiteral("The filter of %1 on %2 belongs to filter %3, which is not in the set")
                    .arg(waiting.first().FieldName, FSchemaName,
                         QString::number(waiting.first().ParentFilterID)));
        children = waiting;
    }
    FRows = rows;
    FChanged = false;
}

int TQVFilterRows::AddCondition(const QString& AFieldName, TQVFilterType AType, const QVariant& AValue,
                                TQVFilterLink ALink) {
    if (!FieldKnown(AFieldName))
        throw EQVUserMessageException(FLang.Text(QStringLiteral("IDS_UnknownField"))
                                          .arg(AFieldName, SchemaText(), QString::number(FRows.size() + 1)));
    TQVFilter f;
    f.FieldName = AFieldName;
    f.FilterType = AType;
    f.Link = ALink;
    f.Value = AValue;
    FRows.append({f, {}});
    FChanged = true;
    return FRows.size() - 1;
}

void TQVFilterRows::AddParentheses(int AFirst, int ALast) {
    RequireRow(AFirst);
    RequireRow(ALast);
    if (ALast < AFirst)
        std::swap(AFirst, ALast);
    int depth = 0;
    for (int r = AFirst; r <= ALast && depth >= 0; ++r)
        depth += FRows[r].Filter.Parenthesis == fpOpen ? 1 : FRows[r].Filter.Parenthesis == fpClose ? -1 : 0;
    if (depth != 0)
        throw EQVUserMessageException(
            FLang.Text(QStringLiteral("IDS_RangeNotBalanced")).arg(AFirst + 1).arg(ALast + 1));
    TQVFilter open;
    open.Parenthesis = fpOpen;
    TQVFilter close;
    close.Parenthesis = fpClose;
    FRows.insert(ALast + 1, {close, {}});
    FRows.insert(AFirst, {open, {}});
    FChanged = true;
}

int TQVFilterRows::PartnerOf(int ARow) const {
    const TQVParenthesis own = FRows[ARow].Filter.Parenthesis;
    const int step = own == fpOpen ? 1 : -1;
    int depth = 0;
    for (int r = ARow; r >= 0 && r < FRows.size(); r += step) {
        const TQVParenthesis p = FRows[r].Filter.Parenthesis;
        depth += p == own ? 1 : p == fpNone ? 0 : -1;
        if (depth == 0)
            return r;
    }
    return -1; // unbalanced: the parenthesis goes alone
}

void TQVFilterRows::RemoveRows(const QList<int>& ARows) {
    QList<int> rows;
    for (int row : ARows) {
        RequireRow(row);
        rows.append(row);
        if (FRows[row].Filter.IsParenthesis()) {
            const int partner = PartnerOf(row);
            if (partner >= 0)
                rows.append(partner);
        }
    }
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        FRows.removeAt(*it);
    FChanged = true;
}

void TQVFilterRows::Change(int ARow, const TQVFilter& AFilter) {
    if (FRows[ARow].Filter == AFilter)
        return;
    FRows[ARow].Filter = AFilter;
    FChanged = true;
}

void TQVFilterRows::SetFieldName(int ARow, const QString& AFieldName) {
    RequireCondition(ARow);
    if (!FieldKnown(AFieldName))
        throw EQVUserMessageException(FLang.Text(QStringLiteral("IDS_UnknownField"))
                                          .arg(AFieldName, SchemaText(), QString::number(ARow + 1)));
    TQVFilter f = FRows[ARow].Filter;
    if (f.FieldName.compare(AFieldName, Qt::CaseInsensitive) == 0)
        return;
    f.FieldName = AFieldName;
    // A pick-list comparison and a sub-select belong to the field they were made for.
    f.AsLookup = false;
    f.SubSelSchema.clear();
    f.ValueType = fvtAuto;
    FRows[ARow].Children.clear();
    FRows[ARow].Filter = f;
    FChanged = true;
}

void TQVFilterRows::SetFilterType(int ARow, TQVFilterType AType) {
    RequireCondition(ARow);
    TQVFilter f = FRows[ARow].Filter;
    f.FilterType = FilterTypeFromCode(int(AType));
    Change(ARow, f);
}

void TQVFilterRows::SetLink(int ARow, TQVFilterLink ALink) {
    RequireCondition(ARow);
    TQVFilter f = FRows[ARow].Filter;
    f.Link = FilterLinkFromCode(int(ALink));
    Change(ARow, f);
}

void TQVFilterRows::SetValue(int ARow, const QVariant& AValue) {
    RequireCondition(ARow);
    TQVFilter f = FRows[ARow].Filter;
    f.Value = AValue;
    Change(ARow, f);
}

TQVFilterList TQVFilterRows::ToFilterList() const {
    if (FSchemaName.isEmpty())
        throw EQVException(QStringLiteral("The filter rows belong to no schema"));
    QList<int> open; // rows of the parentheses not yet closed
    TQVFilterList result;
    for (int r = 0; r < FRows.size(); ++r) {
        const TQVFilter& f = FRows[r].Filter;
        if (f.Parenthesis == fpOpen) {
            open.append(r);
        } else if (f.Parenthesis == fpClose) {
            if (open.isEmpty())
                throw EQVUserMessageException(FLang.Text(QStringLiteral("IDS_CloseNotOpened")).arg(r + 1));
            open.removeLast();
        } else if (!FieldKnown(f.FieldName)) {
            throw EQVUserMessageException(FLang.Text(QStringLiteral("IDS_UnknownField"))
                                              .arg(f.FieldName, SchemaText(), QString::number(r + 1)));
        }
        result.Add(f);
        for (const TQVFilter& child : FRows[r].Children)
            result.Add(child);
    }
    if (!open.isEmpty())
        throw EQVUserMessageException(FLang.Text(QStringLiteral("IDS_OpenNotClosed")).arg(open.first() + 1));
    try {
        BuildWhere(FSchemaName, result);
    } catch (const EQVException& e) {
        throw EQVUserMessageException(FLang.Text(QStringLiteral("IDS_FilterInvalid")).arg(e.Message()));
    }
    return result;
}

} // namespace hostapi
