#pragma once

#include <QObject>

#include <signal.h>

class QSocketNotifier;

namespace qvhost {

// Turns SIGTERM and SIGINT into a Qt signal on the GUI thread (self-pipe: the handler only writes the
// signal number to a pipe, whose reading end a QSocketNotifier watches), so that a service manager or
// Ctrl+C closes the host in order instead of killing it. One instance at a time; the previous
// handlers are restored when it is destroyed. Construct and use on the GUI thread.
class ShutDownSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; EQVException when the pipe or a handler cannot be set up.
    explicit ShutDownSignals(QObject* AParent = nullptr);
    ~ShutDownSignals() override;

    // The first signal received (SIGTERM or SIGINT) once the event loop has taken it; 0 before.
    int Received() const { return FReceived; }

signals:
    // Once per signal received, in the order they came.
    void SignalReceived(int ASignal);

private:
    static void Handler(int ASignal);
    void ReadPipe();

    int FPipe[2] = {-1, -1};
    QSocketNotifier* FNotifier = nullptr;
    struct sigaction FPrevious[2] = {};
    int FReceived = 0;
};

} // namespace qvhost
