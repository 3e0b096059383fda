#include "QVDBTreeDelegate.h"

#include "QVDBTreeModel.h"

namespace hostapi {

QList<QPair<QString, QString>> QVDBTreeDelegate::PickListAt(const QModelIndex& AIndex) const {
    const auto* model = qobject_cast<const QVDBTreeModel*>(AIndex.model());
    return model ? model->PickListOf(AIndex) : QList<QPair<QString, QString>>();
}

void QVDBTreeDelegate::initStyleOption(QStyleOptionViewItem* AOption, const QModelIndex& AIndex) const {
    QVPickListDelegate::initStyleOption(AOption, AIndex);
    if (!AOption->state.testFlag(QStyle::State_Selected))
        return;
    const QIcon selected = AIndex.data(QVDBTreeModel::SelectedDecorationRole).value<QIcon>();
    if (selected.isNull())
        return;
    // The selected image as it is, not tinted by the style.
    const QPixmap pixmap = selected.pixmap(AOption->decorationSize);
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Normal);
    icon.addPixmap(pixmap, QIcon::Selected);
    AOption->icon = icon;
    AOption->features |= QStyleOptionViewItem::HasDecoration;
}

} // namespace hostapi
