#pragma once

#include "HostApiExport.h"

#include <QFrame>

class QLabel;

namespace hostapi {

// The title panel at the top of a dialog: a framed strip in the base colour with the title in bold.
class HOSTAPI_EXPORT TDialogHeader : public QFrame {
    Q_OBJECT

public:
    explicit TDialogHeader(QWidget* AParent = nullptr);

    QString Title() const;
    void SetTitle(const QString& AText);
    QLabel* TitleLabel() const { return FTitle; }

private:
    QLabel* FTitle;
};

} // namespace hostapi
