#include "QVPickListDelegate.h"

#include "QVRecordSetModel.h"

#include <QComboBox>

namespace hostapi {

QList<QPair<QString, QString>> QVPickListDelegate::PickListAt(const QModelIndex& AIndex) const {
    const auto* model = qobject_cast<const QVRecordSetModel*>(AIndex.model());
    return model ? model->PickListOf(AIndex.column()) : QList<QPair<QString, QString>>();
}

QWidget* QVPickListDelegate::createEditor(QWidget* AParent, const QStyleOptionViewItem& AOption,
                                          const QModelIndex& AIndex) const {
    const QList<QPair<QString, QString>> items = PickListAt(AIndex);
    if (items.isEmpty())
        return QStyledItemDelegate::createEditor(AParent, AOption, AIndex);
    auto* combo = new QComboBox(AParent);
    combo->setObjectName(QStringLiteral("PickListEditor"));
    for (const auto& item : items)
        combo->addItem(item.second, item.first);
    // A choice is posted at once.
    connect(combo, &QComboBox::activated, this, [this, combo](int) {
        emit const_cast<QVPickListDelegate*>(this)->commitData(combo);
        emit const_cast<QVPickListDelegate*>(this)->closeEditor(combo);
    });
    return combo;
}

void QVPickListDelegate::setEditorData(QWidget* AEditor, const QModelIndex& AIndex) const {
    auto* combo = qobject_cast<QComboBox*>(AEditor);
    if (!combo || PickListAt(AIndex).isEmpty()) {
        QStyledItemDelegate::setEditorData(AEditor, AIndex);
        return;
    }
    const QVariant value = AIndex.data(Qt::EditRole);
    combo->setCurrentIndex(value.isNull() ? -1 : combo->findData(value.toString()));
}

void QVPickListDelegate::setModelData(QWidget* AEditor, QAbstractItemModel* AModel,
                                      const QModelIndex& AIndex) const {
    auto* combo = qobject_cast<QComboBox*>(AEditor);
    if (!combo || PickListAt(AIndex).isEmpty()) {
        QStyledItemDelegate::setModelData(AEditor, AModel, AIndex);
        return;
    }
    if (combo->currentIndex() >= 0)
        AModel->setData(AIndex, combo->currentData(), Qt::EditRole);
}

} // namespace hostapi
