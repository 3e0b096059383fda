#include "MailingJobActions.h"

#include "DialogService.h"
#include "QVException.h"
#include "frmPluginEmailMarketingJobDetail.h"

namespace emailmarketing {

TMailingJobActions::TMailingJobActions(TEmailSenderJobList& AJobs,
                                       TfrmPluginEmailMarketingJobDetail& AJobFrame,
                                       TCreateSendJob ACreateSendJob)
    : FJobs(AJobs), FJobFrame(AJobFrame), FCreateSendJob(std::move(ACreateSendJob)),
      FLang(QStringLiteral("MailingJobActions")) {
    if (!FCreateSendJob)
        throw hostapi::EQVAssertion(QStringLiteral("TMailingJobActions needs CreateSendJob"), __FILE__,
                                    __LINE__);
}

void TMailingJobActions::SaveChanges() {
    if (OnSaveChanges)
        OnSaveChanges();
}

TBaseEmailSender* TMailingJobActions::JobFor(qint64 AReSendJobID, qint64 AReSendJobState, bool& ACreated) {
    ACreated = false;
    TBaseEmailSender* job = FJobs.ByTemplateID(FTemplateID);
    if (job) {
        if (job->ReSendJobID() != AReSendJobID || job->ReSendJobState() != AReSendJobState) {
            hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_JAROC")), hostapi::mtError, hostapi::mbOK);
            return nullptr;
        }
    } else {
        job = FCreateSendJob(AReSendJobID, AReSendJobState);
        if (!job)
            return nullptr;
        ACreated = true;
    }
    if (FJobFrame.Job() != job)
        FJobFrame.SetJob(job);
    return job;
}

void TMailingJobActions::KillJob(TBaseEmailSender* AJob) {
    if (FJobFrame.Job() == AJob) {
        FJobFrame.KillJob();
        return;
    }
    if (FJobs.IndexOf(AJob) >= 0 && FJobs.TerminateJob(AJob, true))
        FJobs.Delete(AJob);
}

bool TMailingJobActions::StartSending(qint64 AReSendJobID, qint64 AReSendJobState) {
    SaveChanges();
    if (hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_AskStart")), hostapi::mtConfirmation,
                            hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel) != hostapi::mrYes)
        return false;
    bool created = false;
    if (!JobFor(AReSendJobID, AReSendJobState, created))
        return false;
    FJobFrame.Start();
    return true;
}

void TMailingJobActions::ScheduleSending(qint64 AReSendJobID, qint64 AReSendJobState) {
    SaveChanges();
    bool created = false;
    TBaseEmailSender* job = JobFor(AReSendJobID, AReSendJobState, created);
    if (!job)
        return;
    FJobFrame.ShowScheduler();
    TBaseEmailSender* shown = FJobFrame.Job();
    if (shown && shown->CanAction(aeKillIdle) && !shown->AutoStart())
        FJobFrame.KillJob();
    if (OnTemplatesChanged)
        OnTemplatesChanged();
}

void TMailingJobActions::PreviewSending(qint64 AReSendJobID, qint64 AReSendJobState) {
    SaveChanges();
    bool created = false;
    TBaseEmailSender* job = JobFor(AReSendJobID, AReSendJobState, created);
    if (!job)
        return;
    try {
        FJobFrame.Preview(epmPreview);
    } catch (...) {
        if (created)
            KillJob(job);
        throw;
    }
    if (created)
        KillJob(job);
}

void TMailingJobActions::AbortSending() {
    TBaseEmailSender* job = FJobFrame.Job();
    if (!job)
        return;
    const bool idle = job->CanAction(aeKillIdle);
    const hostapi::TModalResult answer =
        idle ? hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_KillJob")), hostapi::mtConfirmation,
                                   hostapi::mbYes | hostapi::mbNo)
             : hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_NotIdle")), hostapi::mtWarning,
                                   hostapi::mbYes | hostapi::mbNo);
    if (answer == hostapi::mrYes)
        FJobFrame.KillJob();
}

} // namespace emailmarketing
