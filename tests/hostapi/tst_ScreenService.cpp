#include "ClientPluginBase.h"
#include "ExceptionDisplay.h"
#include "LocalSettingsStorage.h"
#include "PluginForm.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "QVPluginFormManager.h"
#include "ScreenService.h"

#include <QPointer>
#include <QSplitter>
#include <QVBoxLayout>
#include <QtTest>

using namespace hostapi;

namespace screentest {

const QString ModuleGUID = QStringLiteral("{D4C3B2A1-0000-4000-8000-00000000A1B2}");

QStringList GLog;
bool GFailingClose = false;
bool GRefuseClose = false;

// Records what the host does with it.
class TfrmRecording : public TPluginForm {
    Q_OBJECT
public:
    explicit TfrmRecording(QWidget* AParent) : TPluginForm(AParent) {}
    void AfterShow() override {
        GLog.append(QStringLiteral("AfterShow %1 %2")
                        .arg(ShowParams().toString(),
                             AlreadyShown() ? QStringLiteral("again") : QStringLiteral("first")));
    }
    bool FormCloseQuery() override {
        GLog.append(QStringLiteral("FormCloseQuery"));
        return !GRefuseClose;
    }
    void FormClose() override {
        GLog.append(QStringLiteral("FormClose"));
        if (GFailingClose)
            throw EQVUserMessageException(
                QStringLiteral("Die Einstellungen konnten nicht gespeichert werden."));
    }
};

class TfrmKept : public TfrmRecording {
    Q_OBJECT
public:
    explicit TfrmKept(QWidget* AParent) : TfrmRecording(AParent) {
        auto* splitter = new QSplitter(this);
        splitter->setObjectName(QStringLiteral("splMain"));
        splitter->addWidget(new QWidget);
        splitter->addWidget(new QWidget);
        (new QVBoxLayout(this))->addWidget(splitter);
    }
};

// Window states in memory: what was saved, and what a restore gives.
class MemoryWindowStates : public ILocalSettingsStorage {
public:
    void SaveWindowState(const QWidget& AWindow) override { Saved.append(AWindow.geometry()); }
    bool RestoreWindowState(QWidget& AWindow) override {
        ++Restores;
        AWindow.setGeometry(Geometry);
        return true;
    }
    void SaveSplitterSizes(const QWidget&, const QString& ASplitter, const QList<int>& ASizes) override {
        SavedSplitters.insert(ASplitter, ASizes);
    }
    QList<int> RestoreSplitterSizes(const QWidget&, const QString& ASplitter) override {
        return Splitters.value(ASplitter);
    }
    void SaveLanguage(const QString&) override {}
    QString RestoreLanguage() override { return {}; }

    QRect Geometry{100, 120, 400, 300};
    QHash<QString, QList<int>> Splitters;
    int Restores = 0;
    QList<QRect> Saved;
    QHash<QString, QList<int>> SavedSplitters;
};

class TfrmTemporary : public TfrmRecording {
    Q_OBJECT
public:
    using TfrmRecording::TfrmRecording;
};

class TdmWindows : public TPluginBaseDataModule {
    Q_OBJECT
public:
    explicit TdmWindows(TClientPluginBase* AOwner) : TPluginBaseDataModule(AOwner) {
        auto* manager = new TQVPluginFormManager(this);
        manager->Add({QStringLiteral("TfrmTemporary"), QStringLiteral("Konfiguration"),
                      QStringLiteral("Temporär"), pmtMainMenu, -1, pfldTemporary});
    }
};

class RecordingExceptionDisplay : public IExceptionDisplay {
public:
    void ShowException(const ShownException& AException) override { Shown.append(AException.Message); }
    QStringList Shown;
};

} // namespace screentest

using namespace screentest;

// The screen service opens module windows by module GUID, window index and show parameters.
class tst_ScreenService : public QObject {
    Q_OBJECT

private:
    TPluginDataModuleClassList FDataModules;
    TPluginFormClassList FForms;
    std::unique_ptr<TClientPluginBaseGUI> FPlugin;
    std::unique_ptr<ScreenService> FScreen;
    RecordingExceptionDisplay FDisplay;

private slots:
    void initTestCase() {
        TClientPluginBase::RegisterPluginDataModule<TdmWindows>(FDataModules);
        TClientPluginBaseGUI::RegisterPluginFormClass<TfrmKept>(FForms);
        TClientPluginBaseGUI::RegisterPluginFormClass<TfrmTemporary>(FForms);
    }

    void init() {
        GLog.clear();
        GFailingClose = false;
        GRefuseClose = false;
        FPlugin = std::make_unique<TClientPluginBaseGUI>(ModuleGUID, 0, FDataModules, FForms, true);
        FPlugin->CreateDataModules();
        FScreen = std::make_unique<ScreenService>([this](const QString& AGUID) -> TClientPluginBase* {
            return AGUID.compare(ModuleGUID, Qt::CaseInsensitive) == 0 ? FPlugin.get() : nullptr;
        });
        TQVMainInterface::SetScreen(FScreen.get());
        TVRNExceptionUtils::SetCurrent(&FDisplay);
        FDisplay.Shown.clear();
    }

    void cleanup() {
        GFailingClose = false;
        GRefuseClose = false;
        FPlugin.reset();
        TVRNExceptionUtils::SetCurrent(nullptr);
        TQVMainInterface::SetScreen(nullptr);
        FScreen.reset();
    }

    void opensWindowWithParameters_data() {
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("className"); // empty: open by index
        QTest::addColumn<int>("index");
        QTest::addColumn<QVariant>("params");
        QTest::newRow("by index") << ModuleGUID << "" << 1 << QVariant(QStringLiteral("EMAILSERVER"));
        QTest::newRow("by class name")
            << ModuleGUID << "TfrmTemporary" << 1 << QVariant(QStringLiteral("SMSPROVIDER"));
        QTest::newRow("GUID in lower case") << ModuleGUID.toLower() << "" << 0 << QVariant(42);
        QTest::newRow("no parameters") << ModuleGUID << "" << 0 << QVariant();
    }

    void opensWindowWithParameters() {
        QFETCH(QString, guid);
        QFETCH(QString, className);
        QFETCH(int, index);
        QFETCH(QVariant, params);
        TPluginForm* form = className.isEmpty()
                                ? TQVMainInterface::GetScreen().OpenPluginForm(guid, index, params)
                                : FScreen->OpenPluginForm(guid, className, params);
        QVERIFY(form);
        QCOMPARE(TClientPluginBase::ClassNameOf(*form->metaObject()), FForms.at(index).ClassName);
        QVERIFY(form->isVisible());
        QCOMPARE(form->ShowParams(), params);
        QVERIFY(form->AlreadyShown());
        QCOMPARE(GLog, QStringList{QStringLiteral("AfterShow %1 first").arg(params.toString())});
        QCOMPARE(FPlugin->Forms(), QList<TPluginForm*>{form});
    }

    void keptWindowShowsAgain() {
        TPluginForm* form = FScreen->OpenPluginForm(ModuleGUID, 0, QStringLiteral("A"));
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QCOMPARE(FScreen->OpenPluginForm(ModuleGUID, 0, QStringLiteral("B")), form);
        QCOMPARE(form->ShowParams(), QVariant(QStringLiteral("B")));
        QCOMPARE(GLog,
                 (QStringList{"AfterShow A first", "FormCloseQuery", "FormClose", "AfterShow B again"}));
    }

    void closeQueryThatRefusesKeepsTheWindowOpen_data() {
        QTest::addColumn<int>("index");
        QTest::newRow("kept") << 0;
        QTest::newRow("temporary") << 1;
    }
    void closeQueryThatRefusesKeepsTheWindowOpen() {
        QFETCH(int, index);
        QPointer<TPluginForm> form = FScreen->OpenPluginForm(ModuleGUID, index, QStringLiteral("A"));
        GLog.clear();
        GRefuseClose = true;
        QVERIFY(!form->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form.isNull());
        QVERIFY(form->isVisible());
        QCOMPARE(GLog, QStringList{"FormCloseQuery"});
        QVERIFY(FDisplay.Shown.isEmpty());
    }

    // At unload the hook runs again only for a window shown since its last close.
    void unloadRunsTheHookOnlyForWindowsStillShown_data() {
        QTest::addColumn<bool>("closedByUser");
        QTest::addColumn<bool>("shownAgain");
        QTest::addColumn<int>("hooksAtUnload");
        QTest::newRow("still shown") << false << false << 1;
        QTest::newRow("closed by the user") << true << false << 0;
        QTest::newRow("closed and shown again") << true << true << 1;
    }
    void unloadRunsTheHookOnlyForWindowsStillShown() {
        QFETCH(bool, closedByUser);
        QFETCH(bool, shownAgain);
        QFETCH(int, hooksAtUnload);
        TPluginForm* form = FScreen->OpenPluginForm(ModuleGUID, 0, QStringLiteral("A"));
        if (closedByUser)
            QVERIFY(form->close());
        if (shownAgain)
            FScreen->OpenPluginForm(ModuleGUID, 0, QStringLiteral("B"));
        GLog.clear();
        FPlugin->CloseForms();
        QCOMPARE(int(GLog.count(QStringLiteral("FormClose"))), hooksAtUnload);
    }

    void windowStateIsRestoredAtFirstShowAndSavedAtClose() {
        auto states = std::make_shared<MemoryWindowStates>();
        states->Splitters.insert(QStringLiteral("splMain"), {150, 250});
        FScreen->SetWindowStateStorage(states);
        TPluginForm* form = FScreen->OpenPluginForm(ModuleGUID, 0, QStringLiteral("A"));
        QCOMPARE(states->Restores, 1);
        QCOMPARE(form->geometry(), states->Geometry);
        auto* splitter = form->findChild<QSplitter*>(QStringLiteral("splMain"));
        // The panes keep the stored proportion (the splitter fits them into its width).
        const QList<int> restored = splitter->sizes();
        QCOMPARE(restored.size(), 2);
        QVERIFY2(qAbs(restored.at(0) * 250 - restored.at(1) * 150) <= 2 * 250,
                 qPrintable(QString::number(restored.at(0))));

        splitter->setSizes({300, 100});
        form->setGeometry(QRect(50, 60, 420, 310));
        QVERIFY(form->close());
        QCOMPARE(states->Saved, QList<QRect>{QRect(50, 60, 420, 310)});
        QCOMPARE(states->SavedSplitters.value(QStringLiteral("splMain")), splitter->sizes());

        FScreen->OpenPluginForm(ModuleGUID, 0, QStringLiteral("B"));
        QCOMPARE(states->Restores, 1); // a kept window keeps its place itself
        FScreen->SetWindowStateStorage(nullptr);
    }

    void temporaryWindowEndsOnClose() {
        QPointer<TPluginForm> form = FScreen->OpenPluginForm(ModuleGUID, 1, QStringLiteral("A"));
        QVERIFY(form->close());
        QCOMPARE(GLog, (QStringList{"AfterShow A first", "FormCloseQuery", "FormClose"}));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form.isNull());

        TPluginForm* reopened = FScreen->OpenPluginForm(ModuleGUID, 1, QStringLiteral("B"));
        QVERIFY(reopened);
        QCOMPARE(GLog.last(), QStringLiteral("AfterShow B first"));
    }

    // Every user close runs the close query and hook, also for a kept window that is only hidden (its
    // edits are saved); a hook that raises keeps the window open and shows why.
    void failingClosingHookKeepsWindowOpen_data() {
        QTest::addColumn<int>("index");
        QTest::newRow("kept") << 0;
        QTest::newRow("temporary") << 1;
    }
    void failingClosingHookKeepsWindowOpen() {
        QFETCH(int, index);
        QPointer<TPluginForm> form = FScreen->OpenPluginForm(ModuleGUID, index, QStringLiteral("A"));
        GLog.clear();
        GFailingClose = true;
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(FDisplay.Shown, QStringList{"Die Einstellungen konnten nicht gespeichert werden."});

        GFailingClose = false;
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
        QCOMPARE(GLog, (QStringList{"FormCloseQuery", "FormClose", "FormCloseQuery", "FormClose"}));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(form.isNull(), index == 1);
    }

    void closeFormsRunsEveryClosingHookOnce() {
        QPointer<TPluginForm> kept = FScreen->OpenPluginForm(ModuleGUID, 0, QStringLiteral("A"));
        QPointer<TPluginForm> temporary = FScreen->OpenPluginForm(ModuleGUID, 1, QStringLiteral("B"));
        GFailingClose = true;
        GLog.clear();

        FPlugin->CloseForms();

        QVERIFY(kept.isNull());
        QVERIFY(temporary.isNull());
        QCOMPARE(GLog, (QStringList{"FormClose", "FormClose"}));
        QCOMPARE(FDisplay.Shown.size(), 2);
        QVERIFY(FPlugin->Forms().isEmpty());
    }

    void openErrors_data() {
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("className");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("module not loaded") << "{00000000-0000-0000-0000-000000000000}"
                                           << "" << 0 << "is not loaded";
        QTest::newRow("index past the end") << ModuleGUID << "" << 2 << "has no window 2";
        QTest::newRow("negative index") << ModuleGUID << "" << -1 << "has no window -1";
        QTest::newRow("unknown class")
            << ModuleGUID << "TfrmUnknown" << 0 << "has no window class TfrmUnknown";
    }

    void openErrors() {
        QFETCH(QString, guid);
        QFETCH(QString, className);
        QFETCH(int, index);
        QFETCH(QString, messagePart);
        try {
            if (className.isEmpty())
                FScreen->OpenPluginForm(guid, index, QVariant());
            else
                FScreen->OpenPluginForm(guid, className, QVariant());
            QFAIL("a window was opened");
        } catch (const EQVException& e) {
            QVERIFY2(e.Message().contains(messagePart), qPrintable(e.Message()));
        }
        QVERIFY(FPlugin->Forms().isEmpty());
    }

    void noScreenServiceInstalled() {
        TQVMainInterface::SetScreen(nullptr);
        TPluginForm form(nullptr);
        QVERIFY_THROWS_EXCEPTION(EQVException, form.GetScreen());
    }
};

QTEST_MAIN(tst_ScreenService)
#include "tst_ScreenService.moc"
