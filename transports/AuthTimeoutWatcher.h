#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace emailmarketing {

// Ends a sign-in flow: a thread that waits until the time limit passes or Stop() is called, then
// runs OnEnd once (with True when the time limit ended the wait). The destructor stops and joins it.
class AuthTimeoutWatcher {
public:
    AuthTimeoutWatcher(std::chrono::milliseconds ATimeout, std::function<void(bool ATimedOut)> AOnEnd);
    ~AuthTimeoutWatcher();
    AuthTimeoutWatcher(const AuthTimeoutWatcher&) = delete;
    AuthTimeoutWatcher& operator=(const AuthTimeoutWatcher&) = delete;

    // Ends the wait early; OnEnd still runs (on the watcher's thread). Does not block.
    void Stop();
    // Waits until OnEnd has run. Not from OnEnd itself.
    void Join();

private:
    void Run(std::chrono::milliseconds ATimeout);

    std::function<void(bool ATimedOut)> FOnEnd;
    std::mutex FLock;
    std::condition_variable FWake;
    bool FStop = false;
    std::thread FThread;
};

} // namespace emailmarketing
