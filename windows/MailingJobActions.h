#pragma once

#include "EmailSenderJobList.h"
#include "VRNLang.h"

#include <functional>

namespace emailmarketing {

class TfrmPluginEmailMarketingJobDetail;

// The mailing window's actions on the job of its current template: start, schedule, preview and
// abort. A template has at most one job; the job frame (following the template) carries the
// actions out. Questions and refusals go through the dialog service; only Yes goes on. Runs on the
// main thread. Failures of the job's creation (user messages) are raised to the caller.
class TMailingJobActions {
public:
    // Creates and fills the template's job for the resend target (TSendJobBuilder::CreateSendJob);
    // nullptr when the creation was refused with a dialog.
    using TCreateSendJob = std::function<TBaseEmailSender*(qint64 AReSendJobID, qint64 AReSendJobState)>;

    TMailingJobActions(TEmailSenderJobList& AJobs, TfrmPluginEmailMarketingJobDetail& AJobFrame,
                       TCreateSendJob ACreateSendJob);

    qint32 TemplateID() const { return FTemplateID; }
    void SetTemplateID(qint32 AValue) { FTemplateID = AValue; }
    QString Language() const { return FLang.Language(); }
    void SetLanguage(const QString& ALangName) { FLang.SetLanguage(ALangName); }

    // Runs before every action: the window stores its edits.
    std::function<void()> OnSaveChanges;
    // Runs after the scheduler: the window updates its template tree.
    std::function<void()> OnTemplatesChanged;

    // Asks "IDS_AskStart", then creates the job (or takes the one of the same target) and starts it.
    // Answers whether a job was started (the window then shows its job page).
    bool StartSending(qint64 AReSendJobID, qint64 AReSendJobState);
    // Creates the job (or takes the one of the same target) and opens the scheduler; an idle job
    // left without auto-start is removed afterwards.
    void ScheduleSending(qint64 AReSendJobID, qint64 AReSendJobState);
    // Shows the preview of the job (made for the preview and removed afterwards when none existed).
    void PreviewSending(qint64 AReSendJobID, qint64 AReSendJobState);
    // Asks "IDS_NotIdle" for a busy job or "IDS_KillJob" for an idle one, and kills it on Yes.
    void AbortSending();

private:
    // The template's job for the target: the existing one, or a new one (ACreated). nullptr when
    // another target's job exists ("IDS_JAROC" shown) or the creation was refused.
    TBaseEmailSender* JobFor(qint64 AReSendJobID, qint64 AReSendJobState, bool& ACreated);
    void SaveChanges();
    void KillJob(TBaseEmailSender* AJob);

    TEmailSenderJobList& FJobs;
    TfrmPluginEmailMarketingJobDetail& FJobFrame;
    TCreateSendJob FCreateSendJob;
    qint32 FTemplateID = -1;
    hostapi::TVRNLang FLang;
};

} // namespace emailmarketing
