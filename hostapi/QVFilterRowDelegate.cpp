#include "QVFilterRowDelegate.h"

#include "QVFilterRowModel.h"

#include <QComboBox>

namespace hostapi {

namespace {

const QVFilterRowModel* FilterModel(const QModelIndex& AIndex) {
    return qobject_cast<const QVFilterRowModel*>(AIndex.model());
}

} // namespace

QWidget* QVFilterRowDelegate::createEditor(QWidget* AParent, const QStyleOptionViewItem& AOption,
                                           const QModelIndex& AIndex) const {
    const QVFilterRowModel* model = FilterModel(AIndex);
    const auto choices = model ? model->Choices(AIndex.column()) : QList<QPair<QString, QVariant>>();
    if (choices.isEmpty())
        return QStyledItemDelegate::createEditor(AParent, AOption, AIndex);
    auto* combo = new QComboBox(AParent);
    combo->setObjectName(QStringLiteral("cbFilterEditor"));
    for (const auto& [text, code] : choices)
        combo->addItem(text, code);
    return combo;
}

void QVFilterRowDelegate::setEditorData(QWidget* AEditor, const QModelIndex& AIndex) const {
    auto* combo = qobject_cast<QComboBox*>(AEditor);
    if (!combo) {
        QStyledItemDelegate::setEditorData(AEditor, AIndex);
        return;
    }
    const QVariant code = AIndex.data(Qt::EditRole);
    int found = -1;
    for (int i = 0; i < combo->count() && found < 0; ++i)
        if (combo->itemData(i).toString().compare(code.toString(), Qt::CaseInsensitive) == 0)
            found = i;
    combo->setCurrentIndex(found);
}

void QVFilterRowDelegate::setModelData(QWidget* AEditor, QAbstractItemModel* AModel,
                                       const QModelIndex& AIndex) const {
    auto* combo = qobject_cast<QComboBox*>(AEditor);
    if (!combo) {
        QStyledItemDelegate::setModelData(AEditor, AModel, AIndex);
        return;
    }
    // No choice made (a field the schema does not have): the row stays as it is.
    if (combo->currentIndex() >= 0)
        AModel->setData(AIndex, combo->currentData(), Qt::EditRole);
}

} // namespace hostapi
