// The distribution-lists window offscreen on a fresh database: new lists, storing and switching,
// the enabling rules, lists in use by a job, renaming and deleting, the register-service link, the
// tool bars, and the test send against the SMTP peer, dnsmasq and the recording mail program.
#include "ClientPluginBase.h"
#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "MAPIMailSender.h"
#include "QVMainInterface.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "support/MailPeers.h"
#include "transports/SendmailFixture.h"
#include "Database.h"
#include "PluginModuleRegistration.h"
#include "EmailListItem.h"
#include "QVMainInterface.h"
#include "ScreenService.h"
#include "VRNLang.h"
#include "DocumentPreparer.h"
#include "QVRecordSet.h"
#include "dmPluginEmailMarketingMain.h"
#include "frmDBListViewSearch.h"
#include "frmEmailMarketingLists.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QFrame>
#include <QTreeWidget>
#include <QtTest>

using namespace emailmarketing;
using testsupport::Backend;
using testsupport::Count;
using testsupport::Find;

namespace {

const QString TestConf = QStringLiteral("Die Verbindung zum Server konnte nicht hergestellt werden!");

struct Fixture {
    testsupport::TestDatabase Db;
    TdmPluginEmailMarketingMain Dm{nullptr};
    testsupport::ScriptedDialogService Dialogs;
    explicit Fixture(Backend ABackend = Backend::SQLite) : Db(ABackend) {}

    // A stored user list with its own settings (no global groups).
    std::shared_ptr<TEmailListItem> AddList(const QString& AName) {
        std::shared_ptr<TEmailListItem> list = Dm.Add();
        list->SetName(AName);
        list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
        list->SetEmailFields(2, {QStringLiteral("email1")});
        list->SetUseGlobalMailServer(false);
        list->SetMessageSenderDevice(msdExtSMTP);
        list->SetMailServer(QStringLiteral("smtp.") + AName.toLower() + QStringLiteral(".example"));
        list->SetChanged(true);
        Dm.Save();
        return list;
    }
    // The list as the database holds it.
    std::shared_ptr<TEmailListItem> Reloaded(qint32 AID) {
        Dm.Load();
        return Dm.ByID(AID);
    }
};

struct Window {
    TfrmEmailMarketingLists Form;
    Window() {
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        Form.NotifyShown();
    }
    QListWidget* Lists() { return Find<QListWidget>(Form, "cxLVLists"); }
    void Select(const QString& AName) {
        const QList<QListWidgetItem*> items = Lists()->findItems(AName, Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        Lists()->setCurrentItem(items.first());
    }
    void ShowIn(const QString& ALanguage, const QString& AList) {
        Form.SetLanguage(ALanguage);
        Select(AList);
    }
    // The macros tab on page APage ("Verteilerlisten-Makros" 0, "Allgemeine Makros" 1).
    void ShowMacros(int APage) {
        Find<QTabWidget>(Form, "PageControl")->setCurrentIndex(4);
        Find<QTabWidget>(Form, "cxQVPCMacros")->setCurrentIndex(APage);
    }
    // The macros tab (the filter frame has controls of the same names).
    QWidget& Macros() { return *Find<QTabWidget>(Form, "cxQVPCMacros")->parentWidget(); }
    QTreeWidget* Conditions() { return Find<QTreeWidget>(Form, "cxLVConditions"); }
    QStringList Line(int ARow) {
        QStringList columns;
        for (int c = 0; c < 4; ++c)
            columns << Conditions()->topLevelItem(ARow)->text(c);
        return columns;
    }
    bool SettingsShown() { return Find<QTabWidget>(Form, "PageControl")->isVisible(); }

    // On the Server page: the list's own server settings with the sender address ASender.
    void OwnServer(const char* ADevice, const QString& AServer, const QString& ASender) {
        Find<QTabWidget>(Form, "PageControl")->setCurrentIndex(1);
        Find<QCheckBox>(Form, "cbUseGlobalAddress")->setChecked(false);
        auto* sender = Find<QLineEdit>(Form, "edtSenderEmail");
        sender->clear();
        QTest::keyClicks(sender, ASender);
        Find<QTabWidget>(Form, "PageControl")->setCurrentIndex(2);
        Find<QCheckBox>(Form, "cbUseGlobalMailServer")->setChecked(false);
        Find<QRadioButton>(Form, ADevice)->setChecked(true);
        Find<QComboBox>(Form, "edtMailServer")->setEditText(AServer);
    }
    // The list's own external server on loopback port APort.
    void ExternalServer(quint16 APort, const QString& ASender) {
        OwnServer("rbtnUseMailServer", QStringLiteral("127.0.0.1:%1").arg(APort), ASender);
    }
    // Starts a test send to AAddress from the Server page (the scripted input answers AAddress).
    void StartTest(testsupport::ScriptedDialogService& ADialogs, const QString& AAddress) {
        Find<QTabWidget>(Form, "PageControl")->setCurrentIndex(2);
        ADialogs.AddInput(AAddress);
        testsupport::Click(Form, "btnCheckSent");
    }
    // Waits for the test send's outcome.
    bool WaitTest() {
        return QTest::qWaitFor([this] { return !Form.TestSendRunning(); }, 60000);
    }
};

// The mail program the window hands test messages to (section "EMLMARK" of the test's database).
void SetMailProgram(const QString& AProgram) {
    hostapi::TQVMainInterface::GetSaveSettings().WriteString(
        QStringLiteral("EMLMARK"), MailProgramSettingsKey(), hostapi::StrToStringData(AProgram));
}

void Backends() {
    testsupport::TestDatabase::AddBackendColumn();
    testsupport::TestDatabase::AddBackendRows();
}

// A condition dialog script: value 1 the field AField1 (a caption), the comparison, value 2 and the
// result as constants; saved or cancelled.
testsupport::ScriptedDialogService::ModalScript Condition(const QString& AField1, const QString& AComparison,
                                                          const QString& AValue2, const QString& AResult,
                                                          bool ASave = true) {
    return [=](QDialog& d) {
        testsupport::Click(d, "cbVal1Type");
        auto* fields = Find<QComboBox>(d, "cbFields1");
        fields->setCurrentIndex(fields->findText(AField1));
        auto* comparison = Find<QComboBox>(d, "cbCondition");
        comparison->setCurrentIndex(comparison->findText(AComparison));
        Find<QLineEdit>(d, "edtVal2")->setText(AValue2);
        Find<QLineEdit>(d, "edtResultVal")->setText(AResult);
        testsupport::Click(d, ASave ? "Button1" : "Button2");
    };
}

// The value of the schema macro %REGION% that a job of AList prepares for the first address.
QString PreparedRegion(const std::shared_ptr<TEmailListItem>& AList) {
    TDocumentPreparer preparer(
        TDocumentPreparer::TJobData{esPlainText, AList, {{"%REGION%", mkSchemaMacro}}});
    hostapi::TQVRecordSet records(QStringLiteral("pelm_addresses_ass"));
    records.Open();
    QString value;
    preparer.ReplaceTemplateMacros([&value](const QString&, const QString& AValue, bool) { value = AValue; },
                                   0, records);
    return value;
}

} // namespace

class tst_frmEmailMarketingLists : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        hostapi::HostLibraries::Initialize();
        RegisterDNSEmailSenderClasses();
        RegisterMAPIMailSenderClass();
        // No msmtp configuration of the machine's user reaches the server list.
        FNoHome = QDir::tempPath() + QStringLiteral("/qv-lists-home-none");
        qputenv("HOME", QFile::encodeName(FNoHome));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(FNoHome));
    }
    void cleanupTestCase() {
        UnRegisterMAPIMailSenderClass();
        UnRegisterDNSEmailSenderClasses();
    }
    void cleanup() {
        hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
        TDNSEmailSender::SetMailExchangerPort(25);
        qputenv("HOME", QFile::encodeName(FNoHome));
    }

    void newListIsStoredWithTheDefaults() {
        Fixture f;
        Window w;
        f.Dialogs.AddInput(QStringLiteral("Kunden"));
        testsupport::Click(w.Form, "btnNewList");
        QCOMPARE(f.Dialogs.Queries.size(), 1);
        QCOMPARE(f.Dialogs.Queries[0].Caption, QStringLiteral("Name der Liste"));
        QCOMPARE(f.Dialogs.Queries[0].Prompt,
                 QStringLiteral("Bitte geben Sie einen Name für die neue Liste ein"));
        QVERIFY(w.Form.CurrentEmailList());
        const qint32 id = w.Form.CurrentEmailList()->IDValue();
        QVERIFY(id >= 0); // saved at once
        QCOMPARE(w.Lists()->currentItem()->text(), QStringLiteral("Kunden"));
        QCOMPARE(Find<QComboBox>(w.Form, "cbTableName")->currentData().toString(),
                 QStringLiteral("pelm_addresses_ass"));
        QCOMPARE(Find<QTabWidget>(w.Form, "PageControl")->currentIndex(), 0);
        QCOMPARE(w.Form.FilterForm().SchemaName(), QStringLiteral("pelm_addresses_ass"));
        std::shared_ptr<TEmailListItem> list = f.Dm.ByID(id);
        QVERIFY(list->UseGlobalSMSProvider());
        list->SetUseGlobalMailServer(false);
        list->SetUseGlobalSendSettings(false);
        QCOMPARE(list->MessageSenderDevice(), msdInternal);
        QVERIFY(list->SendPerUnits());
        QCOMPARE(list->SendPriority(), QThread::NormalPriority);
        QCOMPARE(list->PreparePriority(), QThread::NormalPriority);
        list->SetUseGlobalMailServer(true);
        list->SetUseGlobalSendSettings(true);
        w.Form.FormClose();
        const std::shared_ptr<TEmailListItem> stored = f.Reloaded(id);
        QVERIFY(stored);
        QCOMPARE(stored->Name(), QStringLiteral("Kunden"));
        QCOMPARE(stored->SectionName(), QStringLiteral("pelm_addresses_ass"));
        QCOMPARE(stored->GetEmailFields(2), (QStringList{"email1", "email2"}));
        QCOMPARE(stored->GetEmailFields(11), QStringList{"mobile"});
        QVERIFY(stored->UseGlobalSMSProvider());
    }

    void cancelledOrEmptyNameMakesNoList_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("empty name") << false;
    }
    void cancelledOrEmptyNameMakesNoList() {
        QFETCH(bool, cancel);
        Fixture f;
        Window w;
        f.Dialogs.AddInput(cancel ? std::nullopt : std::optional<QString>(QString()));
        testsupport::Click(w.Form, "btnNewList");
        QCOMPARE(f.Dm.Count(), 0);
        QCOMPARE(w.Lists()->count(), 0);
        QCOMPARE(
            Find<QLabel>(w.Form, "lblNoCfg")->text(),
            QStringLiteral(
                "Bitte wählen Sie eine Verteilerliste aus oder erstellen Sie mit \"Neue Liste\" eine neue."));
    }

    void switchingWithoutEditsWritesNothing() {
        Fixture f;
        f.AddList(QStringLiteral("A"));
        f.AddList(QStringLiteral("B"));
        Window w;
        w.Select(QStringLiteral("A"));
        const std::shared_ptr<TEmailListItem> a = f.Dm.GetEMailList(0);
        QVERIFY(!a->Changed());
        w.Select(QStringLiteral("B"));
        QVERIFY(!a->Changed());
        QVERIFY(!w.Form.SettingsChanged());
    }

    void editsAreWrittenWhenTheWindowCloses_data() {
        QTest::addColumn<bool>("hiddenByHost");
        QTest::newRow("closed") << false;
        QTest::newRow("hidden by the host") << true;
    }
    void editsAreWrittenWhenTheWindowCloses() {
        QFETCH(bool, hiddenByHost);
        Fixture f;
        const qint32 id = f.AddList(QStringLiteral("A"))->IDValue();
        Window w;
        w.Select(QStringLiteral("A"));
        Find<QCheckBox>(w.Form, "cbUseGlobalAddress")->setChecked(false);
        QTest::keyClicks(Find<QLineEdit>(w.Form, "edtSenderName"), QStringLiteral("Vertrieb"));
        Find<QListWidget>(w.Form, "cxCBEmailFieldsMob")->item(0)->setCheckState(Qt::Checked);
        if (hiddenByHost)
            w.Form.RunFormClose();
        else
            QVERIFY(w.Form.close());
        const std::shared_ptr<TEmailListItem> stored = f.Reloaded(id);
        QVERIFY(!stored->UseGlobalAddress());
        QCOMPARE(stored->SenderName(), QStringLiteral("Vertrieb"));
        QCOMPARE(stored->GetEmailFields(11), QStringList{"mobile"});
        QCOMPARE(stored->MailServer(), QStringLiteral("smtp.a.example"));
    }

    void checkedGlobalBoxKeepsTheListsOwnValues() {
        Fixture f;
        const qint32 id = f.AddList(QStringLiteral("A"))->IDValue();
        f.Dm.SetGlobalMessageSenderDevice(msdInternal);
        f.Dm.SetGlobalMailServer(QStringLiteral("global.example"));
        Window w;
        w.Select(QStringLiteral("A"));
        Find<QCheckBox>(w.Form, "cbUseGlobalMailServer")->setChecked(true);
        QVERIFY(w.Form.SettingsChanged());
        std::shared_ptr<TEmailListItem> list = f.Dm.ByID(id);
        w.Form.FormClose();
        QVERIFY(list->UseGlobalMailServer());
        QCOMPARE(list->MessageSenderDevice(), msdInternal); // the global device is shown
        list->SetUseGlobalMailServer(false);
        QCOMPARE(list->MessageSenderDevice(), msdExtSMTP);
        QCOMPARE(list->MailServer(), QStringLiteral("smtp.a.example"));
        const std::shared_ptr<TEmailListItem> stored = f.Reloaded(id);
        QVERIFY(stored->UseGlobalMailServer());
        stored->SetUseGlobalMailServer(false);
        QCOMPARE(stored->MessageSenderDevice(), msdExtSMTP);
        QCOMPARE(stored->MailServer(), QStringLiteral("smtp.a.example"));
    }

    void preloadSelectsTheListOnce() {
        Fixture f;
        f.AddList(QStringLiteral("A"));
        const qint32 id = f.AddList(QStringLiteral("B"))->IDValue();
        f.Dm.SetPreloadEmailList(id);
        Window w;
        QVERIFY(w.Form.CurrentEmailList());
        QCOMPARE(w.Form.CurrentEmailList()->Name(), QStringLiteral("B"));
        QCOMPARE(f.Dm.PreloadEmailList(), -1);
    }

    void serverPageEnabling_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("server");
        QTest::addColumn<bool>("auth");
        QTest::addColumn<bool>("threads");
        QTest::newRow("integrated") << "rbtnUseRelay"
                                    << "&Server:" << false << false << true;
        QTest::newRow("external SMTP") << "rbtnUseMailServer"
                                       << "&SMTP Server:" << true << true << false;
        QTest::newRow("mail program") << "rbUseMAPI"
                                      << "Konto des Mailprogramms:" << true << false << false;
    }
    void serverPageEnabling() {
        QFETCH(QString, button);
        QFETCH(QString, label);
        QFETCH(bool, server);
        QFETCH(bool, auth);
        QFETCH(bool, threads);
        Fixture f;
        f.AddList(QStringLiteral("A"));
        Window w;
        w.Select(QStringLiteral("A"));
        Find<QCheckBox>(w.Form, "cbUseGlobalSendSettings")->setChecked(false);
        Find<QCheckBox>(w.Form, "cbUnitSend")->setChecked(true);
        Find<QRadioButton>(w.Form, qPrintable(button))->setChecked(true);
        QCOMPARE(Find<QLabel>(w.Form, "lblMailServer")->text(), label);
        QCOMPARE(Find<QComboBox>(w.Form, "edtMailServer")->isEnabled(), server);
        QCOMPARE(Find<QCheckBox>(w.Form, "cbUseAuth")->isEnabled(), auth);
        QCOMPARE(Find<QSpinBox>(w.Form, "spinSendThreads")->isEnabled(), threads);
        QCOMPARE(Find<QLineEdit>(w.Form, "edtPassword")->echoMode(), QLineEdit::Password);
        // the mail program's set-up hint only with the mail program
        QCOMPARE(!Find<QWidget>(w.Form, "nfoblgMAPI")->isHidden(), button == "rbUseMAPI");
        Find<QCheckBox>(w.Form, "cbUseGlobalMailServer")->setChecked(true);
        for (const char* name :
             {"rbtnUseRelay", "rbtnUseMailServer", "rbUseMAPI", "edtMailServer", "cbUseAuth"})
            QVERIFY2(!Find<QWidget>(w.Form, name)->isEnabled(), name);
    }

    void listInUseByAJobHidesItsSettingsUntilTheJobEnds() {
        Fixture f;
        std::shared_ptr<TEmailListItem> list = f.AddList(QStringLiteral("A"));
        Window w;
        w.Select(QStringLiteral("A"));
        QVERIFY(w.SettingsShown());
        TBaseEmailSender* job = f.Dm.Jobs().CreateJob(tjLocal, 1, list, esPlainText);
        QVERIFY(list->IsInUseByJob());
        QVERIFY(!w.SettingsShown());
        QCOMPARE(Find<QLabel>(w.Form, "lblNoCfg")->text(),
                 QStringLiteral("Die Verteilerliste wird von mindestens einem Job verwendet!"));
        QVERIFY(!Find<QWidget>(w.Form, "btnDeleteList")->isEnabled());
        w.Form.btnDeleteListClick(); // no question, nothing deleted
        QVERIFY(f.Dialogs.Questions.isEmpty());
        QCOMPARE(f.Dm.Count(), 1);
        f.Dm.Jobs().Delete(job);
        QVERIFY(!list->IsInUseByJob());
        QVERIFY(w.SettingsShown());
    }

    void deletingAskedAndConfirmed_data() {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void deletingAskedAndConfirmed() {
        QFETCH(bool, confirm);
        Fixture f;
        const qint32 id = f.AddList(QStringLiteral("A"))->IDValue();
        Window w;
        w.Select(QStringLiteral("A"));
        QTest::keyClicks(Find<QLineEdit>(w.Form, "edtUserName"), QStringLiteral("pending"));
        f.Dialogs.AddAnswer(confirm ? hostapi::mrYes : hostapi::mrNo);
        testsupport::Click(w.Form, "btnDeleteList");
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions[0].Text, QStringLiteral("Wollen Sie diese Liste wirklich löschen?"));
        QCOMPARE(w.Lists()->count(), confirm ? 0 : 1);
        QCOMPARE(w.Form.CurrentEmailList() == nullptr, confirm);
        QVERIFY(w.Form.close());
        QCOMPARE(f.Reloaded(id) == nullptr, confirm);
    }

    void renamingOnlyUserLists_data() {
        QTest::addColumn<bool>("provider");
        QTest::newRow("user list") << false;
        QTest::newRow("provider's list") << true;
    }
    void renamingOnlyUserLists() {
        QFETCH(bool, provider);
        Fixture f;
        std::shared_ptr<TEmailListItem> list = f.AddList(QStringLiteral("A"));
        if (provider)
            list->SetClientIdent(QStringLiteral("CRM"));
        Window w;
        w.Select(QStringLiteral("A"));
        QListWidgetItem* item = w.Lists()->currentItem();
        QCOMPARE(bool(item->flags() & Qt::ItemIsEditable), !provider);
        item->setText(QStringLiteral("Neu"));
        QCOMPARE(list->Name(), provider ? QStringLiteral("A") : QStringLiteral("Neu"));
        QCOMPARE(item->text(), list->Name());
    }

    void registerServiceLinkOpensItsConfiguration() {
        Fixture f;
        testsupport::RecordingScreen screen;
        {
            Window w;
            w.Form.VorlanaLinkLabel1Click();
        }
        QCOMPARE(screen.Opened, QStringList{"{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10} 0 -"});
    }

    void menuEntryOpensTheWindow() {
        testsupport::TestDatabase db;
        RegisterModuleClasses();
        RegisterFormClasses();
        hostapi::TClientPluginBaseGUI plugin(PluginModuleGUID(), 0, PluginDataModuleClasses(),
                                             PluginFormClasses(), true);
        plugin.CreateDataModules();
        hostapi::ScreenService screen([&plugin](const QString&) { return &plugin; });
        hostapi::TPluginForm* form =
            screen.OpenPluginForm(PluginModuleGUID(), QStringLiteral("TfrmEmailMarketingLists"), QVariant());
        QVERIFY(qobject_cast<TfrmEmailMarketingLists*>(form));
        QCOMPARE(form->windowTitle(), QStringLiteral("Email Marketing Verteilerlisten"));
        // the host's screen shows the window's own tool bars
        QVERIFY(Find<QFrame>(*form, "Menu")->isVisible());
        plugin.CloseForms();
    }

    // Every control a user reaches by keyboard on a page has its own letter, next to the list
    // buttons and the tabs; a label's letter moves to its control.
    void mnemonicsAreUniqueOnEachPage_data() {
        QTest::addColumn<QString>("language");
        for (const char* language : {"German", "English", "French", "Italian"})
            QTest::newRow(language) << QString::fromLatin1(language);
    }
    void mnemonicsAreUniqueOnEachPage() {
        QFETCH(QString, language);
        Fixture f;
        f.AddList(QStringLiteral("Kunden"));
        Window w;
        w.ShowIn(language, QStringLiteral("Kunden"));
        const auto letter = [](const QString& AText) {
            const qsizetype at =
                QString(AText).replace(QStringLiteral("&&"), QString()).indexOf(QLatin1Char('&'));
            return at < 0 ? QChar()
                          : QString(AText).replace(QStringLiteral("&&"), QString()).at(at + 1).toLower();
        };
        QStringList always{Find<QAbstractButton>(w.Form, "btnNewList")->text(),
                           Find<QAbstractButton>(w.Form, "btnDeleteList")->text()};
        QVERIFY(!letter(always[0]).isNull());
        QVERIFY(!letter(always[1]).isNull());
        auto* pages = Find<QTabWidget>(w.Form, "PageControl");
        for (int i = 0; i < pages->count(); ++i)
            always << pages->tabText(i);
        Find<QCheckBox>(w.Form, "cbUseGlobalMailServer")->setChecked(false);
        for (const char* device : {"rbtnUseRelay", "rbtnUseMailServer", "rbUseMAPI"}) {
            Find<QRadioButton>(w.Form, device)->setChecked(true);
            for (int i = 0; i < pages->count(); ++i) {
                pages->setCurrentIndex(i);
                QMap<QChar, QString> used;
                QStringList texts = always;
                // shown controls only; the host's filter frame has its own keys
                const auto ours = [&w](QWidget* AWidget) {
                    return AWidget->isVisibleTo(&w.Form) && !w.Form.FilterForm().isAncestorOf(AWidget);
                };
                for (QAbstractButton* button : pages->widget(i)->findChildren<QAbstractButton*>())
                    if (ours(button))
                        texts << button->text();
                for (QLabel* label : pages->widget(i)->findChildren<QLabel*>()) {
                    if (!ours(label))
                        continue;
                    if (!letter(label->text()).isNull())
                        QVERIFY2(label->buddy(), qPrintable(label->text()));
                    texts << label->text();
                }
                for (const QString& text : std::as_const(texts)) {
                    const QChar key = letter(text);
                    if (key.isNull())
                        continue;
                    QVERIFY2(!used.contains(key), qPrintable(QStringLiteral("%1 / %2: \"%3\" and \"%4\"")
                                                                 .arg(device)
                                                                 .arg(i)
                                                                 .arg(used.value(key), text)));
                    used.insert(key, text);
                }
            }
        }
    }

    void macrosAndConditionsAreWrittenWhenTheWindowCloses_data() { Backends(); }
    void macrosAndConditionsAreWrittenWhenTheWindowCloses() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        Fixture f(backend);
        const qint32 id = f.AddList(QStringLiteral("A"))->IDValue();
        Window w;
        w.Select(QStringLiteral("A"));
        w.ShowMacros(0);
        auto* userMacros = Find<QListWidget>(w.Form, "cxLVUserMacros");
        for (const char* name : {"btnAddMacro", "btnDeleteMacro", "btnAddCondition"})
            QVERIFY2(Find<QWidget>(w.Macros(), name)->isVisible(), name);
        QVERIFY(!Find<QWidget>(w.Macros(), "btnAddTableMacro")->isVisible());

        // a list macro with one saved condition; a second one cancelled leaves nothing
        testsupport::Click(w.Macros(), "btnAddMacro");
        QVERIFY(w.Form.CurrentMacro());
        QTest::keyClicks(Find<QLineEdit>(w.Form, "edtMacroTitle"), QStringLiteral("Anrede"));
        QCOMPARE(userMacros->currentItem()->text(), QStringLiteral("Anrede"));
        f.Dialogs.AddModal(Condition(QStringLiteral("Ort"), QStringLiteral("="), QStringLiteral("Köln"),
                                     QStringLiteral("Hallo [Name]")));
        testsupport::Click(w.Macros(), "btnAddCondition");
        f.Dialogs.AddModal(Condition(QStringLiteral("Name"), QStringLiteral("<>"), QStringLiteral("x"),
                                     QStringLiteral("y"), false));
        testsupport::Click(w.Macros(), "btnAddCondition");
        QCOMPARE(w.Form.CurrentMacro()->Count(), 1);
        QCOMPARE(w.Conditions()->topLevelItemCount(), 1);
        QCOMPARE(w.Line(0), (QStringList{"[Ort]", "=", "Köln", "Hallo [Name]"}));
        QVERIFY(Find<QWidget>(w.Macros(), "btnEditCondition")->isEnabled());

        // a second list macro, deleted after the question; a "No" keeps it
        testsupport::Click(w.Macros(), "btnAddMacro");
        QTest::keyClicks(Find<QLineEdit>(w.Form, "edtMacroTitle"), QStringLiteral("Weg"));
        f.Dialogs.AddAnswer(hostapi::mrNo);
        testsupport::Click(w.Macros(), "btnDeleteMacro");
        QCOMPARE(userMacros->count(), 2);
        f.Dialogs.AddAnswer(hostapi::mrYes);
        testsupport::Click(w.Macros(), "btnDeleteMacro");
        QCOMPARE(f.Dialogs.Questions.size(), 2);
        QCOMPARE(f.Dialogs.Questions[1].Text, QStringLiteral("Möchten Sie das Makro wirklich löschen?"));
        QCOMPARE(f.Dialogs.Questions[1].Buttons, hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel);
        QCOMPARE(userMacros->count(), 1);
        QVERIFY(!w.Form.CurrentMacro());
        QCOMPARE(w.Conditions()->topLevelItemCount(), 0);
        QVERIFY(Find<QLineEdit>(w.Form, "edtMacroTitle")->text().isEmpty());

        // a general macro of the list's schema with a condition
        w.ShowMacros(1);
        QVERIFY(!Find<QWidget>(w.Macros(), "btnAddMacro")->isVisible());
        testsupport::Click(w.Macros(), "btnAddTableMacro");
        QTest::keyClicks(Find<QLineEdit>(w.Form, "edtMacroTitle"), QStringLiteral("Region"));
        f.Dialogs.AddModal(Condition(QStringLiteral("Ort"), QStringLiteral(">="), QStringLiteral("M"),
                                     QStringLiteral("Süd")));
        testsupport::Click(w.Macros(), "btnAddCondition");
        QCOMPARE(Count("emlmacros"), 0); // nothing is written before the window closes
        QCOMPARE(f.Dm.GetSchemaMacroList(QStringLiteral("pelm_addresses_ass"))->Count(), 0);
        QCOMPARE(f.Dialogs.PendingCount(), 0);

        QVERIFY(w.Form.close());
        QCOMPARE(Count("emlmacros"), 2);
        QCOMPARE(Count("emlconditions"), 2);
        const QVariant listMacro =
            testsupport::Value("emlmacros", "id", "\"emlists_id\" = ? AND \"descr\" = ?", {id, "Anrede"});
        QVERIFY(listMacro.isValid());
        QCOMPARE(
            testsupport::Value("emlconditions", "valuem", "\"emlmacros_id\" = ?", {listMacro}).toString(),
            QStringLiteral("Hallo %NAME%"));
        QCOMPARE(
            testsupport::Value("emlconditions", "value1", "\"emlmacros_id\" = ?", {listMacro}).toString(),
            QStringLiteral("city"));
        QCOMPARE(
            testsupport::Value("emlconditions", "condition", "\"emlmacros_id\" = ?", {listMacro}).toInt(),
            int(maEQ));
        const QVariant schemaMacro = testsupport::Value(
            "emlmacros", "id", "\"emlists_id\" = ? AND \"schemaname\" = ? AND \"descr\" = ?",
            {-2, "pelm_addresses_ass", "Region"});
        QVERIFY(schemaMacro.isValid());
        QCOMPARE(Count("emlconditions", "\"emlmacros_id\" = ? AND \"valuem\" = ?", {schemaMacro, "Süd"}), 1);
    }

    void selectingAMacroSelectsItsLastCondition_data() { Backends(); }
    void selectingAMacroSelectsItsLastCondition() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        Fixture f(backend);
        const qint32 id = f.AddList(QStringLiteral("A"))->IDValue();
        const qint64 macro = hostapi::Database::InsertRow("emlmacros", {"emlists_id", "macroname", "descr"},
                                                          {id, "ANREDE", "Anrede"});
        hostapi::Database::InsertRow("emlconditions",
                                     {"emlmacros_id", "condition", "value1", "value1_isfld", "valuem"},
                                     {macro, int(maEQ), "city", 1, "erste"});
        hostapi::Database::InsertRow(
            "emlconditions",
            {"emlmacros_id", "condition", "value1", "value1_isfld", "value2", "valuem", "valuem_isfld"},
            {macro, int(maLT), "entfernt", 1, "5", "name", 1});
        f.Dm.Load();
        Window w;
        w.Select(QStringLiteral("A"));
        w.ShowMacros(0);
        QVERIFY(w.Form.CurrentMacro());
        QCOMPARE(w.Form.CurrentMacro()->Caption(), QStringLiteral("Anrede"));
        QCOMPARE(Find<QLineEdit>(w.Form, "edtMacroTitle")->text(), QStringLiteral("Anrede"));
        QCOMPARE(w.Conditions()->topLevelItemCount(), 2);
        QCOMPARE(w.Conditions()->currentItem(), w.Conditions()->topLevelItem(1));
        QCOMPARE(w.Line(0), (QStringList{"[Ort]", "=", "", "erste"}));
        QCOMPARE(w.Line(1), (QStringList{"[DATENBANKFELD FEHLT]", "<", "5", "[Name]"}));

        // deleting a condition asks, and only Yes deletes it
        f.Dialogs.AddAnswer(hostapi::mrYes);
        testsupport::Click(w.Macros(), "btnDeleteCondition");
        QCOMPARE(f.Dialogs.Questions.value(0).Text,
                 QStringLiteral("Möchten Sie diese Bedingung auf dem Makro wirklich löschen?"));
        QCOMPARE(w.Form.CurrentMacro()->Count(), 1);
        QVERIFY(w.Form.close());
        QCOMPARE(Count("emlconditions"), 1);
    }

    // A job prepared while the general macros are edited in the window uses what was published;
    // the edits reach jobs prepared after the list is stored.
    void jobPreparedWhileGeneralMacrosAreEditedUsesThePublishedState_data() { Backends(); }
    void jobPreparedWhileGeneralMacrosAreEditedUsesThePublishedState() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        Fixture f(backend);
        f.AddList(QStringLiteral("A"));
        const std::shared_ptr<TEmailListItem> other = f.AddList(QStringLiteral("B"));
        hostapi::Database::InsertRow("pelm_addresses_ass", {"name", "email1"}, {"Muster", "m@example.org"});
        TMacroList macros;
        TMacroItem* region = macros.Add();
        region->SetMacroName(QStringLiteral("REGION"));
        region->SetCaption(QStringLiteral("Region"));
        region->Add()->SetMacroValue(QStringLiteral("Süd"));
        f.Dm.ReplaceSchemaMacros(QStringLiteral("pelm_addresses_ass"), macros);
        f.Dm.Save();
        Window w;
        w.Select(QStringLiteral("A"));
        w.ShowMacros(1);
        QCOMPARE(w.Form.CurrentMacro()->MacroName(), QStringLiteral("REGION"));
        f.Dialogs.AddModal([](QDialog& d) {
            Find<QLineEdit>(d, "edtResultVal")->setText(QStringLiteral("Nord"));
            testsupport::Click(d, "Button1");
        });
        testsupport::Click(w.Macros(), "btnEditCondition");
        QCOMPARE(w.Line(0).value(3), QStringLiteral("Nord"));
        f.Dialogs.AddModal(Condition(QStringLiteral("Ort"), QStringLiteral("="), QStringLiteral("Köln"),
                                     QStringLiteral("West")));
        testsupport::Click(w.Macros(), "btnAddCondition");
        QCOMPARE(PreparedRegion(other), QStringLiteral("Süd"));
        const std::shared_ptr<TMacroList> before = other->GlobalTableMacros();

        w.Select(QStringLiteral("B")); // stores list A: the edits are published in one step
        QCOMPARE(PreparedRegion(other), QStringLiteral("Nord"));
        QCOMPARE(before->Items(0)->Count(), 1); // a job that copied earlier keeps its list
        QCOMPARE(before->Items(0)->Items(0)->MacroValue(), QStringLiteral("Süd"));
        QCOMPARE(other->GlobalTableMacros()->Items(0)->Count(), 2);
        QVERIFY(w.Form.close());
        QCOMPARE(Count("emlconditions"), 2);
    }

    void toolBarsFollowTheHostScreen_data() {
        QTest::addColumn<bool>("hides");
        QTest::newRow("host has no bar of its own") << false;
        QTest::newRow("host shows the commands") << true;
    }
    void toolBarsFollowTheHostScreen() {
        QFETCH(bool, hides);
        Fixture f;
        f.AddList(QStringLiteral("A"));
        testsupport::RecordingScreen screen;
        screen.HidesToolBars = hides;
        Window w;
        w.Form.InitializeUIState(screen);
        w.Select(QStringLiteral("A"));
        const auto shown = [&w](const char* AName) { return !Find<QFrame>(w.Form, AName)->isHidden(); };
        w.ShowMacros(0);
        QCOMPARE(shown("Menu"), !hides);
        QCOMPARE(shown("List-macros"), !hides);
        QCOMPARE(shown("Macro-settings"), !hides);
        QVERIFY(!shown("Global-macros")); // none of its commands on this page
        w.ShowMacros(1);
        QCOMPARE(shown("Global-macros"), !hides);
        QVERIFY(!shown("List-macros"));
        w.ShowMacros(0);
        if (hides)
            return;
        // the list commands and the macro commands, each in its bar
        QVERIFY(Find<QFrame>(w.Form, "Menu")->isAncestorOf(Find<QWidget>(w.Form, "btnNewList")));
        QVERIFY(Find<QFrame>(w.Form, "Menu")->isAncestorOf(Find<QWidget>(w.Form, "btnDeleteList")));
        QVERIFY(Find<QFrame>(w.Form, "List-macros")->isAncestorOf(Find<QWidget>(w.Macros(), "btnAddMacro")));
        QVERIFY(Find<QFrame>(w.Form, "Macro-settings")
                    ->isAncestorOf(Find<QWidget>(w.Macros(), "btnAddCondition")));
        QVERIFY(Find<QWidget>(w.Macros(), "btnAddMacro")->isVisible());
        QVERIFY(!Find<QWidget>(w.Macros(), "btnAddTableMacro")->isVisible());
        w.ShowMacros(1);
        QVERIFY(!Find<QWidget>(w.Macros(), "btnAddMacro")->isVisible());
        QVERIFY(Find<QWidget>(w.Macros(), "btnAddTableMacro")->isVisible());
    }

    void serverListOffersTheMailProgramsAccounts() {
        QTemporaryDir home;
        QFile config(home.filePath(QStringLiteral(".msmtprc")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("account vertrieb\nhost 127.0.0.1\n\naccount technik : vertrieb\n");
        config.close();
        qputenv("HOME", QFile::encodeName(home.path()));
        Fixture f;
        SetMailProgram(QStringLiteral("/usr/bin/msmtp"));
        f.AddList(QStringLiteral("A"));
        Window w;
        w.Select(QStringLiteral("A"));
        w.OwnServer("rbUseMAPI", QStringLiteral("technik"), QStringLiteral("info@example.org"));
        auto* servers = Find<QComboBox>(w.Form, "edtMailServer");
        QStringList items;
        for (int i = 0; i < servers->count(); ++i)
            items << servers->itemText(i);
        // the system file of this machine may add accounts of its own; ours come last, in order
        QVERIFY2(items.mid(items.size() - 2) == (QStringList{"vertrieb", "technik"}),
                 qPrintable(items.join(',')));
        QCOMPARE(servers->currentText(), QStringLiteral("technik"));
        // an external server offers no list; what the user typed stays
        Find<QRadioButton>(w.Form, "rbtnUseMailServer")->setChecked(true);
        QCOMPARE(servers->count(), 0);
        QCOMPARE(servers->currentText(), QStringLiteral("technik"));
    }

    void testSendRefusesWhatItCannotSendTo_data() {
        QTest::addColumn<std::optional<QString>>("input");
        QTest::addColumn<bool>("refused");
        QTest::newRow("cancelled") << std::optional<QString>() << false;
        QTest::newRow("empty") << std::optional<QString>(QString()) << true;
        QTest::newRow("blanks") << std::optional<QString>(QStringLiteral("   ")) << true;
        QTest::newRow("no at sign") << std::optional<QString>(QStringLiteral("max")) << true;
        QTest::newRow("no domain") << std::optional<QString>(QStringLiteral("max@")) << true;
    }
    void testSendRefusesWhatItCannotSendTo() {
        QFETCH(std::optional<QString>, input);
        QFETCH(bool, refused);
        testsupport::SmtpPeer peer;
        START_PEER(peer);
        Fixture f;
        f.AddList(QStringLiteral("A"));
        Window w;
        w.Select(QStringLiteral("A"));
        w.ExternalServer(peer.Port(), QStringLiteral("info@example.org"));
        Find<QTabWidget>(w.Form, "PageControl")->setCurrentIndex(2);
        f.Dialogs.AddInput(input);
        testsupport::Click(w.Form, "btnCheckSent");
        QCOMPARE(f.Dialogs.Queries.size(), 1);
        QCOMPARE(f.Dialogs.Queries[0].Caption, QStringLiteral("Test-Email versenden"));
        QCOMPARE(f.Dialogs.Queries[0].Prompt, QStringLiteral("Email"));
        QVERIFY(!w.Form.TestSendRunning());
        QCOMPARE(f.Dialogs.Questions.size(), refused ? 1 : 0);
        if (refused) {
            QCOMPARE(f.Dialogs.Questions[0].Text,
                     QStringLiteral("Geben Sie bitte eine gültige Email-Adresse ein."));
            QCOMPARE(f.Dialogs.Questions[0].Type, hostapi::mtError);
        }
        QVERIFY(peer.Messages().isEmpty());
    }

    void testSendThroughTheExternalServer_data() {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("answer"); // to the same-domain question; -1: not asked
        QTest::newRow("other domain") << "info@firma.example"
                                      << "kunde@example.org" << -1;
        QTest::newRow("same domain, yes") << "info@example.org"
                                          << "test@EXAMPLE.org" << int(hostapi::mrYes);
        QTest::newRow("same domain, no") << "info@example.org"
                                         << "test@example.org" << int(hostapi::mrNo);
        QTest::newRow("same domain, cancel") << "info@example.org"
                                             << "test@example.org" << int(hostapi::mrCancel);
    }
    void testSendThroughTheExternalServer() {
        QFETCH(QString, sender);
        QFETCH(QString, address);
        QFETCH(int, answer);
        testsupport::SmtpPeer peer;
        START_PEER(peer);
        Fixture f;
        const qint32 id = f.AddList(QStringLiteral("A"))->IDValue();
        Window w;
        w.Select(QStringLiteral("A"));
        w.ExternalServer(peer.Port(), sender);
        if (answer >= 0)
            f.Dialogs.AddAnswer(hostapi::TModalResult(answer));
        w.StartTest(f.Dialogs, address);
        const bool sends = answer < 0 || answer == hostapi::mrYes;
        if (answer >= 0) {
            QCOMPARE(
                f.Dialogs.Questions.value(0).Text,
                QStringLiteral("Ihre Test-Emailadresse hat die gleiche Domain (example.org) wie Ihre "
                               "Absender-Adresse.\nUm zu prüfen ob der Versand wirklich klappt, sollten Sie "
                               "eine Test-Emailadresse mit einer anderen Domain verwenden.\n\nMöchten Sie "
                               "den Test trotzdem fortsetzen?"));
            QCOMPARE(f.Dialogs.Questions.value(0).Type, hostapi::mtWarning);
            QCOMPARE(f.Dialogs.Questions.value(0).Buttons,
                     hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel);
        }
        QCOMPARE(w.Form.TestSendRunning(), sends);
        QVERIFY(w.WaitTest());
        QCOMPARE(f.Dialogs.Questions.size(), (answer >= 0 ? 1 : 0) + (sends ? 1 : 0));
        QVERIFY(!Find<QWidget>(w.Form, "lblTest")->isVisible());
        QVERIFY(Find<QWidget>(w.Form, "btnCheckSent")->isEnabled());
        const QStringList received = peer.Messages();
        QCOMPARE(received.size(), sends ? 1 : 0);
        if (!sends)
            return;
        QCOMPARE(f.Dialogs.Questions.last().Text,
                 QStringLiteral("Die Test-Email wurde erfolgreich versendet."));
        QCOMPARE(f.Dialogs.Questions.last().Type, hostapi::mtInformation);
        QCOMPARE(peer.Envelope(received[0]).value("rcpt_tos").toArray().at(0).toString(), address);
        QCOMPARE(peer.Envelope(received[0]).value("mail_from").toString(), sender);
        const QJsonObject parsed = peer.Parsed(received[0]);
        QCOMPARE(parsed.value("headers").toObject().value("subject").toArray().at(0).toString(),
                 QStringLiteral("Test Email"));
        QCOMPARE(parsed.value("structure").toArray().at(0).toString(),
                 QStringLiteral("multipart/alternative"));
        QStringList texts;
        for (const QJsonValue part : parsed.value("parts").toArray())
            texts << part.toObject().value("text").toString();
        QCOMPARE(texts.size(), 2);
        QCOMPARE(texts[0].trimmed(),
                 QStringLiteral("Hallo\n\nDies ist der Text-Teil eins Test-Emails im HTML-Format."));
        QVERIFY2(texts[1].contains("Dies ist ein Test-Email im HTML-Format.") && texts[1].contains("#339966"),
                 qPrintable(texts[1]));
        // the test uses the screen's values; the list keeps its own until it is stored
        QCOMPARE(f.Dm.ByID(id)->MailServer(), QStringLiteral("smtp.a.example"));
    }

    void testSendFailureIsShown_data() {
        QTest::addColumn<bool>("closedPort");
        QTest::newRow("closed port") << true;
        QTest::newRow("recipient refused") << false;
    }
    void testSendFailureIsShown() {
        QFETCH(bool, closedPort);
        testsupport::SmtpPeer peer;
        peer.SetRules(R"([{"when": "rcpt", "reply": "550 5.1.1 No such user"}])");
        START_PEER(peer);
        Fixture f;
        f.AddList(QStringLiteral("A"));
        Window w;
        w.Select(QStringLiteral("A"));
        const quint16 port = closedPort ? testsupport::FreeLoopbackPort() : peer.Port();
        w.ExternalServer(port, QStringLiteral("info@firma.example"));
        w.StartTest(f.Dialogs, QStringLiteral("kunde@example.org"));
        QVERIFY(w.WaitTest());
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        const QString text = f.Dialogs.Questions[0].Text;
        QCOMPARE(f.Dialogs.Questions[0].Type, hostapi::mtError);
        if (closedPort) {
            QVERIFY2(text.startsWith(TestConf + "\n\nPrüfen Sie bitte folgende Punkte:"), qPrintable(text));
            QVERIFY2(text.contains("Mailprogramm des Systems") && !text.contains("Outlook"),
                     qPrintable(text));
            // the transport's error closes the text
            const QString error = text.section(QStringLiteral("Fehlermeldung:\n"), 1);
            QVERIFY2(!error.trimmed().isEmpty(), qPrintable(text));
        } else {
            // the server's own words
            QVERIFY2(!text.contains(TestConf) && text.contains("No such user"), qPrintable(text));
        }
        QVERIFY(peer.Messages().isEmpty());
    }

    void testSendByDirectDelivery() {
        testsupport::SmtpPeer peer;
        START_PEER(peer);
        testsupport::DnsPeer dns({QStringLiteral("--local=/test/"),
                                  QStringLiteral("--mx-host=example.test,mx.example.test,10"),
                                  QStringLiteral("--host-record=mx.example.test,127.0.0.1")});
        START_PEER(dns);
        TDNSEmailSender::SetMailExchangerPort(peer.Port());
        Fixture f;
        f.Dm.SetDNSServer(dns.Server());
        f.AddList(QStringLiteral("A"));
        Window w;
        w.Select(QStringLiteral("A"));
        w.OwnServer("rbtnUseRelay", QString(), QStringLiteral("info@firma.example"));
        w.StartTest(f.Dialogs, QStringLiteral("kunde@Example.test"));
        QVERIFY(w.WaitTest());
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions[0].Text, QStringLiteral("Die Test-Email wurde erfolgreich versendet."));
        QCOMPARE(dns.QueryCount(QStringLiteral("MX"), QStringLiteral("example.test")), 1);
        const QStringList received = peer.Messages();
        QCOMPARE(received.size(), 1);
        QCOMPARE(peer.Envelope(received[0]).value("rcpt_tos").toArray().at(0).toString(),
                 QStringLiteral("kunde@Example.test"));
    }

    void testSendThroughTheMailProgram() {
        testsupport::FakeSendmail program;
        Fixture f;
        SetMailProgram(program.Program());
        f.AddList(QStringLiteral("A"));
        Window w;
        w.Select(QStringLiteral("A"));
        w.OwnServer("rbUseMAPI", QString(), QStringLiteral("info@example.org"));
        // the mail program is asked no same-domain question
        w.StartTest(f.Dialogs, QStringLiteral("test@example.org"));
        QVERIFY(w.WaitTest());
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions[0].Text,
                 QStringLiteral("Die Test-Email wurde erfolgreich an das Mailprogramm des Systems übergeben, "
                                "das sie nun versendet."));
        QCOMPARE(f.Dialogs.Questions[0].Type, hostapi::mtInformation);
        const QList<QJsonObject> calls = program.Calls();
        QCOMPARE(calls.size(), 1);
        QStringList argv;
        for (const QJsonValue arg : calls[0].value("argv").toArray())
            argv << arg.toString();
        QCOMPARE(argv.last(), QStringLiteral("test@example.org"));
        QVERIFY2(argv.contains("info@example.org"), qPrintable(argv.join(' ')));
        QVERIFY(calls[0].value("stdin").toString().contains("Subject: Test Email"));
    }

    // Closing the window while the server holds the test send cancels it: nothing is shown later.
    void destroyingTheWindowCancelsATestSendUnderWay() {
        testsupport::SmtpPeer peer;
        peer.SetRules(R"([{"when": "data", "reply": "stall"}])");
        START_PEER(peer);
        Fixture f;
        f.AddList(QStringLiteral("A"));
        {
            Window w;
            w.Select(QStringLiteral("A"));
            w.ExternalServer(peer.Port(), QStringLiteral("info@firma.example"));
            w.StartTest(f.Dialogs, QStringLiteral("kunde@example.org"));
            QVERIFY(peer.WaitForStall(30000));
            // the window answers while the test runs; a second test cannot start
            QVERIFY(w.Form.TestSendRunning());
            QVERIFY(Find<QWidget>(w.Form, "lblTest")->isVisible());
            QCOMPARE(Find<QLabel>(w.Form, "lblTest")->text(), QStringLiteral("Test läuft, bitte warten..."));
            QVERIFY(!Find<QWidget>(w.Form, "btnCheckSent")->isEnabled());
            QVERIFY(QDir().mkpath(QStringLiteral(QV_GRAB_DIR)));
            QVERIFY(w.Form.grab().save(
                QStringLiteral(QV_GRAB_DIR "/frmEmailMarketingLists_German_testsend.png")));
        }
        QCoreApplication::processEvents();
        QVERIFY(f.Dialogs.Questions.isEmpty());
        QCOMPARE(f.Dialogs.PendingCount(), 0);
    }

    void grabEachTab_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("German") << "German";
        QTest::newRow("English") << "English";
    }
    void grabEachTab() {
        QFETCH(QString, language);
        Fixture f;
        const std::shared_ptr<TEmailListItem> list = f.AddList(QStringLiteral("Kunden"));
        TMacroList macros;
        TMacroItem* macro = macros.Add();
        macro->SetCaption(QStringLiteral("Anrede"));
        TMacroConditionItem* condition = macro->Add();
        condition->SetValue1IsField(true);
        condition->SetConditionValue1(QStringLiteral("salutation"));
        condition->SetCondition(maEQ);
        condition->SetConditionValue2(QStringLiteral("F"));
        condition->SetMacroValue(QStringLiteral("Sehr geehrte Frau %NAME%"));
        macro->Add()->SetMacroValue(QStringLiteral("Guten Tag"));
        list->SetUserMacros(macros);
        Window w;
        w.ShowIn(language, QStringLiteral("Kunden"));
        auto* pages = Find<QTabWidget>(w.Form, "PageControl");
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QVERIFY(QDir().mkpath(QStringLiteral(QV_GRAB_DIR)));
            QVERIFY(w.Form.grab().save(QStringLiteral("%1/frmEmailMarketingLists_%2_%3.png")
                                           .arg(QStringLiteral(QV_GRAB_DIR), language)
                                           .arg(i)));
        }
    }

private:
    QString FNoHome;
};

QTEST_MAIN(tst_frmEmailMarketingLists)
#include "tst_frmEmailMarketingLists.moc"
