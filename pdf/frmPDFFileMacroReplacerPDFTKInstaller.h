#pragma once

#include "VRNLang.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace hostapi {
class TVorlanaLinkLabel;
}

namespace emailmarketing {

// Explains what pdftk adds to PDF personalisation and how it is installed from the system's
// packages: the command with a copy button, a check whether pdftk is found now, and a link to the
// pdftk home page. Nothing is downloaded.
class TfrmPDFFileMacroReplacerPDFTKInstaller : public QDialog {
    Q_OBJECT

public:
    explicit TfrmPDFFileMacroReplacerPDFTKInstaller(QWidget* AParent = nullptr);
    ~TfrmPDFFileMacroReplacerPDFTKInstaller() override;

    QString Language() const { return FLang.Language(); }
    void SetLanguage(const QString& ALangName);

    // The command that installs pdftk from the system's packages.
    static QString InstallCommand();
    static QString HomePage();

private:
    void btnCloseClick();
    void VorlanaLinkLabel1Click();
    void btnCopyClick();
    // Found: says so and closes; else says that pdftk is still missing.
    void btnCheckClick();

    void ApplyTexts();

    hostapi::TVRNLang FLang;

    QWidget* Panel1;
    QPushButton* btnClose;
    QWidget* Panel2;
    QLabel* Label2;
    QLabel* Label1;
    QLabel* Label3;
    QLineEdit* edtCommand;
    QPushButton* btnCopy;
    QPushButton* btnCheck;
    QLabel* lblCheckResult;
    hostapi::TVorlanaLinkLabel* VorlanaLinkLabel1;
};

} // namespace emailmarketing
