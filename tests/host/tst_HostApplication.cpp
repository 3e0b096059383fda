#include "HostUnderTest.h"

#include "FirstStartDialog.h"
#include "HostExceptionDisplay.h"
#include "MenuMnemonics.h"
#include "MessageLogModel.h"

#include "ClientPluginBase.h"
#include "LocalSettingsStorage.h"
#include "MessageSink.h"
#include "PluginForm.h"
#include "ProgressService.h"
#include "QVMainInterface.h"
#include "SchedulePlugin.h"
#include "SettingsStore.h"

#include <QAction>
#include <QDockWidget>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScopeGuard>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <thread>

using hosttest::HostUnderTest;

namespace {

QString Plain(const QString& AMenuText) {
    QString text = AMenuText;
    return text.remove(QLatin1Char('&'));
}

QStringList MenuBarTitles(const QMainWindow& AWindow) {
    QStringList titles;
    for (const QAction* action : AWindow.menuBar()->actions())
        titles.append(Plain(action->text()));
    return titles;
}

// Every entry of a menu (and of its submenus) carries a mnemonic that no other entry of that menu has.
void VerifyMnemonics(const QList<QAction*>& AActions, const QString& AMenu) {
    QSet<QChar> seen;
    for (const QAction* action : AActions) {
        if (action->isSeparator())
            continue;
        const QChar mnemonic = qvhost::MenuMnemonics::Of(action->text());
        QVERIFY2(!mnemonic.isNull(), qPrintable(AMenu + ": " + action->text()));
        QVERIFY2(!seen.contains(mnemonic), qPrintable(AMenu + ": " + action->text()));
        seen.insert(mnemonic);
        if (const QMenu* menu = action->menu()) {
            VerifyMnemonics(menu->actions(), Plain(menu->title()));
            if (QTest::currentTestFailed())
                return;
        }
    }
}

QAction* ModuleAction(const qvhost::HostMainWindow& AWindow, const QString& ASection, const QString& ATitle) {
    for (QMenu* menu : AWindow.ModuleMenus()) {
        if (Plain(menu->title()) != ASection)
            continue;
        for (QAction* action : menu->actions())
            if (Plain(action->text()) == ATitle)
                return action;
    }
    return nullptr;
}

hostapi::TPluginForm* OpenForm(const QString& AClassName) {
    auto* plugin = dynamic_cast<hostapi::TClientPluginBaseGUI*>(
        hostapi::TQVMainInterface::FindPlugin(hosttest::TestModuleGUID()));
    return plugin ? plugin->FindForm(AClassName) : nullptr;
}

// Number of colours in AArea of AImage (up to 2).
int Colours(const QImage& AImage, const QRect& AArea) {
    QSet<QRgb> colours;
    for (int y = AArea.top(); y <= AArea.bottom() && colours.size() < 2; ++y)
        for (int x = AArea.left(); x <= AArea.right() && colours.size() < 2; ++x)
            colours.insert(AImage.pixel(x, y));
    return int(colours.size());
}

} // namespace

// The host application with the test module loaded from its folder, as qvhost runs it offscreen:
// menus, windows, shut-down, first start, language, progress, log, geometry, and its picture.
class tst_HostApplication : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void menuBarHoldsTheModulesSections();
    void menuEntryOpensItsWindow();
    void screenServiceOpensWindowWithParameters();
    void refusedShutDownKeepsTheHostRunning();
    void acceptedShutDownClosesAndUnloads();
    void moduleThatCannotUnloadKeepsTheWindowOpen();
    void failingCanShutDownKeepsTheHostRunning();
    void firstStartListsTheStepsAndFollowsTheChosenOne_data();
    void firstStartListsTheStepsAndFollowsTheChosenOne();
    void firstStartNotShownWhenDone();
    void firstStartWaitsForAModuleWithSteps();
    void firstStartOffersTheEmailMarketingSteps();
    void languageSwitchTurnsTextsAndBack_data();
    void languageSwitchTurnsTextsAndBack();
    void progressShownInTheStatusBar();
    void logShowsMessagesAndSchedulerReports();
    void startErrorsReachTheLog();
    void emailMarketingInEveryLanguage_data();
    void emailMarketingInEveryLanguage();
    void languageChoiceKeptForTheNextStart();
    void geometryKeptBetweenRuns();
    void screenshotShowsTheMenuBar();

private:
    std::unique_ptr<HostUnderTest> FHost;
    qvhost::HostMainWindow& Window() { return *FHost->Window; }
};

void tst_HostApplication::init() {
    FHost = std::make_unique<HostUnderTest>();
    QCOMPARE(FHost->Load(), 1);
    FHost->Start();
    FHost->Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(FHost->Window.get()));
    FHost->Log.clear();
}

void tst_HostApplication::cleanup() {
    FHost.reset();
}

void tst_HostApplication::menuBarHoldsTheModulesSections() {
    QCOMPARE(MenuBarTitles(Window()), (QStringList{"Datei", "Konfiguration", "Testmodul", "Sprache"}));
    QCOMPARE(Window().ModuleMenus().size(), 2);
    // The settings window is declared by both data modules and appears once.
    QCOMPARE(Window().ModuleMenus().at(0)->actions().size(), 1);
    QVERIFY(ModuleAction(Window(), QStringLiteral("Konfiguration"), QStringLiteral("Testmodul")));
    QCOMPARE(Window().ModuleMenus().at(1)->actions().size(), 1);
    QVERIFY(ModuleAction(Window(), QStringLiteral("Testmodul"), QStringLiteral("Übersicht")));
    QCOMPARE(Plain(Window().actSettings()->text()), QStringLiteral("Einstellungen..."));
    QCOMPARE(Plain(Window().actExit()->text()), QStringLiteral("Beenden"));
    QStringList languages;
    for (const QAction* action : Window().mnuLanguage()->actions())
        languages.append(Plain(action->text()));
    QCOMPARE(languages, (QStringList{"Deutsch", "English", "Français", "Italiano"}));
    QVERIFY(Window().LanguageAction(QStringLiteral("German"))->isChecked());
}

void tst_HostApplication::menuEntryOpensItsWindow() {
    QAction* overview = ModuleAction(Window(), QStringLiteral("Testmodul"), QStringLiteral("Übersicht"));
    QVERIFY(overview);
    overview->trigger();
    hostapi::TPluginForm* form = OpenForm(QStringLiteral("TfrmTestModuleMain"));
    QVERIFY(form);
    QVERIFY(form->isVisible());
    QCOMPARE(form->windowTitle(), QStringLiteral("Übersicht"));

    // The temporary settings window is made anew for each opening.
    ModuleAction(Window(), QStringLiteral("Konfiguration"), QStringLiteral("Testmodul"))->trigger();
    QVERIFY(OpenForm(QStringLiteral("TfrmTestModuleSettings")));
    QCOMPARE(FHost->LogOf(QStringLiteral("TfrmTestModuleSettings")),
             QStringList{"TfrmTestModuleSettings.AfterShow  first"});
    QVERIFY(FHost->Display.Records().isEmpty());
}

void tst_HostApplication::screenServiceOpensWindowWithParameters() {
    hostapi::TPluginForm* form = hostapi::TQVMainInterface::GetScreen().OpenPluginForm(
        hosttest::TestModuleGUID(), 1, QStringLiteral("EMAILSERVER"));
    QVERIFY(form);
    QVERIFY(form->isVisible());
    QCOMPARE(form->ShowParams().toString(), QStringLiteral("EMAILSERVER"));
    QCOMPARE(form->findChild<QLabel*>(QStringLiteral("lblPage"))->text(), QStringLiteral("EMAILSERVER"));
    QCOMPARE(FHost->Log, QStringList{"TfrmTestModuleSettings.AfterShow EMAILSERVER first"});
}

void tst_HostApplication::refusedShutDownKeepsTheHostRunning() {
    FHost->Control().SetCanShutDownAnswer(false);
    QVERIFY(!Window().close());
    QVERIFY(Window().isVisible());
    QCOMPARE(FHost->Log, QStringList{"TdmTestModuleMain.CanShutDown"});
    QVERIFY(FHost->Session->Loader().PluginByGUID(hosttest::TestModuleGUID()));

    // "Beenden" asks again; now the module agrees.
    FHost->Control().SetCanShutDownAnswer(true);
    Window().actExit()->trigger();
    QVERIFY(!Window().isVisible());
    QVERIFY(FHost->Session->Loader().Plugins().isEmpty());
}

void tst_HostApplication::acceptedShutDownClosesAndUnloads() {
    ModuleAction(Window(), QStringLiteral("Testmodul"), QStringLiteral("Übersicht"))->trigger();
    QVERIFY(Window().close());
    QVERIFY(!Window().isVisible());
    QCOMPARE(FHost->Log, (QStringList{"TdmTestModuleMain.CanShutDown", "TdmTestModuleMenus.CanShutDown",
                                      "TdmTestModuleMain.BeforeUnInit", "TdmTestModuleMenus.BeforeUnInit",
                                      "TdmTestModuleMain.UnInit", "TdmTestModuleMenus.UnInit",
                                      "TdmTestModuleMenus.Destroyed", "TdmTestModuleMain.Destroyed",
                                      "TestModule.Unloaded"}));
    QVERIFY(FHost->Session->Loader().Plugins().isEmpty());
    QVERIFY(FHost->Display.Records().isEmpty());
}

void tst_HostApplication::moduleThatCannotUnloadKeepsTheWindowOpen() {
    FHost->Control().SetRunningThreads(1);
    QVERIFY(!Window().close());
    QVERIFY(Window().isVisible());
    QCOMPARE(FHost->Display.Records().size(), 1);
    QVERIFY2(
        FHost->Display.Records().first().Exception.Message.contains(QStringLiteral("still runs 1 thread")),
        qPrintable(FHost->Display.Records().first().Exception.Message));
    QVERIFY(FHost->Session->Loader().PluginByGUID(hosttest::TestModuleGUID()));

    // Once its thread has ended the next close goes on unloading without asking again.
    FHost->Control().SetRunningThreads(0);
    FHost->Log.clear();
    QVERIFY(Window().close());
    QVERIFY(!FHost->Log.contains(QStringLiteral("TdmTestModuleMain.CanShutDown")));
    QVERIFY(FHost->Log.contains(QStringLiteral("TestModule.Unloaded")));
    QVERIFY(FHost->Session->Loader().Plugins().isEmpty());
}

void tst_HostApplication::failingCanShutDownKeepsTheHostRunning() {
    FHost->Control().SetFailure(QStringLiteral("CanShutDown"), QStringLiteral("Aufträge laufen noch"));
    QVERIFY(!Window().close());
    QVERIFY(Window().isVisible());
    QCOMPARE(FHost->Display.Records().size(), 1);
    QCOMPARE(FHost->Display.Records().first().Exception.Message, QStringLiteral("Aufträge laufen noch"));
    QVERIFY(FHost->Display.Records().first().Exception.UserMessage);
    QVERIFY(!FHost->Log.contains(QStringLiteral("TdmTestModuleMain.BeforeUnInit")));
    QVERIFY(FHost->Session->Loader().PluginByGUID(hosttest::TestModuleGUID()));
}

void tst_HostApplication::firstStartListsTheStepsAndFollowsTheChosenOne_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<QStringList>("expectedLog");
    QTest::newRow("step opened") << true
                                 << QStringList{"TdmTestModuleMain.QVFirstStartLink 0",
                                                "TfrmTestModuleSettings.AfterShow SETUP first"};
    QTest::newRow("closed") << false << QStringList{};
}

void tst_HostApplication::firstStartListsTheStepsAndFollowsTheChosenOne() {
    QFETCH(bool, open);
    QFETCH(QStringList, expectedLog);
    hostapi::ISettingsStore& settings = hostapi::TQVMainInterface::GetSaveSettings();
    QVERIFY(!qvhost::FirstStartSteps::Done(settings));

    QPointer<qvhost::FirstStartDialog> dialog = Window().StartFirstStart();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    const QList<qvhost::FirstStartStep>& steps = dialog->Steps().Steps();
    QCOMPARE(steps.size(), 1);
    QCOMPARE(steps.first().ComponentTitle, QStringLiteral("Testmodul"));
    QCOMPARE(steps.first().Title, QStringLiteral("Testmodul einrichten"));
    const auto* tree = dialog->findChild<QTreeWidget*>(QStringLiteral("tvSteps"));
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Testmodul"));
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Testmodul einrichten"));
    QCOMPARE(dialog->ChosenStep(), -1);
    auto* btnOpen = dialog->findChild<QPushButton*>(QStringLiteral("btnOpen"));
    QVERIFY(!btnOpen->isEnabled());

    if (open) {
        dialog->SetChosenStep(0);
        QCOMPARE(dialog->ChosenStep(), 0);
        QVERIFY(btnOpen->isEnabled());
        btnOpen->click();
    } else {
        dialog->findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
    }
    QCOMPARE(FHost->Log, expectedLog);
    QVERIFY(qvhost::FirstStartSteps::Done(settings));
    QCOMPARE(settings.ReadString(QStringLiteral("HOST"), QStringLiteral("FIRSTSTARTDONE")),
             QStringLiteral("1"));
    QCOMPARE(bool(OpenForm(QStringLiteral("TfrmTestModuleSettings"))), open);
    QVERIFY(FHost->Display.Records().isEmpty());
    QTRY_VERIFY(!dialog); // deleted once closed
}

void tst_HostApplication::firstStartNotShownWhenDone() {
    qvhost::FirstStartSteps::SetDone(hostapi::TQVMainInterface::GetSaveSettings());
    QCOMPARE(Window().StartFirstStart(), nullptr);
    QVERIFY(FHost->Log.isEmpty());
}

void tst_HostApplication::firstStartWaitsForAModuleWithSteps() {
    // The register service module offers no step: no dialog, and the first start is still to come.
    QTemporaryDir folder;
    QVERIFY(QFile::copy(QStringLiteral(QV_REGISTER_SERVICE_MODULE),
                        folder.filePath(QFileInfo(QStringLiteral(QV_REGISTER_SERVICE_MODULE)).fileName())));
    FHost.reset();
    FHost = std::make_unique<HostUnderTest>();
    QCOMPARE(FHost->Load(folder.path()), 1);
    FHost->Start();
    QCOMPARE(FHost->Window->StartFirstStart(), nullptr);
    QVERIFY(!qvhost::FirstStartSteps::Done(hostapi::TQVMainInterface::GetSaveSettings()));
    FHost.reset();
}

void tst_HostApplication::firstStartOffersTheEmailMarketingSteps() {
    FHost.reset();
    FHost = std::make_unique<HostUnderTest>();
    QCOMPARE(FHost->Load(QStringLiteral(QV_MODULE_DIR)), 2);
    FHost->Start();
    QPointer<qvhost::FirstStartDialog> dialog = FHost->Window->StartFirstStart();
    QVERIFY(dialog);
    const QList<qvhost::FirstStartStep>& steps = dialog->Steps().Steps();
    QCOMPARE(steps.size(), 2);
    QCOMPARE(steps[0].ComponentTitle, QStringLiteral("Email Marketing"));
    QCOMPARE(steps[0].Title, QStringLiteral("Emailserver Konfigurieren"));
    QCOMPARE(steps[1].Title, QStringLiteral("SMS-Provider Konfigurieren"));
    dialog->findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
}

void tst_HostApplication::languageSwitchTurnsTextsAndBack_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("menuBar");
    QTest::addColumn<QString>("exit");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("logColumn"); // the scheduler log's action column
    QTest::newRow("English") << QStringLiteral("English")
                             << QStringList{"File", "Konfiguration", "Testmodul", "Language"}
                             << QStringLiteral("Exit") << QStringLiteral("Log") << QStringLiteral("Action");
    QTest::newRow("French") << QStringLiteral("French")
                            << QStringList{"Fichier", "Konfiguration", "Testmodul", "Langue"}
                            << QStringLiteral("Quitter") << QStringLiteral("Journal")
                            << QStringLiteral("Action");
    QTest::newRow("Italian") << QStringLiteral("Italian")
                             << QStringList{"File", "Konfiguration", "Testmodul", "Lingua"}
                             << QStringLiteral("Esci") << QStringLiteral("Registro")
                             << QStringLiteral("Azione");
}

void tst_HostApplication::languageSwitchTurnsTextsAndBack() {
    QFETCH(QString, language);
    QFETCH(QStringList, menuBar);
    QFETCH(QString, exit);
    QFETCH(QString, log);
    QFETCH(QString, logColumn);
    ModuleAction(Window(), QStringLiteral("Testmodul"), QStringLiteral("Übersicht"))->trigger();
    hostapi::TPluginForm* form = OpenForm(QStringLiteral("TfrmTestModuleMain"));
    QVERIFY(form);
    const auto* tvSchedule = Window().findChild<QTableView*>(QStringLiteral("tvSchedule"));
    QVERIFY(tvSchedule);
    FHost->Log.clear();

    Window().LanguageAction(language)->trigger();
    QCOMPARE(hostapi::TVRNLang::CurrentLanguage(), language);
    QCOMPARE(MenuBarTitles(Window()), menuBar);
    QCOMPARE(Plain(Window().actExit()->text()), exit);
    QCOMPARE(Window().dckLog()->windowTitle(), log);
    QCOMPARE(tvSchedule->model()->headerData(1, Qt::Horizontal).toString(), logColumn);
    QVERIFY(Window().LanguageAction(language)->isChecked());
    QCOMPARE(form->Language(), language);
    QCOMPARE(FHost->Log, (QStringList{"TdmTestModuleMain.SetLanguage " + language,
                                      "TdmTestModuleMenus.SetLanguage " + language}));

    Window().LanguageAction(QStringLiteral("German"))->trigger();
    QCOMPARE(MenuBarTitles(Window()), (QStringList{"Datei", "Konfiguration", "Testmodul", "Sprache"}));
    QCOMPARE(Plain(Window().actExit()->text()), QStringLiteral("Beenden"));
    QCOMPARE(Plain(Window().actSettings()->text()), QStringLiteral("Einstellungen..."));
    QCOMPARE(Window().dckLog()->windowTitle(), QStringLiteral("Protokoll"));
    QCOMPARE(tvSchedule->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Aktion"));
    QCOMPARE(form->Language(), QStringLiteral("German"));
    QVERIFY(Window().LanguageAction(QStringLiteral("German"))->isChecked());
    // The rebuilt module menus still open their windows.
    QVERIFY(ModuleAction(Window(), QStringLiteral("Testmodul"), QStringLiteral("Übersicht")));
    QVERIFY(FHost->Display.Records().isEmpty());
}

void tst_HostApplication::progressShownInTheStatusBar() {
    auto* label = Window().findChild<QLabel*>(QStringLiteral("lblProgress"));
    auto* bar = Window().findChild<QProgressBar*>(QStringLiteral("pbProgress"));
    QVERIFY(label && bar);
    QVERIFY(!bar->isVisible());

    hostapi::IProgressService& progress = hostapi::TQVMainInterface::GetProgress();
    const int handle = progress.OpenProgress(QStringLiteral("Vorlagen exportieren"));
    QVERIFY(bar->isVisible());
    QCOMPARE(label->text(), QStringLiteral("Vorlagen exportieren"));
    progress.UpdateProgress(handle, 3, 10, QStringLiteral("Vorlage 3"));
    QCOMPARE(label->text(), QStringLiteral("Vorlagen exportieren: Vorlage 3"));
    QCOMPARE(bar->maximum(), 10);
    QCOMPARE(bar->value(), 3);
    progress.UpdateProgress(handle, 0, 0, QStringLiteral("Verbinden"));
    QCOMPARE(bar->maximum(), 0); // busy

    // A nested entry is shown while it is open; then the outer one again.
    const int nested = progress.OpenProgress(QStringLiteral("Register-Service"));
    QCOMPARE(label->text(), QStringLiteral("Register-Service"));
    progress.CloseProgress(nested);
    QCOMPARE(label->text(), QStringLiteral("Vorlagen exportieren: Verbinden"));
    progress.CloseProgress(handle);
    QVERIFY(!bar->isVisible());
    QVERIFY(!label->isVisible());
}

void tst_HostApplication::logShowsMessagesAndSchedulerReports() {
    QVERIFY(Window().dckLog()->isVisible());
    const auto* tvMessages = Window().findChild<QTableView*>(QStringLiteral("tvMessages"));
    const auto* tvSchedule = Window().findChild<QTableView*>(QStringLiteral("tvSchedule"));
    QVERIFY(tvMessages && tvSchedule);
    QAbstractItemModel* messages = tvMessages->model();
    const int before = messages->rowCount();

    // Reported from a worker thread, as a module's fetch thread does.
    std::thread worker([] {
        hostapi::TQVMainInterface::GetMessageSink().AddMessage(
            QStringLiteral("Register-Service Error: keine Verbindung"), hostapi::MessageKind::Warning);
    });
    worker.join();
    QTRY_COMPARE(messages->rowCount(), before + 1);
    using Log = qvhost::MessageLogModel;
    QCOMPARE(messages->index(before, Log::colKind).data().toString(), QStringLiteral("Warnung"));
    QCOMPARE(messages->index(before, Log::colText).data().toString(),
             QStringLiteral("Register-Service Error: keine Verbindung"));
    QCOMPARE(messages->headerData(Log::colText, Qt::Horizontal).toString(), QStringLiteral("Meldung"));

    FHost->Session->GetScheduler().Log().Report(QStringLiteral("Register-Service aktualisieren"),
                                                hostapi::MessageKind::Error, QStringLiteral("URL fehlt"));
    QAbstractItemModel* schedule = tvSchedule->model();
    QCOMPARE(schedule->rowCount(), 1);
    QCOMPARE(schedule->index(0, 1).data().toString(), QStringLiteral("Register-Service aktualisieren"));
    QCOMPARE(schedule->index(0, 2).data().toString(), QStringLiteral("Fehler"));
    QCOMPARE(schedule->index(0, 3).data().toString(), QStringLiteral("URL fehlt"));
}

void tst_HostApplication::startErrorsReachTheLog() {
    // A module folder with a library that is no module, shown through the host's display as qvhost
    // installs it, before the main window exists.
    QTemporaryDir folder;
    for (const char* file : {QV_TEST_MODULE, QV_NO_ENTRY_MODULE})
        QVERIFY(QFile::copy(QString::fromUtf8(file),
                            folder.filePath(QFileInfo(QString::fromUtf8(file)).fileName())));
    FHost.reset();
    FHost = std::make_unique<HostUnderTest>();
    QStringList errorOutput;
    qvhost::HostExceptionDisplay display(&FHost->Display, hostapi::MessageSink::Instance(),
                                         [&errorOutput](const QString& AText) { errorOutput.append(AText); });
    hostapi::TVRNExceptionUtils::SetCurrent(&display);
    const auto restore = qScopeGuard([this] { hostapi::TVRNExceptionUtils::SetCurrent(&FHost->Display); });
    QCOMPARE(FHost->Load(folder.path()), 1);
    FHost->Start();
    QCOMPARE(FHost->Display.Records().size(), 1); // the box
    QVERIFY(errorOutput.isEmpty());

    const auto* tvMessages = FHost->Window->findChild<QTableView*>(QStringLiteral("tvMessages"));
    QAbstractItemModel* messages = tvMessages->model();
    QVERIFY(messages->rowCount() > 0);
    const int last = messages->rowCount() - 1;
    using Log = qvhost::MessageLogModel;
    QCOMPARE(messages->index(last, Log::colKind).data().toString(), QStringLiteral("Fehler"));
    QCOMPARE(messages->index(last, Log::colCaption).data().toString(),
             QStringLiteral("Das Modul QVNoEntryModule.so konnte nicht geladen werden."));
    const QString text = messages->index(last, Log::colText).data().toString();
    QVERIFY2(!text.startsWith(QStringLiteral("Das Modul")) &&
                 text.contains(QStringLiteral("has no entry point InitProc")),
             qPrintable(text));
}

void tst_HostApplication::emailMarketingInEveryLanguage_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("menuBar");
    QTest::addColumn<QString>("lists");
    QTest::addColumn<QString>("delivery");
    QTest::addColumn<QString>("caption"); // the mailing window's caption
    QTest::newRow("German") << "German"
                            << QStringList{"Datei", "Konfiguration", "Email Marketing", "Protokolle",
                                           "Sprache"}
                            << "Verteilerlisten"
                            << "Versand"
                            << "Email Marketing Mailversand";
    QTest::newRow("English") << "English"
                             << QStringList{"File", "Configuration", "Email Marketing", "Logs", "Language"}
                             << "Deliverylists"
                             << "Delivery"
                             << "Email Marketing Mailing";
    QTest::newRow("French") << "French"
                            << QStringList{"Fichier", "Configuration", "Email Marketing", "Journaux",
                                           "Langue"}
                            << "Listes de diffusion"
                            << "Envoi"
                            << "Email Marketing Envoi";
    QTest::newRow("Italian") << "Italian"
                             << QStringList{"File", "Configurazione", "Email Marketing", "Registri", "Lingua"}
                             << "Liste di distribuzione"
                             << "Invio"
                             << "Email Marketing Invio";
}

void tst_HostApplication::emailMarketingInEveryLanguage() {
    QFETCH(QString, language);
    QFETCH(QStringList, menuBar);
    QFETCH(QString, lists);
    QFETCH(QString, delivery);
    QFETCH(QString, caption);
    FHost.reset();
    FHost = std::make_unique<HostUnderTest>();
    QCOMPARE(FHost->Load(QStringLiteral(QV_MODULE_DIR)), 2);
    FHost->Start();
    FHost->Window->LanguageAction(language)->trigger();
    QCOMPARE(MenuBarTitles(*FHost->Window), menuBar);
    VerifyMnemonics(FHost->Window->menuBar()->actions(), QStringLiteral("menu bar"));
    QVERIFY(ModuleAction(*FHost->Window, QStringLiteral("Email Marketing"), lists));
    QAction* deliveryAction = ModuleAction(*FHost->Window, QStringLiteral("Email Marketing"), delivery);
    QVERIFY(deliveryAction);
    deliveryAction->trigger();
    QVERIFY(FHost->Display.Records().isEmpty());
    QWidget* mailing = nullptr;
    for (QWidget* widget : QApplication::allWidgets())
        if (widget->objectName() == QLatin1String("frmEmailMarketing"))
            mailing = widget;
    QVERIFY(mailing);
    QVERIFY(mailing->isVisible());
    QCOMPARE(mailing->windowTitle(), caption);
}

void tst_HostApplication::languageChoiceKeptForTheNextStart() {
    Window().LanguageAction(QStringLiteral("Italian"))->trigger();
    QVERIFY(FHost->Display.Records().isEmpty());
    QCOMPARE(hostapi::TQVMainInterface::GetLocalSettingsStorage()->RestoreLanguage(),
             QStringLiteral("Italian"));

    // The next start: the process begins in German and takes the kept language before the modules.
    hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
    qvhost::HostSession::RestoreLanguage();
    QCOMPARE(hostapi::TVRNLang::CurrentLanguage(), QStringLiteral("Italian"));
    qvhost::HostMainWindow next(FHost->Session.get());
    QVERIFY(next.LanguageAction(QStringLiteral("Italian"))->isChecked());
    QCOMPARE(Plain(next.actExit()->text()), QStringLiteral("Esci"));
}

void tst_HostApplication::geometryKeptBetweenRuns() {
    const QRect geometry(40, 30, 640, 420);
    Window().setGeometry(geometry);
    QCOMPARE(Window().geometry(), geometry);
    QVERIFY(Window().close());

    qvhost::HostMainWindow next;
    QCOMPARE(next.geometry(), geometry);
    QVERIFY(!hostapi::TQVMainInterface::GetSaveSettings()
                 .ReadString(QStringLiteral("WINDOWSTATE"), QStringLiteral("qvhost::HostMainWindow"))
                 .isEmpty());
}

void tst_HostApplication::screenshotShowsTheMenuBar() {
    QVERIFY(Window().menuBar()->isVisible());
    QCOMPARE(MenuBarTitles(Window()), (QStringList{"Datei", "Konfiguration", "Testmodul", "Sprache"}));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("qvhost.png"));
    QVERIFY(Window().grab().save(file, "PNG"));
    QVERIFY(QFileInfo(file).size() > 0);
    const QImage image(file);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), Window().size() * Window().devicePixelRatio());

    // Every menu of the bar has its place in the picture, and its title is drawn there.
    const QMenuBar* bar = Window().menuBar();
    QVERIFY(bar->height() > 0);
    for (QAction* action : bar->actions()) {
        const QRect area = bar->actionGeometry(action).translated(bar->mapTo(&Window(), QPoint()));
        QVERIFY2(area.isValid() && image.rect().contains(area), qPrintable(action->text()));
        QVERIFY2(Colours(image, area) >= 2, qPrintable(action->text() + " is not drawn"));
    }
}

QTEST_MAIN(tst_HostApplication)
#include "tst_HostApplication.moc"
