#pragma once

#include "MethodeCallThread.h"

#include <QThread>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace emailmarketing {

// The worker threads of one job: its prepare thread and its sender threads, their start,
// termination, resume and join. A sender thread leaves the sender list at its completion step.
// The callbacks run under the thread lock; they may take the job's state lock (the state lock is
// never held while the thread lock is taken).
class TJobThreads {
public:
    struct TCallbacks {
        // The last sender thread has left and no start of senders is under way.
        std::function<void()> SendersGone;
        // A sender thread has left the list (after SendersGone when it was the last).
        std::function<void()> SenderEnded;
    };

    explicit TJobThreads(TCallbacks ACallbacks);
    // Joins every thread.
    ~TJobThreads();
    TJobThreads(const TJobThreads&) = delete;
    TJobThreads& operator=(const TJobThreads&) = delete;

    // Creates and starts a thread running AMethode; a sender thread is kept in the sender list,
    // otherwise it becomes the prepare thread (the previous one is joined later). At its completion
    // step AFinalize runs, then a sender leaves the list, then AAfterCompletion. Raises
    // EQVException once Close was called.
    TMethodeCallThread& Start(bool ASender, bool AIsRoot, QThread::Priority APriority, TObjProcedure AMethode,
                              TObjFinalProcedure AFinalize,
                              std::function<void(TMethodeCallThread&)> AAfterCompletion);
    // While sender starts are under way the list running empty is not the end of sending; the end
    // of the starts reports SendersGone when no sender is left.
    void BeginSenderStarts();
    void EndSenderStarts();
    // No thread starts any more (the job is being freed).
    void Close();
    // Asks every thread that has not ended to terminate.
    void TerminateAll();
    // Resumes the sender threads that suspended themselves; a busy one keeps it as a token.
    void ResumeSenders();
    // True while a thread has not ended.
    bool Alive() const;
    // Sender threads that have not passed their completion step.
    int SenderCount() const;
    // Joins every thread, also those started while it joins.
    void JoinAll();

private:
    void SenderLeft(const TMethodeCallThread& AThread);
    // Under FLock: joins the ended threads that have finished.
    void ReapEnded();

    TCallbacks FCallbacks;
    mutable std::mutex FLock; // the lists and the two flags
    std::unique_ptr<TMethodeCallThread> FPrepareThread;
    std::vector<std::unique_ptr<TMethodeCallThread>> FSenders;
    // Threads past their completion step, joined later.
    std::vector<std::unique_ptr<TMethodeCallThread>> FEnded;
    bool FStartingSenders = false;
    bool FClosed = false;
};

} // namespace emailmarketing
