#include "JobActionRules.h"

#include "QVException.h"

namespace emailmarketing {

bool TJobActionRules::Startable(TJobStateSet AState) {
    return AState == TJobStateSet{jsInitialized} || AState == TJobStateSet{jsInitialized, jsPreparedPreview};
}

bool TJobActionRules::CanAction(TEMLAction AAction, TJobStateSet AState, int ADocumentCount, int AFailedCount) {
    const bool startable = Startable(AState);
    switch (AAction) {
    case eaPrepare:
    case eaChangeScheduler:
    case eaStart: return startable;
    case eaResetJob: return !startable;
    case eaSend: return !AState.Contains(jsSending) && AState.ContainsAny({jsPrepared, jsPreparing});
    case eaPreview: return ADocumentCount > 0;
    case eaPreviewFailed: return AFailedCount > 0;
    case eaCancelJob: return AState.ContainsAny({jsPreparing, jsSending});
    case eaKillJob: return true;
    case eaPreparePreview: return !AState.ContainsAny({jsPreparing, jsPrepared, jsPreparedPreview});
    case aeKillIdle: return !AState.ContainsAny({jsPreparing, jsSending, jsPreparingPreview});
    }
    return false;
}

void TJobActionRules::CheckPrepare(TJobStateSet AState) {
    if (AState.Contains(jsSent))
        throw hostapi::EQVUserMessageException(QStringLiteral("job is allready prepared and sent!"));
    if (AState.Contains(jsSending))
        throw hostapi::EQVUserMessageException(
            QStringLiteral("job is allready prepared and is currently on sending!"));
    if (AState.Contains(jsPrepared))
        throw hostapi::EQVUserMessageException(QStringLiteral("job is allready prepared!"));
    if (AState.ContainsAny({jsPreparing, jsPreparingPreview}))
        throw hostapi::EQVUserMessageException(QStringLiteral("Job is allready preparing!"));
}

void TJobActionRules::CheckSend(TJobStateSet AState) {
    if (!AState.ContainsAny({jsPrepared, jsPreparing}))
        throw hostapi::EQVUserMessageException(
            QStringLiteral("Job has not prepared or preparing not startet yet!"));
    if (AState.Contains(jsSending))
        throw hostapi::EQVUserMessageException(QStringLiteral("Job is allready on sending!"));
}

} // namespace emailmarketing
