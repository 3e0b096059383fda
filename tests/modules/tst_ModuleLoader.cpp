#include "ClientPluginBase.h"
#include "ModuleLoader.h"
#include "QVException.h"
#include "QVFirstStart.h"
#include "QVMainInterface.h"
#include "modules/FakeScreenService.h"
#include "modules/TestModuleControl.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>

#include <functional>
#include <map>

using namespace hostapi;

namespace {

// True while the library is mapped in the process.
bool IsLoaded(const QString& AFileName) {
    void* handle = dlopen(QFile::encodeName(AFileName).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

} // namespace

// The module loader drives a test module (two data modules, two windows) through its life-cycle.
class tst_ModuleLoader : public QObject {
    Q_OBJECT

private:
    // Loads the test module and routes its records, from now on, into FLog.
    testmodule::ITestModuleControl& LoadTestModule(ModuleLoader& ALoader) {
        ALoader.LoadFolder(QFileInfo(QStringLiteral(QV_TEST_MODULE)).absolutePath());
        TClientPluginBase* plugin = ALoader.PluginByGUID(QString::fromLatin1(testmodule::TestModuleGUID));
        if (!plugin)
            throw EQVException(QStringLiteral("test module not loaded"));
        auto* control = plugin->GetExtFunc<testmodule::ITestModuleControl>();
        if (!control)
            throw EQVException(QStringLiteral("test module offers no control interface"));
        FLog = control->Log();
        control->SetSink([this](const QString& AEntry) { FLog.append(AEntry); });
        return *control;
    }

    QStringList FLog;

private slots:
    void init() { FLog.clear(); }

    void lifeCycleInOrder() {
        ModuleLoader loader;
        LoadTestModule(loader);
        loader.Init();
        loader.AfterStartup();
        loader.SetLanguage(QStringLiteral("English"));
        QVERIFY(IsLoaded(QStringLiteral(QV_TEST_MODULE)));

        QVERIFY(loader.ShutDown());

        const QStringList expected{"TdmTestModuleMain.Created",
                                   "TdmTestModuleMenus.Created",
                                   "TdmTestModuleMain.Init",
                                   "TdmTestModuleMenus.Init",
                                   "TdmTestModuleMain.AfterStartup",
                                   "TdmTestModuleMenus.AfterStartup",
                                   "TdmTestModuleMain.SetLanguage English",
                                   "TdmTestModuleMenus.SetLanguage English",
                                   "TdmTestModuleMain.CanShutDown",
                                   "TdmTestModuleMenus.CanShutDown",
                                   "TdmTestModuleMain.BeforeUnInit",
                                   "TdmTestModuleMenus.BeforeUnInit",
                                   "TdmTestModuleMain.UnInit",
                                   "TdmTestModuleMenus.UnInit",
                                   "TdmTestModuleMenus.Destroyed",
                                   "TdmTestModuleMain.Destroyed",
                                   "TestModule.Unloaded"};
        QCOMPARE(FLog, expected);
        QVERIFY2(!IsLoaded(QStringLiteral(QV_TEST_MODULE)), "the library is still mapped after unloading");
        QVERIFY(loader.Plugins().isEmpty());
    }

    void refusedShutDownKeepsModulesRunning() {
        ModuleLoader loader;
        testmodule::ITestModuleControl& control = LoadTestModule(loader);
        loader.Init();
        control.SetCanShutDownAnswer(false);
        FLog.clear();

        QVERIFY(!loader.ShutDown());

        QCOMPARE(FLog, QStringList{"TdmTestModuleMain.CanShutDown"});
        QCOMPARE(loader.Plugins().size(), 1);
        QVERIFY(IsLoaded(QStringLiteral(QV_TEST_MODULE)));

        control.SetCanShutDownAnswer(true);
        FLog.clear();
        QVERIFY(loader.ShutDown());
        QCOMPARE(FLog.first(), QStringLiteral("TdmTestModuleMain.CanShutDown"));
        QCOMPARE(FLog.last(), QStringLiteral("TestModule.Unloaded"));
    }

    void userMessageFromModuleCaughtByType_data() {
        QTest::addColumn<QString>("step");
        QTest::newRow("Init") << "Init";
        QTest::newRow("AfterStartup") << "AfterStartup";
        QTest::newRow("SetLanguage") << "SetLanguage";
        QTest::newRow("CanShutDown") << "CanShutDown";
        QTest::newRow("BeforeUnInit") << "BeforeUnInit";
    }

    void userMessageFromModuleCaughtByType() {
        QFETCH(QString, step);
        const std::map<QString, std::function<void(ModuleLoader&)>> calls{
            {"Init", [](ModuleLoader& l) { l.Init(); }},
            {"AfterStartup", [](ModuleLoader& l) { l.AfterStartup(); }},
            {"SetLanguage", [](ModuleLoader& l) { l.SetLanguage(QStringLiteral("French")); }},
            {"CanShutDown", [](ModuleLoader& l) { l.ShutDown(); }},
            {"BeforeUnInit", [](ModuleLoader& l) { l.ShutDown(); }}};
        ModuleLoader loader;
        testmodule::ITestModuleControl& control = LoadTestModule(loader);
        const QString message = QStringLiteral("Schritt %1 ist fehlgeschlagen").arg(step);
        control.SetFailure(step, message);

        bool caught = false;
        try {
            calls.at(step)(loader);
        } catch (const EQVUserMessageException& e) {
            caught = true;
            QCOMPARE(e.Message(), message);
        }
        QVERIFY2(caught, "the module's EQVUserMessageException did not reach the host as that type");
        QCOMPARE(loader.Plugins().size(), 1);

        control.SetFailure({}, {});
        loader.UnloadAll();
        QVERIFY(!IsLoaded(QStringLiteral(QV_TEST_MODULE)));
    }

    void runningThreadsKeepModuleLoaded() {
        ModuleLoader loader;
        testmodule::ITestModuleControl& control = LoadTestModule(loader);
        control.SetRunningThreads(1);

        QVERIFY_THROWS_EXCEPTION(EQVException, loader.ShutDown());
        QVERIFY(IsLoaded(QStringLiteral(QV_TEST_MODULE)));
        QCOMPARE(FLog.count(QStringLiteral("TdmTestModuleMain.UnInit")), 1);
        QVERIFY(!FLog.contains(QStringLiteral("TdmTestModuleMain.Destroyed")));

        control.SetRunningThreads(0);
        loader.UnloadAll();
        QCOMPARE(FLog.count(QStringLiteral("TdmTestModuleMain.BeforeUnInit")), 1);
        QCOMPARE(FLog.count(QStringLiteral("TdmTestModuleMain.UnInit")), 1);
        QCOMPARE(FLog.last(), QStringLiteral("TestModule.Unloaded"));
        QVERIFY(!IsLoaded(QStringLiteral(QV_TEST_MODULE)));
    }

    void extFuncOnlyForOfferedIds_data() {
        QTest::addColumn<QString>("iid");
        QTest::addColumn<bool>("answered");
        QTest::newRow("offered id") << testmodule::ITestModuleControl::IID << true;
        QTest::newRow("offered id in lower case")
            << QString::fromLatin1(testmodule::ITestModuleControl::IID).toLower() << true;
        QTest::newRow("register service interface") << "{0D03F319-712D-483B-AD94-ED1AC1F3586B}" << false;
        QTest::newRow("empty id") << "" << false;
    }

    void extFuncOnlyForOfferedIds() {
        QFETCH(QString, iid);
        QFETCH(bool, answered);
        ModuleLoader loader;
        LoadTestModule(loader);
        TClientPluginBase* plugin = loader.PluginByGUID(QString::fromLatin1(testmodule::TestModuleGUID));
        QCOMPARE(plugin->GetExtFunc(iid) != nullptr, answered);
    }

    void firstStartStepOpensWindowThroughScreenService() {
        testsupport::FakeScreenService screen;
        TQVMainInterface::SetScreen(&screen);
        const auto uninstall = qScopeGuard([] { TQVMainInterface::SetScreen(nullptr); });
        ModuleLoader loader;
        LoadTestModule(loader);

        const QList<TQVFirstStart*> firstStarts = TQVFirstStart::ByPriority(loader.Plugins());
        QCOMPARE(firstStarts.size(), 1);
        QCOMPARE(firstStarts.first()->Title(), QStringLiteral("Testmodul"));
        firstStarts.first()->Link(0);

        QCOMPARE(screen.Requests.size(), 1);
        QCOMPARE(screen.Requests.first().PluginGUID, QString::fromLatin1(testmodule::TestModuleGUID));
        QCOMPARE(screen.Requests.first().FormIndex, 1); // TfrmTestModuleSettings
        QCOMPARE(screen.Requests.first().Params, QVariant(QStringLiteral("SETUP")));
    }

    void moduleFailingWhileLoadingStaysMappedUntilHandled() {
        qputenv("QV_TEST_MODULE_FAIL_CREATE", "1");
        const auto unset = qScopeGuard([] { qunsetenv("QV_TEST_MODULE_FAIL_CREATE"); });
        {
            ModuleLoader loader;
            bool caught = false;
            try {
                loader.LoadModule(QStringLiteral(QV_TEST_MODULE));
            } catch (const EQVUserMessageException& e) {
                caught = true;
                QCOMPARE(e.Message(), QStringLiteral("Das Testmodul kann nicht erstellt werden."));
            }
            QVERIFY(caught);
            QVERIFY(loader.Plugins().isEmpty());
            QVERIFY(IsLoaded(QStringLiteral(QV_TEST_MODULE)));
        }
        QVERIFY2(!IsLoaded(QStringLiteral(QV_TEST_MODULE)),
                 "the failed module stays mapped after the loader");
    }

    void loadFailures_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expectedMessagePart");
        QTest::newRow("missing folder") << "missing folder"
                                        << "does not exist";
        QTest::newRow("not a library") << "not a library"
                                       << "cannot be loaded";
        QTest::newRow("no entry point") << "no entry point"
                                        << "has no entry point InitProc";
        QTest::newRow("GUID loaded twice") << "GUID loaded twice"
                                           << "of the loaded module";
    }

    void loadFailures() {
        QFETCH(QString, kind);
        QFETCH(QString, expectedMessagePart);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ModuleLoader loader;
        QString failing;
        std::function<void()> load;
        if (kind == "missing folder") {
            load = [&] { loader.LoadFolder(dir.filePath(QStringLiteral("nothing-here"))); };
        } else if (kind == "not a library") {
            failing = dir.filePath(QStringLiteral("QVText.so"));
            QFile file(failing);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not an ELF object");
            file.close();
            load = [&] { loader.LoadFolder(dir.path()); };
        } else if (kind == "no entry point") {
            failing = QStringLiteral(QV_NO_ENTRY_MODULE);
            load = [&] { loader.LoadModule(failing); };
        } else {
            LoadTestModule(loader);
            failing = dir.filePath(QStringLiteral("QVTestModuleCopy.so"));
            QVERIFY(QFile::copy(QStringLiteral(QV_TEST_MODULE), failing));
            load = [&] { loader.LoadModule(failing); };
        }

        const qsizetype loadedBefore = loader.Plugins().size();
        try {
            load();
            QFAIL("loading succeeded");
        } catch (const EQVException& e) {
            QVERIFY2(e.Message().contains(expectedMessagePart), qPrintable(e.Message()));
        }
        QCOMPARE(loader.Plugins().size(), loadedBefore);
        if (!failing.isEmpty())
            QVERIFY2(!IsLoaded(failing), "a failed module stays mapped");
    }
};

QTEST_GUILESS_MAIN(tst_ModuleLoader)
#include "tst_ModuleLoader.moc"
