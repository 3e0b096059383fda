#pragma once

#include <QString>
#include <QtGlobal>

namespace qvhost {

// Held while the application object connects to the window system. Qt ends the process with a fatal
// message (and SIGABRT) when the display it was pointed to cannot be reached or its platform plugin
// is missing; the guard turns that into AText on standard error and exit status 1. Other messages
// pass to the handler installed before. One guard at a time, on the main thread.
class PlatformStartGuard {
public:
    explicit PlatformStartGuard(QString AText);
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard&) = delete;
    PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;

    static constexpr int ExitCode = 1;

private:
    static void Handle(QtMsgType AType, const QMessageLogContext& AContext, const QString& AMessage);

    QString FText;
    QtMessageHandler FPrevious = nullptr;
};

} // namespace qvhost
