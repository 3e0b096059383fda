#include "ClientPluginBase.h"
#include "MenuModel.h"
#include "ModuleLoader.h"
#include "PluginForm.h"
#include "QVFirstStart.h"
#include "QVMainInterface.h"
#include "ScreenService.h"
#include "modules/TestModuleControl.h"

#include <QFileInfo>
#include <QLabel>
#include <QScopeGuard>
#include <QtTest>

using namespace hostapi;

// The windows of a loaded module: menus from its form managers, the screen service, first-start steps
// and the windows' end at shut-down.
class tst_ModuleWindows : public QObject {
    Q_OBJECT

private:
    QString ModuleGUID() const { return QString::fromLatin1(testmodule::TestModuleGUID); }

    void LoadTestModule() {
        FLoader = std::make_unique<ModuleLoader>();
        TQVMainInterface::SetModuleLoader(FLoader.get());
        FLoader->LoadModule(QStringLiteral(QV_TEST_MODULE));
        FLoader->Init();
        FLoader->AfterStartup();
        auto* control = FLoader->PluginByGUID(ModuleGUID())->GetExtFunc<testmodule::ITestModuleControl>();
        QVERIFY(control);
        FLog.clear();
        control->SetSink([this](const QString& AEntry) { FLog.append(AEntry); });
    }

    std::unique_ptr<ModuleLoader> FLoader;
    ScreenService FScreen; // finds modules through TQVMainInterface
    QStringList FLog;

private slots:
    void init() {
        TQVMainInterface::SetScreen(&FScreen);
        LoadTestModule();
    }

    void cleanup() {
        FLoader.reset();
        TQVMainInterface::SetScreen(nullptr);
    }

    void menusFromBothDataModules() {
        const MenuModel menus = MenuModel::FromPlugins(FLoader->Plugins());
        QCOMPARE(menus.SectionCaptions(), (QStringList{"Konfiguration", "Testmodul"}));
        const QList<TMenuEntry> configuration = menus.Entries(QStringLiteral("Konfiguration"));
        QCOMPARE(configuration.size(), 1); // declared by both data modules
        QCOMPARE(configuration.first().Item.PluginFormClassName, QStringLiteral("TfrmTestModuleSettings"));
        QCOMPARE(configuration.first().ModuleTitle, QStringLiteral("Testmodul"));
        QCOMPARE(menus.Entries(QStringLiteral("Testmodul")).first().Item.MenuTitle,
                 QStringLiteral("Übersicht"));
    }

    void menuEntryOpensItsWindow() {
        const TMenuEntry entry =
            MenuModel::FromPlugins(FLoader->Plugins()).Entries(QStringLiteral("Testmodul")).first();
        TPluginForm* form =
            FScreen.OpenPluginForm(entry.PluginGUID, entry.Item.PluginFormClassName, QVariant());
        QVERIFY(form);
        QCOMPARE(TClientPluginBase::ClassNameOf(*form->metaObject()), QStringLiteral("TfrmTestModuleMain"));
        QVERIFY(form->isVisible());
    }

    void screenServiceOpensModuleWindowWithParameters() {
        TPluginForm* form =
            TQVMainInterface::GetScreen().OpenPluginForm(ModuleGUID(), 1, QStringLiteral("EMAILSERVER"));
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QCOMPARE(form->findChild<QLabel*>(QStringLiteral("lblPage"))->text(), QStringLiteral("EMAILSERVER"));
        QCOMPARE(FLog, QStringList{"TfrmTestModuleSettings.AfterShow EMAILSERVER first"});
    }

    void firstStartStepOpensSettingsPage() {
        const QList<TQVFirstStart*> firstStarts = TQVFirstStart::ByPriority(FLoader->Plugins());
        QCOMPARE(firstStarts.size(), 1);
        firstStarts.first()->Link(0);

        auto* plugin = dynamic_cast<TClientPluginBaseGUI*>(FLoader->PluginByGUID(ModuleGUID()));
        TPluginForm* form = plugin->FindForm(QStringLiteral("TfrmTestModuleSettings"));
        QVERIFY(form);
        QCOMPARE(form->findChild<QLabel*>(QStringLiteral("lblPage"))->text(), QStringLiteral("SETUP"));
        QCOMPARE(FLog, (QStringList{"TdmTestModuleMain.QVFirstStartLink 0",
                                    "TfrmTestModuleSettings.AfterShow SETUP first"}));
    }

    void shutDownClosesWindowsBeforeUnInit() {
        FScreen.OpenPluginForm(ModuleGUID(), 1, QStringLiteral("SMSPROVIDER"));
        FLog.clear();

        QVERIFY(FLoader->ShutDown());

        const QStringList expected{"TdmTestModuleMain.CanShutDown",
                                   "TdmTestModuleMenus.CanShutDown",
                                   "TfrmTestModuleSettings.FormClose",
                                   "TfrmTestModuleSettings.Destroyed",
                                   "TdmTestModuleMain.BeforeUnInit",
                                   "TdmTestModuleMenus.BeforeUnInit",
                                   "TdmTestModuleMain.UnInit",
                                   "TdmTestModuleMenus.UnInit",
                                   "TdmTestModuleMenus.Destroyed",
                                   "TdmTestModuleMain.Destroyed",
                                   "TestModule.Unloaded"};
        QCOMPARE(FLog, expected);
    }

    void closedTemporaryWindowIsGoneBeforeUnload() {
        TPluginForm* form = FScreen.OpenPluginForm(ModuleGUID(), 1, QStringLiteral("EMAILSERVER"));
        QVERIFY(form->close());
        FLog.clear();

        QVERIFY(FLoader->ShutDown());

        // Closed by the user: its closing hook ran then; the queued deletion is delivered before unloading.
        QCOMPARE(FLog.first(), QStringLiteral("TdmTestModuleMain.CanShutDown"));
        QVERIFY(FLog.indexOf(QStringLiteral("TfrmTestModuleSettings.Destroyed")) <
                FLog.indexOf(QStringLiteral("TestModule.Unloaded")));
        QCOMPARE(FLog.count(QStringLiteral("TfrmTestModuleSettings.FormClose")), 0);
    }
};

QTEST_MAIN(tst_ModuleWindows)
#include "tst_ModuleWindows.moc"
