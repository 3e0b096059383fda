#include "AuthTimeoutWatcher.h"

#include "QVException.h"
#include "TransportsLog.h"

namespace emailmarketing {

AuthTimeoutWatcher::AuthTimeoutWatcher(std::chrono::milliseconds ATimeout,
                                       std::function<void(bool ATimedOut)> AOnEnd)
    : FOnEnd(std::move(AOnEnd)) {
    FThread = std::thread([this, ATimeout] { Run(ATimeout); });
}

AuthTimeoutWatcher::~AuthTimeoutWatcher() {
    Stop();
    Join();
}

void AuthTimeoutWatcher::Stop() {
    {
        std::lock_guard lock(FLock);
        FStop = true;
    }
    FWake.notify_all();
}

void AuthTimeoutWatcher::Join() {
    QV_ASSERT(std::this_thread::get_id() != FThread.get_id());
    if (FThread.joinable())
        FThread.join();
}

void AuthTimeoutWatcher::Run(std::chrono::milliseconds ATimeout) {
    bool timedOut = false;
    {
        std::unique_lock lock(FLock);
        timedOut = !FWake.wait_for(lock, ATimeout, [this] { return FStop; });
    }
    try {
        FOnEnd(timedOut);
    } catch (const std::exception& e) {
        qCWarning(lcTransports) << "Ending the sign-in flow failed:" << e.what();
    }
}

} // namespace emailmarketing
