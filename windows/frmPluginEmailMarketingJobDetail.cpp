#include "frmPluginEmailMarketingJobDetail.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "JobInfoModel.h"
#include "RegionalSettings.h"
#include "WindowsLog.h"
#include "frmPluginEmailMarketingJobScheduler.h"
#include "frmPluginEmailMarketingPreview.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace emailmarketing {

// The view's registration with the job list; detached when the view goes.
class TfrmPluginEmailMarketingJobDetail::TNotification : public IJobNotification {
public:
    explicit TNotification(TfrmPluginEmailMarketingJobDetail* AView) : View(AView) {}
    void JobListChanged(TEmailSenderJobList&, TBaseEmailSender* AJob, bool ARemoved) override {
        if (View)
            View->JobListChanged(AJob, ARemoved);
    }
    TfrmPluginEmailMarketingJobDetail* View;
};

namespace {

QPushButton* Button(QWidget* AParent, const char* AName) {
    auto* button = new QPushButton(AParent);
    button->setObjectName(QLatin1String(AName));
    return button;
}

} // namespace

TfrmPluginEmailMarketingJobDetail::TfrmPluginEmailMarketingJobDetail(TEmailSenderJobList& AJobList, QWidget* AParent)
    : QWidget(AParent), FJobList(AJobList), FLang(QStringLiteral("frmPluginEmailMarketingJobDetail")) {
    setObjectName(QStringLiteral("frmPluginEmailMarketingJobDetail"));

    cxLVJobInfo = new QTreeWidget(this);
    cxLVJobInfo->setObjectName(QStringLiteral("cxLVJobInfo"));
    cxLVJobInfo->setColumnCount(2);
    cxLVJobInfo->setRootIsDecorated(false);
    cxLVJobInfo->setSelectionBehavior(QAbstractItemView::SelectRows);
    cxLVJobInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
    cxLVJobInfo->setColumnWidth(0, 116);
    cxLVJobInfo->setColumnWidth(1, 232);

    pnlFunctions = new QWidget(this);
    pnlFunctions->setObjectName(QStringLiteral("pnlFunctions"));
    pnlFunctions->setFixedWidth(127);
    Panel3 = new QWidget(pnlFunctions);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    cbExpertModus = new QCheckBox(Panel3);
    cbExpertModus->setObjectName(QStringLiteral("cbExpertModus"));
    cbExpertModus->setChecked(true);
    auto* panel3Layout = new QVBoxLayout(Panel3);
    panel3Layout->setContentsMargins(0, 0, 0, 0);
    panel3Layout->addWidget(cbExpertModus);

    pnlExpertMode = new QWidget(pnlFunctions);
    pnlExpertMode->setObjectName(QStringLiteral("pnlExpertMode"));
    btnScheduler = Button(pnlExpertMode, "btnScheduler");
    btnStart = Button(pnlExpertMode, "btnStart");
    btnPreview = Button(pnlExpertMode, "btnPreview");
    btnFailedPreview = Button(pnlExpertMode, "btnFailedPreview");
    btnPrepare = Button(pnlExpertMode, "btnPrepare");
    btnSend = Button(pnlExpertMode, "btnSend");
    btnCancelJob = Button(pnlExpertMode, "btnCancelJob");
    btnResetJob = Button(pnlExpertMode, "btnResetJob");
    btnKill = Button(pnlExpertMode, "btnKill");
    auto* expertLayout = new QVBoxLayout(pnlExpertMode);
    expertLayout->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* button : {btnScheduler, btnStart, btnPreview, btnFailedPreview, btnPrepare, btnSend})
        expertLayout->addWidget(button);
    expertLayout->addStretch();
    for (QPushButton* button : {btnCancelJob, btnResetJob, btnKill})
        expertLayout->addWidget(button);

    auto* functionsLayout = new QVBoxLayout(pnlFunctions);
    functionsLayout->setContentsMargins(4, 0, 0, 0);
    functionsLayout->addWidget(Panel3);
    functionsLayout->addWidget(pnlExpertMode, 1);

    pnlPrepare = new QWidget(this);
    pnlPrepare->setObjectName(QStringLiteral("pnlPrepare"));
    lblPrepareProgress = new QLabel(pnlPrepare);
    lblPrepareProgress->setObjectName(QStringLiteral("lblPrepareProgress"));
    gaugePrepare = new QProgressBar(pnlPrepare);
    gaugePrepare->setObjectName(QStringLiteral("gaugePrepare"));
    auto* prepareLayout = new QVBoxLayout(pnlPrepare);
    prepareLayout->setContentsMargins(0, 0, 0, 0);
    prepareLayout->addWidget(lblPrepareProgress);
    prepareLayout->addWidget(gaugePrepare);

    pnlSend = new QWidget(this);
    pnlSend->setObjectName(QStringLiteral("pnlSend"));
    lblSendProgress = new QLabel(pnlSend);
    lblSendProgress->setObjectName(QStringLiteral("lblSendProgress"));
    lblDelay = new QLabel(QStringLiteral("n/a"), pnlSend);
    lblDelay->setObjectName(QStringLiteral("lblDelay"));
    QFont bold = lblDelay->font();
    bold.setBold(true);
    lblDelay->setFont(bold);
    lblDelay->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    gaugeSending = new QProgressBar(pnlSend);
    gaugeSending->setObjectName(QStringLiteral("gaugeSending"));
    auto* sendCaptions = new QHBoxLayout;
    sendCaptions->setContentsMargins(0, 0, 5, 0);
    sendCaptions->addWidget(lblSendProgress);
    sendCaptions->addStretch();
    sendCaptions->addWidget(lblDelay);
    auto* sendLayout = new QVBoxLayout(pnlSend);
    sendLayout->setContentsMargins(0, 0, 0, 0);
    sendLayout->addLayout(sendCaptions);
    sendLayout->addWidget(gaugeSending);

    auto* top = new QHBoxLayout;
    top->addWidget(cxLVJobInfo, 1);
    top->addWidget(pnlFunctions);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(pnlPrepare);
    layout->addWidget(pnlSend);

    tmrUpdate = new QTimer(this);
    tmrUpdate->setObjectName(QStringLiteral("tmrUpdate"));
    tmrUpdate->setInterval(5000);

    using hostapi::TVRNExceptionUtils;
    const auto guarded = [this](void (TfrmPluginEmailMarketingJobDetail::*AHandler)()) {
        return [this, AHandler] { TVRNExceptionUtils::Guarded([&] { (this->*AHandler)(); }); };
    };
    connect(btnPrepare, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingJobDetail::btnPrepareClick));
    connect(btnSend, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingJobDetail::btnSendClick));
    connect(btnStart, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingJobDetail::btnStartClick));
    connect(btnPreview, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingJobDetail::btnPreviewClick));
    connect(btnFailedPreview, &QPushButton::clicked, this,
            guarded(&TfrmPluginEmailMarketingJobDetail::btnFailedPreviewClick));
    connect(btnScheduler, &QPushButton::clicked, this,
            guarded(&TfrmPluginEmailMarketingJobDetail::btnSchedulerClick));
    connect(btnCancelJob, &QPushButton::clicked, this,
            guarded(&TfrmPluginEmailMarketingJobDetail::btnCancelJobClick));
    connect(btnResetJob, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingJobDetail::btnResetJobClick));
    connect(btnKill, &QPushButton::clicked, this, guarded(&TfrmPluginEmailMarketingJobDetail::btnKillClick));
    connect(cbExpertModus, &QCheckBox::clicked, this, [this] { cbExpertModusClick(); });
    // A failing refresh on the timer drops the job instead of reaching the user.
    connect(tmrUpdate, &QTimer::timeout, this, [this] { tmrUpdateTimer(); });

    setTabOrder(cxLVJobInfo, cbExpertModus);
    setTabOrder(cbExpertModus, btnScheduler);
    setTabOrder(btnScheduler, btnStart);
    setTabOrder(btnStart, btnPreview);
    setTabOrder(btnPreview, btnFailedPreview);
    setTabOrder(btnFailedPreview, btnPrepare);
    setTabOrder(btnPrepare, btnSend);
    setTabOrder(btnSend, btnCancelJob);
    setTabOrder(btnCancelJob, btnResetJob);
    setTabOrder(btnResetJob, btnKill);

    ApplyTexts();
    cbExpertModus->setVisible(true);
    FNotification = std::make_shared<TNotification>(this);
    FJobList.RegisterJobNotifyer(FNotification);
    ShowJobInfo(nullptr);
    resize(524, 501);
}

TfrmPluginEmailMarketingJobDetail::~TfrmPluginEmailMarketingJobDetail() {
    UnRegisterJobNotifyer();
    if (FPreviewForm) {
        hostapi::TVRNExceptionUtils::Guarded([this] { FPreviewForm->SetSaveSettings(nullptr); });
        if (FPreviewForm->Waiting()) {
            // Its wait is still on the stack: ended and freed once it has returned.
            FPreviewForm->done(QDialog::Rejected);
            FPreviewForm.release()->deleteLater();
        }
    }
}

void TfrmPluginEmailMarketingJobDetail::ApplyTexts() {
    const auto t = [this](const char* AId) { return FLang.Text(QLatin1String(AId)); };
    setWindowTitle(t("IDS_Caption"));
    cxLVJobInfo->setHeaderLabels({t("IDS_ColName"), t("IDS_ColValue")});
    cbExpertModus->setText(t("IDS_ExpertMode"));
    btnScheduler->setText(t("IDS_Scheduler"));
    btnStart->setText(t("IDS_Start"));
    btnPreview->setText(t("IDS_Preview"));
    btnFailedPreview->setText(t("IDS_FailedPreview"));
    btnPrepare->setText(t("IDS_Prepare"));
    btnSend->setText(t("IDS_Send"));
    btnCancelJob->setText(t("IDS_CancelJob"));
    btnResetJob->setText(t("IDS_ResetJob"));
    btnKill->setText(t("IDS_Kill"));
    lblPrepareProgress->setText(t("IDS_PrepareProgress"));
    lblSendProgress->setText(t("IDS_SendProgress"));
}

void TfrmPluginEmailMarketingJobDetail::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    ApplyTexts();
}

bool TfrmPluginEmailMarketingJobDetail::ViewOnly() const {
    return pnlFunctions->isHidden();
}

void TfrmPluginEmailMarketingJobDetail::SetViewOnly(bool AValue) {
    pnlFunctions->setHidden(AValue);
}

bool TfrmPluginEmailMarketingJobDetail::ExpertMode() const {
    return cbExpertModus->isChecked();
}

void TfrmPluginEmailMarketingJobDetail::SetExpertMode(bool AValue) {
    cbExpertModus->setChecked(AValue);
    cbExpertModusClick();
}

bool TfrmPluginEmailMarketingJobDetail::HasExpertMode() const {
    return !cbExpertModus->isHidden();
}

void TfrmPluginEmailMarketingJobDetail::SetHasExpertMode(bool AValue) {
    cbExpertModus->setHidden(!AValue);
}

void TfrmPluginEmailMarketingJobDetail::SetSaveSettings(std::shared_ptr<hostapi::ILocalSettingsStorage> AValue) {
    FSaveSettings = std::move(AValue);
    if (FPreviewForm)
        FPreviewForm->SetSaveSettings(FSaveSettings);
}

void TfrmPluginEmailMarketingJobDetail::SetJob(TBaseEmailSender* AJob) {
    tmrUpdate->stop();
    FJob = AJob;
    if (FPreviewForm && !FPreviewForm->Waiting())
        FPreviewForm->SetJob(AJob);
    if (OnChangeJob)
        OnChangeJob(*this);
    ShowJobInfo(FJob);
    if (FJob)
        tmrUpdate->start();
}

void TfrmPluginEmailMarketingJobDetail::SetLoadedTemplateID(qint32 AValue) {
    FLoadedTemplateID = AValue;
    SetJob(FJobList.ByTemplateID(AValue));
}

void TfrmPluginEmailMarketingJobDetail::JobListChanged(TBaseEmailSender* AJob, bool ARemoved) {
    if (ARemoved) {
        if (AJob && AJob == FJob.data())
            SetJob(nullptr);
    } else if (AJob && AJob->TemplateID() == FLoadedTemplateID) {
        SetJob(AJob);
    }
}

void TfrmPluginEmailMarketingJobDetail::RefreshView() {
    ShowJobInfo(FJob);
}

void TfrmPluginEmailMarketingJobDetail::ClearView() {
    ShowJobInfo(nullptr);
}

void TfrmPluginEmailMarketingJobDetail::UpdateButtons() {
    TBaseEmailSender* job = FJob;
    const auto allowed = [job](TEMLAction AAction) { return job && job->CanAction(AAction); };
    btnPrepare->setEnabled(allowed(eaPrepare));
    btnSend->setEnabled(allowed(eaSend));
    btnPreview->setEnabled(allowed(eaPreview));
    btnFailedPreview->setEnabled(allowed(eaPreviewFailed));
    btnScheduler->setEnabled(allowed(eaChangeScheduler));
    btnCancelJob->setEnabled(allowed(eaCancelJob));
    btnKill->setEnabled(allowed(eaKillJob));
    btnResetJob->setEnabled(allowed(eaResetJob));
    btnStart->setEnabled(allowed(eaStart));
}

void TfrmPluginEmailMarketingJobDetail::ShowJobInfo(TBaseEmailSender* AJob) {
    UpdateButtons();
    if (!isVisible() || !AJob) {
        cxLVJobInfo->clear();
        pnlPrepare->hide();
        pnlSend->hide();
        return;
    }
    const QLocale locale = hostapi::RegionalSettings::Locale();
    const JobInfoModel::TSnapshot snapshot = JobInfoModel::Snapshot(*AJob);
    const QList<JobInfoModel::TRow> rows = JobInfoModel::Rows(snapshot, locale);
    cxLVJobInfo->setUpdatesEnabled(false);
    cxLVJobInfo->clear();
    for (const JobInfoModel::TRow& row : rows)
        new QTreeWidgetItem(cxLVJobInfo, {row.Name, row.Value});
    cxLVJobInfo->resizeColumnToContents(0);
    cxLVJobInfo->setColumnWidth(0, std::max(116, cxLVJobInfo->columnWidth(0)));
    cxLVJobInfo->setUpdatesEnabled(true);

    const JobInfoModel::TPanels panels = JobInfoModel::Panels(snapshot, locale);
    lblDelay->setVisible(panels.SendVisible);
    lblDelay->setText(panels.Delay);
    pnlSend->setVisible(panels.SendVisible);
    pnlPrepare->setVisible(panels.PrepareVisible);
    if (panels.PrepareVisible) {
        gaugePrepare->setMaximum(panels.PrepareMaximum);
        gaugePrepare->setValue(panels.PreparePosition);
        if (FPreviewForm && FPreviewForm->isVisible())
            FPreviewForm->RefreshMailCount();
    }
    if (panels.SendVisible) {
        gaugeSending->setMaximum(panels.SendMaximum);
        gaugeSending->setValue(panels.SendPosition);
    }
}

void TfrmPluginEmailMarketingJobDetail::Prepare() {
    if (FJob)
        FJob->Prepare();
}

void TfrmPluginEmailMarketingJobDetail::Send() {
    if (FJob)
        FJob->Send();
}

void TfrmPluginEmailMarketingJobDetail::Start() {
    if (!FJob)
        return;
    FJob->Prepare();
    FJob->Send();
}

void TfrmPluginEmailMarketingJobDetail::CancelJob() {
    if (FJob)
        FJobList.TerminateJob(FJob, false);
}

void TfrmPluginEmailMarketingJobDetail::ResetJob() {
    if (FJob && FJobList.TerminateJob(FJob, true) && FJob)
        FJob->ResetData();
}

void TfrmPluginEmailMarketingJobDetail::KillJob() {
    if (FJob && FJobList.TerminateJob(FJob, true) && FJob)
        FJobList.Delete(FJob);
}

void TfrmPluginEmailMarketingJobDetail::ShowScheduler() {
    if (FJob && FJob->CanAction(eaChangeScheduler)) {
        TfrmPluginEmailMarketingJobScheduler::ShowScheduler(FJob, Language());
        return;
    }
    hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_NoSched")), hostapi::mtError, hostapi::mbOK);
}

void TfrmPluginEmailMarketingJobDetail::Preview(TEmailPreviewMode APreviewMode) {
    if (!FJob)
        return;
    if (!FPreviewForm) {
        FPreviewForm = std::make_unique<TfrmPluginEmailMarketingPreview>();
        FPreviewForm->SetSaveSettings(FSaveSettings);
    }
    if (FPreviewForm->Waiting())
        return; // the preview is still in its preparation's wait
    FPreviewForm->SetLanguage(Language());
    FPreviewForm->SetPreviewMode(APreviewMode);
    FPreviewForm->SetJob(FJob);
    const bool available = APreviewMode == epmAll      ? FJob->SendCount() > 0
                           : APreviewMode == epmFailed ? FJob->SentFailedCount() > 0
                                                       : true;
    if (!available) {
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_NoPrev")), hostapi::mtInformation, hostapi::mbOK);
        return;
    }
    hostapi::ExecModal(*FPreviewForm);
}

void TfrmPluginEmailMarketingJobDetail::UnRegisterJobNotifyer() {
    tmrUpdate->stop();
    if (FNotification) {
        FNotification->View = nullptr;
        FJobList.UnRegisterJobNotifyer(FNotification);
        FNotification.reset();
    }
}

namespace {

bool Asked(const hostapi::TVRNLang& ALang, const char* AId, hostapi::TMsgDlgType AType) {
    return hostapi::MessageDlg(ALang.Text(QLatin1String(AId)), AType,
                               hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel) == hostapi::mrYes;
}

} // namespace

void TfrmPluginEmailMarketingJobDetail::btnPrepareClick() {
    Prepare();
}

void TfrmPluginEmailMarketingJobDetail::btnSendClick() {
    Send();
}

void TfrmPluginEmailMarketingJobDetail::btnStartClick() {
    if (FJob && Asked(FLang, "IDS_AskStart", hostapi::mtConfirmation))
        Start();
}

void TfrmPluginEmailMarketingJobDetail::btnPreviewClick() {
    Preview(epmAll);
}

void TfrmPluginEmailMarketingJobDetail::btnFailedPreviewClick() {
    Preview(epmFailed);
}

void TfrmPluginEmailMarketingJobDetail::btnSchedulerClick() {
    ShowScheduler();
}

void TfrmPluginEmailMarketingJobDetail::btnCancelJobClick() {
    if (Asked(FLang, "IDS_AskCancel", hostapi::mtWarning))
        CancelJob();
}

void TfrmPluginEmailMarketingJobDetail::btnResetJobClick() {
    if (Asked(FLang, "IDS_AskReset", hostapi::mtWarning))
        ResetJob();
}

void TfrmPluginEmailMarketingJobDetail::btnKillClick() {
    if (Asked(FLang, "IDS_AskKill", hostapi::mtWarning))
        KillJob();
}

void TfrmPluginEmailMarketingJobDetail::cbExpertModusClick() {
    pnlExpertMode->setVisible(cbExpertModus->isChecked());
}

void TfrmPluginEmailMarketingJobDetail::tmrUpdateTimer() {
    try {
        ShowJobInfo(FJob);
    } catch (const std::exception& e) {
        qCWarning(lcWindows) << "Job detail view: refresh failed, the view drops its job:" << e.what();
        SetJob(nullptr);
    } catch (...) {
        qCWarning(lcWindows) << "Job detail view: refresh failed, the view drops its job";
        SetJob(nullptr);
    }
}

} // namespace emailmarketing
