#include "DemoData.h"
#include "HostCommandLine.h"
#include "HostExceptionDisplay.h"
#include "HostLog.h"
#include "HostMainWindow.h"
#include "HostSession.h"
#include "PlatformStartGuard.h"
#include "ShutDownSignals.h"

#include "Database.h"
#include "ExceptionDisplay.h"
#include "HostLibraries.h"
#include "MessageSink.h"
#include "PelmarisPlugin.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "QVRegistrationPartHandler.h"
#include "RegionalSettings.h"
#include "SettingsStore.h"
#include "VRNLang.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <optional>

using qvhost::lcHost;

namespace {

QString StartText(const QString& AId) {
    static const hostapi::TVRNLang lang(QStringLiteral("HostSession"));
    return lang.TextIn(AId, hostapi::TVRNLang::CurrentLanguage());
}

void WriteError(const QString& AProgram, const QString& AText) {
    std::fputs(qPrintable(QStringLiteral("%1: %2\n").arg(AProgram, AText)), stderr);
    std::fflush(stderr);
}

// A failed start is shown through the host's exception display (a box, or standard error where the
// platform shows no windows); the host then exits with 1. Called inside a catch block.
int FailStart(const QString& ACaptionId) {
    hostapi::TVRNExceptionUtils::ShowCurrent(StartText(ACaptionId));
    if (hostapi::Database::IsOpen())
        hostapi::Database::Close();
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QString program = QFileInfo(arguments.value(0)).fileName();

    // The command line and the display are checked before Qt starts: Qt aborts without a display.
    qvhost::HostOptions options;
    try {
        const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
        options = qvhost::HostCommandLine::Parse(arguments, QFileInfo(executable).absolutePath());
    } catch (const std::exception& e) {
        WriteError(program, hostapi::TVRNExceptionUtils::Describe(e, {}).Message);
        return qvhost::HostCommandLine::UsageExitCode;
    }
    if (options.HelpRequested) {
        std::fputs(qPrintable(qvhost::HostCommandLine::HelpText(program)), stdout);
        return 0;
    }
    const QString missingDisplay =
        qvhost::HostCommandLine::MissingDisplay(arguments, QProcessEnvironment::systemEnvironment());
    if (!missingDisplay.isEmpty()) {
        WriteError(program, missingDisplay);
        return 1;
    }

    std::optional<qvhost::PlatformStartGuard> platformGuard;
    platformGuard.emplace(QStringLiteral("%1: %2").arg(
        program,
        qvhost::HostCommandLine::UnreachableDisplay(arguments, QProcessEnvironment::systemEnvironment())));
    QApplication app(argc, argv);
    platformGuard.reset();

    // Every shown exception is kept in the "Protokoll"; without visible windows it goes to stderr.
    const bool showsWindows = qvhost::HostExceptionDisplay::ShowsWindows(QGuiApplication::platformName());
    qvhost::HostExceptionDisplay display(showsWindows ? &hostapi::TVRNExceptionUtils::Current() : nullptr,
                                         hostapi::MessageSink::Instance(),
                                         [program](const QString& AText) { WriteError(program, AText); });
    hostapi::TVRNExceptionUtils::SetCurrent(&display);
    const auto uninstallDisplay = qScopeGuard([] { hostapi::TVRNExceptionUtils::SetCurrent(nullptr); });

    // SIGTERM and SIGINT end the event loops; the modules are then unloaded without questions.
    std::unique_ptr<qvhost::ShutDownSignals> shutDownSignals;
    try {
        hostapi::HostLibraries::Initialize();
        hostapi::TQVRegistrationPartHandler::RegisterWithHost();
        shutDownSignals = std::make_unique<qvhost::ShutDownSignals>();
        QObject::connect(shutDownSignals.get(), &qvhost::ShutDownSignals::SignalReceived, &app,
                         [](int ASignal) {
                             qCInfo(lcHost) << "Signal" << ASignal << "received: closing without questions";
                             QCoreApplication::exit(0);
                         });
        hostapi::RegionalSettings::CaptureSystem();
    } catch (...) {
        return FailStart(QStringLiteral("IDS_StartFailed"));
    }

    try {
        hostapi::Database::Open(options.Database);
        const int seeded = qvhost::SeedDemoAddresses();
        if (seeded > 0)
            qCInfo(lcHost) << "Seeded" << seeded << "demo addresses";
    } catch (...) {
        return FailStart(QStringLiteral("IDS_DatabaseFailed"));
    }
    hostapi::TQVMainInterface::SetSaveSettings(&hostapi::SettingsStore::Instance());
    try {
        hostapi::TPelmarisPlugin().WriteDefaultSettings();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
    try {
        qvhost::HostSession::RestoreLanguage();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent(); // the host starts in German
    }

    int status = 0;
    bool unloaded = true;
    {
        qvhost::HostSession session;
        try {
            session.LoadModules(options.ModuleFolder);
        } catch (...) {
            return FailStart(QStringLiteral("IDS_StartFailed"));
        }
        session.StartModules();
        // A signal taken while a module's start waited in a dialog ended that dialog's loop only.
        if (shutDownSignals->Received() == 0) {
            qvhost::HostMainWindow window(&session);
            window.show();
            QTimer::singleShot(0, &window, [&window] { window.StartFirstStart(); });
            status = QApplication::exec();
        }
        // The main window's close unloads the modules; a signal or the end of the event loop leaves
        // them to this, which asks nothing.
        if (!session.Loader().Plugins().isEmpty()) {
            try {
                session.UnloadAll();
            } catch (...) {
                hostapi::TVRNExceptionUtils::ShowCurrent();
                unloaded = false;
            }
        }
    }
    if (!unloaded) {
        // A module thread may still use the database: it stays open until the process ends.
        return 1;
    }
    hostapi::Database::Close();
    qCInfo(lcHost) << "Closed";
    return status;
}
