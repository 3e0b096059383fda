#include "ClientPluginBase.h"
#include "PluginBaseComponent.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "SettingsStore.h"
#include "UserAccess.h"

#include <QtTest>

#include <functional>

using namespace hostapi;

namespace plugintest {

QStringList GLog;
QString GFailingConstructor; // class whose constructor raises
QString GRefusingShutDown;   // class whose CanShutDown answers False

const QString PluginGUID = QStringLiteral("{1A6B0C52-7D3E-4F18-8B29-64C0E5A7D913}");

class Q_DECL_EXPORT ITestFunc : public IExtFunc {
public:
    static constexpr const char* IID = "{5E1F7A30-2B9C-4D84-A6E5-0C3D8F1B7A42}";
    virtual QString Hello() = 0;
};

class Q_DECL_EXPORT IOtherFunc : public IExtFunc {
public:
    static constexpr const char* IID = "{C07D2E94-81A5-4B3F-9E60-2D4F7B1A8C35}";
};

// Records its life-cycle under its class name.
class TdmRecording : public TPluginBaseDataModule {
    Q_OBJECT
public:
    explicit TdmRecording(TClientPluginBase* AOwner) : TPluginBaseDataModule(AOwner) {}
    ~TdmRecording() override {
        if (!FName.isEmpty())
            GLog.append(FName + QStringLiteral(".Destroyed"));
    }
    void Init() override { Rec(QStringLiteral("Init")); }
    void AfterStartup() override { Rec(QStringLiteral("AfterStartup")); }
    void SetLanguage(const QString& ALangName) override {
        TPluginBaseDataModule::SetLanguage(ALangName);
        Rec(QStringLiteral("SetLanguage ") + ALangName);
    }
    bool CanShutDown() override {
        Rec(QStringLiteral("CanShutDown"));
        return Name() != GRefusingShutDown;
    }
    void BeforeUnInit() override { Rec(QStringLiteral("BeforeUnInit")); }
    void UnInit() override { Rec(QStringLiteral("UnInit")); }

protected:
    // The constructor of the most derived class calls this.
    void Created() {
        if (Name() == GFailingConstructor)
            throw EQVException(QStringLiteral("%1 cannot be created").arg(Name()));
        FName = Name();
        Rec(QStringLiteral("Created"));
    }

private:
    QString Name() const { return TClientPluginBase::ClassNameOf(*metaObject()); }
    void Rec(const QString& AStep) const { GLog.append(Name() + QLatin1Char('.') + AStep); }

    QString FName; // set once the most derived constructor has finished
};

class TdmFirst : public TdmRecording {
    Q_OBJECT
public:
    explicit TdmFirst(TClientPluginBase* AOwner) : TdmRecording(AOwner) { Created(); }
};

class TdmSecond : public TdmRecording {
    Q_OBJECT
public:
    explicit TdmSecond(TClientPluginBase* AOwner) : TdmRecording(AOwner) { Created(); }
};

// Offers ITestFunc, and only it.
class TdmOffering : public TPluginBaseDataModule, public ITestFunc {
    Q_OBJECT
public:
    explicit TdmOffering(TClientPluginBase* AOwner) : TPluginBaseDataModule(AOwner) {
        SetSelfIsExtFunc(true);
    }
    QString Hello() override { return QStringLiteral("Hallo"); }

protected:
    IExtFunc* DoOnGetExtFunc(const QString& AIID) override {
        if (IExtFunc::IsIID<ITestFunc>(AIID))
            return static_cast<ITestFunc*>(this);
        return TPluginBaseDataModule::DoOnGetExtFunc(AIID);
    }
};

// Answers every query with an interface it does not claim to be (the fault the typed query catches).
class TdmWrongAnswer : public TPluginBaseDataModule, public IOtherFunc {
    Q_OBJECT
public:
    explicit TdmWrongAnswer(TClientPluginBase* AOwner) : TPluginBaseDataModule(AOwner) {
        SetSelfIsExtFunc(true);
    }

protected:
    IExtFunc* DoOnGetExtFunc(const QString&) override { return static_cast<IOtherFunc*>(this); }
};

// A settings store that holds nothing; tests install it through the main interface.
class EmptySettingsStore : public ISettingsStore {
public:
    QString ReadString(const QString&, const QString&) override { return {}; }
    void WriteString(const QString&, const QString&, const QString&) override {}
    int ReadInteger(const QString&, const QString&, int defaultValue) override { return defaultValue; }
    void WriteInteger(const QString&, const QString&, int) override {}
    void Flush() override {}
};

} // namespace plugintest

using namespace plugintest;

// Class registration, the plug-in object driving its data modules, and the ext-function query.
class tst_ClientPluginBase : public QObject {
    Q_OBJECT

private slots:
    void init() {
        GLog.clear();
        GFailingConstructor.clear();
        GRefusingShutDown.clear();
    }

    void registrationNamesClassesOnce() {
        TPluginDataModuleClassList list;
        TClientPluginBase::RegisterPluginDataModule<TdmFirst>(list);
        TClientPluginBase::RegisterPluginDataModule<TdmSecond>(list);
        TClientPluginBase::RegisterPluginDataModule<TdmFirst>(list);

        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).ClassName, QStringLiteral("TdmFirst"));
        QCOMPARE(list.at(1).ClassName, QStringLiteral("TdmSecond"));
        QCOMPARE(list.at(0).MetaObject, &TdmFirst::staticMetaObject);
        const std::unique_ptr<TPluginBaseDataModule> created = list.at(1).Create(nullptr);
        QVERIFY(qobject_cast<TdmSecond*>(created.get()));
    }

    void registrationRefusesAnotherClassOfTheSameName() {
        TPluginDataModuleClassList list;
        TClientPluginBase::RegisterPluginDataModule<TdmFirst>(list);
        TPluginDataModuleClass impostor{QStringLiteral("TdmFirst"), nullptr, [](TClientPluginBase* AOwner) {
                                            return std::make_unique<TdmSecond>(AOwner);
                                        }};
        QVERIFY_THROWS_EXCEPTION(EQVException, TClientPluginBase::RegisterPluginDataModule(impostor, list));
        QCOMPARE(list.size(), 1);
    }

    void pluginDrivesDataModulesInOrder() {
        TPluginDataModuleClassList classes;
        TClientPluginBase::RegisterPluginDataModule<TdmFirst>(classes);
        TClientPluginBase::RegisterPluginDataModule<TdmSecond>(classes);
        {
            TClientPluginBase plugin(PluginGUID, 7, classes, true);
            QCOMPARE(&plugin.PluginDataModuleClasses(), &classes);
            plugin.CreateDataModules();
            QCOMPARE(plugin.DataModules().size(), 2);
            QCOMPARE(plugin.DataModules().at(0)->PluginOwner(), &plugin);
            QCOMPARE(plugin.DataModules().at(1)->PluginGUID(), PluginGUID);
            plugin.Init();
            plugin.AfterStartup();
            plugin.SetLanguage(QStringLiteral("Italian"));
            QVERIFY(plugin.CanShutDown());
            plugin.BeforeUnInit();
            plugin.UnInit();
            QCOMPARE(plugin.DataModules().at(0)->Language(), QStringLiteral("Italian"));
        }
        const QStringList expected{"TdmFirst.Created",
                                   "TdmSecond.Created",
                                   "TdmFirst.Init",
                                   "TdmSecond.Init",
                                   "TdmFirst.AfterStartup",
                                   "TdmSecond.AfterStartup",
                                   "TdmFirst.SetLanguage Italian",
                                   "TdmSecond.SetLanguage Italian",
                                   "TdmFirst.CanShutDown",
                                   "TdmSecond.CanShutDown",
                                   "TdmFirst.BeforeUnInit",
                                   "TdmSecond.BeforeUnInit",
                                   "TdmFirst.UnInit",
                                   "TdmSecond.UnInit",
                                   "TdmSecond.Destroyed",
                                   "TdmFirst.Destroyed"};
        QCOMPARE(GLog, expected);
    }

    void canShutDownStopsAtFirstRefusal_data() {
        QTest::addColumn<QString>("refusing");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("asked");
        QTest::newRow("all agree") << "" << true
                                   << QStringList{"TdmFirst.CanShutDown", "TdmSecond.CanShutDown"};
        QTest::newRow("first refuses") << "TdmFirst" << false << QStringList{"TdmFirst.CanShutDown"};
        QTest::newRow("last refuses")
            << "TdmSecond" << false << QStringList{"TdmFirst.CanShutDown", "TdmSecond.CanShutDown"};
    }

    void canShutDownStopsAtFirstRefusal() {
        QFETCH(QString, refusing);
        QFETCH(bool, answer);
        QFETCH(QStringList, asked);
        TPluginDataModuleClassList classes;
        TClientPluginBase::RegisterPluginDataModule<TdmFirst>(classes);
        TClientPluginBase::RegisterPluginDataModule<TdmSecond>(classes);
        TClientPluginBase plugin(PluginGUID, 0, classes, true);
        plugin.CreateDataModules();
        GRefusingShutDown = refusing;
        GLog.clear();

        QCOMPARE(plugin.CanShutDown(), answer);
        QCOMPARE(GLog, asked);
    }

    void failingConstructorUndoesCreation() {
        TPluginDataModuleClassList classes;
        TClientPluginBase::RegisterPluginDataModule<TdmFirst>(classes);
        TClientPluginBase::RegisterPluginDataModule<TdmSecond>(classes);
        TClientPluginBase plugin(PluginGUID, 0, classes, true);
        GFailingConstructor = QStringLiteral("TdmSecond");

        QVERIFY_THROWS_EXCEPTION(EQVException, plugin.CreateDataModules());
        QVERIFY(plugin.DataModules().isEmpty());
        QCOMPARE(GLog, (QStringList{"TdmFirst.Created", "TdmFirst.Destroyed"}));
    }

    void extFuncAnswersOnlyOfferedIds_data() {
        QTest::addColumn<QString>("iid");
        QTest::addColumn<bool>("selfIsExtFunc");
        QTest::addColumn<bool>("answered");
        QTest::newRow("offered id") << ITestFunc::IID << true << true;
        QTest::newRow("offered id in lower case")
            << QString::fromLatin1(ITestFunc::IID).toLower() << true << true;
        QTest::newRow("id not offered") << IOtherFunc::IID << true << false;
        QTest::newRow("ext-function queries off") << ITestFunc::IID << false << false;
    }

    void extFuncAnswersOnlyOfferedIds() {
        QFETCH(QString, iid);
        QFETCH(bool, selfIsExtFunc);
        QFETCH(bool, answered);
        TPluginDataModuleClassList classes;
        TClientPluginBase::RegisterPluginDataModule<TdmFirst>(classes);
        TClientPluginBase::RegisterPluginDataModule<TdmOffering>(classes);
        TClientPluginBase plugin(PluginGUID, 0, classes, true);
        plugin.CreateDataModules();
        plugin.DataModules().at(1)->SetSelfIsExtFunc(selfIsExtFunc);

        QCOMPARE(plugin.GetExtFunc(iid) != nullptr, answered);
        QCOMPARE(plugin.DataModules().at(1)->GetExtFunc(iid) != nullptr, answered);
        if (answered) {
            QCOMPARE(plugin.GetExtFunc<ITestFunc>()->Hello(), QStringLiteral("Hallo"));
            QCOMPARE(plugin.GetExtFunc<IOtherFunc>(), nullptr);
        }
    }

    void componentsReachTheirDataModuleAndTheHost() {
        TPluginDataModuleClassList classes;
        TClientPluginBase::RegisterPluginDataModule<TdmFirst>(classes);
        TClientPluginBase plugin(PluginGUID, 0, classes, true);
        plugin.CreateDataModules();
        TPluginBaseDataModule* dataModule = plugin.DataModules().first();
        auto* group = new QObject(dataModule);
        auto* component = new TPluginBaseComponent(group);
        TPluginBaseComponent orphan(nullptr);

        QCOMPARE(component->DataModule(), dataModule);
        QCOMPARE(component->PluginOwner(), &plugin);
        QCOMPARE(orphan.DataModule(), nullptr);
        QCOMPARE(orphan.PluginOwner(), nullptr);
        QCOMPARE(component->UserName(), UserAccess::UserName());

        EmptySettingsStore store;
        TQVMainInterface::SetSaveSettings(&store);
        QCOMPARE(&component->GetSaveSettings(), &store);
        QCOMPARE(&dataModule->GetSaveSettings(), &store);
        TQVMainInterface::SetSaveSettings(nullptr);
        QCOMPARE(&dataModule->GetSaveSettings(), static_cast<ISettingsStore*>(&SettingsStore::Instance()));
        QVERIFY_THROWS_EXCEPTION(EQVException, dataModule->GetScreen());
    }

    void extFuncRefusesWrongTypedAnswer() {
        TdmWrongAnswer dataModule(nullptr);
        QVERIFY(dataModule.GetExtFunc(QString::fromLatin1(ITestFunc::IID)));
        try {
            dataModule.GetExtFunc<ITestFunc>();
            QFAIL("a wrong-typed interface came out");
        } catch (const EQVException& e) {
            QVERIFY2(e.Message().contains(QLatin1String(ITestFunc::IID)), qPrintable(e.Message()));
        }
        QVERIFY(dataModule.GetExtFunc<IOtherFunc>());
    }
};

QTEST_GUILESS_MAIN(tst_ClientPluginBase)
#include "tst_ClientPluginBase.moc"
