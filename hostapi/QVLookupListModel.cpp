#include "QVLookupListModel.h"

#include "DBFieldSchema.h"
#include "QVException.h"
#include "QVRecordSet.h"

namespace hostapi {

QVLookupListModel::QVLookupListModel(QObject* AParent) : QAbstractListModel(AParent) {}

void QVLookupListModel::SetLookup(const QString& ASchemaName, const QString& AKeyField,
                                  const QString& ADisplayField) {
    const TDBFieldSchema& schemas = TDBFieldSchema::Instance();
    for (const QString& field : {AKeyField, ADisplayField})
        if (schemas.ResolveField(ASchemaName, field).Related)
            throw EQVException(
                QStringLiteral("Lookup field %1 must be a field of %2").arg(field, ASchemaName));
    FSchemaName = ASchemaName;
    FKeyField = AKeyField;
    FDisplayField = ADisplayField;
}

void QVLookupListModel::SetEmptyEntry(bool AValue, const QString& AText) {
    FEmptyEntry = AValue;
    FEmptyText = AText;
    Reset(FLoaded);
}

QList<QVLookupListModel::TEntry> QVLookupListModel::WithEmptyEntry(QList<TEntry> AEntries) const {
    if (FEmptyEntry)
        AEntries.prepend({QVariant(), FEmptyText});
    return AEntries;
}

void QVLookupListModel::Reset(QList<TEntry> AEntries) {
    beginResetModel();
    FLoaded = std::move(AEntries);
    FEntries = WithEmptyEntry(FLoaded);
    endResetModel();
}

void QVLookupListModel::Refresh() {
    if (FSchemaName.isEmpty())
        throw EQVException(QStringLiteral("The lookup has no schema"));
    TQVRecordSet rs(FSchemaName);
    const QString key = FKeyField;
    const QString display = FDisplayField;
    rs.SetOnGetFieldIsRequired([key, display](const QString& name) {
        return name.compare(key, Qt::CaseInsensitive) == 0 || name.compare(display, Qt::CaseInsensitive) == 0;
    });
    rs.SetOptions(rsoReadOnly);
    rs.AddOrder(FDisplayField);
    rs.Open();
    QList<TEntry> entries;
    entries.reserve(rs.RecordCount());
    for (rs.First(); !rs.Eof(); rs.Next())
        entries.append({rs.FieldValue(FKeyField), rs.FieldValue(FDisplayField).toString()});
    Reset(std::move(entries));
}

int QVLookupListModel::RowOfKey(const QVariant& AKey) const {
    for (int i = 0; i < FEntries.size(); ++i) {
        const QVariant& k = FEntries[i].Key;
        if (k.isNull() ? AKey.isNull() : (!AKey.isNull() && k.toString() == AKey.toString()))
            return i;
    }
    return -1;
}

QVariant QVLookupListModel::KeyAt(int ARow) const {
    return ARow >= 0 && ARow < FEntries.size() ? FEntries[ARow].Key : QVariant();
}

int QVLookupListModel::rowCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : FEntries.size();
}

QVariant QVLookupListModel::data(const QModelIndex& AIndex, int ARole) const {
    if (!checkIndex(AIndex, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TEntry& e = FEntries[AIndex.row()];
    if (ARole == Qt::DisplayRole || ARole == Qt::EditRole)
        return e.Text;
    if (ARole == KeyRole)
        return e.Key;
    return {};
}

Qt::ItemFlags QVLookupListModel::flags(const QModelIndex& AIndex) const {
    if (!checkIndex(AIndex, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

} // namespace hostapi
