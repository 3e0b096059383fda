#include "SendWaitGate.h"

#include <chrono>

namespace emailmarketing {

namespace {

// Longest stretch between two readings of the clock.
constexpr qint64 MaxSliceMs = 1000;

} // namespace

TSendWaitGate::TSendWaitGate(hostapi::ScheduleClock AClock) : FClock(std::move(AClock)) {}

QDateTime TSendWaitGate::Now() const {
    return FClock ? FClock() : QDateTime::currentDateTime();
}

quint64 TSendWaitGate::WakeCount() const {
    std::lock_guard lock(FLock);
    return FWakeCount;
}

TSendWaitGate::TWaitResult TSendWaitGate::WaitUntil(const QDateTime& ADeadline,
                                                    std::optional<quint64> AWakeToken) {
    if (FOnWait)
        FOnWait(ADeadline);
    std::unique_lock lock(FLock);
    for (;;) {
        if (FCancelled)
            return wrCancelled;
        if (AWakeToken && *AWakeToken != FWakeCount)
            return wrWoken;
        const quint64 wakes = FWakeCount;
        const quint64 clockVersion = FClockVersion;
        const auto woken = [&] { return FCancelled || FWakeCount != wakes || FClockVersion != clockVersion; };
        if (!ADeadline.isValid()) {
            FChanged.wait(lock, woken);
            continue;
        }
        lock.unlock();
        const qint64 remaining = Now().msecsTo(ADeadline);
        lock.lock();
        if (remaining <= 0)
            return wrDue;
        FChanged.wait_for(lock, std::chrono::milliseconds(std::min(remaining, MaxSliceMs)), woken);
    }
}

TSendWaitGate::TWaitResult TSendWaitGate::Pause(int AMs) {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(AMs), [this] { return FCancelled; })
               ? wrCancelled
               : wrDue;
}

void TSendWaitGate::Wake() {
    {
        std::lock_guard lock(FLock);
        ++FWakeCount;
    }
    FChanged.notify_all();
}

void TSendWaitGate::ClockChanged() {
    {
        std::lock_guard lock(FLock);
        ++FClockVersion;
    }
    FChanged.notify_all();
}

void TSendWaitGate::Cancel() {
    {
        std::lock_guard lock(FLock);
        FCancelled = true;
    }
    FChanged.notify_all();
}

void TSendWaitGate::Reopen() {
    std::lock_guard lock(FLock);
    FCancelled = false;
}

bool TSendWaitGate::Cancelled() const {
    std::lock_guard lock(FLock);
    return FCancelled;
}

} // namespace emailmarketing
