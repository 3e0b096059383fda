#include "ShutDownSignals.h"

#include "QVException.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qvhost {

namespace {

constexpr int Signals[2] = {SIGTERM, SIGINT};

// The pipe's writing end while an instance lives; -1 otherwise. Read in the handler.
volatile sig_atomic_t GWriteEnd = -1;

hostapi::EQVException SystemError(const QString& AWhat) {
    return hostapi::EQVException(
        QStringLiteral("%1: %2").arg(AWhat, QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

ShutDownSignals::ShutDownSignals(QObject* AParent) : QObject(AParent) {
    QV_ASSERT(GWriteEnd == -1);
    if (pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw SystemError(QStringLiteral("The signal pipe cannot be made"));
    GWriteEnd = FPipe[1];
    FNotifier = new QSocketNotifier(FPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &ShutDownSignals::ReadPipe);

    struct sigaction action = {};
    action.sa_handler = &ShutDownSignals::Handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) {
        if (sigaction(Signals[i], &action, &FPrevious[i]) != 0) {
            const hostapi::EQVException error =
                SystemError(QStringLiteral("The signal handler cannot be set"));
            for (int j = 0; j < i; ++j)
                sigaction(Signals[j], &FPrevious[j], nullptr);
            GWriteEnd = -1;
            close(FPipe[0]);
            close(FPipe[1]);
            throw error;
        }
    }
}

ShutDownSignals::~ShutDownSignals() {
    for (int i = 0; i < 2; ++i)
        sigaction(Signals[i], &FPrevious[i], nullptr);
    GWriteEnd = -1;
    delete FNotifier;
    close(FPipe[0]);
    close(FPipe[1]);
}

// Async-signal-safe: one write, errno kept. A full pipe already holds a pending signal.
void ShutDownSignals::Handler(int ASignal) {
    const int savedErrno = errno;
    const int writeEnd = GWriteEnd;
    if (writeEnd >= 0) {
        const unsigned char number = static_cast<unsigned char>(ASignal);
        [[maybe_unused]] const ssize_t written = write(writeEnd, &number, 1);
    }
    errno = savedErrno;
}

void ShutDownSignals::ReadPipe() {
    unsigned char numbers[64];
    for (;;) {
        const ssize_t count = read(FPipe[0], numbers, sizeof numbers);
        if (count <= 0)
            return; // EAGAIN: all taken
        for (ssize_t i = 0; i < count; ++i) {
            if (FReceived == 0)
                FReceived = numbers[i];
            emit SignalReceived(numbers[i]);
        }
    }
}

} // namespace qvhost
