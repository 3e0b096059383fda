#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>

namespace emailmarketing {

// One run of an external program, as RunProcess starts it.
struct TProcessRequest {
    QString Program;
    QStringList Arguments; // passed as they are; no shell sees them
    QString WorkingDirectory;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    std::chrono::milliseconds TimeLimit{std::chrono::minutes(5)};
    // Called whenever standard output has grown, with all of it so far: answers the bytes to write
    // to standard input and sets ACloseInput once nothing more will be written. Without a feeder
    // standard input is closed at once.
    std::function<QByteArray(const QByteArray& AOutput, bool& ACloseInput)> InputFeeder;
};

struct TProcessResult {
    bool Started = false;
    bool Cancelled = false; // stopped by the cancel flag (or not started because it was set)
    bool TimedOut = false;  // stopped at the time limit
    bool Crashed = false;   // ended by a signal
    int ExitCode = 0;
    QByteArray StandardOutput;
    QByteArray StandardError;
    QString StartError; // why it did not start
};

// Runs the program on the calling thread until it ends, collecting both output streams while it
// runs (so any amount of output passes). The program runs in a process group of its own; at the
// time limit, or when ACancelled becomes true, the whole group is killed (a wrapper script and the
// program it started alike) and the result says why. The cancel flag is read between waits of at
// most CancelSlice, so a cancel takes effect within that time.
TProcessResult RunProcess(const TProcessRequest& ARequest, const std::atomic<bool>& ACancelled);

inline constexpr std::chrono::milliseconds CancelSlice{100};

} // namespace emailmarketing
