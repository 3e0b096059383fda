#include "DialogHeader.h"

#include <QHBoxLayout>
#include <QLabel>

namespace hostapi {

TDialogHeader::TDialogHeader(QWidget* AParent) : QFrame(AParent), FTitle(new QLabel(this)) {
    setObjectName(QStringLiteral("pnlHeader"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    FTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont font = FTitle->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    FTitle->setFont(font);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(FTitle);
}

QString TDialogHeader::Title() const {
    return FTitle->text();
}

void TDialogHeader::SetTitle(const QString& AText) {
    FTitle->setText(AText);
}

} // namespace hostapi
