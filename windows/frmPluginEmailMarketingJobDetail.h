#pragma once

#include "EmailSenderJobList.h"
#include "PreviewModel.h"
#include "VRNLang.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace hostapi {
class ILocalSettingsStorage;
}

namespace emailmarketing {

class TfrmPluginEmailMarketingPreview;

// The live view of one send job: its data and counters, the progress of personalisation and
// sending, and (expert mode) a button per job action. Follows the job list, so that a job created
// for its template is picked up and a freed job is dropped, and refreshes every 5 seconds while it
// has a job.
class TfrmPluginEmailMarketingJobDetail : public QWidget {
    Q_OBJECT

public:
    // Registers with AJobList (the main data module's job list), which must outlive the view.
    explicit TfrmPluginEmailMarketingJobDetail(TEmailSenderJobList& AJobList, QWidget* AParent = nullptr);
    ~TfrmPluginEmailMarketingJobDetail() override;

    TBaseEmailSender* Job() const { return FJob; }
    void SetJob(TBaseEmailSender* AJob);
    qint32 LoadedTemplateID() const { return FLoadedTemplateID; }
    void SetLoadedTemplateID(qint32 AValue);
    bool ViewOnly() const;
    void SetViewOnly(bool AValue);
    bool ExpertMode() const;
    void SetExpertMode(bool AValue);
    bool HasExpertMode() const;
    void SetHasExpertMode(bool AValue);
    QString Language() const { return FLang.Language(); }
    void SetLanguage(const QString& ALangName);
    std::shared_ptr<hostapi::ILocalSettingsStorage> SaveSettings() const { return FSaveSettings; }
    void SetSaveSettings(std::shared_ptr<hostapi::ILocalSettingsStorage> AValue);
    // Fired each time the job is replaced.
    std::function<void(TfrmPluginEmailMarketingJobDetail& Sender)> OnChangeJob;

    void RefreshView();
    void ClearView();
    void Prepare();
    void Send();
    void Start();
    void Preview(TEmailPreviewMode APreviewMode);
    void CancelJob();
    void ResetJob();
    void KillJob();
    void ShowScheduler();
    void UnRegisterJobNotifyer();

    // The preview window once a preview was shown; nullptr before.
    TfrmPluginEmailMarketingPreview* PreviewForm() const { return FPreviewForm.get(); }

private:
    class TNotification;
    void JobListChanged(TBaseEmailSender* AJob, bool ARemoved);
    void ShowJobInfo(TBaseEmailSender* AJob);
    void UpdateButtons();
    void ApplyTexts();

    void btnPrepareClick();
    void btnSendClick();
    void btnStartClick();
    void btnPreviewClick();
    void btnFailedPreviewClick();
    void btnSchedulerClick();
    void btnCancelJobClick();
    void btnResetJobClick();
    void btnKillClick();
    void cbExpertModusClick();
    void tmrUpdateTimer();

    TEmailSenderJobList& FJobList;
    QPointer<TBaseEmailSender> FJob;
    std::unique_ptr<TfrmPluginEmailMarketingPreview> FPreviewForm;
    std::shared_ptr<hostapi::ILocalSettingsStorage> FSaveSettings;
    qint32 FLoadedTemplateID = -1;
    std::shared_ptr<TNotification> FNotification;
    hostapi::TVRNLang FLang;

    QTreeWidget* cxLVJobInfo;
    QWidget* pnlFunctions;
    QWidget* Panel3;
    QCheckBox* cbExpertModus;
    QWidget* pnlExpertMode;
    QPushButton* btnScheduler;
    QPushButton* btnStart;
    QPushButton* btnPreview;
    QPushButton* btnFailedPreview;
    QPushButton* btnPrepare;
    QPushButton* btnSend;
    QPushButton* btnCancelJob;
    QPushButton* btnResetJob;
    QPushButton* btnKill;
    QWidget* pnlPrepare;
    QLabel* lblPrepareProgress;
    QProgressBar* gaugePrepare;
    QWidget* pnlSend;
    QLabel* lblSendProgress;
    QLabel* lblDelay;
    QProgressBar* gaugeSending;
    QTimer* tmrUpdate;
};

} // namespace emailmarketing
