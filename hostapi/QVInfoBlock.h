#pragma once

#include "HostApiExport.h"

#include <QFrame>

class QLabel;

namespace hostapi {

class TVorlanaLinkLabel;

// A framed note: an information sign, a word-wrapped text and, when a link text is set, a link below
// it whose click the placing window handles (linkClicked).
class HOSTAPI_EXPORT TQVInfoBlock : public QFrame {
    Q_OBJECT

public:
    explicit TQVInfoBlock(QWidget* AParent = nullptr);

    QString Text() const;
    void SetText(const QString& AText);
    // Empty: no link shown.
    QString LinkText() const;
    void SetLinkText(const QString& AText);

signals:
    void linkClicked();

private:
    QLabel* FText;
    TVorlanaLinkLabel* FLink;
};

} // namespace hostapi
