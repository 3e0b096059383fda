#include "ClientPluginBase.h"
#include "MenuModel.h"
#include "QVException.h"
#include "QVFirstStart.h"
#include "QVPluginFormManager.h"

#include <QtTest>

#include <map>
#include <memory>

using namespace hostapi;

namespace formmanagertest {

const QString ModuleA = QStringLiteral("{A0000000-0000-0000-0000-00000000000A}");
const QString ModuleB = QStringLiteral("{B0000000-0000-0000-0000-00000000000B}");

// Declares the windows its test names; two instances stand for two data modules of one module.
class TdmDeclaring : public TPluginBaseDataModule {
    Q_OBJECT
public:
    explicit TdmDeclaring(TClientPluginBase* AOwner) : TPluginBaseDataModule(AOwner) {
        auto* manager = new TQVPluginFormManager(this);
        manager->SetModuleTitle(QStringLiteral("Modul A"));
        for (const QString& className : GDeclared)
            manager->Add({className, QStringLiteral("Konfiguration"), className.mid(4)});
    }
    static QStringList GDeclared;
};
QStringList TdmDeclaring::GDeclared;

class TdmDeclaringToo : public TdmDeclaring {
    Q_OBJECT
public:
    using TdmDeclaring::TdmDeclaring;
};

} // namespace formmanagertest

using namespace formmanagertest;

// Form managers merged into the host's menus, and first-start steps.
class tst_QVPluginFormManager : public QObject {
    Q_OBJECT

private slots:
    void menuModelMergesDeclarations_data() {
        // Each declaration: "<manager>|<module>|<class>|<section>|<title>"; managers are added in
        // the order of their numbers. Each expected entry: "<section>: <title> (<module>/<class>)".
        QTest::addColumn<QStringList>("declarations");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one form manager") << QStringList{"1|A|TfrmLists|Email Marketing|Verteilerlisten",
                                                         "1|A|TfrmMailing|Email Marketing|Versand",
                                                         "1|A|TfrmSettings|Konfiguration|Email Marketing"}
                                          << QStringList{"Email Marketing: Verteilerlisten (A/TfrmLists)",
                                                         "Email Marketing: Versand (A/TfrmMailing)",
                                                         "Konfiguration: Email Marketing (A/TfrmSettings)"};
        QTest::newRow("window declared by two data modules")
            << QStringList{"1|A|TfrmConfig|Konfiguration|Register-Service",
                           "1|A|TfrmLog|Protokolle|Register-Service",
                           "2|A|TfrmConfig|Konfiguration|Register-Service",
                           "2|A|TfrmLog|Protokolle|Register-Service"}
            << QStringList{"Konfiguration: Register-Service (A/TfrmConfig)",
                           "Protokolle: Register-Service (A/TfrmLog)"};
        QTest::newRow("first declaration stands")
            << QStringList{"1|A|TfrmConfig|Konfiguration|Einstellungen", "2|A|TfrmConfig|Extras|Anders"}
            << QStringList{"Konfiguration: Einstellungen (A/TfrmConfig)"};
        QTest::newRow("same class name in two modules")
            << QStringList{"1|A|TfrmConfig|Konfiguration|Modul A", "2|B|TfrmConfig|Konfiguration|Modul B"}
            << QStringList{"Konfiguration: Modul A (A/TfrmConfig)", "Konfiguration: Modul B (B/TfrmConfig)"};
        QTest::newRow("sections in order of first appearance")
            << QStringList{"1|A|TfrmOne|Konfiguration|Eins", "2|B|TfrmTwo|Protokolle|Zwei",
                           "3|B|TfrmThree|Konfiguration|Drei"}
            << QStringList{"Konfiguration: Eins (A/TfrmOne)", "Konfiguration: Drei (B/TfrmThree)",
                           "Protokolle: Zwei (B/TfrmTwo)"};
    }

    void menuModelMergesDeclarations() {
        QFETCH(QStringList, declarations);
        QFETCH(QStringList, expected);
        std::map<QString, std::pair<QString, std::unique_ptr<TQVPluginFormManager>>> managers;
        for (const QString& declaration : declarations) {
            const QStringList part = declaration.split(QLatin1Char('|'));
            auto& manager = managers[part.at(0)];
            if (!manager.second)
                manager = {part.at(1), std::make_unique<TQVPluginFormManager>(nullptr)};
            manager.second->Add({part.at(2), part.at(3), part.at(4)});
        }
        MenuModel model;
        for (const auto& [number, manager] : managers)
            model.AddFormManager(manager.first, *manager.second);

        QStringList entries;
        for (const TMenuSection& section : model.Sections()) {
            for (const TMenuEntry& entry : section.Entries)
                entries.append(QStringLiteral("%1: %2 (%3/%4)")
                                   .arg(section.Caption, entry.Item.MenuTitle, entry.PluginGUID,
                                        entry.Item.PluginFormClassName));
        }
        QCOMPARE(entries, expected);
    }

    void menuModelFromPluginShowsWindowOnce() {
        TdmDeclaring::GDeclared = {QStringLiteral("TfrmConfig")};
        TPluginDataModuleClassList dataModules;
        TClientPluginBase::RegisterPluginDataModule<TdmDeclaring>(dataModules);
        TClientPluginBase::RegisterPluginDataModule<TdmDeclaringToo>(dataModules);
        TPluginFormClassList forms;
        TClientPluginBaseGUI::RegisterPluginFormClass(
            {QStringLiteral("TfrmConfig"), nullptr, [](QWidget*) -> TPluginForm* { return nullptr; }}, forms);
        TClientPluginBaseGUI plugin(ModuleA, 0, dataModules, forms, true);
        plugin.CreateDataModules();
        QCOMPARE(plugin.FindComponents<TQVPluginFormManager>().size(), 2);

        const MenuModel model = MenuModel::FromPlugins({&plugin});
        QCOMPARE(model.SectionCaptions(), QStringList{"Konfiguration"});
        QCOMPARE(model.Entries(QStringLiteral("Konfiguration")).size(), 1);
        QCOMPARE(model.Entries(QStringLiteral("Konfiguration")).first().ModuleTitle,
                 QStringLiteral("Modul A"));
        QVERIFY(model.Entries(QStringLiteral("Protokolle")).isEmpty());
    }

    void menuModelRefusesUnregisteredWindow() {
        TdmDeclaring::GDeclared = {QStringLiteral("TfrmMissing")};
        TPluginDataModuleClassList dataModules;
        TClientPluginBase::RegisterPluginDataModule<TdmDeclaring>(dataModules);
        TPluginFormClassList forms;
        TClientPluginBaseGUI plugin(ModuleA, 0, dataModules, forms, true);
        plugin.CreateDataModules();
        try {
            MenuModel::FromPlugins({&plugin});
            QFAIL("a menu entry without window was accepted");
        } catch (const EQVException& e) {
            QVERIFY2(e.Message().contains(QLatin1String("TfrmMissing")), qPrintable(e.Message()));
        }
    }

    void firstStartsByPriority() {
        TQVFirstStart late(nullptr), early(nullptr), alsoEarly(nullptr);
        late.SetPriority(10000);
        late.SetTitle(QStringLiteral("Email Marketing"));
        early.SetPriority(100);
        early.SetTitle(QStringLiteral("Adressen"));
        alsoEarly.SetPriority(100);
        alsoEarly.SetTitle(QStringLiteral("Benutzer"));

        QStringList titles;
        for (const TQVFirstStart* firstStart : TQVFirstStart::ByPriority({&late, &early, &alsoEarly}))
            titles.append(firstStart->Title());
        QCOMPARE(titles, (QStringList{"Adressen", "Benutzer", "Email Marketing"}));
    }

    void firstStartLink_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("withHandler");
        QTest::addColumn<QString>("followed"); // "" when Link must raise
        QTest::newRow("first step") << 0 << true
                                    << "0 Emailserver Konfigurieren TfrmPluginEmailMarketingGlobalSettings";
        QTest::newRow("second step") << 1 << true
                                     << "1 SMS-Provider Konfigurieren TfrmPluginEmailMarketingGlobalSettings";
        QTest::newRow("index out of range") << 2 << true << "";
        QTest::newRow("negative index") << -1 << true << "";
        QTest::newRow("no OnLink handler") << 0 << false << "";
    }

    void firstStartLink() {
        QFETCH(int, index);
        QFETCH(bool, withHandler);
        QFETCH(QString, followed);
        TQVFirstStart firstStart(nullptr);
        const QString window = QStringLiteral("TfrmPluginEmailMarketingGlobalSettings");
        QCOMPARE(firstStart.Add({-1, QStringLiteral("Emailserver Konfigurieren"), QString(), window, 0}), 0);
        QCOMPARE(firstStart.Add({-1, QStringLiteral("SMS-Provider Konfigurieren"), QString(), window, 0}), 1);
        QStringList calls;
        if (withHandler) {
            firstStart.OnLink = [&](TQVFirstStart* Sender, const TQVFirstStartItem& AItem) {
                QCOMPARE(Sender, &firstStart);
                calls.append(
                    QStringLiteral("%1 %2 %3").arg(AItem.Index).arg(AItem.Title, AItem.PluginFormClassName));
            };
        }

        if (followed.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(EQVAssertion, firstStart.Link(index));
            QVERIFY(calls.isEmpty());
        } else {
            firstStart.Link(index);
            QCOMPARE(calls, QStringList{followed});
        }
    }
};

QTEST_GUILESS_MAIN(tst_QVPluginFormManager)
#include "tst_QVPluginFormManager.moc"
