#include "frmPDFFileMacroReplacerPDFTKInstaller.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "PDFFileMacroReplacer.h"
#include "UrlOpener.h"
#include "VorlanaLinkLabel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace emailmarketing {

TfrmPDFFileMacroReplacerPDFTKInstaller::TfrmPDFFileMacroReplacerPDFTKInstaller(QWidget* AParent)
    : QDialog(AParent), FLang(QStringLiteral("frmPDFFileMacroReplacerPDFTKInstaller")) {
    setObjectName(QStringLiteral("frmPDFFileMacroReplacerPDFTKInstaller"));
    // A dialog border without border icons: the window closes through its button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Label2 = new QLabel(Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    Label1 = new QLabel(Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    auto* top = new QVBoxLayout(Panel2);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(Label2);
    top->addWidget(Label1);

    edtCommand = new QLineEdit(InstallCommand(), this);
    edtCommand->setObjectName(QStringLiteral("edtCommand"));
    edtCommand->setReadOnly(true);
    edtCommand->setMinimumWidth(edtCommand->fontMetrics().horizontalAdvance(InstallCommand()) + 16);
    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setWordWrap(true);
    Label3->setBuddy(edtCommand);
    btnCopy = new QPushButton(this);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    btnCopy->setAutoDefault(false);
    auto* command = new QHBoxLayout;
    command->addWidget(edtCommand, 1);
    command->addWidget(btnCopy);

    btnCheck = new QPushButton(this);
    btnCheck->setObjectName(QStringLiteral("btnCheck"));
    btnCheck->setAutoDefault(false);
    btnCheck->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    lblCheckResult = new QLabel(this);
    lblCheckResult->setObjectName(QStringLiteral("lblCheckResult"));
    lblCheckResult->setWordWrap(true);
    lblCheckResult->setVisible(false);
    auto* check = new QHBoxLayout;
    check->addWidget(btnCheck);
    check->addWidget(lblCheckResult, 1);
    check->addStretch();

    VorlanaLinkLabel1 = new hostapi::TVorlanaLinkLabel(this);
    VorlanaLinkLabel1->setObjectName(QStringLiteral("VorlanaLinkLabel1"));

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    btnClose = new QPushButton(Panel1);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    auto* bottom = new QHBoxLayout(Panel1);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addStretch();
    bottom->addWidget(btnClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel2);
    layout->addSpacing(8);
    layout->addWidget(Label3);
    layout->addLayout(command);
    layout->addLayout(check);
    layout->addWidget(VorlanaLinkLabel1);
    layout->addStretch();
    layout->addWidget(Panel1);

    setTabOrder(edtCommand, btnCopy);
    setTabOrder(btnCopy, btnCheck);
    setTabOrder(btnCheck, btnClose);

    using hostapi::TVRNExceptionUtils;
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
    connect(btnCopy, &QPushButton::clicked, this, [this] { btnCopyClick(); });
    connect(btnCheck, &QPushButton::clicked, this,
            [this] { TVRNExceptionUtils::Guarded([this] { btnCheckClick(); }); });
    connect(VorlanaLinkLabel1, &hostapi::TVorlanaLinkLabel::clicked, this,
            [this] { TVRNExceptionUtils::Guarded([this] { VorlanaLinkLabel1Click(); }); });

    ApplyTexts();
}

TfrmPDFFileMacroReplacerPDFTKInstaller::~TfrmPDFFileMacroReplacerPDFTKInstaller() = default;

QString TfrmPDFFileMacroReplacerPDFTKInstaller::InstallCommand() {
    return QStringLiteral("sudo apt-get install --no-install-recommends pdftk-java");
}

QString TfrmPDFFileMacroReplacerPDFTKInstaller::HomePage() {
    return QStringLiteral("https://gitlab.com/pdftk-java/pdftk");
}

void TfrmPDFFileMacroReplacerPDFTKInstaller::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    ApplyTexts();
}

void TfrmPDFFileMacroReplacerPDFTKInstaller::ApplyTexts() {
    setWindowTitle(FLang.Text(QStringLiteral("IDS_Caption")));
    Label2->setText(FLang.Text(QStringLiteral("IDS_WhatIs")));
    Label1->setText(FLang.Text(QStringLiteral("IDS_About")));
    Label3->setText(FLang.Text(QStringLiteral("IDS_Command")));
    btnCopy->setText(FLang.Text(QStringLiteral("IDS_Copy")));
    btnCheck->setText(FLang.Text(QStringLiteral("IDS_Check")));
    if (!lblCheckResult->text().isEmpty())
        lblCheckResult->setText(FLang.Text(QStringLiteral("IDS_NF")));
    VorlanaLinkLabel1->setText(FLang.Text(QStringLiteral("IDS_HomePage")));
    btnClose->setText(FLang.Text(QStringLiteral("IDS_Close")));
}

void TfrmPDFFileMacroReplacerPDFTKInstaller::btnCloseClick() {
    close();
}

void TfrmPDFFileMacroReplacerPDFTKInstaller::VorlanaLinkLabel1Click() {
    hostapi::OpenUrl(HomePage());
}

void TfrmPDFFileMacroReplacerPDFTKInstaller::btnCopyClick() {
    QGuiApplication::clipboard()->setText(InstallCommand());
}

void TfrmPDFFileMacroReplacerPDFTKInstaller::btnCheckClick() {
    if (!TPDFFileMacroReplacer::IsAvailable()) {
        lblCheckResult->setText(FLang.Text(QStringLiteral("IDS_NF")));
        lblCheckResult->setVisible(true);
        return;
    }
    hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_IS")), hostapi::mtInformation, hostapi::mbOK);
    accept();
}

} // namespace emailmarketing
