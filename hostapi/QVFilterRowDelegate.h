#pragma once

#include "HostApiExport.h"

#include <QStyledItemDelegate>

namespace hostapi {

// Editors of a filter row model: a combo box of the column's choices (link, field by caption,
// filter type) that writes the chosen code, and a line edit for the value.
class HOSTAPI_EXPORT QVFilterRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* AParent, const QStyleOptionViewItem& AOption,
                          const QModelIndex& AIndex) const override;
    void setEditorData(QWidget* AEditor, const QModelIndex& AIndex) const override;
    void setModelData(QWidget* AEditor, QAbstractItemModel* AModel, const QModelIndex& AIndex) const override;
};

} // namespace hostapi
