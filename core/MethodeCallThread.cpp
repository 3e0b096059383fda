#include "MethodeCallThread.h"

#include "CoreLog.h"
#include "ExceptionDisplay.h"
#include "QVException.h"

#include <cerrno>
#include <cstring>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

namespace emailmarketing {

namespace {

std::atomic<bool> GPriorityFailureLogged{false};

} // namespace

TMethodeCallThread::TMethodeCallThread() = default;

TMethodeCallThread::~TMethodeCallThread() {
    if (FThread.joinable()) {
        Terminate();
        FThread.join();
    }
}

void TMethodeCallThread::Start() {
    if (FStarted)
        throw hostapi::EQVException(QStringLiteral("Thread already started!"));
    try {
        FThread = std::thread([this] { Execute(); });
    } catch (const std::system_error& E) {
        throw hostapi::EQVException(QStringLiteral("Thread could not be started: %1").arg(QString::fromLocal8Bit(E.what())));
    }
    FStarted = true;
}

void TMethodeCallThread::WaitFor() {
    QV_ASSERT(!FThread.joinable() || FThread.get_id() != std::this_thread::get_id());
    if (FThread.joinable())
        FThread.join();
}

void TMethodeCallThread::Terminate() {
    FTerminated.store(true);
    Resume();
}

void TMethodeCallThread::Suspend() {
    std::unique_lock lock(FWakeLock);
    FWakeCondition.wait(lock, [this] { return FWakeToken || FTerminated.load(); });
    FWakeToken = false;
}

void TMethodeCallThread::Resume() {
    {
        std::lock_guard lock(FWakeLock);
        FWakeToken = true;
    }
    FWakeCondition.notify_all();
}

void TMethodeCallThread::ApplyPriority() const noexcept {
    int nice = 0;
    switch (FPriority) {
    case QThread::IdlePriority: nice = 19; break;
    case QThread::LowestPriority: nice = 10; break;
    case QThread::LowPriority: nice = 5; break;
    default: return; // raising needs privileges
    }
    // On Linux the nice value belongs to the thread (its task id). Raising it always works; lowering
    // it (a process that already runs at a lower priority than asked) needs privileges. What cannot
    // be applied is logged once per process, and the thread runs at the priority it has.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (errno == 0 && current == nice)
        return;
    if (setpriority(PRIO_PROCESS, tid, nice) == 0)
        return;
    const int error = errno;
    if (!GPriorityFailureLogged.exchange(true))
        qCWarning(lcCore).nospace() << "Thread priority could not be set! (nice " << nice << " asked, "
                                    << current << " kept: " << std::strerror(error) << ")";
}

void TMethodeCallThread::Execute() noexcept {
    std::exception_ptr failure;
    if (FObjMethode) {
        ApplyPriority();
        try {
            FObjMethode(*this);
        } catch (...) {
            failure = std::current_exception();
        }
        if (FFinalizeMethode) {
            try {
                FFinalizeMethode();
            } catch (...) {
                if (!failure)
                    failure = std::current_exception();
                else
                    hostapi::TVRNExceptionUtils::ShowCurrent();
            }
        }
    }
    if (failure)
        hostapi::TVRNExceptionUtils::Show(failure);
    FFinished.store(true);
}

} // namespace emailmarketing
