#include "frmPluginEmailMarketingJobScheduler.h"

#include "BaseEmailSender.h"
#include "DialogHeader.h"
#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "JobScheduleModel.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace emailmarketing {

TfrmPluginEmailMarketingJobScheduler::TfrmPluginEmailMarketingJobScheduler(QWidget* AParent)
    : QDialog(AParent), FLang(QStringLiteral("frmPluginEmailMarketingJobScheduler")) {
    setObjectName(QStringLiteral("frmPluginEmailMarketingJobScheduler"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    pnlHeader = new hostapi::TDialogHeader(this);

    cbAutoStart = new QCheckBox(this);
    cbAutoStart->setObjectName(QStringLiteral("cbAutoStart"));
    dtpDate = new QDateEdit(this);
    dtpDate->setObjectName(QStringLiteral("dtpDate"));
    dtpDate->setCalendarPopup(true);
    dtpDate->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    dtpTime = new QTimeEdit(this);
    dtpTime->setObjectName(QStringLiteral("dtpTime"));
    dtpTime->setDisplayFormat(QStringLiteral("HH:mm"));
    auto* editLayout = new QHBoxLayout;
    editLayout->addSpacing(20);
    editLayout->addWidget(dtpDate, 1);
    editLayout->addWidget(dtpTime);

    btnApply = new QPushButton(this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setDefault(true);
    btnClose = new QPushButton(this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setAutoDefault(false);
    auto* footerLayout = new QHBoxLayout;
    footerLayout->addStretch();
    footerLayout->addWidget(btnApply);
    footerLayout->addWidget(btnClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pnlHeader);
    layout->addWidget(cbAutoStart);
    layout->addLayout(editLayout);
    layout->addStretch();
    layout->addLayout(footerLayout);

    setTabOrder(cbAutoStart, dtpDate);
    setTabOrder(dtpDate, dtpTime);
    setTabOrder(dtpTime, btnApply);
    setTabOrder(btnApply, btnClose);

    using hostapi::TVRNExceptionUtils;
    connect(cbAutoStart, &QCheckBox::clicked, this, [this] { cbAutoStartClick(); });
    connect(dtpDate, &QDateEdit::dateChanged, this, [this] { dtpDatePropertiesChange(); });
    connect(dtpTime, &QTimeEdit::timeChanged, this, [this] { dtpDatePropertiesChange(); });
    connect(btnApply, &QPushButton::clicked, this,
            [this] { TVRNExceptionUtils::Guarded([this] { btnApplyClick(); }); });
    connect(btnClose, &QPushButton::clicked, this,
            [this] { TVRNExceptionUtils::Guarded([this] { btnCloseClick(); }); });

    ApplyTexts();
    LoadSchedule();
    resize(minimumSizeHint().expandedTo(QSize(295, 142)));
}

TfrmPluginEmailMarketingJobScheduler::~TfrmPluginEmailMarketingJobScheduler() = default;

void TfrmPluginEmailMarketingJobScheduler::ShowScheduler(TBaseEmailSender* AJob, const QString& ALanguage) {
    TfrmPluginEmailMarketingJobScheduler dialog;
    dialog.SetLanguage(ALanguage);
    dialog.SetJob(AJob);
    hostapi::ExecModal(dialog);
}

void TfrmPluginEmailMarketingJobScheduler::SetJob(TBaseEmailSender* AJob) {
    FJob = AJob;
    LoadSchedule();
}

void TfrmPluginEmailMarketingJobScheduler::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    ApplyTexts();
}

void TfrmPluginEmailMarketingJobScheduler::ApplyTexts() {
    setWindowTitle(FLang.Text(QStringLiteral("IDS_Caption")));
    pnlHeader->SetTitle(FLang.Text(QStringLiteral("IDS_Caption")));
    cbAutoStart->setText(FLang.Text(QStringLiteral("IDS_AutoStart")));
    btnApply->setText(FLang.Text(QStringLiteral("IDS_Apply")));
    btnClose->setText(FLang.Text(QStringLiteral("IDS_Close")));
}

void TfrmPluginEmailMarketingJobScheduler::showEvent(QShowEvent* AEvent) {
    QDialog::showEvent(AEvent);
    FormShow();
}

void TfrmPluginEmailMarketingJobScheduler::FormShow() {
    FChanged = false;
}

QDateTime TfrmPluginEmailMarketingJobScheduler::Now() const {
    return FJob ? FJob->Now() : QDateTime::currentDateTime();
}

void TfrmPluginEmailMarketingJobScheduler::LoadSchedule() {
    const JobScheduleModel::TSchedule schedule = JobScheduleModel::Load(FJob, Now());
    cbAutoStart->setChecked(schedule.AutoStart);
    dtpDate->setDate(schedule.Date);
    dtpTime->setTime(schedule.Time);
    UpdateControls();
}

bool TfrmPluginEmailMarketingJobScheduler::StoreSchedule() {
    if (!FJob)
        return true;
    const JobScheduleModel::TSchedule schedule{cbAutoStart->isChecked(), dtpDate->date(), dtpTime->time()};
    if (!JobScheduleModel::IsAccepted(schedule, Now())) {
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_PastD")), hostapi::mtInformation, hostapi::mbOK);
        return false;
    }
    JobScheduleModel::Store(*FJob, schedule);
    return true;
}

void TfrmPluginEmailMarketingJobScheduler::UpdateControls() {
    cbAutoStart->setEnabled(FJob != nullptr);
    const bool editable = FJob != nullptr && cbAutoStart->isChecked();
    dtpDate->setEnabled(editable);
    dtpTime->setEnabled(editable);
}

void TfrmPluginEmailMarketingJobScheduler::cbAutoStartClick() {
    UpdateControls();
    FChanged = true;
}

void TfrmPluginEmailMarketingJobScheduler::dtpDatePropertiesChange() {
    FChanged = true;
}

void TfrmPluginEmailMarketingJobScheduler::btnApplyClick() {
    if (StoreSchedule())
        accept();
}

void TfrmPluginEmailMarketingJobScheduler::btnCloseClick() {
    if (FChanged) {
        const hostapi::TModalResult answer =
            hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_Save")), hostapi::mtConfirmation,
                                hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel);
        if (answer == hostapi::mrYes && !StoreSchedule())
            return;
    }
    reject();
}

} // namespace emailmarketing
