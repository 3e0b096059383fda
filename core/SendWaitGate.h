#pragma once

#include "SchedulePlugin.h"

#include <QDateTime>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

namespace emailmarketing {

// Where the sender threads of a job wait: pauses until a moment on the job's clock (throttle, unit
// delay, retries) and idle waits that a new packet or the end of a thread also ends.
//
// Wakes are counted: a thread reads WakeCount before it looks for work and passes it to its wait,
// so a wake that comes in between ends the wait at once instead of being lost. Cancel (termination)
// ends every wait at once, and every later one until Reopen. The clock is read again whenever the
// gate is woken and at least once a second, so a clock that tests move along is followed after
// ClockChanged and the system clock without it.
class TSendWaitGate {
public:
    enum TWaitResult { wrDue, wrWoken, wrCancelled };

    explicit TSendWaitGate(hostapi::ScheduleClock AClock);

    quint64 WakeCount() const;
    // Waits until the clock reaches ADeadline (invalid: no deadline); with AWakeToken also until the
    // wake count differs from it.
    TWaitResult WaitUntil(const QDateTime& ADeadline, std::optional<quint64> AWakeToken = std::nullopt);
    // Waits AMs milliseconds of real time (not the clock), or until Cancel.
    TWaitResult Pause(int AMs);
    // Ends every wait that was given a wake token.
    void Wake();
    // The clock has moved: every wait reads it again.
    void ClockChanged();
    void Cancel();
    void Reopen();
    bool Cancelled() const;

    // Called on the waiting thread when a wait begins, with its deadline (test seam: a test moves its
    // clock there, or learns that a thread pauses). Set before the threads start.
    void SetOnWait(std::function<void(const QDateTime& ADeadline)> value) { FOnWait = std::move(value); }

private:
    QDateTime Now() const;

    hostapi::ScheduleClock FClock;
    std::function<void(const QDateTime&)> FOnWait;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    quint64 FWakeCount = 0;
    quint64 FClockVersion = 0;
    bool FCancelled = false;
};

} // namespace emailmarketing
