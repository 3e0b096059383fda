#include "VorlanaLinkLabel.h"

#include <QMouseEvent>

namespace hostapi {

TVorlanaLinkLabel::TVorlanaLinkLabel(QWidget* AParent) : TVorlanaLinkLabel(QString(), AParent) {}

TVorlanaLinkLabel::TVorlanaLinkLabel(const QString& AText, QWidget* AParent) : QLabel(AText, AParent) {
    setCursor(Qt::PointingHandCursor);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, LinkColor());
    setPalette(colours);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
}

QColor TVorlanaLinkLabel::LinkColor() {
    return QColor(0x00, 0x6F, 0x99);
}

void TVorlanaLinkLabel::mousePressEvent(QMouseEvent* AEvent) {
    FPressed = AEvent->button() == Qt::LeftButton;
    QLabel::mousePressEvent(AEvent);
}

void TVorlanaLinkLabel::mouseReleaseEvent(QMouseEvent* AEvent) {
    const bool click =
        FPressed && AEvent->button() == Qt::LeftButton && rect().contains(AEvent->position().toPoint());
    FPressed = false;
    QLabel::mouseReleaseEvent(AEvent);
    if (click)
        emit clicked();
}

} // namespace hostapi
