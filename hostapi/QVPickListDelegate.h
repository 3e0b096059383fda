#pragma once

#include "HostApiExport.h"

#include <QStyledItemDelegate>

namespace hostapi {

// Edits the columns of a record-set model whose field has a pick list with a combo box of the
// list's texts and writes the chosen key; other columns get the standard editors.
class HOSTAPI_EXPORT QVPickListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* AParent, const QStyleOptionViewItem& AOption,
                          const QModelIndex& AIndex) const override;
    void setEditorData(QWidget* AEditor, const QModelIndex& AIndex) const override;
    void setModelData(QWidget* AEditor, QAbstractItemModel* AModel, const QModelIndex& AIndex) const override;

protected:
    // The pick list of the cell as (key text, display text); empty for a cell without one.
    virtual QList<QPair<QString, QString>> PickListAt(const QModelIndex& AIndex) const;
};

} // namespace hostapi
