#include "DemoData.h"
#include "HostMainWindow.h"
#include "HostLog.h"
#include "HostSession.h"

#include "Database.h"
#include "ExceptionDisplay.h"
#include "HostLibraries.h"
#include "QVRegistrationPartHandler.h"
#include "QVMainInterface.h"
#include "SettingsStore.h"
#include "VRNLang.h"

#include <QApplication>
#include <QTimer>

#include <exception>

using qvhost::lcHost;

namespace {

QString StartText(const QString& AId) {
    static const hostapi::TVRNLang lang(QStringLiteral("HostSession"));
    return lang.TextIn(AId, hostapi::TVRNLang::CurrentLanguage());
}

// A failed start is logged and shown through the host's exception display; the host then exits with 1.
// Called inside a catch block.
int FailStart(const QString& ACaptionId) {
    qCCritical(lcHost).noquote()
        << "Start failed:" << hostapi::TVRNExceptionUtils::Describe(std::current_exception(), {}).Message;
    hostapi::TVRNExceptionUtils::ShowCurrent(StartText(ACaptionId));
    if (hostapi::Database::IsOpen())
        hostapi::Database::Close();
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    QString moduleFolder;
    try {
        hostapi::HostLibraries::Initialize();
        hostapi::TQVRegistrationPartHandler::RegisterWithHost();
        moduleFolder = qvhost::HostSession::ModuleFolderFromArguments(QApplication::arguments(),
                                                                      QApplication::applicationDirPath());
    } catch (...) {
        return FailStart(QStringLiteral("IDS_StartFailed"));
    }

    try {
        hostapi::Database::Open(hostapi::DatabaseConfig::FromArguments(QApplication::arguments()));
        const int seeded = qvhost::SeedDemoAddresses();
        if (seeded > 0)
            qCInfo(lcHost) << "Seeded" << seeded << "demo addresses";
    } catch (...) {
        return FailStart(QStringLiteral("IDS_DatabaseFailed"));
    }
    hostapi::TQVMainInterface::SetSaveSettings(&hostapi::SettingsStore::Instance());

    int status = 0;
    bool unloaded = true;
    {
        qvhost::HostSession session;
        try {
            session.LoadModules(moduleFolder);
        } catch (...) {
            return FailStart(QStringLiteral("IDS_StartFailed"));
        }
        session.StartModules();
        {
            qvhost::HostMainWindow window(&session);
            window.show();
            QTimer::singleShot(0, &window, [&window] { window.StartFirstStart(); });
            status = QApplication::exec();
        }
        // The main window's close unloads the modules; the event loop may also end without it.
        if (!session.Loader().Plugins().isEmpty()) {
            try {
                session.UnloadAll();
            } catch (const std::exception& e) {
                qCCritical(lcHost).noquote() << "Modules stay loaded:" << QString::fromUtf8(e.what());
                unloaded = false;
            } catch (...) {
                qCCritical(lcHost) << "Modules stay loaded after an unknown exception";
                unloaded = false;
            }
        }
    }
    if (!unloaded) {
        // A module thread may still use the database: it stays open until the process ends.
        return 1;
    }
    hostapi::Database::Close();
    return status;
}
