#include "frmEmailMarketingLists.h"

#include "DBFieldSchema.h"
#include "DialogService.h"
#include "EmailListItem.h"
#include "ExceptionDisplay.h"
#include "NamedObject.h"
#include "QVException.h"
#include "QVInfoBlock.h"
#include "QVSchemaFilterSave.h"
#include "RecipientSelection.h"
#include "ScreenService.h"
#include "dmPluginEmailMarketingMain.h"
#include "ListMacrosModel.h"
#include "frmDBListViewSearch.h"
#include "frmPluginEmailMarketingEditCondition.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QFrame>
#include <QToolButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace emailmarketing {

namespace {

TdmPluginEmailMarketingMain& Dm() {
    QV_ASSERT(dmPluginEmailMarketingMain);
    return *dmPluginEmailMarketingMain;
}

void SetChecks(QListWidget* AList, const QStringList& ANames) {
    for (int i = 0; i < AList->count(); ++i)
        AList->item(i)->setCheckState(
            ANames.contains(AList->item(i)->data(Qt::UserRole).toString()) ? Qt::Checked : Qt::Unchecked);
}

QStringList CheckedNames(const QListWidget* AList) {
    QStringList names;
    for (int i = 0; i < AList->count(); ++i)
        if (AList->item(i)->checkState() == Qt::Checked)
            names << AList->item(i)->data(Qt::UserRole).toString();
    return names;
}

void FillFields(QListWidget* AList, const QList<QPair<QString, QString>>& AFields) {
    for (const auto& field : AFields) {
        auto* item = new QListWidgetItem(field.second, AList);
        item->setData(Qt::UserRole, field.first);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

TMacroItem* MacroOf(const QListWidgetItem* AItem) {
    return AItem ? static_cast<TMacroItem*>(AItem->data(Qt::UserRole).value<void*>()) : nullptr;
}

void SelectValue(QComboBox* ACombo, int AValue) {
    ACombo->setCurrentIndex(ACombo->findData(AValue));
}

// The spin edit's value, or AShown when it still shows that value (clamped to its range).
int SpinValue(const QSpinBox* ASpin, int AShown) {
    const int displayed = qBound(ASpin->minimum(), AShown, ASpin->maximum());
    return ASpin->value() == displayed ? AShown : ASpin->value();
}

} // namespace

// Forwards the job list's notifications to the window while it exists.
class TfrmEmailMarketingLists::TJobNotifier : public IJobNotification {
public:
    explicit TJobNotifier(TfrmEmailMarketingLists* AForm) : FForm(AForm) {}
    void JobListChanged(TEmailSenderJobList&, TBaseEmailSender*, bool) override {
        hostapi::TVRNExceptionUtils::Guarded([this] { FForm->JobListChanged(); });
    }

private:
    TfrmEmailMarketingLists* FForm;
};

TfrmEmailMarketingLists::TfrmEmailMarketingLists(QWidget* AParent)
    : hostapi::TPluginForm(AParent), FLang(QStringLiteral("frmEmailMarketingLists")) {
    setObjectName(QStringLiteral("frmEmailMarketingLists"));
    FConEditForm = std::make_unique<TfrmPluginEmailMarketingEditCondition>();
    CreateControls();
    FillPriorities(cbPreparePriority);
    FillPriorities(cbSendPriority);
    ApplyTexts();
    PageControl->setCurrentIndex(0);
    FJobNotifier = std::make_shared<TJobNotifier>(this);
    Dm().Jobs().RegisterJobNotifyer(FJobNotifier);
    ShowList(nullptr);
    resize(900, 640);
}

TfrmEmailMarketingLists::~TfrmEmailMarketingLists() {
    delete FTestSend; // cancels a test send under way and waits for its thread
    FTestSend = nullptr;
    if (dmPluginEmailMarketingMain)
        dmPluginEmailMarketingMain->Jobs().UnRegisterJobNotifyer(FJobNotifier);
}

QFrame* TfrmEmailMarketingLists::NewToolBar(const char* AName) {
    auto* bar = new QFrame(this);
    bar->setObjectName(QString::fromLatin1(AName));
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    return bar;
}

QToolButton* TfrmEmailMarketingLists::AddToolButton(QFrame* ABar, const char* AName) {
    auto* button = new QToolButton(ABar);
    button->setObjectName(QString::fromLatin1(AName));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ABar->layout()->addWidget(button);
    return button;
}

void TfrmEmailMarketingLists::InitializeUIState(const hostapi::IScreenService& AScreen) {
    hostapi::TPluginForm::InitializeUIState(AScreen);
    FToolBarsShown = !AScreen.HidesWindowToolBars();
    tbMenu->setVisible(FToolBarsShown);
    UpdateConditionButtons();
}

void TfrmEmailMarketingLists::CreateControls() {
    tbMenu = NewToolBar("Menu");
    btnNewList = AddToolButton(tbMenu, "btnNewList");
    btnDeleteList = AddToolButton(tbMenu, "btnDeleteList");
    cxLVLists = new QListWidget(this);
    Named(cxLVLists, "cxLVLists");
    cxLVLists->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked);
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(cxLVLists);

    lblNoCfg = new QLabel(this);
    Named(lblNoCfg, "lblNoCfg");
    lblNoCfg->setAlignment(Qt::AlignCenter);
    lblNoCfg->setWordWrap(true);
    PageControl = new QTabWidget(this);
    Named(PageControl, "PageControl");

    // "Empfänger"
    auto* recipients = new QWidget;
    lblTableName = new QLabel;
    cbTableName = new QComboBox;
    Named(cbTableName, "cbTableName");
    lblEmailFields = new QLabel;
    cxCBEmailFields = new QListWidget;
    Named(cxCBEmailFields, "cxCBEmailFields");
    lblEmailFieldsMob = new QLabel;
    cxCBEmailFieldsMob = new QListWidget;
    Named(cxCBEmailFieldsMob, "cxCBEmailFieldsMob");
    for (QListWidget* list : {cxCBEmailFields, cxCBEmailFieldsMob})
        list->setMaximumHeight(90);
    grpRegisterService = new QGroupBox;
    Named(grpRegisterService, "grpRegisterService");
    cbRegisterServiceFilter = new QCheckBox;
    Named(cbRegisterServiceFilter, "cbRegisterServiceFilter");
    cbFetchRegisterServiceBeforeSent = new QCheckBox;
    Named(cbFetchRegisterServiceBeforeSent, "cbFetchRegisterServiceBeforeSent");
    cbUseGlobalRegisterService = new QCheckBox;
    Named(cbUseGlobalRegisterService, "cbUseGlobalRegisterService");
    VorlanaLinkLabel1 = new QLabel;
    Named(VorlanaLinkLabel1, "VorlanaLinkLabel1");
    auto* rsLayout = new QVBoxLayout(grpRegisterService);
    rsLayout->addWidget(cbUseGlobalRegisterService);
    rsLayout->addWidget(cbRegisterServiceFilter);
    rsLayout->addWidget(cbFetchRegisterServiceBeforeSent);
    rsLayout->addWidget(VorlanaLinkLabel1);
    grpSelection = new QGroupBox;
    Named(grpSelection, "grpSelection");
    FFilterForm = new hostapi::TfrmDBListViewSearch(grpSelection);
    auto* selLayout = new QVBoxLayout(grpSelection);
    selLayout->addWidget(FFilterForm);
    auto* fieldsLayout = new QGridLayout;
    fieldsLayout->addWidget(lblTableName, 0, 0);
    fieldsLayout->addWidget(cbTableName, 0, 1);
    fieldsLayout->addWidget(lblEmailFields, 1, 0, Qt::AlignTop);
    fieldsLayout->addWidget(cxCBEmailFields, 1, 1);
    fieldsLayout->addWidget(lblEmailFieldsMob, 2, 0, Qt::AlignTop);
    fieldsLayout->addWidget(cxCBEmailFieldsMob, 2, 1);
    lblTableName->setBuddy(cbTableName);
    lblEmailFields->setBuddy(cxCBEmailFields);
    lblEmailFieldsMob->setBuddy(cxCBEmailFieldsMob);
    auto* topLayout = new QHBoxLayout;
    topLayout->addLayout(fieldsLayout, 1);
    topLayout->addWidget(grpRegisterService, 1);
    auto* recLayout = new QVBoxLayout(recipients);
    recLayout->addLayout(topLayout);
    recLayout->addWidget(grpSelection, 1);
    PageControl->addTab(recipients, QString());

    // "Absender"
    auto* sender = new QWidget;
    cbUseGlobalAddress = new QCheckBox;
    Named(cbUseGlobalAddress, "cbUseGlobalAddress");
    lblSenderName = new QLabel;
    edtSenderName = new QLineEdit;
    Named(edtSenderName, "edtSenderName");
    lblSenderEmail = new QLabel;
    edtSenderEmail = new QLineEdit;
    Named(edtSenderEmail, "edtSenderEmail");
    lblReplyToEmail = new QLabel;
    edtReplyToEmail = new QLineEdit;
    Named(edtReplyToEmail, "edtReplyToEmail");
    auto* senderLayout = new QFormLayout(sender);
    senderLayout->addRow(cbUseGlobalAddress);
    senderLayout->addRow(lblSenderName, edtSenderName);
    senderLayout->addRow(lblSenderEmail, edtSenderEmail);
    senderLayout->addRow(lblReplyToEmail, edtReplyToEmail);
    PageControl->addTab(sender, QString());

    // "Server"
    auto* server = new QWidget;
    cbUseGlobalMailServer = new QCheckBox;
    Named(cbUseGlobalMailServer, "cbUseGlobalMailServer");
    rbtnUseRelay = new QRadioButton;
    Named(rbtnUseRelay, "rbtnUseRelay");
    rbtnUseMailServer = new QRadioButton;
    Named(rbtnUseMailServer, "rbtnUseMailServer");
    rbUseMAPI = new QRadioButton;
    Named(rbUseMAPI, "rbUseMAPI");
    lblMailServer = new QLabel;
    Named(lblMailServer, "lblMailServer");
    edtMailServer = new QComboBox;
    Named(edtMailServer, "edtMailServer");
    edtMailServer->setEditable(true);
    cbUseAuth = new QCheckBox;
    Named(cbUseAuth, "cbUseAuth");
    lblUserName = new QLabel;
    edtUserName = new QLineEdit;
    Named(edtUserName, "edtUserName");
    lblPassword = new QLabel;
    edtPassword = new QLineEdit;
    Named(edtPassword, "edtPassword");
    edtPassword->setEchoMode(QLineEdit::Password);
    auto* mailGroup = new QGroupBox;
    auto* mailLayout = new QFormLayout(mailGroup);
    mailLayout->addRow(cbUseGlobalMailServer);
    mailLayout->addRow(rbtnUseRelay);
    mailLayout->addRow(rbtnUseMailServer);
    mailLayout->addRow(rbUseMAPI);
    mailLayout->addRow(lblMailServer, edtMailServer);
    nfoblgMAPI = new hostapi::TQVInfoBlock;
    Named(nfoblgMAPI, "nfoblgMAPI");
    mailLayout->addRow(nfoblgMAPI);
    mailLayout->addRow(cbUseAuth);
    mailLayout->addRow(lblUserName, edtUserName);
    mailLayout->addRow(lblPassword, edtPassword);
    grpSMS = new QGroupBox;
    cbUseGlobalSMSProvider = new QCheckBox;
    Named(cbUseGlobalSMSProvider, "cbUseGlobalSMSProvider");
    rbAPSSMS = new QRadioButton;
    Named(rbAPSSMS, "rbAPSSMS");
    rbLOX24 = new QRadioButton;
    Named(rbLOX24, "rbLOX24");
    auto* smsLayout = new QVBoxLayout(grpSMS);
    smsLayout->addWidget(cbUseGlobalSMSProvider);
    smsLayout->addWidget(rbAPSSMS);
    smsLayout->addWidget(rbLOX24);
    btnCheckSent = new QPushButton;
    Named(btnCheckSent, "btnCheckSent");
    lblTest = new QLabel;
    Named(lblTest, "lblTest");
    lblTest->hide();
    auto* testLayout = new QHBoxLayout;
    testLayout->addWidget(btnCheckSent);
    testLayout->addWidget(lblTest);
    testLayout->addStretch();
    mailLayout->addRow(testLayout);
    auto* serverLayout = new QVBoxLayout(server);
    serverLayout->addWidget(mailGroup);
    serverLayout->addWidget(grpSMS);
    serverLayout->addStretch();
    PageControl->addTab(server, QString());

    // "Versand"
    auto* send = new QWidget;
    grpSendSettings = new QGroupBox(send);
    Named(grpSendSettings, "grpSendSettings");
    cbUseGlobalSendSettings = new QCheckBox;
    Named(cbUseGlobalSendSettings, "cbUseGlobalSendSettings");
    cbUnitSend = new QCheckBox;
    Named(cbUnitSend, "cbUnitSend");
    lblUnitCount = new QLabel;
    spinUnitCount = new QSpinBox;
    Named(spinUnitCount, "spinUnitCount");
    spinUnitCount->setRange(1, INT_MAX);
    lblSendThreads = new QLabel;
    spinSendThreads = new QSpinBox;
    Named(spinSendThreads, "spinSendThreads");
    spinSendThreads->setRange(1, INT_MAX);
    lblThreadsHint = new QLabel;
    lblThreadsHint->setWordWrap(true);
    lblUnitDelay = new QLabel;
    spinUnitDelay = new QSpinBox;
    Named(spinUnitDelay, "spinUnitDelay");
    spinUnitDelay->setRange(0, INT_MAX);
    cbThrottle = new QCheckBox;
    Named(cbThrottle, "cbThrottle");
    cbChaotic = new QCheckBox;
    Named(cbChaotic, "cbChaotic");
    lblPreparePriority = new QLabel;
    cbPreparePriority = new QComboBox;
    Named(cbPreparePriority, "cbPreparePriority");
    lblSendPriority = new QLabel;
    cbSendPriority = new QComboBox;
    Named(cbSendPriority, "cbSendPriority");
    auto* sendLayout = new QFormLayout(grpSendSettings);
    sendLayout->addRow(cbUseGlobalSendSettings);
    sendLayout->addRow(cbUnitSend);
    sendLayout->addRow(lblUnitCount, spinUnitCount);
    sendLayout->addRow(lblSendThreads, spinSendThreads);
    sendLayout->addRow(QString(), lblThreadsHint);
    sendLayout->addRow(lblUnitDelay, spinUnitDelay);
    sendLayout->addRow(cbThrottle);
    sendLayout->addRow(cbChaotic);
    sendLayout->addRow(lblPreparePriority, cbPreparePriority);
    sendLayout->addRow(lblSendPriority, cbSendPriority);
    auto* sendPageLayout = new QVBoxLayout(send);
    sendPageLayout->addWidget(grpSendSettings);
    sendPageLayout->addStretch();
    PageControl->addTab(send, QString());

    auto* macros = new QWidget;
    CreateMacroControls(macros);
    PageControl->addTab(macros, QString());

    for (const auto& [label, buddy] :
         std::initializer_list<std::pair<QLabel*, QWidget*>>{{lblSenderName, edtSenderName},
                                                             {lblSenderEmail, edtSenderEmail},
                                                             {lblReplyToEmail, edtReplyToEmail},
                                                             {lblMailServer, edtMailServer},
                                                             {lblUserName, edtUserName},
                                                             {lblPassword, edtPassword},
                                                             {lblUnitCount, spinUnitCount},
                                                             {lblSendThreads, spinSendThreads},
                                                             {lblUnitDelay, spinUnitDelay},
                                                             {lblPreparePriority, cbPreparePriority},
                                                             {lblSendPriority, cbSendPriority}})
        label->setBuddy(buddy);

    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(lblNoCfg);
    rightLayout->addWidget(PageControl, 1);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({160, 740});
    auto* bars = new QHBoxLayout;
    bars->addWidget(tbMenu);
    bars->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bars);
    layout->addWidget(splitter);

    using hostapi::TVRNExceptionUtils;
    const auto guarded = [this](void (TfrmEmailMarketingLists::*AHandler)()) {
        return [this, AHandler] { TVRNExceptionUtils::Guarded([this, AHandler] { (this->*AHandler)(); }); };
    };
    connect(btnNewList, &QToolButton::clicked, this, guarded(&TfrmEmailMarketingLists::btnNewListClick));
    connect(btnDeleteList, &QToolButton::clicked, this,
            guarded(&TfrmEmailMarketingLists::btnDeleteListClick));
    connect(btnCheckSent, &QPushButton::clicked, this, guarded(&TfrmEmailMarketingLists::btnCheckSentClick));
    connect(VorlanaLinkLabel1, &QLabel::linkActivated, this,
            guarded(&TfrmEmailMarketingLists::VorlanaLinkLabel1Click));
    connect(cxLVLists, &QListWidget::currentItemChanged, this,
            guarded(&TfrmEmailMarketingLists::cxLVListsSelectItem));
    connect(cxLVLists, &QListWidget::itemChanged, this, [this](QListWidgetItem* AItem) {
        TVRNExceptionUtils::Guarded([this, AItem] { cxLVListsChange(AItem); });
    });
    connect(cbTableName, &QComboBox::activated, this, guarded(&TfrmEmailMarketingLists::cbTableNameChange));
    connect(PageControl, &QTabWidget::currentChanged, this,
            guarded(&TfrmEmailMarketingLists::UpdateMacroButtons));
    connect(cxQVPCMacros, &QTabWidget::currentChanged, this,
            guarded(&TfrmEmailMarketingLists::UpdateMacroButtons));
    for (QListWidget* view : {cxLVUserMacros, cxLVTableMacros})
        connect(view, &QListWidget::currentItemChanged, this, [this, view] {
            TVRNExceptionUtils::Guarded([this, view] {
                if (view == ActiveMacroView())
                    cxLVUserMacrosSelectItem();
            });
        });
    connect(edtMacroTitle, &QLineEdit::textEdited, this, [this](const QString& AText) {
        TVRNExceptionUtils::Guarded([this, AText] { edtMacroTitleChange(AText); });
    });
    connect(cxLVConditions, &QTreeWidget::currentItemChanged, this,
            guarded(&TfrmEmailMarketingLists::UpdateConditionButtons));
    connect(cxLVConditions, &QTreeWidget::itemDoubleClicked, this,
            guarded(&TfrmEmailMarketingLists::btnEditConditionClick));
    for (const auto& [button, handler] :
         std::initializer_list<std::pair<QToolButton*, void (TfrmEmailMarketingLists::*)()>>{
             {btnAddMacro, &TfrmEmailMarketingLists::btnAddMacroClick},
             {btnDeleteMacro, &TfrmEmailMarketingLists::btnDeleteMacroClick},
             {btnAddTableMacro, &TfrmEmailMarketingLists::btnAddTableMacroClick},
             {btnDeleteTableMacro, &TfrmEmailMarketingLists::btnDeleteTableMacroClick},
             {btnAddCondition, &TfrmEmailMarketingLists::btnAddConditionClick},
             {btnEditCondition, &TfrmEmailMarketingLists::btnEditConditionClick},
             {btnDeleteCondition, &TfrmEmailMarketingLists::btnDeleteConditionClick}})
        connect(button, &QToolButton::clicked, this, guarded(handler));
    for (QListWidget* list : {cxCBEmailFields, cxCBEmailFieldsMob})
        connect(list, &QListWidget::itemChanged, this, guarded(&TfrmEmailMarketingLists::EditChange));
    for (QLineEdit* edit : {edtSenderName, edtSenderEmail, edtReplyToEmail, edtUserName, edtPassword})
        connect(edit, &QLineEdit::textEdited, this, guarded(&TfrmEmailMarketingLists::EditChange));
    connect(edtMailServer, &QComboBox::editTextChanged, this, guarded(&TfrmEmailMarketingLists::EditChange));
    for (QSpinBox* spin : {spinUnitCount, spinSendThreads, spinUnitDelay})
        connect(spin, &QSpinBox::valueChanged, this, guarded(&TfrmEmailMarketingLists::EditChange));
    for (QComboBox* combo : {cbPreparePriority, cbSendPriority})
        connect(combo, &QComboBox::activated, this, guarded(&TfrmEmailMarketingLists::EditChange));
    for (QCheckBox* box : {cbRegisterServiceFilter, cbFetchRegisterServiceBeforeSent, cbThrottle, cbChaotic})
        connect(box, &QCheckBox::toggled, this, guarded(&TfrmEmailMarketingLists::EditChange));
    // Boxes and buttons that govern others: an edit, then the enabling rules.
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             cbUseGlobalRegisterService, cbUseGlobalAddress, cbUseGlobalMailServer, rbtnUseRelay,
             rbtnUseMailServer, rbUseMAPI, cbUseAuth, cbUseGlobalSMSProvider, rbAPSSMS, rbLOX24,
             cbUseGlobalSendSettings, cbUnitSend}) {
        connect(button, &QAbstractButton::toggled, this, [this] {
            TVRNExceptionUtils::Guarded([this] {
                EditChange();
                UpdateEnabling();
            });
        });
    }
}

void TfrmEmailMarketingLists::CreateMacroControls(QWidget* APage) {
    cxQVPCMacros = Named(new QTabWidget, "cxQVPCMacros");
    cxLVUserMacros = Named(new QListWidget, "cxLVUserMacros");
    cxLVTableMacros = Named(new QListWidget, "cxLVTableMacros");
    tbListMacros = NewToolBar("List-macros");
    btnAddMacro = AddToolButton(tbListMacros, "btnAddMacro");
    btnDeleteMacro = AddToolButton(tbListMacros, "btnDeleteMacro");
    tbGlobalMacros = NewToolBar("Global-macros");
    btnAddTableMacro = AddToolButton(tbGlobalMacros, "btnAddTableMacro");
    btnDeleteTableMacro = AddToolButton(tbGlobalMacros, "btnDeleteTableMacro");
    tbMacroSettings = NewToolBar("Macro-settings");
    cxQVPCMacros->addTab(cxLVUserMacros, QString());
    cxQVPCMacros->addTab(cxLVTableMacros, QString());
    cxQVPCMacros->setUsesScrollButtons(false); // both page names in full
    cxQVPCMacros->setElideMode(Qt::ElideNone);
    auto* left = new QVBoxLayout;
    left->addWidget(cxQVPCMacros, 1);

    lblMacroTitle = new QLabel;
    edtMacroTitle = Named(new QLineEdit, "edtMacroTitle");
    lblMacroTitle->setBuddy(edtMacroTitle);
    lblConditions = new QLabel;
    cxLVConditions = Named(new QTreeWidget, "cxLVConditions");
    cxLVConditions->setRootIsDecorated(false);
    cxLVConditions->setEditTriggers(QAbstractItemView::NoEditTriggers);
    cxLVConditions->setColumnCount(4);
    for (int column = 0; column < 3; ++column)
        cxLVConditions->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    cxLVConditions->header()->setStretchLastSection(true);
    lblConditions->setBuddy(cxLVConditions);
    btnAddCondition = AddToolButton(tbMacroSettings, "btnAddCondition");
    btnEditCondition = AddToolButton(tbMacroSettings, "btnEditCondition");
    btnDeleteCondition = AddToolButton(tbMacroSettings, "btnDeleteCondition");
    auto* title = new QHBoxLayout;
    title->addWidget(lblMacroTitle);
    title->addWidget(edtMacroTitle, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(title);
    right->addWidget(lblConditions);
    right->addWidget(cxLVConditions, 1);

    auto* bars = new QHBoxLayout;
    for (QFrame* bar : {tbListMacros, tbGlobalMacros, tbMacroSettings})
        bars->addWidget(bar);
    bars->addStretch();
    auto* views = new QHBoxLayout;
    views->addLayout(left, 1);
    views->addLayout(right, 2);
    auto* layout = new QVBoxLayout(APage);
    layout->addLayout(bars);
    layout->addLayout(views, 1);
}

void TfrmEmailMarketingLists::FillPriorities(QComboBox* ACombo) {
    ACombo->clear();
    for (int value = 0; value <= 6; ++value)
        ACombo->addItem(FLang.Text(QStringLiteral("IDS_PR%1").arg(value)), value);
}

void TfrmEmailMarketingLists::ApplyTexts() {
    const auto t = [this](const char* AId) { return FLang.Text(QString::fromLatin1(AId)); };
    setWindowTitle(t("IDS_Caption"));
    btnNewList->setText(t("IDS_NewList"));
    btnDeleteList->setText(t("IDS_DeleteList"));
    btnCheckSent->setText(t("IDS_CheckSent"));
    lblTest->setText(t("IDS_TestRunning"));
    PageControl->setTabText(0, t("IDS_TabRecipients"));
    PageControl->setTabText(1, t("IDS_TabSender"));
    PageControl->setTabText(2, t("IDS_TabServer"));
    PageControl->setTabText(3, t("IDS_TabSend"));
    PageControl->setTabText(4, t("IDS_TabMacros"));
    cxQVPCMacros->setTabText(ListMacrosModel::mpListMacros, t("IDS_ListMacros"));
    cxQVPCMacros->setTabText(ListMacrosModel::mpGeneralMacros, t("IDS_GeneralMacros"));
    btnAddMacro->setText(t("IDS_AddMacro"));
    btnDeleteMacro->setText(t("IDS_DeleteMacro"));
    btnAddTableMacro->setText(t("IDS_AddMacro"));
    btnDeleteTableMacro->setText(t("IDS_DeleteMacro"));
    lblMacroTitle->setText(t("IDS_MacroTitle"));
    lblConditions->setText(t("IDS_Conditions"));
    cxLVConditions->setHeaderLabels(
        {t("IDS_ColValue1"), t("IDS_ColCondition"), t("IDS_ColValue2"), t("IDS_ColResult")});
    btnAddCondition->setText(t("IDS_AddCondition"));
    btnEditCondition->setText(t("IDS_EditCondition"));
    btnDeleteCondition->setText(t("IDS_DeleteCondition"));
    lblTableName->setText(t("IDS_TableName"));
    lblEmailFields->setText(t("IDS_EmailFields"));
    lblEmailFieldsMob->setText(t("IDS_EmailFieldsMob"));
    grpRegisterService->setTitle(t("IDS_RegisterService"));
    cbRegisterServiceFilter->setText(t("IDS_RegisterServiceFilter"));
    cbFetchRegisterServiceBeforeSent->setText(t("IDS_FetchRegisterService"));
    cbUseGlobalRegisterService->setText(t("IDS_UseGlobalRegisterService"));
    VorlanaLinkLabel1->setText(
        QStringLiteral("<a href=\"config\">%1</a>").arg(t("IDS_ConfigureRegisterService")));
    grpSelection->setTitle(t("IDS_Selection"));
    cbUseGlobalAddress->setText(t("IDS_UseGlobalAddress"));
    lblSenderName->setText(t("IDS_SenderName"));
    lblSenderEmail->setText(t("IDS_SenderEmail"));
    lblReplyToEmail->setText(t("IDS_ReplyToEmail"));
    cbUseGlobalMailServer->setText(t("IDS_UseGlobalMailServer"));
    rbtnUseRelay->setText(t("IDS_UseRelay"));
    rbtnUseMailServer->setText(t("IDS_UseMailServer"));
    rbUseMAPI->setText(t("IDS_UseMAPI"));
    cbUseAuth->setText(t("IDS_UseAuth"));
    nfoblgMAPI->SetText(t("IDS_InfoMAPI"));
    lblUserName->setText(t("IDS_UserName"));
    lblPassword->setText(t("IDS_Password"));
    grpSMS->setTitle(t("IDS_SMSProvider"));
    cbUseGlobalSMSProvider->setText(t("IDS_UseGlobalSMSProvider"));
    rbAPSSMS->setText(t("IDS_ASPSMS"));
    rbLOX24->setText(t("IDS_LOX24"));
    grpSendSettings->setTitle(t("IDS_SendSettings"));
    cbUseGlobalSendSettings->setText(t("IDS_UseGlobalSendSettings"));
    cbUnitSend->setText(t("IDS_UnitSend"));
    lblUnitCount->setText(t("IDS_UnitCount"));
    lblSendThreads->setText(t("IDS_SendThreads"));
    lblThreadsHint->setText(t("IDS_ThreadsHint"));
    lblUnitDelay->setText(t("IDS_UnitDelay"));
    spinUnitDelay->setSuffix(QLatin1Char(' ') + t("IDS_Minutes"));
    cbThrottle->setText(t("IDS_Throttle"));
    cbChaotic->setText(t("IDS_Chaotic"));
    lblPreparePriority->setText(t("IDS_PreparePriority"));
    lblSendPriority->setText(t("IDS_SendPriority"));
    for (QComboBox* combo : {cbPreparePriority, cbSendPriority})
        for (int i = 0; i < combo->count(); ++i)
            combo->setItemText(i, FLang.Text(QStringLiteral("IDS_PR%1").arg(combo->itemData(i).toInt())));
    UpdateEnabling();
}

void TfrmEmailMarketingLists::SetLanguage(const QString& ALangName) {
    hostapi::TPluginForm::SetLanguage(ALangName);
    FLang.SetLanguage(ALangName);
    FFilterForm->SetLanguage(ALangName);
    FConEditForm->SetLanguage(ALangName);
    ApplyTexts();
    UpdateListState();
    UpdateMacroButtons(); // condition lines in the new language
}

void TfrmEmailMarketingLists::FillTableNames() {
    QList<const hostapi::IDBFieldSchemaItem*> schemas;
    const hostapi::TDBFieldSchema& fieldSchema = hostapi::TDBFieldSchema::Instance();
    for (const QString& name : fieldSchema.SchemaNames())
        schemas << fieldSchema.SchemaByName(name);
    cbTableName->clear();
    for (const EmailListFormModel::TTableChoice& choice : EmailListFormModel::TableChoices(schemas))
        cbTableName->addItem(choice.Caption, choice.SchemaName);
}

void TfrmEmailMarketingLists::FillListView() {
    FShowing = true;
    cxLVLists->clear();
    FItemLists.clear();
    for (int i = 0; i < Dm().Count(); ++i) {
        std::shared_ptr<TEmailListItem> list = Dm().GetEMailList(i);
        auto* item = new QListWidgetItem(list->Name(), cxLVLists);
        if (list->IsUserDefined())
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        FItemLists.insert(item, list);
    }
    FShowing = false;
}

std::shared_ptr<TEmailListItem> TfrmEmailMarketingLists::ListOf(QListWidgetItem* AItem) const {
    return AItem ? FItemLists.value(AItem) : nullptr;
}

void TfrmEmailMarketingLists::AfterShow() {
    hostapi::TPluginForm::AfterShow();
    if (!AlreadyShown()) {
        FillTableNames();
        grpRegisterService->setVisible(Dm().RegisterServicePlugin().Available());
    } else {
        Dm().ResetGlobalAddressData();
    }
    Dm().Count(); // loads the cache when due
    if (!FLastLoaded.isValid() || Dm().LastLoaded() > FLastLoaded) {
        FLastLoaded = Dm().LastLoaded();
        FCurrentEmailList = nullptr;
        FillListView();
    }
    if (Dm().PreloadEmailList() >= 0) {
        for (auto it = FItemLists.cbegin(); it != FItemLists.cend(); ++it)
            if (it.value()->IDValue() == Dm().PreloadEmailList()) {
                FShowing = true;
                cxLVLists->setCurrentItem(it.key());
                FShowing = false;
            }
        Dm().SetPreloadEmailList(-1);
    }
    cxLVListsSelectItem();
}

void TfrmEmailMarketingLists::FormClose() {
    StoreList();
    Dm().Save();
    // the saved macros carry their ids: edits go on from them
    TakeListMacros();
    TakeSchemaMacros(FSchemaMacrosName);
    UpdateMacroButtons();
}

void TfrmEmailMarketingLists::cxLVListsSelectItem() {
    if (FShowing)
        return;
    StoreList();
    FCurrentEmailList = ListOf(cxLVLists->currentItem());
    ShowList(FCurrentEmailList);
}

void TfrmEmailMarketingLists::cxLVListsChange(QListWidgetItem* AItem) {
    if (FShowing)
        return;
    const std::shared_ptr<TEmailListItem> list = ListOf(AItem);
    if (!list || list->Name() == AItem->text())
        return;
    if (!list->IsUserDefined()) {
        // a provider's list keeps the name its module gives it
        FShowing = true;
        AItem->setText(list->Name());
        FShowing = false;
        return;
    }
    list->SetName(AItem->text());
    list->SetChanged(true);
    FSettingsChanged = true;
}

void TfrmEmailMarketingLists::EditChange() {
    if (!FShowing)
        FSettingsChanged = true;
}

int TfrmEmailMarketingLists::SelectedDevice() const {
    if (rbtnUseRelay->isChecked())
        return msdInternal;
    if (rbtnUseMailServer->isChecked())
        return msdExtSMTP;
    if (rbUseMAPI->isChecked())
        return msdMAPI;
    return -1;
}

EmailListFormModel::TForm TfrmEmailMarketingLists::ReadForm() const {
    EmailListFormModel::TForm form;
    form.SectionName = cbTableName->currentData().toString();
    form.EmailFields = CheckedNames(cxCBEmailFields);
    form.MobileFields = CheckedNames(cxCBEmailFieldsMob);
    form.UseGlobalRegisterService = cbUseGlobalRegisterService->isChecked();
    form.RegisterServiceFilterEnabled = cbRegisterServiceFilter->isChecked();
    form.FetchRegisterServiceBeforeSending = cbFetchRegisterServiceBeforeSent->isChecked();
    form.UseGlobalAddress = cbUseGlobalAddress->isChecked();
    form.SenderName = edtSenderName->text();
    form.SenderEmail = edtSenderEmail->text();
    form.ReplyToEmail = edtReplyToEmail->text();
    form.UseGlobalMailServer = cbUseGlobalMailServer->isChecked();
    form.Device = SelectedDevice();
    form.MailServer = edtMailServer->currentText();
    form.SendAuthentication = cbUseAuth->isChecked();
    form.SendUserName = edtUserName->text();
    form.SendPassword = edtPassword->text();
    form.UseGlobalSMSProvider = cbUseGlobalSMSProvider->isChecked();
    form.SMSDevice = rbAPSSMS->isChecked() ? smsdASPSMS : rbLOX24->isChecked() ? smsdLOX24 : -1;
    form.UseGlobalSendSettings = cbUseGlobalSendSettings->isChecked();
    form.SendPerUnits = cbUnitSend->isChecked();
    form.MailsPerUnit = SpinValue(spinUnitCount, FShownForm.MailsPerUnit);
    form.SendThreads = SpinValue(spinSendThreads, FShownForm.SendThreads);
    form.UnitDelay = SpinValue(spinUnitDelay, FShownForm.UnitDelay);
    form.Throttle = cbThrottle->isChecked();
    form.Chaotic = cbChaotic->isChecked();
    form.SendPriority = cbSendPriority->currentData().isValid() ? cbSendPriority->currentData().toInt() : -1;
    form.PreparePriority =
        cbPreparePriority->currentData().isValid() ? cbPreparePriority->currentData().toInt() : -1;
    return form;
}

void TfrmEmailMarketingLists::SetForm(const EmailListFormModel::TForm& AForm) {
    FShownForm = AForm;
    cbUseGlobalRegisterService->setChecked(AForm.UseGlobalRegisterService);
    cbRegisterServiceFilter->setChecked(AForm.RegisterServiceFilterEnabled);
    cbFetchRegisterServiceBeforeSent->setChecked(AForm.FetchRegisterServiceBeforeSending);
    cbUseGlobalAddress->setChecked(AForm.UseGlobalAddress);
    edtSenderName->setText(AForm.SenderName);
    edtSenderEmail->setText(AForm.SenderEmail);
    edtReplyToEmail->setText(AForm.ReplyToEmail);
    cbUseGlobalMailServer->setChecked(AForm.UseGlobalMailServer);
    // exclusive radio buttons cannot be unchecked one by one
    for (QRadioButton* button : {rbtnUseRelay, rbtnUseMailServer, rbUseMAPI, rbAPSSMS, rbLOX24}) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
    rbtnUseRelay->setChecked(AForm.Device == msdInternal);
    rbtnUseMailServer->setChecked(AForm.Device == msdExtSMTP);
    rbUseMAPI->setChecked(AForm.Device == msdMAPI);
    edtMailServer->setEditText(AForm.MailServer);
    cbUseAuth->setChecked(AForm.SendAuthentication);
    edtUserName->setText(AForm.SendUserName);
    edtPassword->setText(AForm.SendPassword);
    cbUseGlobalSMSProvider->setChecked(AForm.UseGlobalSMSProvider);
    rbAPSSMS->setChecked(AForm.SMSDevice == smsdASPSMS);
    rbLOX24->setChecked(AForm.SMSDevice == smsdLOX24);
    cbUseGlobalSendSettings->setChecked(AForm.UseGlobalSendSettings);
    cbUnitSend->setChecked(AForm.SendPerUnits);
    spinUnitCount->setValue(AForm.MailsPerUnit);
    spinSendThreads->setValue(AForm.SendThreads);
    spinUnitDelay->setValue(AForm.UnitDelay);
    cbThrottle->setChecked(AForm.Throttle);
    cbChaotic->setChecked(AForm.Chaotic);
    SelectValue(cbSendPriority, AForm.SendPriority);
    SelectValue(cbPreparePriority, AForm.PreparePriority);
}

void TfrmEmailMarketingLists::UpdateEnabling() {
    const EmailListFormModel::TForm form = ReadForm();
    const EmailListFormModel::TEnabling e = EmailListFormModel::Enabling(form);
    for (QWidget* w : std::initializer_list<QWidget*>{edtSenderName, edtSenderEmail, edtReplyToEmail,
                                                      lblSenderName, lblSenderEmail, lblReplyToEmail})
        w->setEnabled(e.SenderEdits);
    rbAPSSMS->setEnabled(e.SMSDevices);
    rbLOX24->setEnabled(e.SMSDevices);
    cbRegisterServiceFilter->setEnabled(e.RegisterServiceOptions);
    cbFetchRegisterServiceBeforeSent->setEnabled(e.RegisterServiceOptions);
    for (QRadioButton* button : {rbtnUseRelay, rbtnUseMailServer, rbUseMAPI})
        button->setEnabled(e.DeviceButtons);
    const QString labelId = EmailListFormModel::MailServerLabelId(form.Device);
    lblMailServer->setText(labelId.isEmpty() ? FLang.Text(QStringLiteral("IDS_Server"))
                                             : FLang.Text(labelId));
    lblMailServer->setEnabled(e.MailServer);
    nfoblgMAPI->setVisible(form.Device == msdMAPI);
    edtMailServer->setEnabled(e.MailServer);
    cbUseAuth->setEnabled(e.Authentication);
    edtUserName->setEnabled(e.UserName);
    lblUserName->setEnabled(e.UserName);
    edtPassword->setEnabled(e.Password);
    lblPassword->setEnabled(e.Password);
    cbUnitSend->setEnabled(e.SendPerUnits);
    for (QWidget* w : std::initializer_list<QWidget*>{spinUnitCount, lblUnitCount, spinUnitDelay,
                                                      lblUnitDelay, cbThrottle})
        w->setEnabled(e.UnitOptions);
    spinSendThreads->setEnabled(e.SendThreads);
    lblSendThreads->setEnabled(e.SendThreads);
    cbChaotic->setEnabled(e.Chaotic);
    if (!form.UseGlobalMailServer && form.Device >= 0)
        FillServerList(static_cast<TMessageSenderDevice>(form.Device));
}

void TfrmEmailMarketingLists::FillServerList(TMessageSenderDevice ADevice) {
    TMessageSenderSettings settings;
    settings.Settings = &GetSaveSettings();
    QStringList servers;
    CreateMessageSender(ADevice, settings)->FillServerList(servers);
    // the text stays as it is: refilling is no edit
    const QSignalBlocker blocker(edtMailServer);
    const QString text = edtMailServer->currentText();
    edtMailServer->clear();
    edtMailServer->addItems(servers);
    edtMailServer->setEditText(text);
}

void TfrmEmailMarketingLists::ShowList(const std::shared_ptr<TEmailListItem>& AList) {
    FShowing = true;
    const auto done = qScopeGuard([this] { FShowing = false; });
    const EmailListFormModel::TForm form =
        AList ? EmailListFormModel::Load(*AList) : EmailListFormModel::Empty();
    SetForm(form);
    cbTableName->setCurrentIndex(AList ? cbTableName->findData(form.SectionName) : -1);
    cbTableNameChange();
    SetChecks(cxCBEmailFields, form.EmailFields);
    SetChecks(cxCBEmailFieldsMob, form.MobileFields);
    TakeListMacros();
    if (!AList)
        edtMacroTitle->clear();
    UpdateEnabling();
    UpdateListState();
    UpdateMacroButtons();
    FSettingsChanged = false;
}

void TfrmEmailMarketingLists::UpdateListState() {
    const TEmailListItem* list = FCurrentEmailList.get();
    const bool inUse = list && list->IsInUseByJob();
    PageControl->setVisible(list && !inUse);
    lblNoCfg->setVisible(!list || inUse);
    lblNoCfg->setText(inUse  ? FLang.Text(QStringLiteral("IDS_UsedInJob"))
                      : list ? QString()
                             : FLang.Text(QStringLiteral("IDS_NoSel")));
    btnDeleteList->setEnabled(list && list->IsUserDefined() && !inUse);
    UpdateCheckSent();
}

void TfrmEmailMarketingLists::cbTableNameChange() {
    EditChange();
    cxCBEmailFields->clear();
    cxCBEmailFieldsMob->clear();
    FFilterForm->SetSchemaName(QString());
    const QString schemaName = cbTableName->currentData().toString();
    const auto macros = qScopeGuard([this] {
        if (!FShowing)
            UpdateMacroButtons();
    });
    if (schemaName.isEmpty()) {
        FConEditForm->SetDBFieldSchemaItem(nullptr);
        TakeSchemaMacros(QString());
        return;
    }
    QV_ASSERT(FCurrentEmailList);
    const hostapi::IDBFieldSchemaItem& schema = hostapi::TDBFieldSchema::Instance().RequireSchema(schemaName);
    FConEditForm->SetDBFieldSchemaItem(&schema);
    TakeSchemaMacros(schemaName);
    const bool showing = FShowing;
    FShowing = true;
    FillFields(cxCBEmailFields, EmailListFormModel::EmailFieldsOf(schema));
    FillFields(cxCBEmailFieldsMob, EmailListFormModel::MobileFieldsOf(schema));
    FShowing = showing;
    FFilterForm->SetSchemaName(schemaName);
    if (FCurrentEmailList->IDValue() >= 0)
        FFilterForm->LoadFilters(
            TRecipientSelection::ListFilterSave(schemaName, FCurrentEmailList->IDValue()));
}

void TfrmEmailMarketingLists::StoreList() {
    if (!FCurrentEmailList)
        return;
    PublishMacros();
    if (FSettingsChanged) {
        EmailListFormModel::Store(ReadForm(), *FCurrentEmailList);
        FSettingsChanged = false;
    }
    if (FFilterForm->Changed() && !FFilterForm->SchemaName().isEmpty()) {
        FFilterForm->SaveFilters(
            TRecipientSelection::ListFilterSave(FFilterForm->SchemaName(), FCurrentEmailList->IDValue()));
        FFilterForm->SetChanged(false);
    }
}

void TfrmEmailMarketingLists::btnNewListClick() {
    QString name;
    if (!hostapi::InputQuery(FLang.Text(QStringLiteral("IDS_NFL")), FLang.Text(QStringLiteral("IDS_AskLN")),
                             name) ||
        name.isEmpty())
        return;
    StoreList();
    const std::shared_ptr<TEmailListItem> list = Dm().Add();
    EmailListFormModel::ApplyNewListDefaults(
        *list, name,
        hostapi::TDBFieldSchema::Instance().SchemaByName(EmailListFormModel::DefaultSchemaName()));
    Dm().Save();
    FLastLoaded = Dm().LastLoaded();
    FShowing = true;
    auto* item = new QListWidgetItem(list->Name(), cxLVLists);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    FItemLists.insert(item, list);
    cxLVLists->setCurrentItem(item);
    FShowing = false;
    FCurrentEmailList = list;
    ShowList(list);
    PageControl->setCurrentIndex(0);
}

void TfrmEmailMarketingLists::btnDeleteListClick() {
    const std::shared_ptr<TEmailListItem> list = FCurrentEmailList;
    if (!list || list->IsInUseByJob() || !list->IsUserDefined())
        return;
    if (hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_AskDelete")), hostapi::mtConfirmation,
                            hostapi::mbYes | hostapi::mbNo) != hostapi::mrYes)
        return;
    // nothing of the window writes into the list once it is deleted
    FCurrentEmailList = nullptr;
    FSettingsChanged = false;
    FFilterForm->SetSchemaName(QString());
    Dm().Delete(list);
    QListWidgetItem* item = cxLVLists->currentItem();
    FShowing = true;
    FItemLists.remove(item);
    delete item;
    FShowing = false;
    FCurrentEmailList = ListOf(cxLVLists->currentItem());
    ShowList(FCurrentEmailList);
}

void TfrmEmailMarketingLists::UpdateCheckSent() {
    const TEmailListItem* list = FCurrentEmailList.get();
    btnCheckSent->setEnabled(list && !list->IsInUseByJob() && !FTestSend);
}

void TfrmEmailMarketingLists::btnCheckSentClick() {
    if (FTestSend || !FCurrentEmailList)
        return;
    QString address;
    if (!hostapi::InputQuery(FLang.Text(QStringLiteral("IDS_TESTEMS")),
                             FLang.Text(QStringLiteral("IDS_TESTEM")), address))
        return;
    address = address.trimmed();
    // an address without a domain is never sent to
    if (!EmailListFormModel::IsTestAddressValid(address)) {
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_TESTNEML")), hostapi::mtError, hostapi::mbOK);
        return;
    }
    const EmailListFormModel::TForm form = ReadForm();
    const TMessageSenderDevice device = EmailListFormModel::TestDevice(form);
    if (EmailListFormModel::AsksSameDomain(device, address, form.SenderEmail) &&
        hostapi::MessageDlg(
            FLang.Text(QStringLiteral("IDS_TESTSMDC")).arg(EmailListFormModel::DomainOf(address)),
            hostapi::mtWarning, hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel) != hostapi::mrYes)
        return;
    TMessageSenderSettings settings = EmailListFormModel::TestSettings(form, Dm().DNSServer());
    settings.Settings = &GetSaveSettings();
    std::unique_ptr<TCustomMessageSender> sender = CreateMessageSender(device, settings);
    sender->SetDomainName(EmailListFormModel::DomainOf(address));
    FTestSend = new TListTestSend(std::move(sender),
                                  EmailListFormModel::TestMessage(form, address,
                                                                  FLang.Text(QStringLiteral("IDS_TESTS")),
                                                                  FLang.Text(QStringLiteral("IDS_TESTB")),
                                                                  FLang.Text(QStringLiteral("IDS_TESTBH"))),
                                  this);
    lblTest->show();
    UpdateCheckSent();
    FTestSend->Start([this, device](const TListTestSend::TResult& AResult) {
        hostapi::TVRNExceptionUtils::Guarded([this, device, AResult] { TestSendDone(device, AResult); });
    });
}

void TfrmEmailMarketingLists::TestSendDone(TMessageSenderDevice ADevice,
                                           const TListTestSend::TResult& AResult) {
    // the transport goes with the finished run
    FTestSend->deleteLater();
    FTestSend = nullptr;
    lblTest->hide();
    UpdateCheckSent();
    if (!AResult.Connected)
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_TESTCONF")).arg(AResult.Error), hostapi::mtError,
                            hostapi::mbOK);
    else if (AResult.Sent)
        hostapi::MessageDlg(FLang.Text(EmailListFormModel::TestSuccessId(ADevice)), hostapi::mtInformation,
                            hostapi::mbOK);
    else
        hostapi::MessageDlg(AResult.Error, hostapi::mtError, hostapi::mbOK);
}

void TfrmEmailMarketingLists::VorlanaLinkLabel1Click() {
    GetScreen().OpenPluginForm(RegisterServiceGUID(), 0, QVariant());
}

void TfrmEmailMarketingLists::JobListChanged() {
    if (isVisible())
        cxLVListsSelectItem();
}

} // namespace emailmarketing

namespace emailmarketing {

// Macros tab ------------------------------------------------------------------------------------

void TfrmEmailMarketingLists::TakeListMacros() {
    FListMacros.Take(FCurrentEmailList ? FCurrentEmailList->UserMacros() : TMacroList());
    FillMacroView(cxLVUserMacros, FListMacros.Macros());
}

void TfrmEmailMarketingLists::TakeSchemaMacros(const QString& ASchemaName) {
    PublishMacros();
    FSchemaMacrosName = ASchemaName;
    FSchemaMacros.Take(ASchemaName.isEmpty() ? TMacroList() : *Dm().GetSchemaMacroList(ASchemaName));
    FillMacroView(cxLVTableMacros, FSchemaMacros.Macros());
}

void TfrmEmailMarketingLists::PublishMacros() {
    if (const std::shared_ptr<TEmailListItem> list = FCurrentEmailList)
        FListMacros.Publish([&list](const TMacroList& AMacros) { list->SetUserMacros(AMacros); });
    if (!FSchemaMacrosName.isEmpty())
        FSchemaMacros.Publish(
            [this](const TMacroList& AMacros) { Dm().ReplaceSchemaMacros(FSchemaMacrosName, AMacros); });
}

void TfrmEmailMarketingLists::FillMacroView(QListWidget* AView, const TMacroList& AMacros) {
    const QSignalBlocker blocker(AView);
    FCurrentMacro = nullptr;
    AView->clear();
    for (int i = 0; i < AMacros.Count(); ++i) {
        TMacroItem* macro = AMacros.Items(i);
        auto* item = new QListWidgetItem(macro->Caption(), AView);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(macro)));
    }
    AView->setCurrentItem(nullptr);
}

QListWidget* TfrmEmailMarketingLists::ActiveMacroView() const {
    return cxQVPCMacros->currentIndex() == ListMacrosModel::mpGeneralMacros ? cxLVTableMacros
                                                                            : cxLVUserMacros;
}

TMacroEditCopy& TfrmEmailMarketingLists::ActiveMacros() {
    return ActiveMacroView() == cxLVTableMacros ? FSchemaMacros : FListMacros;
}

void TfrmEmailMarketingLists::cxLVUserMacrosSelectItem() {
    FCurrentMacro = nullptr;
    const QListWidgetItem* item = ActiveMacroView()->currentItem();
    edtMacroTitle->setEnabled(item);
    {
        const QSignalBlocker blocker(cxLVConditions);
        cxLVConditions->clear();
        if (TMacroItem* macro = MacroOf(item)) {
            edtMacroTitle->setText(macro->Caption());
            for (int i = 0; i < macro->Count(); ++i)
                ShowConditionLine(new QTreeWidgetItem(cxLVConditions), *macro->Items(i));
            FCurrentMacro = macro;
        } else {
            edtMacroTitle->clear();
        }
        if (const int count = cxLVConditions->topLevelItemCount())
            cxLVConditions->setCurrentItem(cxLVConditions->topLevelItem(count - 1));
    }
    UpdateConditionButtons();
}

void TfrmEmailMarketingLists::edtMacroTitleChange(const QString& AText) {
    if (!FCurrentMacro)
        return;
    FCurrentMacro->SetCaption(AText);
    ActiveMacros().MarkChanged();
    if (QListWidgetItem* item = ActiveMacroView()->currentItem())
        item->setText(AText);
}

void TfrmEmailMarketingLists::UpdateMacroButtons() {
    if (PageControl->currentIndex() == PageControl->indexOf(cxQVPCMacros->parentWidget())) {
        QListWidget* view = ActiveMacroView();
        if (view->count() > 0 && !view->currentItem()) {
            const QSignalBlocker blocker(view);
            view->setCurrentItem(view->item(view->count() - 1));
        }
    }
    cxLVUserMacrosSelectItem();
}

void TfrmEmailMarketingLists::UpdateConditionButtons() {
    ListMacrosModel::TState state;
    state.MacrosTab = PageControl->currentIndex() == PageControl->indexOf(cxQVPCMacros->parentWidget());
    state.Page = cxQVPCMacros->currentIndex();
    state.HasList = FCurrentEmailList != nullptr;
    state.HasSchema = !FSchemaMacrosName.isEmpty();
    state.HasMacro = FCurrentMacro != nullptr;
    state.HasCondition = SelectedCondition() != nullptr;
    const ListMacrosModel::TButtons b = ListMacrosModel::Buttons(state);
    btnAddMacro->setVisible(b.ListMacroButtons);
    btnDeleteMacro->setVisible(b.ListMacroButtons);
    btnAddTableMacro->setVisible(b.GeneralMacroButtons);
    btnDeleteTableMacro->setVisible(b.GeneralMacroButtons);
    for (QToolButton* button : {btnAddCondition, btnEditCondition, btnDeleteCondition})
        button->setVisible(b.ConditionButtons);
    btnAddMacro->setEnabled(b.AddMacro);
    btnAddTableMacro->setEnabled(b.AddTableMacro);
    btnDeleteMacro->setEnabled(b.DeleteMacro);
    btnDeleteTableMacro->setEnabled(b.DeleteMacro);
    btnAddCondition->setEnabled(b.AddCondition);
    btnEditCondition->setEnabled(b.EditCondition);
    btnDeleteCondition->setEnabled(b.DeleteCondition);
    // a bar without a shown command takes no room
    for (QFrame* bar : {tbListMacros, tbGlobalMacros, tbMacroSettings}) {
        const QList<QToolButton*> buttons = bar->findChildren<QToolButton*>();
        bar->setVisible(FToolBarsShown &&
                        std::any_of(buttons.cbegin(), buttons.cend(),
                                    [](const QToolButton* AButton) { return !AButton->isHidden(); }));
    }
}

void TfrmEmailMarketingLists::ShowConditionLine(QTreeWidgetItem* AItem,
                                                const TMacroConditionItem& ACondition) {
    const hostapi::IDBFieldSchemaItem* schema = FConEditForm->DBFieldSchemaItem();
    const QStringList columns = ListMacrosModel::ConditionLine(
        ACondition, schema, FLang.Text(QStringLiteral("IDS_MISSINGFLD")), [schema](const QString& AText) {
            return schema ? Dm().ReplaceFieldMacros(schema->SchemaName(), AText, true) : AText;
        });
    for (int i = 0; i < columns.size(); ++i)
        AItem->setText(i, columns.at(i));
    AItem->setData(0, Qt::UserRole,
                   QVariant::fromValue(static_cast<void*>(const_cast<TMacroConditionItem*>(&ACondition))));
}

TMacroConditionItem* TfrmEmailMarketingLists::SelectedCondition() const {
    const QTreeWidgetItem* item = cxLVConditions->currentItem();
    return item ? static_cast<TMacroConditionItem*>(item->data(0, Qt::UserRole).value<void*>()) : nullptr;
}

void TfrmEmailMarketingLists::AddMacro(QListWidget* AView, TMacroEditCopy& ACopy) {
    TMacroItem* macro = ACopy.Macros().Add();
    ACopy.MarkChanged();
    {
        const QSignalBlocker pages(cxQVPCMacros);
        cxQVPCMacros->setCurrentWidget(AView);
    }
    auto* item = new QListWidgetItem(macro->Caption(), AView);
    item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(macro)));
    {
        const QSignalBlocker blocker(AView);
        AView->setCurrentItem(item);
    }
    UpdateMacroButtons();
    edtMacroTitle->setFocus();
}

void TfrmEmailMarketingLists::btnAddMacroClick() {
    if (FCurrentEmailList)
        AddMacro(cxLVUserMacros, FListMacros);
}

void TfrmEmailMarketingLists::btnAddTableMacroClick() {
    if (FCurrentEmailList && !FSchemaMacrosName.isEmpty())
        AddMacro(cxLVTableMacros, FSchemaMacros);
}

void TfrmEmailMarketingLists::DeleteCurrentMacro(QListWidget* AView, TMacroEditCopy& ACopy) {
    TMacroItem* macro = FCurrentMacro;
    if (!macro || AView != ActiveMacroView())
        return;
    if (hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_CFDM")), hostapi::mtConfirmation,
                            hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel) != hostapi::mrYes)
        return;
    // nothing of the window points at the macro once it is deleted
    FCurrentMacro = nullptr;
    {
        const QSignalBlocker conditions(cxLVConditions);
        cxLVConditions->clear();
    }
    edtMacroTitle->clear();
    {
        const QSignalBlocker blocker(AView);
        delete AView->currentItem();
        AView->setCurrentItem(nullptr);
    }
    ACopy.Macros().Delete(macro);
    ACopy.MarkChanged();
    cxLVUserMacrosSelectItem();
}

void TfrmEmailMarketingLists::btnDeleteMacroClick() {
    if (FCurrentEmailList)
        DeleteCurrentMacro(cxLVUserMacros, FListMacros);
}

void TfrmEmailMarketingLists::btnDeleteTableMacroClick() {
    if (!FSchemaMacrosName.isEmpty())
        DeleteCurrentMacro(cxLVTableMacros, FSchemaMacros);
}

void TfrmEmailMarketingLists::btnAddConditionClick() {
    TMacroItem* macro = FCurrentMacro;
    if (!macro)
        return;
    TMacroConditionItem* condition = macro->Add();
    const auto dropNew = [this, macro, condition] {
        FConEditForm->SetMacroCondition(nullptr);
        macro->Delete(condition);
    };
    bool saved = false;
    try {
        saved = FConEditForm->Execute(*condition);
    } catch (...) {
        dropNew();
        throw;
    }
    if (!saved) {
        dropNew();
        return;
    }
    FConEditForm->SetMacroCondition(nullptr);
    ActiveMacros().MarkChanged();
    auto* item = new QTreeWidgetItem(cxLVConditions);
    ShowConditionLine(item, *condition);
    cxLVConditions->setCurrentItem(item);
    UpdateConditionButtons();
}

void TfrmEmailMarketingLists::btnEditConditionClick() {
    TMacroConditionItem* condition = SelectedCondition();
    if (!FCurrentMacro || !condition)
        return;
    const bool saved = FConEditForm->Execute(*condition);
    FConEditForm->SetMacroCondition(nullptr);
    if (!saved)
        return;
    ActiveMacros().MarkChanged();
    ShowConditionLine(cxLVConditions->currentItem(), *condition);
}

void TfrmEmailMarketingLists::btnDeleteConditionClick() {
    TMacroConditionItem* condition = SelectedCondition();
    if (!FCurrentMacro || !condition)
        return;
    if (hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_CFDMC")), hostapi::mtConfirmation,
                            hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel) != hostapi::mrYes)
        return;
    {
        const QSignalBlocker blocker(cxLVConditions);
        delete cxLVConditions->currentItem();
    }
    FCurrentMacro->Delete(condition);
    ActiveMacros().MarkChanged();
    UpdateConditionButtons();
}

} // namespace emailmarketing
