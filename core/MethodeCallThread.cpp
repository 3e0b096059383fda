#include "MethodeCallThread.h"

#include "ExceptionDisplay.h"
#include "QVException.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

namespace emailmarketing {

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

void TMethodeCallThread::ApplyPriority() const {
    int nice = 0;
    switch (FPriority) {
    case QThread::IdlePriority: nice = 19; break;
    case QThread::LowestPriority: nice = 10; break;
    case QThread::LowPriority: nice = 5; break;
    default: return; // raising needs privileges
    }
    // On Linux the nice value belongs to the thread (its task id).
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice) != 0)
        throw hostapi::EQVException(QStringLiteral("Thread priority could not be set!"));
}

void TMethodeCallThread::Execute() noexcept {
    std::exception_ptr failure;
    if (FObjMethode) {
        try {
            ApplyPriority();
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
