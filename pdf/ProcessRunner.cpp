#include "ProcessRunner.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <algorithm>

#include <signal.h>
#include <unistd.h>

namespace emailmarketing {

namespace {

// How long a killed process group may take to go.
constexpr int KillWaitMs = 10000;

void KillGroup(QProcess& AProcess) {
    const qint64 pid = AProcess.processId();
    // The child is not reaped while QProcess reports it running, so its group id is still its own.
    if (pid > 0 && AProcess.state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(-pid), SIGKILL);
    AProcess.kill();
    AProcess.waitForFinished(KillWaitMs);
}

} // namespace

TProcessResult RunProcess(const TProcessRequest& ARequest, const std::atomic<bool>& ACancelled) {
    TProcessResult result;
    if (ACancelled.load()) {
        result.Cancelled = true;
        return result;
    }
    QProcess process;
    process.setProgram(ARequest.Program);
    process.setArguments(ARequest.Arguments);
    process.setWorkingDirectory(ARequest.WorkingDirectory);
    process.setProcessEnvironment(ARequest.Environment);
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start();
    if (!process.waitForStarted(-1)) {
        result.StartError = process.errorString();
        return result;
    }
    result.Started = true;

    bool inputOpen = true;
    const auto exchange = [&] {
        result.StandardOutput += process.readAllStandardOutput();
        if (!inputOpen)
            return;
        bool closeInput = !ARequest.InputFeeder;
        if (ARequest.InputFeeder) {
            const QByteArray answer = ARequest.InputFeeder(result.StandardOutput, closeInput);
            if (!answer.isEmpty())
                process.write(answer);
        }
        if (closeInput) {
            process.closeWriteChannel();
            inputOpen = false;
        }
    };

    const QDeadlineTimer deadline(ARequest.TimeLimit);
    exchange();
    while (process.state() != QProcess::NotRunning) {
        if (ACancelled.load() || deadline.hasExpired()) {
            result.Cancelled = ACancelled.load();
            result.TimedOut = !result.Cancelled;
            KillGroup(process);
            break;
        }
        const int slice = static_cast<int>(
            std::clamp<qint64>(deadline.remainingTime(), 0, static_cast<qint64>(CancelSlice.count())));
        if (inputOpen) {
            // Prompts are answered as soon as they appear.
            if (!process.waitForReadyRead(slice) && process.state() != QProcess::NotRunning)
                process.waitForFinished(slice);
        } else {
            process.waitForFinished(slice);
        }
        exchange();
    }
    result.StandardOutput += process.readAllStandardOutput();
    result.StandardError = process.readAllStandardError();
    if (!result.Cancelled && !result.TimedOut) {
        result.Crashed = process.exitStatus() == QProcess::CrashExit;
        result.ExitCode = process.exitCode();
    }
    return result;
}

} // namespace emailmarketing
