#pragma once

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace emailmarketing {

class TMethodeCallThread;

// The work of a worker thread; receives the running thread.
using TObjProcedure = std::function<void(TMethodeCallThread& CallingThread)>;
// Runs after the work, also when the work raised.
using TObjFinalProcedure = std::function<void()>;

// Worker thread of a send job: runs ObjMethode, then FinalizeMethode. An exception from either is
// shown through the host's exception display (queued to the GUI thread) and never leaves the thread.
//
// The thread is owned by its job and joined before the job is destroyed (WaitFor, or the
// destructor); it never frees itself. A thread suspends itself with Suspend and is woken by Resume
// or Terminate; a Resume that comes before the Suspend is kept as a wake token and not lost.
//
// Priority is kept as set. On Linux only a lower priority can be applied by an unprivileged process:
// priorities below Normal raise the thread's nice value, the others leave it unchanged. A priority
// that cannot be applied is logged (once per process) and the method runs all the same.
class TMethodeCallThread {
public:
    TMethodeCallThread();
    // Joins the thread when it was started.
    ~TMethodeCallThread();
    TMethodeCallThread(const TMethodeCallThread&) = delete;
    TMethodeCallThread& operator=(const TMethodeCallThread&) = delete;

    TObjProcedure ObjMethode() const { return FObjMethode; }
    void SetObjMethode(TObjProcedure value) { FObjMethode = std::move(value); }
    TObjFinalProcedure FinalizeMethode() const { return FFinalizeMethode; }
    void SetFinalizeMethode(TObjFinalProcedure value) { FFinalizeMethode = std::move(value); }
    bool IsRoot() const { return FIsRoot; }
    void SetIsRoot(bool value) { FIsRoot = value; }
    QThread::Priority Priority() const { return FPriority; }
    void SetPriority(QThread::Priority value) { FPriority = value; }

    // Starts the thread; raises EQVException when it was started before or cannot be started.
    void Start();
    bool Started() const { return FStarted; }
    // True from Start until the completion has run.
    bool Alive() const { return FStarted && !FFinished.load(); }
    bool Finished() const { return FFinished.load(); }
    // Joins the thread (nothing when it was never started or is joined already). Not from the thread
    // itself.
    void WaitFor();

    // Asks the thread to end and wakes it.
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }

    // Called by the thread itself: waits until Resume or Terminate; answers at once when a Resume
    // came since the last Suspend (the token is consumed) or termination was asked.
    void Suspend();
    // Wakes the thread, or leaves a token for its next Suspend.
    void Resume();

private:
    void Execute() noexcept;
    void ApplyPriority() const noexcept;

    TObjProcedure FObjMethode;
    TObjFinalProcedure FFinalizeMethode;
    bool FIsRoot = false;
    QThread::Priority FPriority = QThread::NormalPriority;

    std::thread FThread;
    bool FStarted = false;
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FTerminated{false};

    std::mutex FWakeLock;
    std::condition_variable FWakeCondition;
    bool FWakeToken = false; // guarded by FWakeLock
};

} // namespace emailmarketing
