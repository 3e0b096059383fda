#include "frmPluginRegisterServiceConfig.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "IRegisterServicePartHandler.h"
#include "QVException.h"
#include "QVRegisterServiceContainer.h"
#include "dmPluginRegisterServiceMain.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace registerservice {

namespace {

TdmPluginRegisterServiceMain& Main() {
    if (!dmPluginRegisterServiceMain)
        throw hostapi::EQVException(QStringLiteral("The register service's main data module does not exist"));
    return *dmPluginRegisterServiceMain;
}

QLineEdit* Edit(QWidget* AParent, const char* AName) {
    auto* edit = new QLineEdit(AParent);
    edit->setObjectName(QLatin1String(AName));
    return edit;
}

QLabel* Label(QWidget* AParent, const char* AName, QWidget* ABuddy) {
    auto* label = new QLabel(AParent);
    label->setObjectName(QLatin1String(AName));
    label->setBuddy(ABuddy);
    return label;
}

} // namespace

TfrmPluginRegisterServiceConfig::TfrmPluginRegisterServiceConfig(QWidget* AParent)
    : hostapi::TPluginForm(AParent), siLang(QStringLiteral("frmPluginRegisterServiceConfig")),
      QVRegisterServiceContainer(new hostapi::TQVRegisterServiceContainer(this)) {
    setObjectName(QStringLiteral("frmPluginRegisterServiceConfig"));
    QVRegisterServiceContainer->setObjectName(QStringLiteral("QVRegisterServiceContainer"));

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    cxTabSheet1 = new QWidget(PageControl);
    cxTabSheet1->setObjectName(QStringLiteral("cxTabSheet1"));
    QVGroupBoxEx7 = new QGroupBox(cxTabSheet1);
    QVGroupBoxEx7->setObjectName(QStringLiteral("QVGroupBoxEx7"));
    edtFetchURL = Edit(QVGroupBoxEx7, "edtFetchURL");
    edtFetchUser = Edit(QVGroupBoxEx7, "edtFetchUser");
    edtFetchPassword = Edit(QVGroupBoxEx7, "edtFetchPassword");
    edtFetchPassword->setEchoMode(QLineEdit::Password);
    Label10 = Label(QVGroupBoxEx7, "Label10", edtFetchURL);
    Label11 = Label(QVGroupBoxEx7, "Label11", edtFetchUser);
    Label12 = Label(QVGroupBoxEx7, "Label12", edtFetchPassword);
    QVButton1 = new QPushButton(QVGroupBoxEx7);
    QVButton1->setObjectName(QStringLiteral("QVButton1"));
    QVButton1->setAutoDefault(false);

    auto* grid = new QGridLayout(QVGroupBoxEx7);
    grid->addWidget(Label10, 0, 0, 1, 2);
    grid->addWidget(edtFetchURL, 1, 0, 1, 2);
    grid->addWidget(Label11, 2, 0);
    grid->addWidget(Label12, 2, 1);
    grid->addWidget(edtFetchUser, 3, 0);
    grid->addWidget(edtFetchPassword, 3, 1);
    grid->addWidget(QVButton1, 4, 0, Qt::AlignLeft);
    auto* sheetLayout = new QVBoxLayout(cxTabSheet1);
    sheetLayout->addWidget(QVGroupBoxEx7);
    sheetLayout->addStretch();
    PageControl->addTab(cxTabSheet1, QString());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);

    setTabOrder(edtFetchURL, edtFetchUser);
    setTabOrder(edtFetchUser, edtFetchPassword);
    setTabOrder(edtFetchPassword, QVButton1);
    connect(QVButton1, &QPushButton::clicked, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { QVButton1Click(); }); });

    ApplyTexts();
    resize(QSize(520, 260).expandedTo(minimumSizeHint()));
}

TfrmPluginRegisterServiceConfig::~TfrmPluginRegisterServiceConfig() {
    FreeExtForms();
}

void TfrmPluginRegisterServiceConfig::SetLanguage(const QString& ALangName) {
    hostapi::TPluginForm::SetLanguage(ALangName);
    siLang.SetLanguage(ALangName);
    ApplyTexts();
}

void TfrmPluginRegisterServiceConfig::ApplyTexts() {
    setWindowTitle(siLang.Text(QStringLiteral("IDS_Caption")));
    QVGroupBoxEx7->setTitle(siLang.Text(QStringLiteral("IDS_QVGroupBoxEx7")));
    Label10->setText(siLang.Text(QStringLiteral("IDS_Label10")));
    Label11->setText(siLang.Text(QStringLiteral("IDS_Label11")));
    Label12->setText(siLang.Text(QStringLiteral("IDS_Label12")));
    QVButton1->setText(siLang.Text(QStringLiteral("IDS_QVButton1")));
    PageControl->setTabText(PageControl->indexOf(cxTabSheet1),
                            siLang.Text(QStringLiteral("IDS_cxTabSheet1")));
}

void TfrmPluginRegisterServiceConfig::AfterShow() {
    hostapi::TPluginForm::AfterShow();
    TdmPluginRegisterServiceMain& main = Main();
    edtFetchURL->setText(main.FetchURL());
    edtFetchUser->setText(main.FetchUser());
    edtFetchPassword->setText(main.FetchPassword());
    if (FExtForms.empty())
        AddExtForms();
}

void TfrmPluginRegisterServiceConfig::AddExtForms() {
    for (const hostapi::TRegisteredPartHandler& handler : QVRegisterServiceContainer->Handlers()) {
        if (!handler.HasConfigForm)
            continue;
        auto ext = std::make_unique<TExtForm>();
        ext->Handler = handler.Handler;
        ext->FFormIntf.reset(handler.Handler->CreateConfigForm(this));
        if (!ext->FFormIntf)
            throw hostapi::EQVException(
                QStringLiteral(
                    "The register-service part handler \"%1\" has a configuration form but created none")
                    .arg(handler.PartName));
        ext->Sheet = new QWidget(PageControl);
        ext->Sheet->setObjectName(QStringLiteral("tbsExtForm%1").arg(FExtForms.size() + 1));
        PageControl->addTab(ext->Sheet, ext->FFormIntf->Caption());
        TExtForm& placed = *ext;
        FExtForms.push_back(std::move(ext));
        placed.FFormIntf->PlaceOn(placed.Sheet, true);
        placed.FFormIntf->SetFormVisible(true);
    }
}

void TfrmPluginRegisterServiceConfig::FreeExtForms() {
    while (!FExtForms.empty()) {
        std::unique_ptr<TExtForm> ext = std::move(FExtForms.back());
        FExtForms.pop_back();
        QWidget* sheet = ext->Sheet;
        ext.reset(); // the form goes before its sheet
        PageControl->removeTab(PageControl->indexOf(sheet));
        delete sheet;
    }
}

void TfrmPluginRegisterServiceConfig::WriteSettings(TdmPluginRegisterServiceMain& AMain) {
    AMain.SetFetchURL(edtFetchURL->text());
    AMain.SetFetchUser(edtFetchUser->text());
    AMain.SetFetchPassword(edtFetchPassword->text());
}

void TfrmPluginRegisterServiceConfig::FormClose() {
    hostapi::TPluginForm::FormClose();
    TdmPluginRegisterServiceMain& main = Main();
    WriteSettings(main);
    main.InitRegisterClient();
    FreeExtForms();
}

void TfrmPluginRegisterServiceConfig::QVButton1Click() {
    if (hostapi::MessageDlg(siLang.Text(QStringLiteral("IDS_ASKCFD")), hostapi::mtWarning,
                            hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel) != hostapi::mrYes)
        return;
    TdmPluginRegisterServiceMain& main = Main();
    WriteSettings(main);
    main.ResetLastFetchStamp();
}

} // namespace registerservice
