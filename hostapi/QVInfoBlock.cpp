#include "QVInfoBlock.h"

#include "VorlanaLinkLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace hostapi {

TQVInfoBlock::TQVInfoBlock(QWidget* AParent)
    : QFrame(AParent), FText(new QLabel(this)), FLink(new TVorlanaLinkLabel(this)) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("lblIcon"));
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    icon->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);
    FText->setObjectName(QStringLiteral("lblText"));
    FText->setWordWrap(true);
    FText->setForegroundRole(QPalette::ToolTipText);
    FLink->setObjectName(QStringLiteral("lblLink"));
    FLink->setVisible(false);
    connect(FLink, &TVorlanaLinkLabel::clicked, this, &TQVInfoBlock::linkClicked);

    auto* texts = new QVBoxLayout;
    texts->addWidget(FText);
    texts->addWidget(FLink);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(texts, 1);
}

QString TQVInfoBlock::Text() const {
    return FText->text();
}

void TQVInfoBlock::SetText(const QString& AText) {
    FText->setText(AText);
}

QString TQVInfoBlock::LinkText() const {
    return FLink->text();
}

void TQVInfoBlock::SetLinkText(const QString& AText) {
    FLink->setText(AText);
    FLink->setVisible(!AText.isEmpty());
}

} // namespace hostapi
