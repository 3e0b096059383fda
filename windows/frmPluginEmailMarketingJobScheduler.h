#pragma once

#include "VRNLang.h"

#include <QDateTime>
#include <QDialog>

#include <functional>

class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTimeEdit;

namespace hostapi {
class TDialogHeader;
}

namespace emailmarketing {

class TBaseEmailSender;

// Switches a job's automatic start on or off and sets its start date and time.
class TfrmPluginEmailMarketingJobScheduler : public QDialog {
    Q_OBJECT

public:
    explicit TfrmPluginEmailMarketingJobScheduler(QWidget* AParent = nullptr);
    ~TfrmPluginEmailMarketingJobScheduler() override;

    // Shows the scheduler for AJob (nullptr allowed) modally through the dialog service.
    static void ShowScheduler(TBaseEmailSender* AJob, const QString& ALanguage);

    TBaseEmailSender* Job() const { return FJob; }
    // Sets the job and loads its schedule.
    void SetJob(TBaseEmailSender* AJob);
    QString Language() const { return FLang.Language(); }
    void SetLanguage(const QString& ALangName);

protected:
    void showEvent(QShowEvent* AEvent) override;

private:
    void FormShow();
    void cbAutoStartClick();
    void dtpDatePropertiesChange();
    void btnApplyClick();
    void btnCloseClick();

    void LoadSchedule();
    // True when the dialog may close.
    bool StoreSchedule();
    void UpdateControls();
    void ApplyTexts();
    // The job's clock; the system clock without a job.
    QDateTime Now() const;

    bool FChanged = false;
    TBaseEmailSender* FJob = nullptr;
    hostapi::TVRNLang FLang;

    hostapi::TDialogHeader* pnlHeader;
    QCheckBox* cbAutoStart;
    QDateEdit* dtpDate;
    QTimeEdit* dtpTime;
    QPushButton* btnApply;
    QPushButton* btnClose;
};

} // namespace emailmarketing
