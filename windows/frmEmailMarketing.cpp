#include "frmEmailMarketing.h"

#include "DBFieldSchema.h"
#include "Database.h"
#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "JvHLEditor.h"
#include "MailingAttachmentsPage.h"
#include "MailingEditorDrop.h"
#include "MailingEditorPopupMenu.h"
#include "MailingHistoryPage.h"
#include "MailingHtmlImport.h"
#include "MailingJobActions.h"
#include "MailingMacroPanel.h"
#include "MailingTextBlocksPage.h"
#include "MailingStyleRules.h"
#include "NamedObject.h"
#include "PluginModuleRegistration.h"
#include "QV2RichEdit.h"
#include "QVDBGrid.h"
#include "QVDBLookupComboBox.h"
#include "QVDBTreeModel.h"
#include "QVDBTreeView.h"
#include "QVException.h"
#include "QVGlobalMenuClient.h"
#include "QVInfoBlock.h"
#include "QVLookupListModel.h"
#include "QVRecordSetModel.h"
#include "ScreenService.h"
#include "SendJobBuilder.h"
#include "TemplateTreeActions.h"
#include "TemplateTreeJobMarks.h"
#include "VRNHtmlEditor.h"
#include "WindowsLog.h"
#include "dmPluginEmailMarketingMain.h"
#include "frmPluginEmailMarketingJobDetail.h"
#include "frmVRNCustomHTMLEditorControl.h"

#include <QAction>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSplitter>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <iterator>
#include <utility>

namespace emailmarketing {

namespace {

TdmPluginEmailMarketingMain& Dm() {
    QV_ASSERT(dmPluginEmailMarketingMain);
    return *dmPluginEmailMarketingMain;
}

const QString TemplateSchema = QStringLiteral("emtemplates");

QWidget* Page(const char* AName) {
    return Named(new QWidget, AName);
}

// The rows of a schema as a pick list ("id=text" lines), so that a tree column of their ids shows
// their texts.
QString LookupPickList(const QString& ASchema, const QString& ADisplayField) {
    hostapi::QVLookupListModel lookup;
    lookup.SetLookup(ASchema, QStringLiteral("id"), ADisplayField);
    lookup.Refresh();
    QStringList lines;
    for (int row = 0; row < lookup.rowCount(); ++row)
        lines << QStringLiteral("%1=%2").arg(lookup.KeyAt(row).toString(),
                                             lookup.index(row).data().toString().simplified());
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

// Forwards the job list's notifications to the window while it exists.
class TfrmEmailMarketing::TJobNotifier : public IJobNotification {
public:
    explicit TJobNotifier(TfrmEmailMarketing* AForm) : FForm(AForm) {}
    void JobListChanged(TEmailSenderJobList&, TBaseEmailSender* AJob, bool ARemoved) override {
        hostapi::TVRNExceptionUtils::Guarded(
            [this, AJob, ARemoved] { FForm->JobListChanged(AJob, ARemoved); });
    }

private:
    TfrmEmailMarketing* FForm;
};

TfrmEmailMarketing::TfrmEmailMarketing(QWidget* AParent)
    : hostapi::TPluginForm(AParent), FLang(QStringLiteral("frmEmailMarketing")) {
    setObjectName(QStringLiteral("frmEmailMarketing"));
    CreateActions();
    CreateControls();
    CreateTree();
    CreateJobActions();
    CreateTemplateActions();
    PageControl->setCurrentWidget(tbsNoTemplate);
    pgEditor->setCurrentWidget(tbsPlainText);
    FJobNotifier = std::make_shared<TJobNotifier>(this);
    Dm().Jobs().RegisterJobNotifyer(FJobNotifier);
    FCanEditTemplate = true;
    SetLanguage(hostapi::TVRNLang::CurrentLanguage());
    FCurrentTemplateDBID = -1;
    ShowTemplate();
    resize(1000, 760);
}

TfrmEmailMarketing::~TfrmEmailMarketing() {
    if (dmPluginEmailMarketingMain) {
        dmPluginEmailMarketingMain->Jobs().UnRegisterJobNotifyer(FJobNotifier);
        dmPluginEmailMarketingMain->Jobs().UnRegisterJobNotifyer(FJobMarks);
        // Also when the close hook failed before it unbound the handler.
        dmPluginEmailMarketingMain->SetOnTemplatesChanged(nullptr);
    }
    FJobDetForm->OnChangeJob = nullptr;
    // The controls and the tree model read the record sets of the window: they go first.
    delete splTemplates;
    delete FTemplateModel;
}

void TfrmEmailMarketing::CreateActions() {
    const auto action = [this](const char* AName) { return Named(new QAction(this), AName); };
    actSendingStart = action("actSendingStart");
    actSchedSending = action("actSchedSending");
    actSendingAbort = action("actSendingAbort");
    actPreviewSelected = action("actPreviewSelected");
    actExportTemplate = action("actExportTemplate");
    actImportTemplate = action("actImportTemplate");
    actAddTemplate = action("actAddTemplate");
    ractImportHTMLSource = action("ractImportHTMLSource");
    QVGlobalMenuClient = new hostapi::TQVGlobalMenuClient(this);
    QVGlobalMenuClient->setObjectName(QStringLiteral("QVGlobalMenuClient"));
    QVGlobalMenuClient->AddAction(QStringLiteral("GMNU_Export"), actExportTemplate);
    QVGlobalMenuClient->AddAction(QStringLiteral("GMNU_Import"), actImportTemplate);
    QVGlobalMenuClient->AddAction(QStringLiteral("GMNU_Import"), ractImportHTMLSource);
    QVGlobalMenuClient->AddAction(QStringLiteral("GMNU_New"), actAddTemplate);

    pmnuPreviewGrid = Named(new QMenu(this), "pmnuPreviewGrid");
    pmnuSendingGrid = Named(new QMenu(this), "pmnuSendingGrid");
    pmnuSending = Named(new QMenu(this), "pmnuSending");
    pmnuPreview = Named(new QMenu(this), "pmnuPreview");
    PopupMenuTemplates = Named(new QMenu(this), "PopupMenuTemplates");
    Vertrilerlistebearbeiten1 = Named(PopupMenuTemplates->addAction(QString()), "Vertrilerlistebearbeiten1");
    connect(Vertrilerlistebearbeiten1, &QAction::triggered, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { Vertrilerlistebearbeiten1Click(); }); });
}

void TfrmEmailMarketing::CreateControls() {
    splTemplates = Named(new QSplitter(Qt::Vertical, this), "splTemplates");
    FTemplates = Named(new hostapi::QVDBTreeView, "dblvTemplates");
    PageControl = Named(new QTabWidget, "PageControl");
    splTemplates->addWidget(FTemplates);
    splTemplates->addWidget(PageControl);
    // The window's own preview and send menus, beside the pages.
    auto* corner = new QWidget;
    auto* cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 0, 0);
    btnPreview = Named(new QToolButton, "btnPreview");
    btnSending = Named(new QToolButton, "btnSending");
    btnPreview->setMenu(pmnuPreview);
    btnSending->setMenu(pmnuSending);
    for (QToolButton* button : {btnPreview, btnSending}) {
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        cornerLayout->addWidget(button);
    }
    PageControl->setCornerWidget(corner, Qt::TopRightCorner);
    splTemplates->setStretchFactor(0, 1);
    splTemplates->setStretchFactor(1, 2);
    splTemplates->setSizes({220, 520});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splTemplates);

    tbsDesigner = Page("tbsDesigner");
    tbsTextBlocks = Page("tbsTextBlocks");
    rbsAttachements = Page("rbsAttachements");
    tbsJob = Page("tbsJob");
    tbsHistory = Page("tbsHistory");
    tbsNoTemplate = Page("tbsNoTemplate");
    for (QWidget* page : {tbsDesigner, tbsTextBlocks, rbsAttachements, tbsJob, tbsHistory, tbsNoTemplate})
        PageControl->addTab(page, QString());
    PageControl->setTabVisible(PageControl->indexOf(tbsNoTemplate), false);
    lblNoTemplate = Named(new QLabel, "lblNoTemplate");
    lblNoTemplate->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(tbsNoTemplate))->addWidget(lblNoTemplate);

    // Recipients and subject over the editors.
    lblTo = new QLabel;
    edtTo = Named(new hostapi::QVDBLookupComboBox, "edtTo");
    edtTo->SetLookup(QStringLiteral("emlists"));
    edtTo->SetEmptyEntry(true);
    lblRcptCC = new QLabel;
    edtRcptCC = Named(new QLineEdit, "edtRcptCC");
    lblRcptBCC = new QLabel;
    edtRcptBCC = Named(new QLineEdit, "edtRcptBCC");
    lblSubject = Named(new QLabel, "lblSubject");
    edtSubject = Named(new QLineEdit, "edtSubject");
    lblTo->setBuddy(edtTo);
    lblRcptCC->setBuddy(edtRcptCC);
    lblRcptBCC->setBuddy(edtRcptBCC);
    lblSubject->setBuddy(edtSubject);
    auto* head = new QGridLayout;
    head->addWidget(lblTo, 0, 0);
    head->addWidget(edtTo, 0, 1);
    head->addWidget(lblRcptCC, 0, 2);
    head->addWidget(edtRcptCC, 0, 3);
    head->addWidget(lblRcptBCC, 0, 4);
    head->addWidget(edtRcptBCC, 0, 5);
    head->addWidget(lblSubject, 1, 0);
    head->addWidget(edtSubject, 1, 1, 1, 5);
    head->setColumnStretch(1, 2);
    head->setColumnStretch(3, 1);
    head->setColumnStretch(5, 1);

    pgEditor = Named(new QTabWidget, "pgEditor");
    pgEditor->setTabPosition(QTabWidget::South);
    tbsPlainText = Page("tbsPlainText");
    tbsRTF = Page("tbsRTF");
    tbsHTMLSource = Page("tbsHTMLSource");
    tbsHTML = Page("tbsHTML");
    for (QWidget* page : {tbsPlainText, tbsRTF, tbsHTMLSource, tbsHTML})
        pgEditor->addTab(page, QString());

    ibkAutoText = Named(new hostapi::TQVInfoBlock, "ibkAutoText");
    MemoText = Named(new QPlainTextEdit, "MemoText");
    pnlCharCount = Page("pnlCharCount");
    lblCharCount = Named(new QLabel, "lblCharCount");
    Label1 = Named(new QLabel, "Label1");
    Label1->setWordWrap(true);
    auto* countLayout = new QVBoxLayout(pnlCharCount);
    countLayout->setContentsMargins(0, 0, 0, 0);
    countLayout->addWidget(lblCharCount);
    countLayout->addWidget(Label1);
    auto* plainLayout = new QVBoxLayout(tbsPlainText);
    plainLayout->addWidget(ibkAutoText);
    plainLayout->addWidget(MemoText, 1);
    plainLayout->addWidget(pnlCharCount);

    FQV2RichEdit = Named(new hostapi::TQV2RichEdit, "QV2RichEdit");
    auto* rtfLayout = new QVBoxLayout(tbsRTF);
    rtfLayout->setContentsMargins(0, 0, 0, 0);
    rtfLayout->addWidget(FQV2RichEdit);
    edtHTMLSource = Named(new hostapi::TJvHLEditor, "edtHTMLSource");
    auto* sourceLayout = new QVBoxLayout(tbsHTMLSource);
    sourceLayout->setContentsMargins(0, 0, 0, 0);
    sourceLayout->addWidget(edtHTMLSource);
    FHTMLEditForm = Named(new hostapi::TfrmVRNCustomHTMLEditorControl, "HTMLEditForm");
    auto* htmlLayout = new QVBoxLayout(tbsHTML);
    htmlLayout->setContentsMargins(0, 0, 0, 0);
    htmlLayout->addWidget(FHTMLEditForm);

    // The macro panel beside the editors; its entries go into the editors by double click and by
    // drag and drop.
    pnlMacros = new TMailingMacroPanel;
    pnlMacros->setMinimumWidth(200);
    pnlMacros->setMaximumWidth(280);
    connect(pnlMacros, &TMailingMacroPanel::MacroChosen, this, [this](const QString& AText) {
        hostapi::TVRNExceptionUtils::Guarded([this, &AText] { InsertMacro(AText); });
    });
    TMailingEditorDrop::AttachMemo(*MemoText);
    TMailingEditorDrop::AttachLineEdit(*edtSubject);
    TMailingEditorDrop::AttachLineEdit(*edtRcptCC, [this](QLineEdit&) {
        hostapi::TVRNExceptionUtils::Guarded([this] { edtRcptCCPropertiesEditValueChanged(); });
    });
    TMailingEditorDrop::AttachLineEdit(*edtRcptBCC, [this](QLineEdit&) {
        hostapi::TVRNExceptionUtils::Guarded([this] { edtRcptBCCPropertiesEditValueChanged(); });
    });
    TMailingEditorDrop::AttachRichEdit(*FQV2RichEdit);
    TMailingEditorDrop::AttachSourceEditor(*edtHTMLSource);
    PopupMenu = new TMailingEditorPopupMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->Attach(*MemoText);
    PopupMenu->Attach(*FQV2RichEdit);
    auto* editors = new QHBoxLayout;
    editors->addWidget(pgEditor, 1);
    editors->addWidget(pnlMacros);
    auto* designerLayout = new QVBoxLayout(tbsDesigner);
    designerLayout->addLayout(head);
    designerLayout->addLayout(editors, 1);

    FAttachementsPage = Named(new TMailingAttachmentsPage, "AttachementsPage");
    auto* attachementsLayout = new QVBoxLayout(rbsAttachements);
    attachementsLayout->setContentsMargins(0, 0, 0, 0);
    attachementsLayout->addWidget(FAttachementsPage);

    FTextBlocksPage = Named(new TMailingTextBlocksPage, "TextBlocksPage");
    auto* textBlocksLayout = new QVBoxLayout(tbsTextBlocks);
    textBlocksLayout->setContentsMargins(0, 0, 0, 0);
    textBlocksLayout->addWidget(FTextBlocksPage);
    connect(FTextBlocksPage, &TMailingTextBlocksPage::TextBlocksChanged, this, [this] {
        hostapi::TVRNExceptionUtils::Guarded([this] {
            if (FTextBlocks.Active())
                FTextBlocks.Refresh();
            RefreshTextBlockMacros();
        });
    });
    FHistoryPage = Named(new TMailingHistoryPage, "HistoryPage");
    auto* historyLayout = new QVBoxLayout(tbsHistory);
    historyLayout->setContentsMargins(0, 0, 0, 0);
    historyLayout->addWidget(FHistoryPage);
    actResendSuccess = FHistoryPage->actResendSuccess();
    actResendFailed = FHistoryPage->actResendFailed();
    actSchedSuccess = FHistoryPage->actSchedSuccess();
    actSchedFailed = FHistoryPage->actSchedFailed();
    actPreviewSuccess = FHistoryPage->actPreviewSuccess();
    actPreviewFailed = FHistoryPage->actPreviewFailed();

    pblJobDet = Page("pblJobDet");
    (new QVBoxLayout(tbsJob))->addWidget(pblJobDet);
    FJobDetForm = new TfrmPluginEmailMarketingJobDetail(Dm().Jobs(), pblJobDet);
    FJobDetForm->setObjectName(QStringLiteral("JobDetForm"));
    auto* jobLayout = new QVBoxLayout(pblJobDet);
    jobLayout->setContentsMargins(0, 0, 0, 0);
    jobLayout->addWidget(FJobDetForm);
    FJobDetForm->SetExpertMode(false);
    FJobDetForm->SetHasExpertMode(false);
    FJobDetForm->SetViewOnly(true);
    FJobDetForm->OnChangeJob = [this](TfrmPluginEmailMarketingJobDetail&) { UpdateEditState(); };

    FAttachements.Filters().Add(QStringLiteral("emltemplateid"), -1);
    FTextBlocks.Filters().Add(QStringLiteral("emtemplateid"), -1);

    connect(edtTo, &hostapi::QVDBLookupComboBox::ValueChanged, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { edtToPropertiesEditValueChanged(); }); });
    connect(edtRcptCC, &QLineEdit::textEdited, this, [this] {
        hostapi::TVRNExceptionUtils::Guarded([this] { edtRcptCCPropertiesEditValueChanged(); });
    });
    connect(edtRcptBCC, &QLineEdit::textEdited, this, [this] {
        hostapi::TVRNExceptionUtils::Guarded([this] { edtRcptBCCPropertiesEditValueChanged(); });
    });
    connect(MemoText, &QPlainTextEdit::textChanged, this, [this] { MemoTextChange(); });
    connect(edtSubject, &QLineEdit::textChanged, this, [this] { EditorChange(); });
    connect(edtHTMLSource, &hostapi::TJvHLEditor::changed, this, [this] { EditorChange(); });
    connect(FQV2RichEdit, &hostapi::TQV2RichEdit::changed, this, [this] { EditorChange(); });
    connect(PageControl, &QTabWidget::currentChanged, this, [this] { PageControlChange(); });
}

void TfrmEmailMarketing::CreateTree() {
    FTemplateModel =
        new hostapi::QVDBTreeModel(&FTemplateFolders, QStringLiteral("parentemlltemplatefolderid"), this);
    FTemplateModel->SetContentSchema(TemplateSchema, QStringLiteral("templatefolderid"));
    // The bodies are read through the content store only.
    FTemplateModel->ContentRecordSet()->SetOnGetFieldIsRequired([](const QString& AFieldName) {
        return AFieldName != QLatin1String("mailbody") && AFieldName != QLatin1String("mailbodyhtml") &&
               AFieldName != QLatin1String("subject");
    });
    FTemplateModel->SetContentImageIndex(74);
    FJobMarks = std::make_shared<TTemplateTreeJobMarks>(Dm().Jobs(),
                                                        [this] { FTemplates->Tree()->viewport()->update(); });
    FJobMarks->Install(*FTemplateModel);
    Dm().Jobs().RegisterJobNotifyer(FJobMarks);
    FTemplateModel->SetOnContentFieldChanged([this](qint64 AID, const QString& AFieldName, const QVariant&) {
        hostapi::TVRNExceptionUtils::Guarded([&] { dblvTemplatesContentFieldChanged(AID, AFieldName); });
    });
    FTemplates->SetTreeModel(FTemplateModel);
    FTemplates->AddUserButton(QString(), pmnuPreviewGrid);
    FTemplates->AddUserButton(QString(), pmnuSendingGrid);
    FTemplates->SetOnBeforeRecordChanged(
        [this] { hostapi::TVRNExceptionUtils::Guarded([this] { dblvTemplatesBeforeRecordChanged(); }); });
    FTemplates->SetOnContentAction([this](int AAction, qint64 AID, bool& AHandled) {
        hostapi::TVRNExceptionUtils::Guarded([&] { dblvTemplatesContentAction(AAction, AID, AHandled); });
    });
    FTemplates->SetOnRecordChanged(
        [this] { hostapi::TVRNExceptionUtils::Guarded([this] { dblvTemplatesRecordChanged(); }); });
    FTemplates->Tree()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FTemplates->Tree(), &QWidget::customContextMenuRequested, this, [this](const QPoint& APos) {
        if (FCurrentTemplateDBID >= 0)
            PopupMenuTemplates->popup(FTemplates->Tree()->viewport()->mapToGlobal(APos));
    });
    connect(actAddTemplate, &QAction::triggered, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { FTemplates->AddContent(); }); });
}

void TfrmEmailMarketing::CreateJobActions() {
    FJobBuilder = std::make_unique<TSendJobBuilder>(
        Dm(), [this](const QString& APath) { return pnlMacros->Catalogue().PathHasMacro(APath); },
        [this](TBaseEmailSender& AJob) { pnlMacros->Catalogue().CollectUsedMacros(AJob); });
    FJobActions = std::make_unique<TMailingJobActions>(
        Dm().Jobs(), *FJobDetForm, [this](qint64 AReSendJobID, qint64 AReSendJobState) {
            return FJobBuilder->CreateSendJob(SendJobTemplate(), AReSendJobID, AReSendJobState);
        });
    FJobActions->OnSaveChanges = [this] { SaveChanges(); };
    FJobActions->OnTemplatesChanged = [this] { FTemplates->Refresh(); };
    const auto bind = [this](QAction* AAction, auto AHandler) {
        connect(AAction, &QAction::triggered, this, [this, AHandler] {
            hostapi::TVRNExceptionUtils::Guarded([this, AHandler] { AHandler(this); });
        });
    };
    bind(actSendingStart, [](TfrmEmailMarketing* AForm) { AForm->StartSending(-1, -1); });
    bind(actSchedSending, [](TfrmEmailMarketing* AForm) { AForm->ScheduleSending(-1, -1); });
    bind(actSendingAbort, [](TfrmEmailMarketing* AForm) { AForm->AbortSending(); });
    bind(actPreviewSelected, [](TfrmEmailMarketing* AForm) { AForm->PreviewSending(-1, -1); });
    bind(ractImportHTMLSource, [](TfrmEmailMarketing* AForm) { AForm->ractImportHTMLSourceExecute(); });
}

void TfrmEmailMarketing::CreateTemplateActions() {
    FTreeActions = std::make_unique<TTemplateTreeActions>(
        Dm().TemplateExchange(), this,
        [](qint64 AID) { return Dm().Jobs().ByTemplateID(qint32(AID)) != nullptr; },
        [this](qint64 AID) { TemplatesChanged(AID); });
    FTemplates->SetOnCanDelete([this](const hostapi::TQVTreeNode& ANode) {
        bool allowed = false;
        hostapi::TVRNExceptionUtils::Guarded([&] { allowed = FTreeActions->CanDelete(ANode); });
        return allowed;
    });
    connect(actExportTemplate, &QAction::triggered, this, [this] {
        hostapi::TVRNExceptionUtils::Guarded([this] {
            SaveChanges();
            FTreeActions->ExportTemplate(FCurrentTemplateDBID,
                                         CurrentTemplateValue(QStringLiteral("name")).toString());
        });
    });
    connect(actImportTemplate, &QAction::triggered, this, [this] {
        hostapi::TVRNExceptionUtils::Guarded([this] {
            SaveChanges();
            FTreeActions->ImportTemplate();
        });
    });
    FHistoryPage->SetOnResend([this](qint64 AJobID, qint64 ASentState) { StartSending(AJobID, ASentState); });
    FHistoryPage->SetOnSchedule(
        [this](qint64 AJobID, qint64 ASentState) { ScheduleSending(AJobID, ASentState); });
    FHistoryPage->SetOnPreview(
        [this](qint64 AJobID, qint64 ASentState) { PreviewSending(AJobID, ASentState); });
    FHistoryPage->SetOnJobViewHoldsJob([this] { return FJobDetForm->Job() != nullptr; });
}

void TfrmEmailMarketing::CopyTemplate(qint64 AID) {
    SaveChanges();
    if (AID > 0 && AID == FCurrentTemplateDBID)
        FTreeActions->CopyRequest(AID, Dm().StateID_AfterCreate());
}

void TfrmEmailMarketing::FillPreviewMenu(QMenu& AMenu) {
    AMenu.clear();
    AMenu.addAction(actPreviewSelected);
    AMenu.addSeparator();
    AMenu.addAction(actPreviewSuccess);
    AMenu.addAction(actPreviewFailed);
}

void TfrmEmailMarketing::FillSendingMenu(QMenu& AMenu) {
    const auto t = [this](const char* AId) { return FLang.Text(QString::fromLatin1(AId)); };
    AMenu.clear();
    AMenu.addAction(actSendingStart);
    AMenu.addSeparator();
    QMenu* resend = AMenu.addMenu(t("IDS_ReSendMnu"));
    resend->setObjectName(AMenu.objectName() + QStringLiteral("ReSend"));
    resend->addAction(actResendSuccess);
    resend->addAction(actResendFailed);
    AMenu.addSeparator();
    QMenu* scheduler = AMenu.addMenu(t("IDS_SchedulerMnu"));
    scheduler->setObjectName(AMenu.objectName() + QStringLiteral("Scheduler"));
    scheduler->addAction(actSchedSending);
    scheduler->addSeparator();
    scheduler->addAction(actSchedSuccess);
    scheduler->addAction(actSchedFailed);
    AMenu.addSeparator();
    AMenu.addAction(actSendingAbort);
}

TSendJobTemplate TfrmEmailMarketing::SendJobTemplate() const {
    TSendJobTemplate t;
    t.TemplateID = qint32(FCurrentTemplateDBID);
    t.Style = FShownStyle;
    const qint64 list = GetCurrentListID();
    t.ListID = list > 0 ? qint32(list) : -1;
    t.Subject = edtSubject->text();
    t.CC = edtRcptCC->text();
    t.BCC = edtRcptBCC->text();
    t.Text = MemoText->toPlainText();
    switch (FShownStyle) {
    case esRTFText:
        t.Rtf = FQV2RichEdit->RtfText();
        break;
    case esHTML: {
        hostapi::TVRNHtmlEditor* editor = FHTMLEditForm->Editor();
        t.Html = editor->HtmlText();
        t.HtmlImageFolder = editor->GetImagePath();
        t.HtmlImages = editor->ImageList();
        break;
    }
    case esHTMLSource:
        t.HtmlSource = edtHTMLSource->Text();
        break;
    case esPlainText:
    case esSMS:
        break;
    }
    return t;
}

void TfrmEmailMarketing::StartSending(qint64 AReSendJobID, qint64 AReSendJobState) {
    if (FCurrentTemplateDBID < 0)
        return;
    if (FJobActions->StartSending(AReSendJobID, AReSendJobState) &&
        PageControl->isTabVisible(PageControl->indexOf(tbsJob)))
        PageControl->setCurrentWidget(tbsJob);
}

void TfrmEmailMarketing::ScheduleSending(qint64 AReSendJobID, qint64 AReSendJobState) {
    if (FCurrentTemplateDBID >= 0)
        FJobActions->ScheduleSending(AReSendJobID, AReSendJobState);
}

void TfrmEmailMarketing::PreviewSending(qint64 AReSendJobID, qint64 AReSendJobState) {
    if (FCurrentTemplateDBID >= 0)
        FJobActions->PreviewSending(AReSendJobID, AReSendJobState);
}

void TfrmEmailMarketing::AbortSending() {
    FJobActions->AbortSending();
}

void TfrmEmailMarketing::TemplateShown() {
    TemplateListChanged();
    RefreshTextBlockMacros();
}

void TfrmEmailMarketing::RefreshTextBlockMacros() {
    QStringList descriptions;
    if (FCurrentTemplateDBID >= 0 && FTextBlocks.Active())
        for (int row = 0; row < FTextBlocks.RecordCount(); ++row)
            descriptions << FTextBlocks.FieldValueAt(row, QStringLiteral("descr")).toString();
    pnlMacros->SetTextBlocks(descriptions);
}

QString TfrmEmailMarketing::ToDisplayText(const QString& AText) const {
    return pnlMacros->Catalogue().ConvertMacroCaptions(AText, true);
}

QString TfrmEmailMarketing::ToStoredText(const QString& AText) const {
    return pnlMacros->Catalogue().ConvertMacroCaptions(AText, false);
}

void TfrmEmailMarketing::InsertMacro(const QString& AText) {
    QWidget* const page = pgEditor->currentWidget();
    if (page == tbsRTF)
        InsertMacroText(*FQV2RichEdit, AText);
    else if (page == tbsHTMLSource)
        InsertMacroText(*edtHTMLSource, AText);
    else if (page == tbsHTML)
        InsertMacroText(*FHTMLEditForm, AText);
    else
        InsertMacroText(*MemoText, AText);
    // The HTML editor reports no change of its own for an appended text.
    EditorChange();
}

void TfrmEmailMarketing::ractImportHTMLSourceExecute() {
    if (FCurrentTemplateDBID < 0)
        return;
    QWidget* editor = nullptr;
    switch (FShownStyle) {
    case esRTFText:
        editor = FQV2RichEdit;
        break;
    case esHTMLSource:
        editor = edtHTMLSource;
        break;
    case esHTML:
        editor = FHTMLEditForm;
        break;
    case esPlainText:
    case esSMS:
        return;
    }
    if (ImportHtmlFile(*editor, FLang.Language()))
        SetTemplateChanged(true);
}

void TfrmEmailMarketing::TemplateListChanged() {
    const qint64 list = GetCurrentListID();
    if (FCurrentTemplateDBID < 0)
        pnlMacros->ClearMacroLists();
    else
        pnlMacros->RefreshMacroLists(list > 0 ? Dm().ByID(qint32(list)) : nullptr,
                                     hostapi::TDBFieldSchema::Instance());
    // The attachments show the macros of the template's list.
    FAttachementsPage->LoadTemplate(FCurrentTemplateDBID, list > 0 ? qint32(list) : -1);
    FAttachementsPage->ApplyEmailStyle(FShownStyle);
}

void TfrmEmailMarketing::SetStylePickList() {
    hostapi::IDBFieldSchemaItem* schema = hostapi::TDBFieldSchema::Instance().SchemaByName(TemplateSchema);
    if (!schema || !schema->Definition().FieldByName(QStringLiteral("emailstyle")))
        return;
    schema->SetFieldListData(
        QStringLiteral("emailstyle"),
        MailingStyleRules::StylePickList([this](const QString& AId) { return FLang.Text(AId); }));
}

void TfrmEmailMarketing::SetLookupPickLists() {
    hostapi::IDBFieldSchemaItem* schema = hostapi::TDBFieldSchema::Instance().SchemaByName(TemplateSchema);
    if (!schema)
        return;
    schema->SetFieldListData(QStringLiteral("mailinglist"),
                             LookupPickList(QStringLiteral("emlists"), QStringLiteral("name")));
    schema->SetFieldListData(QStringLiteral("templstateid"),
                             LookupPickList(QStringLiteral("emltemplstates"), QStringLiteral("descr")));
}

void TfrmEmailMarketing::ApplyTexts() {
    const auto t = [this](const char* AId) { return FLang.Text(QString::fromLatin1(AId)); };
    setWindowTitle(t("IDS_Caption"));
    FTemplates->SetMenuCaption(t("IDS_MenuTemplate"));
    FTemplates->SetButtonHint(hostapi::tbAdd, t("IDS_HintAdd"));
    FTemplates->SetButtonHint(hostapi::tbCopy, t("IDS_HintCopy"));
    if (auto* preview = FTemplates->findChild<QWidget*>(QStringLiteral("btnUser1")))
        preview->setProperty("text", t("IDS_Preview"));
    if (auto* sending = FTemplates->findChild<QWidget*>(QStringLiteral("btnUser2")))
        sending->setProperty("text", t("IDS_Sending"));
    FTemplateModel->SetColumns({{QStringLiteral("descr"), QStringLiteral("name"), t("IDS_ColName"), false},
                                {{}, QStringLiteral("mailinglist"), t("IDS_ColList"), false},
                                {{}, QStringLiteral("emailstyle"), t("IDS_ColStyle"), false},
                                {{}, QStringLiteral("templstateid"), t("IDS_ColState"), false},
                                {{}, QStringLiteral("lastsent"), t("IDS_ColLastSent"), true},
                                {{}, QStringLiteral("creadate"), t("IDS_ColCreated"), true},
                                {{}, QStringLiteral("lastchangedtsp"), t("IDS_ColChanged"), true}});
    const int widths[] = {230, 130, 150, 100, 120, 110, 110};
    for (int column = 0; column < int(std::size(widths)); ++column)
        FTemplates->Tree()->setColumnWidth(column, widths[column]);
    const QPair<QWidget*, const char*> tabs[] = {{tbsDesigner, "IDS_TabDesigner"},
                                                 {tbsTextBlocks, "IDS_TabTextBlocks"},
                                                 {rbsAttachements, "IDS_TabAttachements"},
                                                 {tbsJob, "IDS_TabJob"},
                                                 {tbsHistory, "IDS_TabHistory"}};
    for (const auto& tab : tabs)
        PageControl->setTabText(PageControl->indexOf(tab.first), t(tab.second));
    const QPair<QWidget*, const char*> editorTabs[] = {{tbsPlainText, "IDS_TabPlainText"},
                                                       {tbsRTF, "IDS_TabRTF"},
                                                       {tbsHTMLSource, "IDS_TabHTMLSource"},
                                                       {tbsHTML, "IDS_TabHTML"}};
    for (const auto& tab : editorTabs)
        pgEditor->setTabText(pgEditor->indexOf(tab.first), t(tab.second));
    lblNoTemplate->setText(t("IDS_NoTemplate"));
    lblTo->setText(t("IDS_To"));
    // The subject caption changes with the style: its column keeps the width of the wider one.
    int captionWidth = 0;
    for (const char* id : {"IDS_SubCap", "IDS_SubCapSMS"})
        captionWidth =
            qMax(captionWidth,
                 lblSubject->fontMetrics().horizontalAdvance(QString(t(id)).remove(QLatin1Char('&'))));
    lblSubject->setMinimumWidth(captionWidth);
    lblRcptCC->setText(t("IDS_CC"));
    lblRcptBCC->setText(t("IDS_BCC"));
    Label1->setText(t("IDS_MacroNote"));
    ibkAutoText->SetText(t("IDS_AutoText"));
    Vertrilerlistebearbeiten1->setText(t("IDS_EditList"));
    for (QAction* action : {actSendingStart, actSchedSending, actSendingAbort, actPreviewSelected,
                            actExportTemplate, actImportTemplate, actAddTemplate, ractImportHTMLSource})
        action->setText(FLang.Text(QStringLiteral("IDS_") + action->objectName()));
    FillSendingMenu(*pmnuSendingGrid);
    FillPreviewMenu(*pmnuPreviewGrid);
    FillPreviewMenu(*pmnuPreview);
    FillSendingMenu(*pmnuSending);
    btnPreview->setText(t("IDS_Preview"));
    btnSending->setText(t("IDS_Sending"));
    ApplyEmailStyle();
}

void TfrmEmailMarketing::SetLanguage(const QString& ALangName) {
    hostapi::TPluginForm::SetLanguage(ALangName);
    FLang.SetLanguage(ALangName);
    FJobDetForm->SetLanguage(ALangName);
    FJobActions->SetLanguage(ALangName);
    FJobBuilder->SetLanguage(ALangName);
    FAttachementsPage->SetLanguage(ALangName);
    FTextBlocksPage->SetLanguage(ALangName);
    FHistoryPage->SetLanguage(ALangName);
    FTreeActions->SetLanguage(ALangName);
    pnlMacros->SetLanguage(ALangName);
    PopupMenu->SetLanguage(ALangName);
    FHTMLEditForm->SetLanguage(ALangName);
    FTemplates->SetLanguage(ALangName);
    SetStylePickList();
    ApplyTexts();
}

void TfrmEmailMarketing::AfterShow() {
    // An import changes templates inside its transaction: the tree follows once it has ended.
    Dm().SetOnTemplatesChanged(
        [this](QObject*, qint64& ALastInsertID) { FTreeActions->TemplatesChanged(ALastInsertID); });
    Dm().ListStore().CheckLists();
    FTemplateModel->SetContentVariable(QStringLiteral("templstateid"), Dm().StateID_AfterCreate());
    hostapi::TPluginForm::AfterShow();
    if (AlreadyShown()) {
        Dm().ResetGlobalAddressData();
        TemplateShown();
    }
    edtTo->Refresh();
    SetLookupPickLists();
    FTemplates->Refresh();
    if (FTemplates->ActiveContentID() != FCurrentTemplateDBID)
        dblvTemplatesRecordChanged();
}

void TfrmEmailMarketing::FormClose() {
    // Runs on every close, also when the host only hides the window: the edits are stored; a
    // failure keeps the window open and is shown.
    SaveChanges();
    FAttachementsPage->CloseTemplate();
    if (dmPluginEmailMarketingMain)
        dmPluginEmailMarketingMain->SetOnTemplatesChanged(nullptr);
}

void TfrmEmailMarketing::TemplatesChanged(qint64 AID) {
    FTemplates->Refresh();
    if (AID >= 1)
        FTemplates->FocusNode({hostapi::tnkContent, AID});
    // The shown template may have been overwritten (an import): the editors show what is stored.
    if (FCurrentTemplateDBID >= 0 && !IsTemplateModified() &&
        FTemplateModel->IndexOf({hostapi::tnkContent, FCurrentTemplateDBID}).isValid())
        ShowTemplate();
}

QVariant TfrmEmailMarketing::CurrentTemplateValue(const QString& AFieldName) const {
    if (FCurrentTemplateDBID < 0 ||
        !FTemplateModel->IndexOf({hostapi::tnkContent, FCurrentTemplateDBID}).isValid())
        return QVariant();
    return FTemplateModel->Value({hostapi::tnkContent, FCurrentTemplateDBID}, AFieldName);
}

void TfrmEmailMarketing::SetCurrentTemplateValue(const QString& AFieldName, const QVariant& AValue) {
    if (FLoadingCount > 0 || FCurrentTemplateDBID < 0)
        return;
    FTemplateModel->SetValue({hostapi::tnkContent, FCurrentTemplateDBID}, AFieldName, AValue);
}

TEmailStyle TfrmEmailMarketing::GetCurrentEmailStyle() const {
    return MailingStyleRules::StyleOfValue(CurrentTemplateValue(QStringLiteral("emailstyle")));
}

qint64 TfrmEmailMarketing::GetCurrentListID() const {
    if (FCurrentTemplateDBID < 0)
        return -1;
    return CurrentTemplateValue(QStringLiteral("mailinglist")).toLongLong();
}

void TfrmEmailMarketing::dblvTemplatesBeforeRecordChanged() {
    if (FReturningToTemplate > 0)
        return;
    try {
        SaveChanges();
    } catch (...) {
        FSaveFailed = true;
        throw;
    }
}

void TfrmEmailMarketing::dblvTemplatesRecordChanged() {
    if (FReturningToTemplate > 0)
        return;
    // A template whose edits could not be stored stays shown, and the tree goes back to it: the
    // editors never show one template while the tree names another.
    if (std::exchange(FSaveFailed, false)) {
        ReturnToShownTemplate();
        return;
    }
    const qint64 id = FTemplates->ActiveContentID();
    if (id == FCurrentTemplateDBID)
        return;
    try {
        SaveChanges();
    } catch (...) {
        ReturnToShownTemplate();
        throw;
    }
    FCurrentTemplateDBID = id;
    ShowTemplate();
}

void TfrmEmailMarketing::ReturnToShownTemplate() {
    // After the tree has finished moving its focus.
    QTimer::singleShot(0, this, [this] {
        ++FReturningToTemplate;
        const auto done = qScopeGuard([this] { --FReturningToTemplate; });
        if (FCurrentTemplateDBID >= 0)
            FTemplates->FocusNode({hostapi::tnkContent, FCurrentTemplateDBID});
    });
}

void TfrmEmailMarketing::dblvTemplatesContentFieldChanged(qint64 AID, const QString& AFieldName) {
    if (AID <= 0 || AID != FCurrentTemplateDBID || FLoadingCount > 0)
        return;
    if (AFieldName == QLatin1String("emailstyle")) {
        // The row is posted already: the editors still hold the body of the style shown so far.
        if (IsTemplateModified())
            SaveTemplateContent();
        ApplyEmailStyle();
        LoadTemplateContent();
        UpdateEditState();
    } else if (AFieldName == QLatin1String("mailinglist")) {
        // Also chosen in the tree's cell: the list edit follows.
        ++FLoadingCount;
        const auto loaded = qScopeGuard([this] { --FLoadingCount; });
        edtTo->SetValue(CurrentTemplateValue(QStringLiteral("mailinglist")));
        TemplateListChanged();
        UpdateActions();
    } else if (AFieldName == QLatin1String("subject")) {
        FContentStore.Refresh();
        LoadSubject();
    }
}

void TfrmEmailMarketing::JobListChanged(TBaseEmailSender* AJob, bool ARemoved) {
    Q_UNUSED(AJob);
    if (QThread::currentThread() != QCoreApplication::instance()->thread())
        return;
    // The job marks repaint the tree; an ended job changed its template's state and history.
    if (ARemoved) {
        FTemplates->Refresh();
        if (FHistoryPage->HistoryActive())
            FHistoryPage->RefreshJobs();
    }
}

void TfrmEmailMarketing::ShowTemplate() {
    ++FLoadingCount;
    const auto done = qScopeGuard([this] { --FLoadingCount; });
    const qint64 id = FCurrentTemplateDBID;
    const bool shown = id >= 0;
    FJobDetForm->SetLoadedTemplateID(qint32(id));
    FJobActions->SetTemplateID(qint32(id));
    FTextBlocksPage->SetTemplateID(id);
    const qint64 list = shown ? GetCurrentListID() : -1;
    const std::shared_ptr<TEmailListItem> listItem = list > 0 ? Dm().ByID(qint32(list)) : nullptr;
    FHistoryPage->SetTemplateID(id, listItem && listItem->RegisterServiceFilterEnabled());
    FAttachements.Filters().SetValue(QStringLiteral("emltemplateid"), id);
    FTextBlocks.Filters().SetValue(QStringLiteral("emtemplateid"), id);
    if (!shown) {
        ClearTemplateView();
        FContentStore.SetTemplateID(-1);
        FAttachements.Close();
        FTextBlocks.Close();
        FAttachementsPage->CloseTemplate();
        pnlMacros->ClearMacroLists();
        pnlMacros->SetTextBlocks({});
    } else {
        edtTo->SetValue(CurrentTemplateValue(QStringLiteral("mailinglist")));
        edtRcptCC->setText(CurrentTemplateValue(QStringLiteral("rcptcc")).toString());
        edtRcptBCC->setText(CurrentTemplateValue(QStringLiteral("rcptbcc")).toString());
        for (hostapi::TQVRecordSet* rs : {&FAttachements, &FTextBlocks})
            rs->Active() ? rs->Refresh() : rs->Open();
        // The macro lists first: the bodies are shown with their macro captions.
        TemplateShown();
        LoadTemplateContent();
        ApplyEmailStyle();
        LoadSubject();
    }
    // Pages are chosen once their tabs are shown or hidden: a hidden tab cannot become current.
    for (QWidget* page : {tbsDesigner, tbsHistory, tbsTextBlocks})
        SetTabVisible(page, shown);
    SetTabVisible(rbsAttachements, shown && FAttachementsPage->TabVisible());
    if (!shown)
        PageControl->setCurrentWidget(tbsNoTemplate);
    else if (FNoTemplatePage)
        PageControl->setCurrentWidget(tbsDesigner);
    FNoTemplatePage = !shown;
    UpdateEditState();
    SetTemplateChanged(false);
    PageControlChange();
}

void TfrmEmailMarketing::LoadSubject() {
    const QString subject = ToDisplayText(FContentStore.Subject());
    if (edtSubject->text() != subject) {
        ++FLoadingCount;
        edtSubject->setText(subject);
        --FLoadingCount;
    }
}

void TfrmEmailMarketing::SetTabVisible(QWidget* APage, bool AVisible) {
    const int index = PageControl->indexOf(APage);
    PageControl->setTabVisible(index, AVisible);
}

void TfrmEmailMarketing::ShowHtmlBody(const QString& ABody, const QList<TEmbeddedImage>& AImages) {
    hostapi::TVRNHtmlEditor* editor = FHTMLEditForm->Editor();
    editor->BeginLoad();
    const auto done = qScopeGuard([editor] { editor->EndLoad(); });
    TemplateContent::WriteImages(AImages, editor->GetImagePath());
    editor->SetHtmlText(ABody);
}

void TfrmEmailMarketing::LoadTemplateContent() {
    FDropImagesOnSave = false;
    FConversionUnsaved = false;
    if (FCurrentTemplateDBID < 0) {
        ClearTemplateView();
        SetTemplateChanged(false);
        return;
    }
    ++FLoadingCount;
    const auto done = qScopeGuard([this] { --FLoadingCount; });
    FContentStore.SetTemplateID(FCurrentTemplateDBID);
    FContentStore.Refresh();
    const TEmailStyle style = GetCurrentEmailStyle();
    FShownStyle = style;
    MemoText->setPlainText(ToDisplayText(FContentStore.MailBody()));
    if (style != esHTMLSource)
        edtHTMLSource->SetText(QString());
    if (style != esHTML)
        FHTMLEditForm->Editor()->SetHtmlText(QString());
    if (style != esRTFText)
        FQV2RichEdit->SetRtfText(QString());

    // A body stored for another style is converted and stored at once. Plain text and SMS
    // templates keep the formatted body as it is: they neither show nor write it.
    const QString stored = FContentStore.MailBodyHtml();
    bool converted = false;
    if (style == esHTMLSource || style == esHTML) {
        QString body = ToDisplayText(stored);
        QList<TEmbeddedImage> images = FContentStore.Images();
        if (TemplateContent::IsRtfBody(stored)) {
            const TemplateContent::THtmlBody html = TemplateContent::RtfToHtml(body, style == esHTML);
            if (style == esHTMLSource && html.HadImages)
                hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_ImagesDropped")), hostapi::mtInformation,
                                    hostapi::mbOK, 0);
            body = html.Html;
            images = html.Images;
            converted = true;
        }
        if (style == esHTMLSource)
            edtHTMLSource->SetText(body);
        else
            ShowHtmlBody(body, images);
    } else if (style == esRTFText) {
        if (!stored.isEmpty() && !TemplateContent::IsRtfBody(stored)) {
            FQV2RichEdit->SetRtfText(
                TemplateContent::HtmlToRtf(ToDisplayText(stored), FContentStore.Images()));
            converted = true;
        } else {
            FQV2RichEdit->SetRtfText(ToDisplayText(stored));
        }
    }
    SetTemplateChanged(false);
    if (converted) {
        // Stored at once; when that fails, the converted body stays marked as edited and is
        // stored with the next save.
        FDropImagesOnSave = style == esRTFText;
        FConversionUnsaved = !hostapi::TVRNExceptionUtils::Guarded([this] { WriteTemplateContent(false); });
    }
}

void TfrmEmailMarketing::WriteTemplateContent(bool ASubject) {
    TTemplateContentStore::TBodies bodies;
    if (ASubject)
        bodies.Subject = ToStoredText(edtSubject->text());
    bodies.MailBody = ToStoredText(MemoText->toPlainText());
    hostapi::TVRNHtmlEditor* editor = FHTMLEditForm->Editor();
    switch (FShownStyle) {
    case esRTFText:
        bodies.MailBodyHtml = ToStoredText(FQV2RichEdit->RtfText());
        break;
    case esHTMLSource:
        bodies.MailBodyHtml = ToStoredText(edtHTMLSource->Text());
        break;
    case esHTML:
        bodies.MailBodyHtml = ToStoredText(editor->HtmlText());
        break;
    case esPlainText:
    case esSMS:
        break;
    }
    hostapi::Transaction transaction;
    FContentStore.Save(bodies);
    if (FShownStyle == esHTML)
        FContentStore.ReplaceImages(TemplateContent::ReadImages(editor->GetImagePath(), editor->ImageList()));
    else if (FDropImagesOnSave)
        FContentStore.DeleteImages();
    transaction.Commit();
    FDropImagesOnSave = false;
    FConversionUnsaved = false;
}

void TfrmEmailMarketing::SaveTemplateContent() {
    if (FCurrentTemplateDBID < 0)
        return;
    WriteTemplateContent(true);
    SetTemplateChanged(false);
}

bool TfrmEmailMarketing::SaveChanges() {
    if (FCurrentTemplateDBID >= 0 && FAttachementsPage->TemplateDBID() == FCurrentTemplateDBID)
        FAttachementsPage->SaveChanges();
    if (FCurrentTemplateDBID >= 0 && FTextBlocksPage->TemplateID() == FCurrentTemplateDBID)
        FTextBlocksPage->Save();
    if (FCurrentTemplateDBID < 0 || !IsTemplateModified())
        return true;
    // A template deleted in the tree takes its edits with it.
    if (!FTemplateModel->IndexOf({hostapi::tnkContent, FCurrentTemplateDBID}).isValid()) {
        qCInfo(lcWindows) << "the edits of the deleted template" << FCurrentTemplateDBID << "are dropped";
        SetTemplateChanged(false);
        FDropImagesOnSave = false;
        FConversionUnsaved = false;
        return true;
    }
    SaveTemplateContent();
    return true;
}

bool TfrmEmailMarketing::IsTemplateModified() const {
    return FTemplateChanged || FConversionUnsaved || (FShownStyle == esRTFText && FQV2RichEdit->Modified()) ||
           (FShownStyle == esHTML && FHTMLEditForm->Editor()->Modified());
}

void TfrmEmailMarketing::SetTemplateChanged(bool AValue) {
    FTemplateChanged = AValue;
    if (!AValue) {
        FQV2RichEdit->SetModified(false);
        FHTMLEditForm->Editor()->SetModified(false);
    }
}

void TfrmEmailMarketing::ApplyEmailStyle() {
    const TEmailStyle style = FCurrentTemplateDBID >= 0 ? GetCurrentEmailStyle() : FShownStyle;
    const MailingStyleRules::TStylePresentation p = MailingStyleRules::Presentation(style);
    pgEditor->setTabVisible(pgEditor->indexOf(tbsRTF), p.RTFPage);
    pgEditor->setTabVisible(pgEditor->indexOf(tbsHTMLSource), p.HTMLSourcePage);
    pgEditor->setTabVisible(pgEditor->indexOf(tbsHTML), p.HTMLPage);
    const QWidget* pages[] = {tbsPlainText, tbsRTF, tbsHTMLSource, tbsHTML};
    const auto current = static_cast<MailingStyleRules::TEditorPage>(qMax(0, pgEditor->currentIndex()));
    pgEditor->setCurrentWidget(const_cast<QWidget*>(pages[MailingStyleRules::ActivePage(style, current)]));
    if (FCurrentTemplateDBID >= 0) {
        FAttachementsPage->ApplyEmailStyle(style);
        SetTabVisible(rbsAttachements, FAttachementsPage->TabVisible());
    }
    lblSubject->setText(FLang.Text(p.SubjectLabelId));
    ractImportHTMLSource->setVisible(p.ImportHTMLSourceAction);
    edtRcptCC->setEnabled(FCanEditTemplate && p.CcBccEditable);
    edtRcptBCC->setEnabled(FCanEditTemplate && p.CcBccEditable);
    UpdateTextInfo();
}

void TfrmEmailMarketing::UpdateTextInfo() {
    const TEmailStyle style = FCurrentTemplateDBID >= 0 ? GetCurrentEmailStyle() : FShownStyle;
    const bool sms = MailingStyleRules::Presentation(style).CharCountVisible;
    pnlCharCount->setVisible(sms);
    if (sms)
        lblCharCount->setText(MailingStyleRules::CharCountText(FLang.Text(QStringLiteral("IDS_CHARCNT")),
                                                               MemoText->toPlainText()));
    ibkAutoText->setVisible(FCurrentTemplateDBID >= 0 &&
                            MailingStyleRules::AutoTextNoteVisible(style, MemoText->toPlainText()));
}

void TfrmEmailMarketing::UpdateActions() {
    const MailingStyleRules::TActionState s =
        MailingStyleRules::ActionState(GetCurrentListID(), FJobDetForm->Job() != nullptr);
    actExportTemplate->setEnabled(s.ExportTemplate);
    actSendingStart->setEnabled(s.SendingStart);
    actPreviewSelected->setEnabled(s.PreviewSelected);
    actSchedSending->setEnabled(s.SchedSending);
    actSendingAbort->setEnabled(s.SendingAbort);
    const bool jobWasActive = PageControl->currentWidget() == tbsJob;
    SetTabVisible(tbsJob, s.JobTabVisible);
    FHistoryPage->UpdateActions();
    if (!s.JobTabVisible && jobWasActive)
        PageControl->setCurrentWidget(tbsDesigner);
}

void TfrmEmailMarketing::UpdateEditState() {
    SetTemplateEditable(
        MailingStyleRules::TemplateEditable(FCurrentTemplateDBID >= 0, FJobDetForm->Job() != nullptr));
    UpdateActions();
}

void TfrmEmailMarketing::SetTemplateEditable(bool AEditable) {
    FCanEditTemplate = AEditable;
    MemoText->setReadOnly(!AEditable);
    edtHTMLSource->SetReadOnly(!AEditable);
    FQV2RichEdit->SetReadOnly(!AEditable);
    FHTMLEditForm->SetReadOnly(!AEditable);
    edtTo->setEnabled(AEditable);
    edtSubject->setEnabled(AEditable);
    const bool ccBcc = AEditable && MailingStyleRules::Presentation(FShownStyle).CcBccEditable;
    edtRcptCC->setEnabled(ccBcc);
    edtRcptBCC->setEnabled(ccBcc);
    FAttachementsPage->SetTemplateEditable(AEditable);
    pnlMacros->SetMacrosEnabled(AEditable);
    FTextBlocksPage->setEnabled(AEditable && FCurrentTemplateDBID > 0);
    // A locked template is neither deleted nor edited in the tree; its folder still is.
    const bool rowActions = AEditable || FTemplates->FocusedNode().Kind == hostapi::tnkFolder;
    for (const char* button : {"btnDelete", "btnEdit"})
        FTemplates->findChild<QWidget*>(QString::fromLatin1(button))->setEnabled(rowActions);
    TemplateEditableChanged(AEditable);
}

void TfrmEmailMarketing::dblvTemplatesContentAction(int AAction, qint64 AID, bool& AHandled) {
    if (AAction == hostapi::gaCopy) {
        AHandled = true;
        CopyTemplate(AID);
        return;
    }
    // The keys reach the actions also while the buttons are disabled.
    if ((AAction == hostapi::gaDelete || AAction == hostapi::gaEdit) && AID == FCurrentTemplateDBID &&
        !FCanEditTemplate)
        AHandled = true;
}

void TfrmEmailMarketing::ClearTemplateView() {
    ++FLoadingCount;
    const auto done = qScopeGuard([this] { --FLoadingCount; });
    edtSubject->clear();
    MemoText->clear();
    edtRcptCC->clear();
    edtRcptBCC->clear();
    FQV2RichEdit->SetRtfText(QString());
    edtHTMLSource->SetText(QString());
    FHTMLEditForm->Editor()->SetHtmlText(QString());
    edtTo->SetValue(QVariant());
}

void TfrmEmailMarketing::edtToPropertiesEditValueChanged() {
    const QVariant value = edtTo->Value();
    SetCurrentTemplateValue(QStringLiteral("mailinglist"), value.isNull() ? 0 : value.toLongLong());
}

void TfrmEmailMarketing::edtRcptCCPropertiesEditValueChanged() {
    SetCurrentTemplateValue(QStringLiteral("rcptcc"), edtRcptCC->text());
}

void TfrmEmailMarketing::edtRcptBCCPropertiesEditValueChanged() {
    SetCurrentTemplateValue(QStringLiteral("rcptbcc"), edtRcptBCC->text());
}

void TfrmEmailMarketing::MemoTextChange() {
    EditorChange();
    UpdateTextInfo();
}

void TfrmEmailMarketing::EditorChange() {
    if (FLoadingCount == 0)
        SetTemplateChanged(true);
}

void TfrmEmailMarketing::PageControlChange() {
    // The job frame fills itself only while it is seen: at once when its page is chosen.
    if (PageControl->currentWidget() == tbsJob)
        FJobDetForm->RefreshView();
    FHistoryPage->SetHistoryActive(PageControl->currentWidget() == tbsHistory);
}

void TfrmEmailMarketing::Vertrilerlistebearbeiten1Click() {
    SaveChanges();
    Dm().SetPreloadEmailList(qint32(GetCurrentListID()));
    GetScreen().OpenPluginForm(PluginModuleGUID(), 1, 0);
}

} // namespace emailmarketing
