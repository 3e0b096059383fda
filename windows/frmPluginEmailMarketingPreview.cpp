#include "frmPluginEmailMarketingPreview.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "FileOpener.h"
#include "FormSave.h"
#include "HtmlViewer.h"
#include "LocalSettingsStorage.h"
#include "QVException.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>

#include <climits>

namespace emailmarketing {

namespace {

// An attachment row: the name in bold, the local path in italic grey below it.
class TAttachmentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
        QStyleOptionViewItem option = AOption;
        initStyleOption(&option, AIndex);
        const QString name = AIndex.data(Qt::DisplayRole).toString();
        const QString path = AIndex.data(Qt::UserRole).toString();
        option.text.clear();
        option.widget->style()->drawControl(QStyle::CE_ItemViewItem, &option, APainter, option.widget);
        APainter->save();
        const QRect r = option.rect.adjusted(36, 1, -2, -1);
        QFont bold = option.font;
        bold.setBold(true);
        APainter->setFont(bold);
        const int lineHeight = QFontMetrics(bold).height();
        APainter->setPen(option.state & QStyle::State_Selected ? option.palette.highlightedText().color()
                                                               : option.palette.text().color());
        APainter->drawText(QRect(r.left(), r.top(), r.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, name);
        QFont italic = option.font;
        italic.setItalic(true);
        APainter->setFont(italic);
        APainter->setPen(option.palette.color(QPalette::Disabled, QPalette::Text));
        APainter->drawText(QRect(r.left(), r.top() + lineHeight + 1, r.width(), lineHeight),
                           Qt::AlignLeft | Qt::AlignVCenter, path);
        APainter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
        return QSize(QStyledItemDelegate::sizeHint(AOption, AIndex).width(), 32);
    }
};

QLabel* Label(QWidget* AParent, const char* AName) {
    auto* label = new QLabel(AParent);
    label->setObjectName(QLatin1String(AName));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QPushButton* Button(QWidget* AParent, const char* AName) {
    auto* button = new QPushButton(AParent);
    button->setObjectName(QLatin1String(AName));
    button->setAutoDefault(false);
    return button;
}

} // namespace

TfrmPluginEmailMarketingPreview::TfrmPluginEmailMarketingPreview(QWidget* AParent)
    : QDialog(AParent), FLang(QStringLiteral("frmPluginEmailMarketingPreview")) {
    setObjectName(QStringLiteral("frmPluginEmailMarketingPreview"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    // Ribbon: the dialog group, the navigation group and the export.
    btnClose = Button(this, "btnClose");
    btnFirst = Button(this, "btnFirst");
    btnPrev = Button(this, "btnPrev");
    btnNext = Button(this, "btnNext");
    btnLast = Button(this, "btnLast");
    btnExport = Button(this, "btnExport");
    auto* ribbon = new QHBoxLayout;
    ribbon->addWidget(btnClose);
    ribbon->addSpacing(16);
    ribbon->addWidget(btnFirst);
    ribbon->addWidget(btnPrev);
    ribbon->addWidget(btnNext);
    ribbon->addWidget(btnLast);
    ribbon->addSpacing(16);
    ribbon->addWidget(btnExport);
    ribbon->addStretch();

    // Header.
    auto* header = new QFormLayout;
    lblSubjectCaption = Label(this, "lblSubjectCaption");
    lblSubject = Label(this, "lblSubject");
    lblToCaption = Label(this, "lblToCaption");
    lblEMail = Label(this, "lblEMail");
    lblFromCaption = Label(this, "lblFromCaption");
    lblEmailFrom = Label(this, "lblEmailFrom");
    lblCCCaption = Label(this, "lblCCCaption");
    lblCC = Label(this, "lblCC");
    lblBCCCaption = Label(this, "lblBCCCaption");
    lblBCC = Label(this, "lblBCC");
    lblStatusCaption = Label(this, "lblStatusCaption");
    edtStatus = Label(this, "edtStatus");
    edtStatus->setMinimumWidth(1);
    edtStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblRegisterServiceCaption = Label(this, "lblRegisterServiceCaption");
    lblRegisterServiceState = Label(this, "lblRegisterServiceState");
    lblRegisterServiceState->setText(QStringLiteral("n/a"));
    header->addRow(lblSubjectCaption, lblSubject);
    header->addRow(lblToCaption, lblEMail);
    header->addRow(lblFromCaption, lblEmailFrom);
    header->addRow(lblCCCaption, lblCC);
    header->addRow(lblBCCCaption, lblBCC);
    header->addRow(lblStatusCaption, edtStatus);
    header->addRow(lblRegisterServiceCaption, lblRegisterServiceState);

    // Pages.
    cxMLPageControl = new QTabWidget(this);
    cxMLPageControl->setObjectName(QStringLiteral("cxMLPageControl"));
    tbsHTML = new QWidget;
    tbsHTML->setObjectName(QStringLiteral("tbsHTML"));
    WebBrowser = new hostapi::THtmlViewer(tbsHTML);
    WebBrowser->setObjectName(QStringLiteral("WebBrowser"));
    FView = WebBrowser;
    auto* htmlLayout = new QVBoxLayout(tbsHTML);
    htmlLayout->setContentsMargins(0, 0, 0, 0);
    htmlLayout->addWidget(WebBrowser);

    tbsText = new QWidget;
    tbsText->setObjectName(QStringLiteral("tbsText"));
    MemoText = new QPlainTextEdit(tbsText);
    MemoText->setObjectName(QStringLiteral("MemoText"));
    MemoText->setReadOnly(true);
    MemoText->setLineWrapMode(QPlainTextEdit::NoWrap);
    pnlCharCount = new QWidget(tbsText);
    pnlCharCount->setObjectName(QStringLiteral("pnlCharCount"));
    pnlCharCount->setAutoFillBackground(true);
    pnlCharCount->setBackgroundRole(QPalette::ToolTipBase);
    lblCharCount = Label(pnlCharCount, "lblCharCount");
    lblCharCount->setForegroundRole(QPalette::ToolTipText);
    auto* countLayout = new QHBoxLayout(pnlCharCount);
    countLayout->addWidget(lblCharCount);
    auto* textLayout = new QVBoxLayout(tbsText);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->addWidget(MemoText);
    textLayout->addWidget(pnlCharCount);

    tbsAttachements = new QWidget;
    tbsAttachements->setObjectName(QStringLiteral("tbsAttachements"));
    lbAttachements = new QListWidget(tbsAttachements);
    lbAttachements->setObjectName(QStringLiteral("lbAttachements"));
    lbAttachements->setItemDelegate(new TAttachmentDelegate(lbAttachements));
    lbAttachements->setContextMenuPolicy(Qt::ActionsContextMenu);
    Dateispeichernunter1 = new QAction(lbAttachements);
    Dateispeichernunter1->setObjectName(QStringLiteral("Dateispeichernunter1"));
    lbAttachements->addAction(Dateispeichernunter1);
    auto* attLayout = new QVBoxLayout(tbsAttachements);
    attLayout->setContentsMargins(0, 0, 0, 0);
    attLayout->addWidget(lbAttachements);

    cxMLPageControl->addTab(tbsHTML, QString());
    cxMLPageControl->addTab(tbsText, QString());
    cxMLPageControl->addTab(tbsAttachements, QString());

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    lblCounter = Label(StatusBar, "lblCounter");
    StatusBar->addWidget(lblCounter, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ribbon);
    layout->addLayout(header);
    layout->addWidget(cxMLPageControl, 1);
    layout->addWidget(StatusBar);

    using hostapi::TVRNExceptionUtils;
    const auto guarded = [this](void (TfrmPluginEmailMarketingPreview::*AHandler)()) {
        return [this, AHandler] { TVRNExceptionUtils::Guarded([&] { (this->*AHandler)(); }); };
    };
    connect(btnFirst, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingPreview::btnFirstClick));
    connect(btnPrev, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingPreview::btnPrevClick));
    connect(btnNext, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingPreview::btnNextClick));
    connect(btnLast, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingPreview::btnLastClick));
    connect(btnClose, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingPreview::btnCloseClick));
    connect(btnExport, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingPreview::btnExportClick));
    connect(cxMLPageControl, &QTabWidget::currentChanged, this,
            guarded(&TfrmPluginEmailMarketingPreview::cxMLPageControlChange));
    connect(lbAttachements, &QListWidget::itemDoubleClicked, this,
            guarded(&TfrmPluginEmailMarketingPreview::lbAttachementsDblClick));
    connect(Dateispeichernunter1, &QAction::triggered, this,
            guarded(&TfrmPluginEmailMarketingPreview::Dateispeichernunter1Click));

    setTabOrder(btnClose, btnFirst);
    setTabOrder(btnFirst, btnPrev);
    setTabOrder(btnPrev, btnNext);
    setTabOrder(btnNext, btnLast);
    setTabOrder(btnLast, btnExport);
    setTabOrder(btnExport, cxMLPageControl);

    ApplyTexts();
    cxMLPageControl->setCurrentWidget(tbsHTML);
    cxMLPageControlChange();
    pnlCharCount->setVisible(false);
    SetCurrentMail(-1);
    resize(956, 699);
}

TfrmPluginEmailMarketingPreview::~TfrmPluginEmailMarketingPreview() = default;

void TfrmPluginEmailMarketingPreview::ApplyTexts() {
    const auto t = [this](const char* AId) { return FLang.Text(QLatin1String(AId)); };
    setWindowTitle(t(FEmailStyle == esSMS ? "IDS_SMSTitle" : "IDS_EmailTitle"));
    if (FEmailStyle != esSMS)
        lblSubjectCaption->setText(t("IDS_Subj"));
    lblToCaption->setText(t("IDS_To"));
    lblFromCaption->setText(t("IDS_From"));
    lblCCCaption->setText(t("IDS_CC"));
    lblBCCCaption->setText(t("IDS_BCC"));
    lblStatusCaption->setText(t("IDS_Status"));
    lblRegisterServiceCaption->setText(t("IDS_RegisterService"));
    cxMLPageControl->setTabText(cxMLPageControl->indexOf(tbsHTML), t("IDS_TabHTML"));
    cxMLPageControl->setTabText(cxMLPageControl->indexOf(tbsText), t("IDS_TabText"));
    cxMLPageControl->setTabText(cxMLPageControl->indexOf(tbsAttachements), t("IDS_TabAttachements"));
    Dateispeichernunter1->setText(t("IDS_SaveAttachement"));
    btnClose->setText(t("IDS_Close"));
    btnFirst->setText(t("IDS_First"));
    btnPrev->setText(t("IDS_Prev"));
    btnNext->setText(t("IDS_Next"));
    btnLast->setText(t("IDS_Last"));
    btnExport->setText(t("IDS_Export"));
}

void TfrmPluginEmailMarketingPreview::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    ApplyTexts();
    RefreshMailCount();
}

void TfrmPluginEmailMarketingPreview::SetSaveSettings(std::shared_ptr<hostapi::ILocalSettingsStorage> AStorage) {
    if (!AStorage && FFormSave)
        FFormSave->Save();
    FSaveSettings = std::move(AStorage);
    FFormSave = FSaveSettings ? std::make_unique<hostapi::TFormSave>(*this, FSaveSettings) : nullptr;
}

void TfrmPluginEmailMarketingPreview::SetJob(TBaseEmailSender* AJob) {
    FJob = AJob;
    if (AJob) {
        SetEmailStyle(AJob->EmailStyle());
        if (FEmailStyle == esSMS) {
            lblSubjectCaption->clear();
        } else {
            QString name, address;
            if (const std::shared_ptr<TEmailListItem> list = AJob->DestinationList()) {
                name = list->SenderName();
                address = list->SenderEmail().isEmpty() ? list->ReplyToEmail() : list->SenderEmail();
            }
            lblEmailFrom->setText(name + QStringLiteral(" <") + address + QLatin1Char('>'));
            lblSubjectCaption->setText(FLang.Text(QStringLiteral("IDS_Subj")));
        }
    }
    // A rebound job starts from its first message; without messages the empty state shows.
    FCurrentMail = INT_MIN;
    SetCurrentMail(-1);
}

void TfrmPluginEmailMarketingPreview::SetPreviewMode(TEmailPreviewMode AMode) {
    if (AMode == FPreviewMode)
        return;
    FPreviewMode = AMode;
    if (FJob) {
        FCurrentMail = INT_MIN;
        SetCurrentMail(-1);
    }
}

void TfrmPluginEmailMarketingPreview::SetEmailStyle(TEmailStyle AStyle) {
    FEmailStyle = AStyle;
    pnlCharCount->setVisible(AStyle == esSMS);
    setWindowTitle(FLang.Text(AStyle == esSMS ? QStringLiteral("IDS_SMSTitle") : QStringLiteral("IDS_EmailTitle")));
    const bool html = PreviewModel::HasHtml(AStyle);
    const bool shownBefore = cxMLPageControl->isTabVisible(cxMLPageControl->indexOf(tbsHTML));
    HideTab(tbsHTML, html, true);
    // A reused window shows an HTML message as the recipient gets it, also after a text job.
    if (html && !shownBefore)
        cxMLPageControl->setCurrentWidget(tbsHTML);
}

void TfrmPluginEmailMarketingPreview::HideTab(QWidget* ATab, bool AVisible, bool AForward) {
    const int index = cxMLPageControl->indexOf(ATab);
    const bool wasActive = cxMLPageControl->currentIndex() == index;
    cxMLPageControl->setTabVisible(index, AVisible);
    if (AVisible || !wasActive)
        return;
    const int count = cxMLPageControl->count();
    for (int step = 1; step < count; ++step) {
        const int next = ((AForward ? index + step : index - step) % count + count) % count;
        if (cxMLPageControl->isTabVisible(next)) {
            cxMLPageControl->setCurrentIndex(next);
            break;
        }
    }
    cxMLPageControlChange();
}

int TfrmPluginEmailMarketingPreview::GetMailCount() const {
    return PreviewModel::MailCount(FJob, FPreviewMode);
}

void TfrmPluginEmailMarketingPreview::SetCurrentMail(int AIndex) {
    if (AIndex == FCurrentMail)
        return;
    FCurrentMail = AIndex;
    if (FJob && AIndex >= 0 && AIndex < GetMailCount()) {
        if (TEmailDocument* document = PreviewModel::Mail(*FJob, FPreviewMode, AIndex)) {
            ShowMail(*document);
            return;
        }
    }
    if (AIndex != -1 && FJob)
        return;
    ShowEmpty();
}

void TfrmPluginEmailMarketingPreview::ShowEmpty() {
    edtStatus->setText(FLang.Text(PreviewModel::EmptyStateId(
        FPreviewMode, FJob != nullptr, FJob ? FJob->State() : TJobStateSet(), FPreviewEnded)));
    if (FEmailStyle == esSMS)
        lblEmailFrom->setText(QStringLiteral("n/a"));
    lblCharCount->clear();
    lblEMail->clear();
    lblSubject->clear();
    lblCC->clear();
    lblBCC->clear();
    FEmail.clear();
    FSubject.clear();
    MemoText->clear();
    FAttachments.clear();
    lbAttachements->clear();
    HideTab(tbsAttachements, false, false);
    FView->ShowBlank();
    RefreshMailCount();
}

void TfrmPluginEmailMarketingPreview::ShowMail(TEmailDocument& ADocument) {
    if (FEmailStyle == esSMS) {
        lblEmailFrom->setText(ADocument.Subject());
        FSubject.clear();
    } else {
        FSubject = ADocument.Subject();
    }
    lblSubject->setText(FSubject);
    lblCC->setText(ADocument.CCList());
    lblBCC->setText(ADocument.BCCList());
    ShowHTML(ADocument.PlainMailBody(), ADocument.HTMLMailBody());
    FEmail = ADocument.EmailAddress();
    lblEMail->setText(FEmail);

    FAttachments = PreviewModel::AttachmentRows(*ADocument.NormalFileList());
    lbAttachements->clear();
    for (const PreviewModel::TAttachmentRow& row : FAttachments) {
        auto* item = new QListWidgetItem(row.Name, lbAttachements);
        item->setData(Qt::UserRole, row.LocalFile);
        item->setToolTip(row.LocalFile);
    }
    HideTab(tbsAttachements, !FAttachments.isEmpty(), false);

    edtStatus->setText(
        PreviewModel::StatusText(FLang, FPreviewMode, ADocument.Status(), ADocument.SentErrorMessage()));
    if (pnlCharCount->isVisibleTo(this))
        lblCharCount->setText(PreviewModel::CharCountText(FLang, ADocument.PlainMailBody()));
    RefreshMailCount();
}

void TfrmPluginEmailMarketingPreview::ShowHTML(const QString& APlainBody, const QString& AHTMLBody) {
    MemoText->setPlainText(APlainBody);
    if (!PreviewModel::HasHtml(FEmailStyle))
        return;
    const QString folder = FJob->TempDirectory();
    if (folder.isEmpty())
        throw hostapi::EQVException(QStringLiteral("The job has no temporary folder for its preview."));
    const QString file = PreviewModel::PreviewFileName(folder, FCurrentMail);
    PreviewModel::WritePreviewFile(file, PreviewModel::RewriteContentIds(AHTMLBody));
    FView->ShowFile(file, folder);
}

void TfrmPluginEmailMarketingPreview::RefreshMailCount() {
    const int count = GetMailCount();
    const int current = FCurrentMail < -1 ? -1 : FCurrentMail;
    lblCounter->setText(PreviewModel::CounterText(FLang, FEmailStyle == esSMS, current, count));
    if (FCurrentMail == -1 && count > 0) {
        SetCurrentMail(0);
        return; // showing the message refreshed the rest
    }
    const PreviewModel::TNavigation navigation = PreviewModel::Navigation(count, FCurrentMail);
    btnFirst->setEnabled(navigation.First);
    btnPrev->setEnabled(navigation.Prev);
    btnNext->setEnabled(navigation.Next);
    btnLast->setEnabled(navigation.Last);
    lblRegisterServiceState->setText(
        PreviewModel::RegisterServiceText(FLang, FJob != nullptr, FJob ? FJob->State() : TJobStateSet()));
}

void TfrmPluginEmailMarketingPreview::showEvent(QShowEvent* AEvent) {
    QDialog::showEvent(AEvent);
    FCloseRequested = false;
    FPreviewEnded = false;
    if (FFormSave)
        FFormSave->Restore();
    // Started once the window is on screen.
    QMetaObject::invokeMethod(
        this, [this] { hostapi::TVRNExceptionUtils::Guarded([this] { WMStartPreview(); }); }, Qt::QueuedConnection);
}

void TfrmPluginEmailMarketingPreview::WMStartPreview() {
    if (FPreviewMode != epmPreview || !FJob || FWaiting || !isVisible())
        return;
    FCurrentMail = INT_MIN;
    SetCurrentMail(-1);
    if (!FJob->CanAction(eaPreparePreview)) {
        FPreviewMode = epmAll;
        FCurrentMail = INT_MIN;
        SetCurrentMail(-1);
        return;
    }
    const QPointer<TfrmPluginEmailMarketingPreview> self(this);
    const QPointer<TBaseEmailSender> job(FJob);
    FWaiting = true;
    job->SetOnWaitCallBack([self](TBaseEmailSender&) {
        if (self)
            self->WaitCallBack();
    });
    try {
        job->PreparePreview();
    } catch (...) {
        if (job)
            job->SetOnWaitCallBack({});
        if (self) {
            self->FWaiting = false;
            self->FPreviewEnded = true;
            if (self->FCloseRequested)
                self->FormClose();
        }
        throw;
    }
    if (job)
        job->SetOnWaitCallBack({});
    if (!self)
        return;
    FWaiting = false;
    FPreviewEnded = true;
    if (FCloseRequested) {
        // Closed during the wait: the reset runs now that the wait has returned.
        FormClose();
        return;
    }
    RefreshMailCount();
    if (GetMailCount() == 0) {
        FCurrentMail = 0;
        SetCurrentMail(-1);
    }
}

void TfrmPluginEmailMarketingPreview::WaitCallBack() {
    RefreshMailCount();
    QApplication::processEvents();
}

void TfrmPluginEmailMarketingPreview::done(int AResult) {
    if (FJob && FWaiting) {
        FJob->AbortPreviewPreparing();
        FCloseRequested = true;
    } else {
        hostapi::TVRNExceptionUtils::Guarded([this] { FormClose(); });
    }
    if (FFormSave && isVisible())
        FFormSave->Save();
    QDialog::done(AResult);
}

void TfrmPluginEmailMarketingPreview::FormClose() {
    FCloseRequested = false;
    if (FJob && FJob->State().ContainsAny({jsPreparedPreview, jsPreparingPreview}))
        FJob->DropPreviewDocuments();
}

void TfrmPluginEmailMarketingPreview::btnFirstClick() {
    SetCurrentMail(0);
}

void TfrmPluginEmailMarketingPreview::btnPrevClick() {
    if (FCurrentMail > 0)
        SetCurrentMail(FCurrentMail - 1);
}

void TfrmPluginEmailMarketingPreview::btnNextClick() {
    if (FCurrentMail < GetMailCount() - 1)
        SetCurrentMail(FCurrentMail + 1);
}

void TfrmPluginEmailMarketingPreview::btnLastClick() {
    SetCurrentMail(GetMailCount() - 1);
}

void TfrmPluginEmailMarketingPreview::btnCloseClick() {
    if (FJob && FJob->State().Contains(jsPreparingPreview))
        FJob->AbortPreviewPreparing();
    reject();
}

void TfrmPluginEmailMarketingPreview::cxMLPageControlChange() {
    btnExport->setVisible(cxMLPageControl->currentWidget() == tbsHTML && cxMLPageControl->isTabVisible(0));
}

void TfrmPluginEmailMarketingPreview::lbAttachementsDblClick() {
    const int row = lbAttachements->currentRow();
    if (row < 0 || row >= FAttachments.size())
        return;
    hostapi::OpenFile(FAttachments.at(row).LocalFile);
}

void TfrmPluginEmailMarketingPreview::Dateispeichernunter1Click() {
    const int row = lbAttachements->currentRow();
    if (row < 0 || row >= FAttachments.size())
        return;
    const PreviewModel::TAttachmentRow& attachment = FAttachments.at(row);
    hostapi::TFileDialogOptions options;
    options.Caption = FLang.Text(QStringLiteral("IDS_SaveAttTitle"));
    options.Filter = PreviewModel::SaveAsFilter(attachment.Name);
    options.DefaultName = attachment.Name;
    QString target;
    if (!hostapi::SaveFileDialog(options, target))
        return;
    if (!PreviewModel::CopyReplacing(attachment.LocalFile, target))
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_SaveAttFailed")).arg(target), hostapi::mtError,
                            hostapi::mbOK);
}

void TfrmPluginEmailMarketingPreview::btnExportClick() {
    if (!FJob || cxMLPageControl->currentWidget() != tbsHTML || FCurrentMail < 0)
        return;
    const QString shown = FView->ShownFile();
    if (shown.isEmpty())
        return;
    hostapi::TFileDialogOptions options;
    options.Caption = FLang.Text(QStringLiteral("IDS_ExportTitle"));
    options.Filter = FLang.Text(QStringLiteral("IDS_ExportFilter"));
    options.DefaultName = QStringLiteral("email.html");
    QString target;
    if (!hostapi::SaveFileDialog(options, target))
        return;
    QStringList inlineFiles;
    const QDir folder(FJob->TempDirectory());
    for (const QString& file : FJob->InlineFileList())
        inlineFiles.append(folder.filePath(file));
    const QList<PreviewModel::TCopy> plan = PreviewModel::ExportPlan(shown, target, inlineFiles);
    const QStringList replaced = PreviewModel::ReplacedFiles(plan, target);
    if (!replaced.isEmpty() &&
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_EXPReplace")).arg(replaced.join(QLatin1Char('\n'))),
                            hostapi::mtConfirmation, hostapi::mbYes | hostapi::mbNo) != hostapi::mrYes)
        return;
    bool failed = false;
    for (const PreviewModel::TCopy& copy : plan)
        failed = !PreviewModel::CopyReplacing(copy.Source, copy.Target) || failed;
    if (failed)
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_EXPF")), hostapi::mtError, hostapi::mbOK);
    else
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_EXPS")), hostapi::mtInformation, hostapi::mbOK);
}

} // namespace emailmarketing
