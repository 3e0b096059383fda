#pragma once

#include "HostMainWindow.h"
#include "HostSession.h"

#include "ClientPluginBase.h"
#include "QVException.h"
#include "VRNLang.h"
#include "modules/TestModuleControl.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QFileInfo>
#include <QStringList>

#include <memory>

namespace hosttest {

inline QString TestModuleGUID() {
    return QString::fromLatin1(testmodule::TestModuleGUID);
}

// The folder that holds the test module and nothing else loadable.
inline QString TestModuleFolder() {
    return QFileInfo(QStringLiteral(QV_TEST_MODULE)).absolutePath();
}

// The host as qvhost starts it, offscreen: a fresh database, a recording exception display, a session
// with the modules of a folder and, after Start, the main window. The test module's records go to Log
// from its loading on; the process language is German again afterwards.
class HostUnderTest {
public:
    HostUnderTest() : Session(std::make_unique<qvhost::HostSession>()) {}

    ~HostUnderTest() {
        Window.reset();
        Session.reset();
        hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
    }

    // Loads the modules of AFolder and answers how many loaded.
    int Load(const QString& AFolder = TestModuleFolder()) {
        const int loaded = Session->LoadModules(AFolder);
        if (Session->Loader().PluginByGUID(TestModuleGUID())) {
            Log = Control().Log();
            Control().SetSink([this](const QString& AEntry) { Log.append(AEntry); });
        }
        return loaded;
    }

    // Starts the modules and opens the main window.
    void Start() {
        Session->StartModules();
        Window = std::make_unique<qvhost::HostMainWindow>(Session.get());
    }

    testmodule::ITestModuleControl& Control() const {
        hostapi::TClientPluginBase* plugin = Session->Loader().PluginByGUID(TestModuleGUID());
        if (!plugin)
            throw hostapi::EQVException(QStringLiteral("the test module is not loaded"));
        auto* control = plugin->GetExtFunc<testmodule::ITestModuleControl>();
        if (!control)
            throw hostapi::EQVException(QStringLiteral("the test module offers no control interface"));
        return *control;
    }

    // Records of the test module that start with APrefix.
    QStringList LogOf(const QString& APrefix) const {
        QStringList entries;
        for (const QString& entry : Log)
            if (entry.startsWith(APrefix))
                entries.append(entry);
        return entries;
    }

    testsupport::TestDatabase Database;
    testsupport::RecordingExceptionDisplay Display;
    QStringList Log;
    std::unique_ptr<qvhost::HostSession> Session;
    std::unique_ptr<qvhost::HostMainWindow> Window;
};

} // namespace hosttest
