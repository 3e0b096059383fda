#pragma once

#include "JobStateSet.h"

namespace emailmarketing {

// User actions on a job, answered by CanAction.
enum TEMLAction : int {
    eaPrepare = 0,
    eaSend = 1,
    eaPreview = 2,
    eaPreviewFailed = 3,
    eaChangeScheduler = 4,
    eaCancelJob = 5,
    eaKillJob = 6,
    eaResetJob = 7,
    eaStart = 8,
    eaPreparePreview = 9,
    aeKillIdle = 10
};

// Which actions and entry points a job's state set allows; no job, thread or lock inside.
class TJobActionRules {
public:
    // Whether AAction is allowed in AState, for a job with ADocumentCount prepared documents and
    // AFailedCount failed ones. An unknown action is never allowed.
    static bool CanAction(TEMLAction AAction, TJobStateSet AState, int ADocumentCount, int AFailedCount);
    // Initialized and idle (a finished preview may be kept): the job may be started or scheduled.
    static bool Startable(TJobStateSet AState);
    // Raise EQVUserMessageException with the user's text when AState refuses a preparation (also a
    // preview's) or a send.
    static void CheckPrepare(TJobStateSet AState);
    static void CheckSend(TJobStateSet AState);
};

} // namespace emailmarketing
