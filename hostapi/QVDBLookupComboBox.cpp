#include "QVDBLookupComboBox.h"

#include "QVLookupListModel.h"

namespace hostapi {

QVDBLookupComboBox::QVDBLookupComboBox(QWidget* AParent)
    : QComboBox(AParent), FModel(new QVLookupListModel(this)) {
    setEditable(false);
    setModel(FModel);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int) {
        if (!FUpdating)
            emit ValueChanged(Value());
    });
}

void QVDBLookupComboBox::SetLookup(const QString& ASchemaName, const QString& AKeyField,
                                   const QString& ADisplayField) {
    FModel->SetLookup(ASchemaName, AKeyField, ADisplayField);
}

void QVDBLookupComboBox::SetEmptyEntry(bool AValue, const QString& AText) {
    const QVariant value = Value();
    FUpdating = true;
    FModel->SetEmptyEntry(AValue, AText);
    FUpdating = false;
    SetValue(value);
}

void QVDBLookupComboBox::Refresh() {
    const QVariant value = Value();
    FUpdating = true;
    try {
        FModel->Refresh();
    } catch (...) {
        FUpdating = false;
        throw;
    }
    FUpdating = false;
    SetValue(value);
}

QVariant QVDBLookupComboBox::Value() const {
    return FModel->KeyAt(currentIndex());
}

void QVDBLookupComboBox::SetValue(const QVariant& AKey) {
    const QVariant before = Value();
    FUpdating = true;
    int row = FModel->RowOfKey(AKey);
    if (row < 0)
        row = FModel->RowOfKey(QVariant());
    setCurrentIndex(row);
    FUpdating = false;
    const QVariant after = Value();
    if (before.isNull() != after.isNull() || before.toString() != after.toString())
        emit ValueChanged(after);
}

} // namespace hostapi
