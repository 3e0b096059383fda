#include "QVFilterRowModel.h"

#include "ExceptionDisplay.h"

#include <QColor>

namespace hostapi {

QVFilterRowModel::QVFilterRowModel(QObject* AParent) : QAbstractTableModel(AParent) {}

template <class F> void QVFilterRowModel::Reset(F&& AChange) {
    beginResetModel();
    try {
        AChange();
    } catch (...) {
        endResetModel();
        throw;
    }
    endResetModel();
    emit FiltersChanged();
}

void QVFilterRowModel::SetLanguage(const QString& ALangName) {
    FRows.SetLanguage(ALangName);
    if (FRows.Count() > 0)
        emit dataChanged(index(0, 0), index(FRows.Count() - 1, colCount - 1));
    emit headerDataChanged(Qt::Horizontal, 0, colCount - 1);
}

void QVFilterRowModel::SetSchemaName(const QString& ASchemaName) {
    Reset([&] { FRows.SetSchemaName(ASchemaName); });
}

void QVFilterRowModel::Load(const TQVFilterList& AFilters) {
    Reset([&] { FRows.Load(AFilters); });
}

int QVFilterRowModel::AddCondition(const QString& AFieldName, TQVFilterType AType, const QVariant& AValue,
                                   TQVFilterLink ALink) {
    int row = -1;
    Reset([&] { row = FRows.AddCondition(AFieldName, AType, AValue, ALink); });
    return row;
}

void QVFilterRowModel::AddParentheses(int AFirst, int ALast) {
    Reset([&] { FRows.AddParentheses(AFirst, ALast); });
}

void QVFilterRowModel::RemoveRows(const QList<int>& ARows) {
    Reset([&] { FRows.RemoveRows(ARows); });
}

void QVFilterRowModel::SetChanged(bool AValue) {
    FRows.SetChanged(AValue);
}

QList<QPair<QString, QVariant>> QVFilterRowModel::Choices(int AColumn) const {
    QList<QPair<QString, QVariant>> choices;
    switch (AColumn) {
    case colLink:
        for (TQVFilterLink link : {flAnd, flOr})
            choices.append({FRows.LinkCaption(link), int(link)});
        break;
    case colField:
        for (const auto& [name, caption] : FRows.Fields())
            choices.append({caption, name});
        break;
    case colFilterType:
        for (int code = ftEqual; code <= ftNotLike; ++code)
            choices.append({FRows.FilterTypeCaption(TQVFilterType(code)), code});
        break;
    default:
        break;
    }
    return choices;
}

int QVFilterRowModel::rowCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : FRows.Count();
}

int QVFilterRowModel::columnCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : colCount;
}

QVariant QVFilterRowModel::data(const QModelIndex& AIndex, int ARole) const {
    if (!AIndex.isValid() || AIndex.row() >= FRows.Count())
        return {};
    const TQVFilter& f = FRows.Row(AIndex.row());
    const bool condition = !f.IsParenthesis();
    const bool unknown = condition && !FRows.FieldKnown(f.FieldName);
    if (ARole == Qt::EditRole) {
        switch (AIndex.column()) {
        case colLink:
            return int(f.Link);
        case colField:
            return f.FieldName;
        case colFilterType:
            return int(f.FilterType);
        default:
            return f.Value;
        }
    }
    if (ARole == Qt::DisplayRole) {
        switch (AIndex.column()) {
        case colLink:
            return FRows.LinkUsed(AIndex.row()) ? FRows.LinkCaption(f.Link) : QString();
        case colField:
            if (!condition)
                return f.Parenthesis == fpOpen ? QStringLiteral("(") : QStringLiteral(")");
            return FRows.FieldCaption(f.FieldName);
        case colFilterType:
            return condition ? FRows.FilterTypeCaption(f.FilterType) : QString();
        default:
            return condition && !TQVFilterRows::ValueUnused(f.FilterType) ? f.Value.toString() : QString();
        }
    }
    if (ARole == Qt::ForegroundRole && unknown && AIndex.column() == colField)
        return QColor(Qt::red);
    if (ARole == Qt::ToolTipRole && unknown && AIndex.column() == colField)
        return FRows.Lang().Text(QStringLiteral("IDS_UnknownFieldHint"));
    return {};
}

QVariant QVFilterRowModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole || ASection < 0 || ASection >= colCount)
        return QAbstractTableModel::headerData(ASection, AOrientation, ARole);
    static const char* const ids[colCount] = {"IDS_ColLink", "IDS_ColField", "IDS_ColFilterType",
                                              "IDS_ColValue"};
    return FRows.Lang().Text(QString::fromLatin1(ids[ASection]));
}

Qt::ItemFlags QVFilterRowModel::flags(const QModelIndex& AIndex) const {
    if (!AIndex.isValid() || AIndex.row() >= FRows.Count())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const TQVFilter& f = FRows.Row(AIndex.row());
    if (f.IsParenthesis())
        return result;
    const bool editable = AIndex.column() == colLink    ? FRows.LinkUsed(AIndex.row())
                          : AIndex.column() == colValue ? !TQVFilterRows::ValueUnused(f.FilterType)
                                                        : true;
    return editable ? result | Qt::ItemIsEditable : result;
}

bool QVFilterRowModel::setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole) {
    if (ARole != Qt::EditRole || !(flags(AIndex) & Qt::ItemIsEditable))
        return false;
    const int row = AIndex.row();
    const TQVFilter before = FRows.Row(row);
    const bool done = TVRNExceptionUtils::Guarded([&] {
        switch (AIndex.column()) {
        case colLink:
            FRows.SetLink(row, FilterLinkFromCode(AValue.toInt()));
            break;
        case colField:
            FRows.SetFieldName(row, AValue.toString());
            break;
        case colFilterType:
            FRows.SetFilterType(row, FilterTypeFromCode(AValue.toInt()));
            break;
        default:
            FRows.SetValue(row, AValue);
            break;
        }
    });
    if (!done)
        return false;
    // A new filter type may free or use the value; a field or link change may change the captions.
    emit dataChanged(index(row, 0), index(row, colCount - 1));
    if (!(FRows.Row(row) == before))
        emit FiltersChanged();
    return true;
}

} // namespace hostapi
