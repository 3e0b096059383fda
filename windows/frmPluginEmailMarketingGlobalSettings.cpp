#include "frmPluginEmailMarketingGlobalSettings.h"

#include "ASPSMSMessageSender.h"
#include "ASPSMSSender.h"
#include "DBFieldSchema.h"
#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "GlobalSettingsRules.h"
#include "NamedObject.h"
#include "NetworkSettings.h"
#include "PelmarisPlugin.h"
#include "QVDBLookupComboBox.h"
#include "QVDBTreeModel.h"
#include "QVDBTreeView.h"
#include "QVException.h"
#include "QVInfoBlock.h"
#include "RegionalSettings.h"
#include "RegisterServicePlugin.h"
#include "ScreenService.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "UrlOpener.h"
#include "VorlanaLinkLabel.h"
#include "dmPluginEmailMarketingMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace emailmarketing {

using namespace GlobalSettingsRules;

namespace {

const QString Section = QStringLiteral("EMLMARK");

TdmPluginEmailMarketingMain& DataModule() {
    if (!dmPluginEmailMarketingMain)
        throw hostapi::EQVException(QStringLiteral("The e-mail marketing data module does not exist"));
    return *dmPluginEmailMarketingMain;
}

// Restores the cursor however the scope is left.
struct TWaitCursor {
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

} // namespace

TfrmPluginEmailMarketingGlobalSettings::TfrmPluginEmailMarketingGlobalSettings(QWidget* AParent)
    : hostapi::TPluginForm(AParent), FLang(QStringLiteral("frmPluginEmailMarketingGlobalSettings")),
      PelmarisPlugin(std::make_unique<hostapi::TPelmarisPlugin>()) {
    setObjectName(QStringLiteral("frmPluginEmailMarketingGlobalSettings"));
    auto* layout = new QVBoxLayout(this);
    pcMain = Named(new QTabWidget(this), "pcMain");
    layout->addWidget(pcMain);
    tbsEmailserver = Named(new QWidget, "tbsEmailserver");
    cxTabSheet5 = Named(new QWidget, "cxTabSheet5");
    tbsSMSProvider = Named(new QWidget, "tbsSMSProvider");
    cxTabSheet2 = Named(new QWidget, "cxTabSheet2");
    tbsRegisterService = Named(new QWidget, "tbsRegisterService");
    cxTabSheet1 = Named(new QWidget, "cxTabSheet1");
    for (QWidget* page :
         {tbsEmailserver, cxTabSheet5, tbsSMSProvider, cxTabSheet2, tbsRegisterService, cxTabSheet1})
        pcMain->addTab(page, QString());
    BuildServerPage(tbsEmailserver);
    BuildSendPage(cxTabSheet5);
    BuildSMSPage(tbsSMSProvider);
    BuildSenderPage(cxTabSheet2);
    BuildRegisterServicePage(tbsRegisterService);
    BuildStatesPage(cxTabSheet1);
    FLang.SetLanguage(Language().isEmpty() ? hostapi::TVRNLang::CurrentLanguage() : Language());
    ApplyTexts();
    resize(640, 520);
}

TfrmPluginEmailMarketingGlobalSettings::~TfrmPluginEmailMarketingGlobalSettings() = default;

void TfrmPluginEmailMarketingGlobalSettings::BuildServerPage(QWidget* APage) {
    auto* layout = new QVBoxLayout(APage);
    grpServer = Named(new QGroupBox(APage), "grpServer");
    auto* server = new QGridLayout(grpServer);
    rbtnUseRelay = Named(new QRadioButton(grpServer), "rbtnUseRelay");
    rbtnUseMailServer = Named(new QRadioButton(grpServer), "rbtnUseMailServer");
    rbUseMAPI = Named(new QRadioButton(grpServer), "rbUseMAPI");
    lblMailServer = Named(new QLabel(grpServer), "lblMailServer");
    edtMailServer = Named(new QComboBox(grpServer), "edtMailServer");
    edtMailServer->setEditable(true);
    edtMailServer->setInsertPolicy(QComboBox::NoInsert);
    cbUseAuth = Named(new QCheckBox(grpServer), "cbUseAuth");
    lblUserName = Named(new QLabel(grpServer), "lblUserName");
    edtUserName = Named(new QLineEdit(grpServer), "edtUserName");
    lblPassword = Named(new QLabel(grpServer), "lblPassword");
    edtPassword = Named(new QLineEdit(grpServer), "edtPassword");
    edtPassword->setEchoMode(QLineEdit::Password);
    lblMailServer->setBuddy(edtMailServer);
    lblUserName->setBuddy(edtUserName);
    lblPassword->setBuddy(edtPassword);
    nfoInternalMailServer = Named(new hostapi::TQVInfoBlock(grpServer), "nfoInternalMailServer");
    nfoblgMAPI = Named(new hostapi::TQVInfoBlock(grpServer), "nfoblgMAPI");
    int row = 0;
    server->addWidget(rbtnUseRelay, row++, 0, 1, 2);
    server->addWidget(rbtnUseMailServer, row++, 0, 1, 2);
    server->addWidget(rbUseMAPI, row++, 0, 1, 2);
    server->addWidget(lblMailServer, row, 0);
    server->addWidget(edtMailServer, row++, 1);
    server->addWidget(cbUseAuth, row++, 1);
    server->addWidget(lblUserName, row, 0);
    server->addWidget(edtUserName, row++, 1);
    server->addWidget(lblPassword, row, 0);
    server->addWidget(edtPassword, row++, 1);
    server->addWidget(nfoInternalMailServer, row++, 0, 1, 2);
    server->addWidget(nfoblgMAPI, row++, 0, 1, 2);
    layout->addWidget(grpServer);

    grpDNSServer = Named(new QGroupBox(APage), "grpDNSServer");
    auto* dns = new QVBoxLayout(grpDNSServer);
    edtDNSServer = Named(new QComboBox(grpDNSServer), "edtDNSServer");
    edtDNSServer->setEditable(true);
    edtDNSServer->setInsertPolicy(QComboBox::NoInsert);
    nfoDNSServer = Named(new hostapi::TQVInfoBlock(grpDNSServer), "nfoDNSServer");
    dns->addWidget(edtDNSServer);
    dns->addWidget(nfoDNSServer);
    layout->addWidget(grpDNSServer);
    layout->addStretch();

    for (QRadioButton* radio : {rbtnUseRelay, rbtnUseMailServer, rbUseMAPI})
        connect(radio, &QRadioButton::clicked, this, [this] { Guarded([this] { SelectMailServer(); }); });
    connect(cbUseAuth, &QCheckBox::clicked, this, [this] { Guarded([this] { cbUseAuthClick(); }); });
}

void TfrmPluginEmailMarketingGlobalSettings::BuildSendPage(QWidget* APage) {
    auto* layout = new QGridLayout(APage);
    cbUnitSend = Named(new QCheckBox(APage), "cbUnitSend");
    lblUnitCount = Named(new QLabel(APage), "lblUnitCount");
    spinUnitCount = Named(new QSpinBox(APage), "spinUnitCount");
    spinUnitCount->setRange(1, 1000000);
    spinUnitCount->setValue(1000);
    lblSendThreads = Named(new QLabel(APage), "lblSendThreads");
    spinSendThreads = Named(new QSpinBox(APage), "spinSendThreads");
    spinSendThreads->setRange(1, 100);
    spinSendThreads->setValue(1);
    lblSendThreadsNote = Named(new QLabel(APage), "lblSendThreadsNote");
    lblUnitDelay = Named(new QLabel(APage), "lblUnitDelay");
    spinUnitDelay = Named(new QSpinBox(APage), "spinUnitDelay");
    spinUnitDelay->setRange(0, 1440);
    lblUnitDelayMinutes = Named(new QLabel(APage), "lblUnitDelayMinutes");
    cbThrottle = Named(new QCheckBox(APage), "cbThrottle");
    cbChaotic = Named(new QCheckBox(APage), "cbChaotic");
    lblUnitCount->setBuddy(spinUnitCount);
    lblSendThreads->setBuddy(spinSendThreads);
    lblUnitDelay->setBuddy(spinUnitDelay);
    int row = 0;
    layout->addWidget(cbUnitSend, row++, 0, 1, 3);
    layout->addWidget(lblUnitCount, row, 0);
    layout->addWidget(spinUnitCount, row++, 1);
    layout->addWidget(lblSendThreads, row, 0);
    layout->addWidget(spinSendThreads, row++, 1);
    layout->addWidget(lblSendThreadsNote, row++, 0, 1, 3);
    layout->addWidget(lblUnitDelay, row, 0);
    layout->addWidget(spinUnitDelay, row, 1);
    layout->addWidget(lblUnitDelayMinutes, row++, 2);
    layout->addWidget(cbThrottle, row++, 0, 1, 3);
    layout->addWidget(cbChaotic, row++, 0, 1, 3);
    layout->setRowStretch(row, 1);
    layout->setColumnStretch(2, 1);
    connect(cbUnitSend, &QCheckBox::toggled, this,
            [this] { Guarded([this] { cbUnitSendPropertiesEditValueChanged(); }); });
}

void TfrmPluginEmailMarketingGlobalSettings::BuildSMSPage(QWidget* APage) {
    auto* layout = new QGridLayout(APage);
    rbASPSMS = Named(new QRadioButton(APage), "rbASPSMS");
    rbLOX24 = Named(new QRadioButton(APage), "rbLOX24");
    lblASPSMSUserKey = Named(new QLabel(APage), "lblASPSMSUserKey");
    edtASPSMSUserKey = Named(new QLineEdit(APage), "edtASPSMSUserKey");
    lblASPSMSPassword = Named(new QLabel(APage), "lblASPSMSPassword");
    edtASPSMSPassword = Named(new QLineEdit(APage), "edtASPSMSPassword");
    edtASPSMSPassword->setEchoMode(QLineEdit::Password);
    btnASPSMSCheckCredits = Named(new QPushButton(APage), "btnASPSMSCheckCredits");
    VorlanaLinkLabel1 = Named(new hostapi::TVorlanaLinkLabel(APage), "VorlanaLinkLabel1");
    QVInfoBlock1 = Named(new hostapi::TQVInfoBlock(APage), "QVInfoBlock1");
    lblLOX24Account = Named(new QLabel(APage), "lblLOX24Account");
    edtLOX24Account = Named(new QLineEdit(APage), "edtLOX24Account");
    lblLOX24Password = Named(new QLabel(APage), "lblLOX24Password");
    edtLOX24Password = Named(new QLineEdit(APage), "edtLOX24Password");
    edtLOX24Password->setEchoMode(QLineEdit::Password);
    lblLOX24APIID = Named(new QLabel(APage), "lblLOX24APIID");
    edtLOX24APIID = Named(new QLineEdit(APage), "edtLOX24APIID");
    btnLOX24CheckCredits = Named(new QPushButton(APage), "btnLOX24CheckCredits");
    VorlanaLinkLabel2 = Named(new hostapi::TVorlanaLinkLabel(APage), "VorlanaLinkLabel2");
    QVInfoBlock2 = Named(new hostapi::TQVInfoBlock(APage), "QVInfoBlock2");
    lblASPSMSUserKey->setBuddy(edtASPSMSUserKey);
    lblASPSMSPassword->setBuddy(edtASPSMSPassword);
    lblLOX24Account->setBuddy(edtLOX24Account);
    lblLOX24Password->setBuddy(edtLOX24Password);
    lblLOX24APIID->setBuddy(edtLOX24APIID);
    int row = 0;
    layout->addWidget(rbASPSMS, row++, 0, 1, 3);
    layout->addWidget(lblASPSMSUserKey, row, 0);
    layout->addWidget(edtASPSMSUserKey, row++, 1);
    layout->addWidget(lblASPSMSPassword, row, 0);
    layout->addWidget(edtASPSMSPassword, row, 1);
    layout->addWidget(btnASPSMSCheckCredits, row++, 2);
    layout->addWidget(VorlanaLinkLabel1, row++, 1);
    layout->addWidget(QVInfoBlock1, row++, 0, 1, 3);
    layout->addWidget(rbLOX24, row++, 0, 1, 3);
    layout->addWidget(lblLOX24Account, row, 0);
    layout->addWidget(edtLOX24Account, row++, 1);
    layout->addWidget(lblLOX24Password, row, 0);
    layout->addWidget(edtLOX24Password, row++, 1);
    layout->addWidget(lblLOX24APIID, row, 0);
    layout->addWidget(edtLOX24APIID, row, 1);
    layout->addWidget(btnLOX24CheckCredits, row++, 2);
    layout->addWidget(VorlanaLinkLabel2, row++, 1);
    layout->addWidget(QVInfoBlock2, row++, 0, 1, 3);
    layout->setRowStretch(row, 1);
    connect(btnASPSMSCheckCredits, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnASPSMSCheckCreditsClick(); }); });
    connect(btnLOX24CheckCredits, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnLOX24CheckCreditsClick(); }); });
    connect(VorlanaLinkLabel1, &hostapi::TVorlanaLinkLabel::clicked, this,
            [this] { Guarded([this] { VorlanaLinkLabel1Click(); }); });
    connect(QVInfoBlock1, &hostapi::TQVInfoBlock::linkClicked, this,
            [this] { Guarded([this] { QVInfoBlock1LinkClick(); }); });
    connect(VorlanaLinkLabel2, &hostapi::TVorlanaLinkLabel::clicked, this,
            [this] { Guarded([this] { VorlanaLinkLabel2Click(); }); });
    connect(QVInfoBlock2, &hostapi::TQVInfoBlock::linkClicked, this,
            [this] { Guarded([this] { QVInfoBlock2LinkClick(); }); });
}

void TfrmPluginEmailMarketingGlobalSettings::BuildSenderPage(QWidget* APage) {
    auto* layout = new QFormLayout(APage);
    lblGlobalEmailField = Named(new QLabel(APage), "lblGlobalEmailField");
    cbGlobalEmailField = Named(new QComboBox(APage), "cbGlobalEmailField");
    lblGlobalSenderAddress = Named(new QLabel(APage), "lblGlobalSenderAddress");
    edtGlobalSenderAddress = Named(new QLineEdit(APage), "edtGlobalSenderAddress");
    lblGlobalEmailField->setBuddy(cbGlobalEmailField);
    lblGlobalSenderAddress->setBuddy(edtGlobalSenderAddress);
    layout->addRow(lblGlobalEmailField, cbGlobalEmailField);
    layout->addRow(lblGlobalSenderAddress, edtGlobalSenderAddress);
}

void TfrmPluginEmailMarketingGlobalSettings::BuildRegisterServicePage(QWidget* APage) {
    auto* layout = new QVBoxLayout(APage);
    cbGlobalRegisterServiceFilter = Named(new QCheckBox(APage), "cbGlobalRegisterServiceFilter");
    cbGlobalFetchRegisterServiceBeforeSent =
        Named(new QCheckBox(APage), "cbGlobalFetchRegisterServiceBeforeSent");
    VorlanaLinkLabel3 = Named(new hostapi::TVorlanaLinkLabel(APage), "VorlanaLinkLabel3");
    layout->addWidget(cbGlobalRegisterServiceFilter);
    layout->addWidget(cbGlobalFetchRegisterServiceBeforeSent);
    layout->addWidget(VorlanaLinkLabel3);
    layout->addStretch();
    connect(VorlanaLinkLabel3, &hostapi::TVorlanaLinkLabel::clicked, this,
            [this] { Guarded([this] { VorlanaLinkLabel3Click(); }); });
}

void TfrmPluginEmailMarketingGlobalSettings::BuildStatesPage(QWidget* APage) {
    auto* layout = new QVBoxLayout(APage);
    grpTemplStates = Named(new QGroupBox(APage), "grpTemplStates");
    auto* states = new QVBoxLayout(grpTemplStates);
    FStatesModel = new hostapi::QVDBTreeModel(&qvrsrTemplStates, QString(), this);
    FStatesModel->setObjectName(QStringLiteral("qvrsrTemplStatesModel"));
    QVDBTreeView1 = Named(new hostapi::QVDBTreeView(grpTemplStates), "QVDBTreeView1");
    states->addWidget(QVDBTreeView1);
    layout->addWidget(grpTemplStates, 1);
    auto* form = new QFormLayout;
    lblStateAfterCreate = Named(new QLabel(APage), "lblStateAfterCreate");
    cbStateAfterCreate = Named(new hostapi::QVDBLookupComboBox(APage), "cbStateAfterCreate");
    lblStateAfterSent = Named(new QLabel(APage), "lblStateAfterSent");
    cbStateAfterSent = Named(new hostapi::QVDBLookupComboBox(APage), "cbStateAfterSent");
    for (hostapi::QVDBLookupComboBox* combo : {cbStateAfterCreate, cbStateAfterSent})
        combo->SetLookup(QStringLiteral("emltemplstates"), QStringLiteral("id"), QStringLiteral("descr"));
    lblStateAfterCreate->setBuddy(cbStateAfterCreate);
    lblStateAfterSent->setBuddy(cbStateAfterSent);
    form->addRow(lblStateAfterCreate, cbStateAfterCreate);
    form->addRow(lblStateAfterSent, cbStateAfterSent);
    layout->addLayout(form);
    // A renamed state shows at once in the two choices.
    connect(FStatesModel, &QAbstractItemModel::dataChanged, this,
            [this] { Guarded([this] { RefreshStateCombos(); }); });
    connect(FStatesModel, &QAbstractItemModel::rowsInserted, this,
            [this] { Guarded([this] { RefreshStateCombos(); }); });
    connect(FStatesModel, &QAbstractItemModel::rowsRemoved, this,
            [this] { Guarded([this] { RefreshStateCombos(); }); });
}

void TfrmPluginEmailMarketingGlobalSettings::SetLanguage(const QString& ALangName) {
    hostapi::TPluginForm::SetLanguage(ALangName);
    FLang.SetLanguage(ALangName);
    QVDBTreeView1->SetLanguage(ALangName);
    ApplyTexts();
}

void TfrmPluginEmailMarketingGlobalSettings::ApplyTexts() {
    const auto t = [this](const char* AId) { return FLang.Text(QString::fromLatin1(AId)); };
    setWindowTitle(t("IDS_Caption"));
    pcMain->setTabText(pcMain->indexOf(tbsEmailserver), t("IDS_PageServer"));
    pcMain->setTabText(pcMain->indexOf(cxTabSheet5), t("IDS_PageSending"));
    pcMain->setTabText(pcMain->indexOf(tbsSMSProvider), t("IDS_PageSMSProvider"));
    pcMain->setTabText(pcMain->indexOf(cxTabSheet2), t("IDS_PageSender"));
    pcMain->setTabText(pcMain->indexOf(tbsRegisterService), t("IDS_PageRegisterService"));
    pcMain->setTabText(pcMain->indexOf(cxTabSheet1), t("IDS_PageStates"));
    grpServer->setTitle(t("IDS_GroupServer"));
    rbtnUseRelay->setText(t("IDS_UseRelay"));
    rbtnUseMailServer->setText(t("IDS_UseMailServer"));
    rbUseMAPI->setText(t("IDS_UseMAPI"));
    cbUseAuth->setText(t("IDS_UseAuth"));
    lblUserName->setText(t("IDS_UserName"));
    lblPassword->setText(t("IDS_Password"));
    nfoInternalMailServer->SetText(t("IDS_InfoInternalMailServer"));
    nfoblgMAPI->SetText(t("IDS_InfoMAPI"));
    grpDNSServer->setTitle(t("IDS_GroupDNSServer"));
    nfoDNSServer->SetText(t("IDS_InfoDNSServer"));
    cbUnitSend->setText(t("IDS_UnitSend"));
    lblUnitCount->setText(t("IDS_UnitCount"));
    lblSendThreads->setText(t("IDS_SendThreads"));
    lblSendThreadsNote->setText(t("IDS_SendThreadsNote"));
    lblUnitDelay->setText(t("IDS_UnitDelay"));
    lblUnitDelayMinutes->setText(t("IDS_Minutes"));
    cbThrottle->setText(t("IDS_Throttle"));
    cbChaotic->setText(t("IDS_Chaotic"));
    rbASPSMS->setText(QStringLiteral("&ASPSMS"));
    rbLOX24->setText(QStringLiteral("&LOX24"));
    lblASPSMSUserKey->setText(t("IDS_UserKey"));
    lblASPSMSPassword->setText(t("IDS_SMSPassword"));
    btnASPSMSCheckCredits->setText(t("IDS_CheckCredits"));
    lblLOX24Account->setText(t("IDS_LOX24Account"));
    lblLOX24Password->setText(t("IDS_LOX24Password"));
    lblLOX24APIID->setText(t("IDS_LOX24APIID"));
    btnLOX24CheckCredits->setText(t("IDS_CheckBalance"));
    VorlanaLinkLabel1->setText(t("IDS_ASPSMSRegister"));
    QVInfoBlock1->SetText(t("IDS_InfoASPSMS"));
    QVInfoBlock1->SetLinkText(t("IDS_ASPSMSHome"));
    VorlanaLinkLabel2->setText(t("IDS_LOX24Register"));
    QVInfoBlock2->SetText(t("IDS_InfoLOX24"));
    QVInfoBlock2->SetLinkText(t("IDS_LOX24Home"));
    lblGlobalEmailField->setText(t("IDS_GlobalEmailField"));
    lblGlobalSenderAddress->setText(t("IDS_GlobalSenderAddress"));
    cbGlobalRegisterServiceFilter->setText(t("IDS_RegisterServiceFilter"));
    cbGlobalFetchRegisterServiceBeforeSent->setText(t("IDS_FetchRegisterService"));
    VorlanaLinkLabel3->setText(t("IDS_ConfigureRegisterService"));
    grpTemplStates->setTitle(t("IDS_GroupStates"));
    lblStateAfterCreate->setText(t("IDS_StateAfterCreate"));
    lblStateAfterSent->setText(t("IDS_StateAfterSent"));
    FStatesModel->SetColumns({{QStringLiteral("id"), {}, t("IDS_ColumnID"), true},
                              {QStringLiteral("descr"), {}, t("IDS_ColumnDescr"), false}});
    // The server label follows the transport.
    const TServerPageState state = CurrentServerPageState();
    lblMailServer->setText(state.MailServerLabelId.isEmpty() ? QStringLiteral("Server:")
                                                             : FLang.Text(state.MailServerLabelId));
}

void TfrmPluginEmailMarketingGlobalSettings::Guarded(const std::function<void()>& AHandler) {
    hostapi::TVRNExceptionUtils::Guarded(AHandler);
}

// Loading -----------------------------------------------------------------------------------------

void TfrmPluginEmailMarketingGlobalSettings::AfterShow() {
    FLoaded = false;
    if (!AlreadyShown())
        pcMain->setTabVisible(pcMain->indexOf(tbsRegisterService),
                              DataModule().RegisterServicePlugin().Available());
    if (!pcMain->isTabVisible(pcMain->currentIndex())) {
        for (int i = 1; i <= pcMain->count(); ++i) {
            const int next = (pcMain->currentIndex() + i) % pcMain->count();
            if (pcMain->isTabVisible(next)) {
                pcMain->setCurrentIndex(next);
                break;
            }
        }
    }
    edtDNSServer->clear();
    edtDNSServer->addItems(hostapi::QueryNetworkSettings(DataModule().ResolvConfPath()).DNSServers);
    hostapi::TPluginForm::AfterShow();
    LoadSettings();
    FLoaded = true;
}

void TfrmPluginEmailMarketingGlobalSettings::FillReplyFields() {
    cbGlobalEmailField->clear();
    FFieldNames.clear();
    const hostapi::IDBFieldSchemaItem* schema =
        hostapi::TDBFieldSchema::Instance().SchemaByName(PelmarisPlugin->GetAddressSchema());
    if (!schema)
        return;
    for (int i = 0; i < schema->FieldCount(); ++i) {
        const hostapi::TDBFieldDef field = schema->Field(i);
        if (!field.HasFlag(hostapi::fftEmail))
            continue;
        cbGlobalEmailField->addItem(field.Caption);
        FFieldNames.append(field.Name);
    }
}

void TfrmPluginEmailMarketingGlobalSettings::LoadSettings() {
    TdmPluginEmailMarketingMain& dm = DataModule();
    hostapi::ISettingsStore& settings = GetSaveSettings();
    edtDNSServer->setCurrentText(dm.DNSServer());
    FillReplyFields();
    cbGlobalEmailField->setCurrentIndex(ReplyFieldIndex(FFieldNames, dm.GlobalReplyEmailAddressField()));
    edtGlobalSenderAddress->setText(dm.GlobalSenderEmail());
    qvrsrTemplStates.Close();
    qvrsrTemplStates.Open();
    FStatesModel->Refresh();
    if (QVDBTreeView1->TreeModel() != FStatesModel)
        QVDBTreeView1->SetTreeModel(FStatesModel);
    RefreshStateCombos();
    cbStateAfterSent->SetValue(dm.StateID_AfterSuccSend());
    cbStateAfterCreate->SetValue(dm.StateID_AfterCreate());
    const auto text = [&settings](const char* AKey) {
        return hostapi::StringDataToStr(settings.ReadString(Section, QString::fromLatin1(AKey)), true);
    };
    edtASPSMSUserKey->setText(text("ASPSMSUser"));
    edtASPSMSPassword->setText(text("ASPSMSPass"));
    edtLOX24Account->setText(text("LOX24ACC"));
    edtLOX24Password->setText(text("LOX24Pass"));
    edtLOX24APIID->setText(text("LOX24APIID"));
    const TSMSMessageSenderDevice sms = dm.GlobalSMSMessageSenderDevice();
    rbLOX24->setChecked(sms == smsdLOX24);
    rbASPSMS->setChecked(sms != smsdLOX24);
    const TMessageSenderDevice device = dm.GlobalMessageSenderDevice();
    rbtnUseRelay->setChecked(device == msdInternal);
    rbtnUseMailServer->setChecked(device == msdExtSMTP);
    rbUseMAPI->setChecked(device == msdMAPI);
    edtMailServer->setCurrentText(dm.GlobalMailServer());
    cbUseAuth->setChecked(dm.GlobalAuthentication());
    edtUserName->setText(dm.GlobalUserName());
    edtPassword->setText(dm.GlobalPassword());
    cbGlobalRegisterServiceFilter->setChecked(dm.GlobalRegisterServiceFilterEnabled());
    cbGlobalFetchRegisterServiceBeforeSent->setChecked(dm.GlobalFetchRegisterServiceBeforeSending());
    cbUnitSend->setChecked(dm.GlobalUnitSend());
    spinUnitCount->setValue(dm.GlobalUnitCount());
    spinSendThreads->setValue(dm.GlobalSendThreads());
    spinUnitDelay->setValue(dm.GlobalUnitDelay());
    cbThrottle->setChecked(dm.GlobalThrottle());
    cbChaotic->setChecked(dm.GlobalChaotic());
    SelectMailServer();
    switch (PageOfShowParams(ShowParams())) {
    case spEmailServer:
        pcMain->setCurrentWidget(tbsEmailserver);
        break;
    case spSMSProvider:
        pcMain->setCurrentWidget(tbsSMSProvider);
        break;
    case spNone:
        break;
    }
}

void TfrmPluginEmailMarketingGlobalSettings::RefreshStateCombos() {
    for (hostapi::QVDBLookupComboBox* combo : {cbStateAfterCreate, cbStateAfterSent}) {
        combo->SetEmptyEntry(true);
        combo->Refresh();
    }
}

// Saving ------------------------------------------------------------------------------------------

void TfrmPluginEmailMarketingGlobalSettings::FormClose() {
    hostapi::TPluginForm::FormClose();
    // Without a completed load the controls do not hold the stored values.
    if (!FLoaded)
        return;
    SaveSettings();
}

void TfrmPluginEmailMarketingGlobalSettings::SaveSettings() {
    TdmPluginEmailMarketingMain& dm = DataModule();
    hostapi::ISettingsStore& settings = GetSaveSettings();
    QStringList failures;
    // Every step runs; the ones that failed are named together afterwards.
    const auto step = [&failures](const std::function<void()>& AStep) {
        try {
            AStep();
        } catch (const std::exception& e) {
            failures.append(hostapi::TVRNExceptionUtils::Describe(e, {}).Message);
        }
    };
    const auto text = [&settings](const char* AKey, const QString& AValue) {
        settings.WriteString(Section, QString::fromLatin1(AKey), hostapi::StrToStringData(AValue));
    };
    step([&] { dm.SetDNSServer(edtDNSServer->currentText()); });
    step([&] {
        dm.SetGlobalReplyEmailAddressField(ReplyFieldAt(FFieldNames, cbGlobalEmailField->currentIndex()));
    });
    step([&] { dm.SetGlobalSenderEmail(edtGlobalSenderAddress->text()); });
    step([&] { dm.SetStateID_AfterSuccSend(StateIDOf(cbStateAfterSent->Value())); });
    step([&] { dm.SetStateID_AfterCreate(StateIDOf(cbStateAfterCreate->Value())); });
    step([&] { text("ASPSMSUser", edtASPSMSUserKey->text()); });
    step([&] { text("ASPSMSPass", edtASPSMSPassword->text()); });
    step([&] { text("LOX24ACC", edtLOX24Account->text()); });
    step([&] { text("LOX24Pass", edtLOX24Password->text()); });
    step([&] { text("LOX24APIID", edtLOX24APIID->text()); });
    step([&] { dm.SetGlobalSMSMessageSenderDevice(rbLOX24->isChecked() ? smsdLOX24 : smsdASPSMS); });
    step([&] { dm.SetGlobalMessageSenderDevice(GetSelectedSenderDevice()); });
    step([&] { dm.SetGlobalMailServer(edtMailServer->currentText()); });
    step([&] { dm.SetGlobalAuthentication(cbUseAuth->isChecked()); });
    step([&] { dm.SetGlobalUserName(edtUserName->text()); });
    step([&] { dm.SetGlobalPassword(edtPassword->text()); });
    step([&] { dm.SetGlobalRegisterServiceFilterEnabled(cbGlobalRegisterServiceFilter->isChecked()); });
    step([&] {
        dm.SetGlobalFetchRegisterServiceBeforeSending(cbGlobalFetchRegisterServiceBeforeSent->isChecked());
    });
    step([&] { dm.SetGlobalUnitSend(cbUnitSend->isChecked()); });
    step([&] { dm.SetGlobalUnitCount(spinUnitCount->value()); });
    step([&] { dm.SetGlobalSendThreads(spinSendThreads->value()); });
    step([&] { dm.SetGlobalUnitDelay(spinUnitDelay->value()); });
    step([&] { dm.SetGlobalThrottle(cbThrottle->isChecked()); });
    step([&] { dm.SetGlobalChaotic(cbChaotic->isChecked()); });
    if (!failures.isEmpty()) {
        failures.removeDuplicates();
        throw hostapi::EQVException(
            FLang.Text(QStringLiteral("IDS_SaveFailed")).arg(failures.join(QLatin1Char('\n'))));
    }
}

// Enabling rules ----------------------------------------------------------------------------------

TMessageSenderDevice TfrmPluginEmailMarketingGlobalSettings::GetSelectedSenderDevice() const {
    if (rbtnUseRelay->isChecked())
        return msdInternal;
    if (rbtnUseMailServer->isChecked())
        return msdExtSMTP;
    if (rbUseMAPI->isChecked())
        return msdMAPI;
    return msdExtSMTP;
}

TServerPageState TfrmPluginEmailMarketingGlobalSettings::CurrentServerPageState() const {
    const bool none =
        !rbtnUseRelay->isChecked() && !rbtnUseMailServer->isChecked() && !rbUseMAPI->isChecked();
    // The authentication box counts only while it can be used.
    return ServerPageState(GetSelectedSenderDevice(), none, cbUseAuth->isChecked() && cbUseAuth->isEnabled(),
                           cbUnitSend->isChecked());
}

void TfrmPluginEmailMarketingGlobalSettings::SelectMailServer() {
    const TServerPageState state = CurrentServerPageState();
    lblMailServer->setEnabled(state.MailServerEnabled);
    edtMailServer->setEnabled(state.MailServerEnabled);
    lblMailServer->setText(state.MailServerLabelId.isEmpty() ? QStringLiteral("Server:")
                                                             : FLang.Text(state.MailServerLabelId));
    cbUseAuth->setEnabled(state.UseAuthEnabled);
    nfoblgMAPI->setVisible(state.MAPIInfoVisible);
    nfoInternalMailServer->setVisible(state.InternalInfoVisible);
    cbUseAuthClick();
    cbUnitSendPropertiesEditValueChanged();
    FillMailServerList();
}

void TfrmPluginEmailMarketingGlobalSettings::cbUseAuthClick() {
    const TServerPageState state = CurrentServerPageState();
    edtUserName->setEnabled(state.UserNameEnabled);
    lblUserName->setEnabled(state.UserNameEnabled);
    edtPassword->setEnabled(state.PasswordEnabled);
    lblPassword->setEnabled(state.PasswordEnabled);
}

void TfrmPluginEmailMarketingGlobalSettings::cbUnitSendPropertiesEditValueChanged() {
    const TServerPageState state = CurrentServerPageState();
    for (QWidget* control : {static_cast<QWidget*>(spinUnitCount), static_cast<QWidget*>(lblUnitCount),
                             static_cast<QWidget*>(spinUnitDelay), static_cast<QWidget*>(lblUnitDelay),
                             static_cast<QWidget*>(cbThrottle)})
        control->setEnabled(state.UnitCountEnabled);
    spinSendThreads->setEnabled(state.SendThreadsEnabled);
    lblSendThreads->setEnabled(state.SendThreadsEnabled);
}

void TfrmPluginEmailMarketingGlobalSettings::FillMailServerList() {
    const QString text = edtMailServer->currentText();
    std::unique_ptr<TCustomMessageSender> sender = CreateMessageSender(GetSelectedSenderDevice(), {});
    QStringList servers;
    sender->FillServerList(servers);
    edtMailServer->clear();
    edtMailServer->addItems(servers);
    edtMailServer->setCurrentText(text);
}

// SMS gateways ------------------------------------------------------------------------------------

void TfrmPluginEmailMarketingGlobalSettings::btnASPSMSCheckCreditsClick() {
    QString text;
    {
        const TWaitCursor cursor;
        // A client per check: nothing of an earlier check (account, cancellation) carries over.
        ASPSMSSender = std::make_unique<TASPSMSSender>();
        ASPSMSSender->SetUserName(edtASPSMSUserKey->text());
        ASPSMSSender->SetPassword(edtASPSMSPassword->text());
        ASPSMSSender->SetBaseUrl(
            hostapi::StringDataToStr(GetSaveSettings().ReadString(Section, ASPSMSUrlSettingsKey()), true));
        text = CreditText(FLang.Text(QStringLiteral("IDS_SMSCRED")), ASPSMSSender->CheckCredits(),
                          hostapi::RegionalSettings::Locale());
    }
    // The answer is read with the normal cursor.
    hostapi::MessageDlg(text, hostapi::mtInformation, hostapi::mbOK);
}

void TfrmPluginEmailMarketingGlobalSettings::btnLOX24CheckCreditsClick() {
    hostapi::MessageDlg(
        FLang.Text(QStringLiteral("IDS_NOCREFORLOX")).arg(GatewayPage(GetSaveSettings(), gpLOX24Home)),
        hostapi::mtError, hostapi::mbOK);
}

void TfrmPluginEmailMarketingGlobalSettings::OpenGatewayPage(int APage) {
    hostapi::OpenUrl(GatewayPage(GetSaveSettings(), static_cast<TGatewayPage>(APage)));
}

void TfrmPluginEmailMarketingGlobalSettings::VorlanaLinkLabel1Click() {
    OpenGatewayPage(gpASPSMSRegistration);
}

void TfrmPluginEmailMarketingGlobalSettings::QVInfoBlock1LinkClick() {
    OpenGatewayPage(gpASPSMSHome);
}

void TfrmPluginEmailMarketingGlobalSettings::VorlanaLinkLabel2Click() {
    OpenGatewayPage(gpLOX24Registration);
}

void TfrmPluginEmailMarketingGlobalSettings::QVInfoBlock2LinkClick() {
    OpenGatewayPage(gpLOX24Home);
}

// Register service --------------------------------------------------------------------------------

void TfrmPluginEmailMarketingGlobalSettings::VorlanaLinkLabel3Click() {
    GetScreen().OpenPluginForm(
        QString::fromLatin1(hostapi::TRegisterServicePlugin::RegisterServiceModuleGUID), 0, QVariant());
}

} // namespace emailmarketing
