// The register service module's menus: the global import entry that fetches in the background with
// its progress entry, its errors shown by the host, and the module's windows in the host's menus.

#include "ExceptionDisplay.h"
#include "HostLibraries.h"
#include "MenuModel.h"
#include "PluginModuleRegistration.h"
#include "ProgressService.h"
#include "QVGlobalMenuClient.h"
#include "RegisterServiceClient.h"
#include "RegisterServiceFixture.h"
#include "VRNLang.h"
#include "dmPluginRegisterServerMenus.h"
#include "dmPluginRegisterServiceMain.h"
#include "support/HostDoubles.h"
#include "support/HttpStub.h"
#include "support/TestDatabase.h"

#include <QAction>
#include <QtTest>

using namespace registerservice;
using testsupport::HttpStub;
using testsupport::TestDatabase;

namespace {

QList<QAction*> ImportEntries() {
    return hostapi::TQVGlobalMenu::Instance().Actions(QStringLiteral("GMNU_Import"));
}

// Both data modules as the host creates them, configured for AUrl.
struct Modules {
    TdmPluginRegisterServiceMain Main{nullptr};
    TdmPluginRegisterServerMenus Menus{nullptr};
    explicit Modules(const QString& AUrl) {
        Main.SetFetchURL(AUrl);
        Main.SetFetchUser(QStringLiteral("rsuser"));
        Main.SetFetchPassword(QStringLiteral("geheim"));
        Main.SetLastFetchStamp(QString());
        Main.Init();
        Main.AfterStartup();
        Menus.Init();
        Menus.AfterStartup();
    }
};

} // namespace

class tst_dmPluginRegisterServerMenus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void putsItsEntryIntoTheGlobalImportMenu() {
        TestDatabase tdb;
        {
            Modules modules{QString()};
            QCOMPARE(ImportEntries(), QList<QAction*>({&modules.Menus.actFetch()}));
            QCOMPARE(modules.Menus.actFetch().text(),
                     QStringLiteral("Daten von Register-Service aktualisieren"));
            modules.Menus.SetLanguage(QStringLiteral("English"));
            QCOMPARE(modules.Menus.actFetch().text(), QStringLiteral("Update data from Register-Service"));
        }
        QVERIFY(ImportEntries().isEmpty());
    }

    void theEntryFetchesInTheBackgroundWithItsProgress() {
        TestDatabase tdb;
        QStringList log;
        QMutex logLock;
        auto handler = std::make_shared<rstest::RecordingHandler>("a", log, logLock);
        rstest::HandlerRegistration handlers;
        handlers.Add(handler);
        QJsonObject answer = rstest::Ok(
            rstest::Answer("<!-- " + QString(64 << 10, QLatin1Char('x')) + " --><a ident=\"1\"/>", "S7"));
        answer.insert("chunk", QJsonArray{8192, 5});
        HttpStub stub(HttpStub::Script({HttpStub::Route("/rs/fetch.php", {answer})}),
                      HttpStub::Options{"rsuser:geheim", false});
        Modules modules(stub.Url("/rs").toString());
        QStringList opened;
        QList<QThread*> threads;
        hostapi::ProgressService& progress = hostapi::ProgressService::Instance();
        const auto connection =
            connect(&progress, &hostapi::ProgressService::ProgressOpened, this, [&](int AHandle) {
                threads << QThread::currentThread();
                for (const hostapi::ProgressEntry& entry : progress.Entries())
                    if (entry.Handle == AHandle)
                        opened << entry.Caption;
            });
        const auto restore = qScopeGuard([&] { disconnect(connection); });
        testsupport::RecordingExceptionDisplay display;

        modules.Menus.actFetch().trigger();
        QTRY_COMPARE(modules.Main.LastFetchStamp(), QStringLiteral("S7"));
        QTRY_COMPARE(progress.Entries().size(), 0);
        QTRY_COMPARE(modules.Main.RegisterServiceClient().RunningThreadCount(), 0);
        QCOMPARE(opened, QStringList({"Register-Server", "Register-Service Download"}));
        for (QThread* thread : threads)
            QCOMPARE(thread, QThread::currentThread());
        QVERIFY(handler->ImportThread && handler->ImportThread != QThread::currentThread());
        QCOMPARE(stub.Requests().value(0)["path"].toString(), QStringLiteral("/rs/fetch.php?action=all"));
        QVERIFY(display.Records().isEmpty());
    }

    void anErrorOfTheEntryIsShownByTheHost_data() {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("message");
        QTest::newRow("no URL") << false << "URL to Register-Service not configured!";
        QTest::newRow("server error") << true << "500";
    }
    void anErrorOfTheEntryIsShownByTheHost() {
        QFETCH(bool, configured);
        QFETCH(QString, message);
        TestDatabase tdb;
        HttpStub stub(HttpStub::Script({HttpStub::Route("/rs/fetch.php", {QJsonObject{{"status", 500}}})}));
        Modules modules(configured ? stub.Url("/rs").toString() : QString());
        testsupport::RecordingExceptionDisplay display;
        modules.Menus.actFetch().trigger();
        QTRY_COMPARE(display.Records().size(), 1);
        QVERIFY2(display.Records()[0].Exception.Message.contains(message),
                 qPrintable(display.Records()[0].Exception.Message));
        QCOMPARE(display.Records()[0].Thread, QThread::currentThread());
        QTRY_COMPARE(hostapi::ProgressService::Instance().Entries().size(), 0);
        QCOMPARE(modules.Main.LastFetchStamp(), QString());
    }

    void theHostListsEachWindowOnce_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("windowClass");
        QTest::newRow("configuration") << "Konfiguration"
                                       << "TfrmPluginRegisterServiceConfig";
        QTest::newRow("log") << "Protokolle"
                             << "TfrmPluginRegisterServiceLogFile";
    }
    void theHostListsEachWindowOnce() {
        QFETCH(QString, section);
        QFETCH(QString, windowClass);
        TestDatabase tdb;
        RegisterModuleClasses();
        hostapi::TClientPluginBaseGUI plugin(PluginModuleGUID(), 0, PluginDataModuleClasses(),
                                             PluginFormClasses(), true);
        plugin.CreateDataModules();
        QCOMPARE(plugin.FindComponents<hostapi::TQVPluginFormManager>().size(),
                 2); // both declare the windows
        const hostapi::MenuModel menus = hostapi::MenuModel::FromPlugins({&plugin});
        const QList<hostapi::TMenuEntry> entries = menus.Entries(section);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0].Item.MenuTitle, QStringLiteral("Register-Service"));
        QCOMPARE(entries[0].Item.PluginFormClassName, windowClass);
        QCOMPARE(entries[0].Item.Loading, hostapi::pfldTemporary);
        QCOMPARE(entries[0].PluginGUID, PluginModuleGUID());
        QCOMPARE(plugin.IndexOfPluginForm(windowClass), section == QLatin1String("Konfiguration") ? 0 : 1);
        plugin.DestroyDataModules();
    }
};

QTEST_MAIN(tst_dmPluginRegisterServerMenus)
#include "tst_dmPluginRegisterServerMenus.moc"
