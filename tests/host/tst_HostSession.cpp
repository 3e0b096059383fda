#include "HostUnderTest.h"

#include "HostCommandLine.h"

#include "ClientPluginBase.h"
#include "MenuModel.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "QVPluginFormManager.h"
#include "SchedulePlugin.h"
#include "ScreenService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using hosttest::HostUnderTest;

// The host's module session: the module folder, loading every module with failures shown, the start of
// the modules and their scheduler actions, and shut-down.
class tst_HostSession : public QObject {
    Q_OBJECT

private slots:
    void loadsBothProductModulesOfTheDefaultFolder();
    void emptyFolderLoadsNothing();
    void unreadableFolderIsAnError_data();
    void unreadableFolderIsAnError();
    void failingModuleIsShownAndTheOthersLoad_data();
    void failingModuleIsShownAndTheOthersLoad();
    void startDrivesEveryDataModule();
    void failingStartStepIsShownAndTheStartGoesOn();
    void faultyMenusAreShownAndLeftOut();
    void schedulerRunsTheModulesActions();
    void noShutDownWhileAnActionRuns();
    void refusedShutDownChangesNothing();
    void shutDownUnloadsInOrder();
    void installsItsServicesWhileItLives();
};

void tst_HostSession::loadsBothProductModulesOfTheDefaultFolder() {
    // The test runs from the build's bin folder, as qvhost does: its default folder is the modules'.
    const QString folder =
        qvhost::HostCommandLine::Parse({QStringLiteral("qvhost")}, QCoreApplication::applicationDirPath())
            .ModuleFolder;
    QCOMPARE(folder, QDir::cleanPath(QStringLiteral(QV_MODULE_DIR)));

    HostUnderTest host;
    QCOMPARE(host.Load(folder), 2);
    QVERIFY(host.Session->Loader().PluginByGUID(QStringLiteral("{57C4F894-231F-4568-AA61-80DEB7BA4687}")));
    QVERIFY(host.Session->Loader().PluginByGUID(QStringLiteral("{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10}")));
    host.Session->StartModules();
    QVERIFY2(host.Display.Records().isEmpty(), qPrintable(host.Display.Records().value(0).Exception.Message));
    const hostapi::MenuModel menus = host.Session->Menus();
    QCOMPARE(menus.SectionCaptions(), (QStringList{"Konfiguration", "Email Marketing", "Protokolle"}));
    const QList<hostapi::TMenuEntry> settings = menus.Entries(QStringLiteral("Konfiguration"));
    QCOMPARE(settings.size(), 2);
    QCOMPARE(settings[0].Item.MenuTitle, QStringLiteral("Email Marketing"));
    // the register service's windows, declared by both its data modules, are listed once
    QCOMPARE(settings[1].Item.MenuTitle, QStringLiteral("Register-Service"));
    QCOMPARE(settings[1].Item.PluginFormClassName, QStringLiteral("TfrmPluginRegisterServiceConfig"));
    const QList<hostapi::TMenuEntry> logs = menus.Entries(QStringLiteral("Protokolle"));
    QCOMPARE(logs.size(), 1);
    QCOMPARE(logs[0].Item.MenuTitle, QStringLiteral("Register-Service"));
    QCOMPARE(logs[0].Item.PluginFormClassName, QStringLiteral("TfrmPluginRegisterServiceLogFile"));
    const QList<hostapi::TMenuEntry> work = menus.Entries(QStringLiteral("Email Marketing"));
    QCOMPARE(work.size(), 2);
    QCOMPARE(work[0].Item.MenuTitle, QStringLiteral("Verteilerlisten"));
    QCOMPARE(work[1].Item.MenuTitle, QStringLiteral("Versand"));
    QVERIFY(host.Session->ShutDown());
    QVERIFY(host.Session->Loader().Plugins().isEmpty());
}

void tst_HostSession::emptyFolderLoadsNothing() {
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    HostUnderTest host;
    QCOMPARE(host.Load(empty.path()), 0);
    QVERIFY(host.Display.Records().isEmpty());
    host.Start();
    QVERIFY(host.Window->ModuleMenus().isEmpty());
}

void tst_HostSession::unreadableFolderIsAnError_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << QStringLiteral("missing");
    QTest::newRow("a file") << QStringLiteral("file.so");
}

void tst_HostSession::unreadableFolderIsAnError() {
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("file.so")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    HostUnderTest host;
    try {
        host.Load(dir.filePath(name));
        QFAIL("loading from a folder that cannot be read succeeded");
    } catch (const hostapi::EQVException& e) {
        QCOMPARE(e.Message(),
                 QStringLiteral("Der Modulordner %1 kann nicht gelesen werden.").arg(dir.filePath(name)));
    }
    QVERIFY(host.Session->Loader().Plugins().isEmpty());
}

void tst_HostSession::failingModuleIsShownAndTheOthersLoad_data() {
    QTest::addColumn<QStringList>("links");  // "name=library" in the module folder
    QTest::addColumn<bool>("failCreate");    // the test module's data module raises when created
    QTest::addColumn<QString>("failing");    // the library shown as failed
    QTest::addColumn<QString>("loadedGUID"); // the module loaded all the same
    QTest::addColumn<bool>("userMessage");
    const QString testModule = QStringLiteral(QV_TEST_MODULE);
    const QString registerService = QStringLiteral(QV_REGISTER_SERVICE_MODULE);
    QTest::newRow("no entry point") << QStringList{"a_noentry.so=" QV_NO_ENTRY_MODULE,
                                                   "b_test.so=" + testModule}
                                    << false << QStringLiteral("a_noentry.so") << hosttest::TestModuleGUID()
                                    << false;
    QTest::newRow("same module twice")
        << QStringList{"a_test.so=" + testModule, "b_test.so=" + testModule} << false
        << QStringLiteral("b_test.so") << hosttest::TestModuleGUID() << false;
    QTest::newRow("data module raises")
        << QStringList{"a_test.so=" + testModule, "b_registerservice.so=" + registerService} << true
        << QStringLiteral("a_test.so") << QStringLiteral("{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10}") << true;
}

void tst_HostSession::failingModuleIsShownAndTheOthersLoad() {
    QFETCH(QStringList, links);
    QFETCH(bool, failCreate);
    QFETCH(QString, failing);
    QFETCH(QString, loadedGUID);
    QFETCH(bool, userMessage);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (const QString& link : links) {
        const QStringList parts = link.split(QLatin1Char('='));
        QVERIFY(QFile::link(parts.at(1), folder.filePath(parts.at(0))));
    }
    if (failCreate)
        qputenv("QV_TEST_MODULE_FAIL_CREATE", "1");
    auto unsetEnvironment = qScopeGuard([] { qunsetenv("QV_TEST_MODULE_FAIL_CREATE"); });

    HostUnderTest host;
    QCOMPARE(host.Load(folder.path()), 1);
    QVERIFY(host.Session->Loader().PluginByGUID(loadedGUID));
    const auto records = host.Display.Records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().Exception.Caption,
             QStringLiteral("Das Modul %1 konnte nicht geladen werden.").arg(failing));
    QCOMPARE(records.first().Exception.UserMessage, userMessage);
    QVERIFY(!records.first().Exception.Message.isEmpty());
}

void tst_HostSession::startDrivesEveryDataModule() {
    HostUnderTest host;
    QCOMPARE(host.Load(), 1);
    host.Log.clear();
    host.Session->StartModules();
    QCOMPARE(host.Log,
             (QStringList{"TdmTestModuleMain.Init", "TdmTestModuleMenus.Init",
                          "TdmTestModuleMain.AfterStartup", "TdmTestModuleMenus.AfterStartup",
                          "TdmTestModuleMain.SetLanguage German", "TdmTestModuleMenus.SetLanguage German"}));
    QVERIFY(host.Display.Records().isEmpty());
}

void tst_HostSession::failingStartStepIsShownAndTheStartGoesOn() {
    HostUnderTest host;
    QCOMPARE(host.Load(), 1);
    host.Control().SetFailure(QStringLiteral("Init"), QStringLiteral("Init geht nicht"));
    host.Log.clear();
    host.Session->StartModules();

    const auto records = host.Display.Records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().Exception.Message, QStringLiteral("Init geht nicht"));
    QCOMPARE(records.first().Exception.Caption, QStringLiteral("Das Modul %1 konnte nicht gestartet werden.")
                                                    .arg(QFileInfo(QV_TEST_MODULE).fileName()));
    // The module's own loop stops at its failing data module; the next steps still run.
    QVERIFY(host.Log.contains(QStringLiteral("TdmTestModuleMain.AfterStartup")));
    QVERIFY(host.Log.contains(QStringLiteral("TdmTestModuleMenus.SetLanguage German")));
    QVERIFY(host.Session->Loader().PluginByGUID(hosttest::TestModuleGUID()));
}

void tst_HostSession::faultyMenusAreShownAndLeftOut() {
    HostUnderTest host;
    QCOMPARE(host.Load(), 1);
    QCOMPARE(host.Session->Menus().SectionCaptions(), (QStringList{"Konfiguration", "Testmodul"}));

    // An entry for a window class the test module does not register.
    hostapi::TPluginBaseDataModule* dataModule =
        host.Session->Loader().PluginByGUID(hosttest::TestModuleGUID())->DataModules().last();
    auto* formManager = new hostapi::TQVPluginFormManager(dataModule);
    formManager->Add({QStringLiteral("TfrmUnknown"), QStringLiteral("Extras"), QStringLiteral("Unbekannt")});

    QVERIFY(host.Session->Menus().Sections().isEmpty());
    const auto records = host.Display.Records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().Exception.Caption,
             QStringLiteral("Die Menüs des Moduls QVTestModule.so sind fehlerhaft."));
    QVERIFY(records.first().Exception.Message.contains(QStringLiteral("TfrmUnknown")));
}

void tst_HostSession::schedulerRunsTheModulesActions() {
    HostUnderTest host;
    QCOMPARE(host.Load(), 1);
    // A scheduler component of the test module's main data module, as a module declares it.
    hostapi::TPluginBaseDataModule* dataModule =
        host.Session->Loader().PluginByGUID(hosttest::TestModuleGUID())->DataModules().first();
    auto* schedule = new hostapi::TSchedulePlugin(dataModule);
    const QString identifier = QStringLiteral("{6A1F0C2D-3B4E-4F50-8A6B-7C8D9E0F1A2B}");
    schedule->AddAction(QStringLiteral("Testaktion"), identifier);
    schedule->OnExecute = [](hostapi::TSchedulePlugin*, int, hostapi::IScheduleExecuteCallBack& ACallBack,
                             QVariant&, bool& ASuccess) {
        ACallBack.Report(QStringLiteral("Testaktion"), hostapi::MessageKind::Info,
                         QStringLiteral("erledigt"));
        ASuccess = true;
    };
    host.Session->StartModules();

    const auto actions = host.Session->GetScheduler().Actions();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.first().Identifier, identifier);
    QVERIFY(host.Session->GetScheduler().ExecuteNow(identifier));
    const auto entries = host.Session->GetScheduler().Log().Entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().Text, QStringLiteral("erledigt"));

    // Unloading the module takes its actions out of the scheduler.
    QVERIFY(host.Session->ShutDown());
    QVERIFY(host.Session->GetScheduler().Actions().isEmpty());
}

void tst_HostSession::noShutDownWhileAnActionRuns() {
    HostUnderTest host;
    QCOMPARE(host.Load(), 1);
    hostapi::TPluginBaseDataModule* dataModule =
        host.Session->Loader().PluginByGUID(hosttest::TestModuleGUID())->DataModules().first();
    auto* schedule = new hostapi::TSchedulePlugin(dataModule);
    const QString identifier = QStringLiteral("{0B1C2D3E-4F50-4A6B-8C7D-9E0F1A2B3C4D}");
    schedule->AddAction(QStringLiteral("Abrufen"), identifier);
    QString refusal;
    // The action is still running when the host is asked to shut down (as from a nested event loop).
    schedule->OnExecute = [&host, &refusal](hostapi::TSchedulePlugin*, int,
                                            hostapi::IScheduleExecuteCallBack&, QVariant&, bool& ASuccess) {
        try {
            host.Session->ShutDown();
        } catch (const hostapi::EQVUserMessageException& e) {
            refusal = e.Message();
        }
        ASuccess = true;
    };
    host.Session->StartModules();
    host.Log.clear();

    QVERIFY(host.Session->GetScheduler().ExecuteNow(identifier));
    QCOMPARE(refusal, QStringLiteral("Die Aktion \"Abrufen\" läuft noch. Der Host kann erst beendet werden, "
                                     "wenn sie fertig ist."));
    QVERIFY(host.Log.isEmpty()); // no module was asked
    QVERIFY(!host.Session->ShutDownStarted());
    QVERIFY(host.Session->ShutDown());
}

void tst_HostSession::refusedShutDownChangesNothing() {
    HostUnderTest host;
    QCOMPARE(host.Load(), 1);
    host.Session->StartModules();
    host.Control().SetCanShutDownAnswer(false);
    host.Log.clear();

    QVERIFY(!host.Session->ShutDown());
    QCOMPARE(host.Log, QStringList{"TdmTestModuleMain.CanShutDown"});
    QVERIFY(!host.Session->ShutDownStarted());
    QCOMPARE(host.Session->Loader().Plugins().size(), 1);
}

void tst_HostSession::shutDownUnloadsInOrder() {
    HostUnderTest host;
    QCOMPARE(host.Load(), 1);
    host.Session->StartModules();
    host.Log.clear();

    QVERIFY(host.Session->ShutDown());
    QCOMPARE(host.Log, (QStringList{"TdmTestModuleMain.CanShutDown", "TdmTestModuleMenus.CanShutDown",
                                    "TdmTestModuleMain.BeforeUnInit", "TdmTestModuleMenus.BeforeUnInit",
                                    "TdmTestModuleMain.UnInit", "TdmTestModuleMenus.UnInit",
                                    "TdmTestModuleMenus.Destroyed", "TdmTestModuleMain.Destroyed",
                                    "TestModule.Unloaded"}));
    QVERIFY(host.Session->Loader().Plugins().isEmpty());
}

void tst_HostSession::installsItsServicesWhileItLives() {
    {
        qvhost::HostSession session;
        QCOMPARE(hostapi::TQVMainInterface::GetModuleLoader(), &session.Loader());
        QCOMPARE(&hostapi::TQVMainInterface::GetScreen(),
                 static_cast<hostapi::IScreenService*>(&session.Screen()));
    }
    QCOMPARE(hostapi::TQVMainInterface::GetModuleLoader(), nullptr);
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, hostapi::TQVMainInterface::GetScreen());
}

QTEST_MAIN(tst_HostSession)
#include "tst_HostSession.moc"
