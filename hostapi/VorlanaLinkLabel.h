#pragma once

#include "HostApiExport.h"

#include <QColor>
#include <QLabel>

namespace hostapi {

// A label that looks like a hyperlink: hand cursor, underlined, in the link colour. Opening a page or
// a window is the placing window's handler of clicked.
class HOSTAPI_EXPORT TVorlanaLinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit TVorlanaLinkLabel(QWidget* AParent = nullptr);
    explicit TVorlanaLinkLabel(const QString& AText, QWidget* AParent = nullptr);

    // #006F99.
    static QColor LinkColor();

signals:
    // A left click released over the label.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;

private:
    bool FPressed = false;
};

} // namespace hostapi
