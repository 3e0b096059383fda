#pragma once

#include "HostApiExport.h"
#include "QVPickListDelegate.h"

namespace hostapi {

// Cells of a database tree: coded fields are edited with their pick-list texts, and a selected
// cell shows the model's selected image.
class HOSTAPI_EXPORT QVDBTreeDelegate : public QVPickListDelegate {
    Q_OBJECT
public:
    using QVPickListDelegate::QVPickListDelegate;

protected:
    QList<QPair<QString, QString>> PickListAt(const QModelIndex& AIndex) const override;
    void initStyleOption(QStyleOptionViewItem* AOption, const QModelIndex& AIndex) const override;
};

} // namespace hostapi
