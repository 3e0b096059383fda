#pragma once

#include <QtGlobal>

#include <atomic>

namespace emailmarketing {

// A one-way cancel flag that blocking socket waits poll beside their socket: once fired it stays
// fired and every wait on Fd() returns at once. Fire and IsFired may be called from any thread.
class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void Fire();
    bool IsFired() const { return FFired.load(); }
    // Readable once fired (an eventfd).
    int Fd() const { return FFd; }

private:
    std::atomic<bool> FFired{false};
    int FFd;
};

// Milliseconds of the monotonic clock: the deadlines of the waits that poll a CancelSignal.
qint64 MonotonicMs();

} // namespace emailmarketing
