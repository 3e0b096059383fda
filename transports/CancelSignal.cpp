#include "CancelSignal.h"

#include "QVException.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

namespace emailmarketing {

CancelSignal::CancelSignal() : FFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (FFd < 0)
        throw hostapi::EQVException(QStringLiteral("No cancel signal could be created: %1")
                                        .arg(QString::fromLocal8Bit(strerror(errno))));
}

CancelSignal::~CancelSignal() {
    close(FFd);
}

void CancelSignal::Fire() {
    if (FFired.exchange(true))
        return;
    const std::uint64_t one = 1;
    // The counter stays non-zero, so the fd stays readable; a full counter is readable too.
    [[maybe_unused]] const ssize_t written = write(FFd, &one, sizeof one);
}

qint64 MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace emailmarketing
