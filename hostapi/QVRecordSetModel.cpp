#include "QVRecordSetModel.h"

#include "DBFieldSchema.h"
#include "ExceptionDisplay.h"
#include "QVException.h"

#include <QDateTime>
#include <QLocale>

namespace hostapi {

namespace {

const QString kId = QStringLiteral("id");

[[noreturn]] void Fail(const QString& message) {
    throw EQVException(message);
}

QString KeyText(const QVariant& value) {
    if (value.typeId() == QMetaType::Double && value.toDouble() == double(qint64(value.toDouble())))
        return QString::number(qint64(value.toDouble()));
    return value.toString();
}

QString ValueText(const QVariant& value) {
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return QLocale().toString(value.toDateTime(), QLocale::ShortFormat);
    case QMetaType::Double:
        return QLocale().toString(value.toDouble(), 'g', 15);
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

} // namespace

QList<QPair<QString, QString>> PickListItems(const QString& AListData) {
    QList<QPair<QString, QString>> items;
    const QStringList lines = AListData.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            items.append({line.left(eq).trimmed(), line.mid(eq + 1)});
    }
    return items;
}

QString ValueDisplayText(const QVariant& AValue, const QList<QPair<QString, QString>>& APickList) {
    if (!AValue.isNull() && !APickList.isEmpty()) {
        const QString key = KeyText(AValue);
        for (const auto& item : APickList)
            if (item.first == key)
                return item.second;
    }
    return ValueText(AValue);
}

QColor ColorFromTColor(int AColor) {
    if (AColor < 0 || AColor == clNone || (AColor & 0xFF000000))
        return {};
    return QColor(AColor & 0xFF, (AColor >> 8) & 0xFF, (AColor >> 16) & 0xFF);
}

QVRecordSetModel::QVRecordSetModel(TQVRecordSet* ARecordSet, QObject* AParent)
    : QAbstractTableModel(AParent), FRecordSet(ARecordSet) {
    if (!ARecordSet)
        Fail(QStringLiteral("A record-set model needs a record set"));
    FSchemaName = ARecordSet->SchemaName();
    TDBFieldSchema::Instance().RequireSchema(FSchemaName);
}

QVRecordSetModel::QVRecordSetModel(const QString& ASchemaName, QObject* AParent)
    : QAbstractTableModel(AParent), FSchemaName(ASchemaName) {
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(ASchemaName);
    for (int i = 0; i < schema.FieldCount(); ++i)
        FMemoryFields << schema.Field(i).Name;
    DescribeColumns();
}

QVRecordSetModel* QVRecordSetModel::CreateMemory(const QString& ASchemaName, QObject* AParent) {
    return new QVRecordSetModel(ASchemaName, AParent);
}

QStringList QVRecordSetModel::LoadedFields() const {
    if (MemoryMode())
        return FMemoryFields;
    return FRecordSet->Active() ? FRecordSet->FieldNames() : QStringList();
}

QVRecordSetModel::TColumnInfo QVRecordSetModel::DescribeColumn(const TQVGridColumn& AColumn) const {
    const TResolvedField field = TDBFieldSchema::Instance().ResolveField(FSchemaName, AColumn.FieldName);
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(field.Schema);
    const TDBFieldDef def = schema.Field(schema.IndexOfField(field.Field));
    TColumnInfo info;
    info.Caption =
        AColumn.Caption.isEmpty() ? (def.Caption.isEmpty() ? def.Name : def.Caption) : AColumn.Caption;
    info.Editable = !AColumn.ReadOnly && !field.Related && !def.PrimaryKey &&
                    (MemoryMode() || !FRecordSet->Options().testFlag(rsoReadOnly));
    info.PickList = PickListItems(schema.FieldListData(field.Field));
    return info;
}

void QVRecordSetModel::DescribeColumns() {
    if (!FColumnsGiven) {
        FColumns.clear();
        for (const QString& name : LoadedFields())
            if (name.compare(kId, Qt::CaseInsensitive) != 0)
                FColumns.append({name, {}, false});
    }
    QList<TColumnInfo> info;
    for (const TQVGridColumn& column : FColumns)
        info.append(DescribeColumn(column));
    FInfo = info;
}

void QVRecordSetModel::SetColumns(const QList<TQVGridColumn>& AColumns) {
    QList<TColumnInfo> info;
    for (const TQVGridColumn& column : AColumns) {
        info.append(DescribeColumn(column));
        if (MemoryMode() && !FMemoryFields.contains(column.FieldName, Qt::CaseInsensitive))
            Fail(QStringLiteral("Field %1 is not a field of %2").arg(column.FieldName, FSchemaName));
    }
    beginResetModel();
    FColumns = AColumns;
    FInfo = info;
    FColumnsGiven = true;
    endResetModel();
}

int QVRecordSetModel::ColumnOfField(const QString& AFieldName) const {
    for (int i = 0; i < FColumns.size(); ++i)
        if (FColumns[i].FieldName.compare(AFieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString QVRecordSetModel::FieldNameOf(int AColumn) const {
    return AColumn >= 0 && AColumn < FColumns.size() ? FColumns[AColumn].FieldName : QString();
}

QList<QPair<QString, QString>> QVRecordSetModel::PickListOf(int AColumn) const {
    return AColumn >= 0 && AColumn < FInfo.size() ? FInfo[AColumn].PickList
                                                  : QList<QPair<QString, QString>>();
}

void QVRecordSetModel::Refresh() {
    if (FOnBeforeLoad && !MemoryMode())
        FOnBeforeLoad(*FRecordSet);
    beginResetModel();
    try {
        if (!MemoryMode()) {
            if (FRecordSet->Active())
                FRecordSet->Refresh();
            else
                FRecordSet->Open();
        }
        DescribeColumns();
    } catch (...) {
        endResetModel();
        throw;
    }
    FCurrentRow = MemoryMode() ? qMin(FCurrentRow, int(FMemoryRows.size()) - 1)
                               : (FRecordSet->RecordCount() ? FRecordSet->RecNo() : -1);
    endResetModel();
    if (FOnAfterRefresh)
        FOnAfterRefresh();
}

QVariant QVRecordSetModel::Value(int ARow, const QString& AFieldName) const {
    if (!MemoryMode())
        return FRecordSet->FieldValueAt(ARow, AFieldName);
    const int i = FMemoryFields.indexOf(AFieldName.toLower());
    if (i < 0)
        Fail(QStringLiteral("Field %1 is not a field of %2").arg(AFieldName, FSchemaName));
    if (ARow < 0 || ARow >= FMemoryRows.size())
        Fail(QStringLiteral("Row %1 out of range (%2 rows)").arg(ARow).arg(FMemoryRows.size()));
    return FMemoryRows[ARow][i];
}

qint64 QVRecordSetModel::RecordID(int ARow) const {
    if (MemoryMode())
        return -1;
    return FRecordSet->FieldValueAt(ARow, kId).toLongLong();
}

void QVRecordSetModel::PostValue(int ARow, const QString& AFieldName, const QVariant& AValue) {
    if (MemoryMode()) {
        Value(ARow, AFieldName); // checks row and field
        FMemoryRows[ARow][FMemoryFields.indexOf(AFieldName.toLower())] = AValue;
        return;
    }
    FRecordSet->SetRecNo(ARow);
    FRecordSet->Edit();
    try {
        FRecordSet->SetFieldValue(AFieldName, AValue);
        FRecordSet->Post();
    } catch (...) {
        FRecordSet->Cancel();
        throw;
    }
}

void QVRecordSetModel::SetValue(int ARow, const QString& AFieldName, const QVariant& AValue) {
    PostValue(ARow, AFieldName, AValue);
    // The whole row: the database may have changed other fields on post.
    emit dataChanged(index(ARow, 0), index(ARow, qMax(0, columnCount() - 1)));
    if (FOnFieldChanged)
        FOnFieldChanged(ARow, AFieldName, Value(ARow, AFieldName));
}

void QVRecordSetModel::DeleteRows(QList<int> ARows) {
    std::sort(ARows.begin(), ARows.end(), std::greater<int>());
    ARows.erase(std::unique(ARows.begin(), ARows.end()), ARows.end());
    for (int row : ARows)
        if (row < 0 || row >= rowCount())
            Fail(QStringLiteral("Row %1 out of range (%2 rows)").arg(row).arg(rowCount()));
    if (MemoryMode()) {
        for (int row : ARows) {
            beginRemoveRows({}, row, row);
            FMemoryRows.removeAt(row);
            endRemoveRows();
        }
    } else {
        // One reset: a delete that fails midway leaves the rows deleted so far removed, the rest shown.
        beginResetModel();
        try {
            for (int row : ARows) {
                FRecordSet->SetRecNo(row);
                FRecordSet->Delete();
            }
        } catch (...) {
            FCurrentRow = qMin(FCurrentRow, rowCount() - 1);
            endResetModel();
            throw;
        }
        FCurrentRow = qMin(FCurrentRow, rowCount() - 1);
        endResetModel();
        return;
    }
    if (FCurrentRow >= rowCount())
        SetCurrentRow(rowCount() - 1);
}

void QVRecordSetModel::AppendMemoryRow(const QVariantMap& AValues) {
    if (!MemoryMode())
        Fail(QStringLiteral("Rows can be appended only to a memory model"));
    QVariantList row(FMemoryFields.size());
    for (auto it = AValues.cbegin(); it != AValues.cend(); ++it) {
        const int i = FMemoryFields.indexOf(it.key().toLower());
        if (i < 0)
            Fail(QStringLiteral("Field %1 is not a field of %2").arg(it.key(), FSchemaName));
        row[i] = it.value();
    }
    beginInsertRows({}, FMemoryRows.size(), FMemoryRows.size());
    FMemoryRows.append(row);
    endInsertRows();
}

void QVRecordSetModel::ClearMemoryRows() {
    beginResetModel();
    FMemoryRows.clear();
    FCurrentRow = -1;
    endResetModel();
}

void QVRecordSetModel::SetCurrentRow(int ARow) {
    if (ARow < -1 || ARow >= rowCount())
        Fail(QStringLiteral("Row %1 out of range (%2 rows)").arg(ARow).arg(rowCount()));
    if (ARow >= 0 && !MemoryMode())
        FRecordSet->SetRecNo(ARow);
    if (ARow == FCurrentRow)
        return;
    FCurrentRow = ARow;
    if (FOnRecordChanged)
        FOnRecordChanged(ARow);
}

const QVRecordSetModel::TColumnInfo* QVRecordSetModel::InfoOfField(const QString& AFieldName) const {
    const int column = ColumnOfField(AFieldName);
    return column < 0 ? nullptr : &FInfo[column];
}

QString QVRecordSetModel::DisplayText(const QString& AFieldName, const QVariant& AValue) const {
    QList<QPair<QString, QString>> pickList;
    if (const TColumnInfo* info = InfoOfField(AFieldName))
        pickList = info->PickList;
    else {
        const TResolvedField field = TDBFieldSchema::Instance().ResolveField(FSchemaName, AFieldName);
        pickList =
            PickListItems(TDBFieldSchema::Instance().RequireSchema(field.Schema).FieldListData(field.Field));
    }
    return ValueDisplayText(AValue, pickList);
}

void QVRecordSetModel::SetOnGetRowColor(TRowColorEvent AEvent) {
    FOnGetRowColor = std::move(AEvent);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

void QVRecordSetModel::SetOnGetRowIcon(TRowIconEvent AEvent) {
    FOnGetRowIcon = std::move(AEvent);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

int QVRecordSetModel::rowCount(const QModelIndex& AParent) const {
    if (AParent.isValid())
        return 0;
    if (MemoryMode())
        return FMemoryRows.size();
    return FRecordSet->Active() ? FRecordSet->RecordCount() : 0;
}

int QVRecordSetModel::columnCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : FColumns.size();
}

QVariant QVRecordSetModel::data(const QModelIndex& AIndex, int ARole) const {
    if (!checkIndex(AIndex, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = AIndex.row();
    const QString& field = FColumns[AIndex.column()].FieldName;
    try {
        switch (ARole) {
        case Qt::DisplayRole:
            return DisplayText(field, Value(row, field));
        case Qt::EditRole:
        case RawValueRole:
            return Value(row, field);
        case RecordIDRole:
            return RecordID(row);
        case Qt::BackgroundRole:
            if (FOnGetRowColor) {
                const QColor color = ColorFromTColor(FOnGetRowColor(row));
                if (color.isValid())
                    return color;
            }
            return {};
        case Qt::DecorationRole:
            if (AIndex.column() == 0 && FOnGetRowIcon) {
                const QIcon icon = FOnGetRowIcon(row);
                if (!icon.isNull())
                    return icon;
            }
            return {};
        default:
            return {};
        }
    } catch (const std::exception& e) {
        TVRNExceptionUtils::Show(e);
        return {};
    }
}

QVariant QVRecordSetModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation == Qt::Horizontal && ARole == Qt::DisplayRole && ASection >= 0 &&
        ASection < FInfo.size())
        return FInfo[ASection].Caption;
    return QAbstractTableModel::headerData(ASection, AOrientation, ARole);
}

Qt::ItemFlags QVRecordSetModel::flags(const QModelIndex& AIndex) const {
    if (!checkIndex(AIndex, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (FInfo[AIndex.column()].Editable)
        f |= Qt::ItemIsEditable;
    return f;
}

bool QVRecordSetModel::setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole) {
    if (ARole != Qt::EditRole ||
        !checkIndex(AIndex, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        !FInfo[AIndex.column()].Editable)
        return false;
    try {
        SetValue(AIndex.row(), FColumns[AIndex.column()].FieldName, AValue);
        return true;
    } catch (const std::exception& e) {
        TVRNExceptionUtils::Show(e);
        return false;
    }
}

} // namespace hostapi
