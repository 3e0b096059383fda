// The distribution-lists window offscreen on a fresh database: new lists, storing and switching,
// the enabling rules, lists in use by a job, renaming and deleting, and the register-service link.
#include "ClientPluginBase.h"
#include "Database.h"
#include "PluginModuleRegistration.h"
#include "EmailListItem.h"
#include "QVMainInterface.h"
#include "ScreenService.h"
#include "VRNLang.h"
#include "dmPluginEmailMarketingMain.h"
#include "frmDBListViewSearch.h"
#include "frmEmailMarketingLists.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

using namespace emailmarketing;
using testsupport::Find;

namespace {

struct Fixture {
    testsupport::TestDatabase Db;
    TdmPluginEmailMarketingMain Dm{nullptr};
    testsupport::ScriptedDialogService Dialogs;

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
    bool SettingsShown() { return Find<QTabWidget>(Form, "PageControl")->isVisible(); }
};

} // namespace

class tst_frmEmailMarketingLists : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

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
        QVERIFY(f.Reloaded(id)->UseGlobalMailServer());
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
                                    << "Server:" << false << false << true;
        QTest::newRow("external SMTP") << "rbtnUseMailServer"
                                       << "SMTP Server:" << true << true << false;
        QTest::newRow("mail program") << "rbUseMAPI"
                                      << "Mailprogramm-Profil:" << true << false << false;
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
        plugin.CloseForms();
    }

    void grabEachTab_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("German") << "German";
        QTest::newRow("English") << "English";
    }
    void grabEachTab() {
        QFETCH(QString, language);
        Fixture f;
        f.AddList(QStringLiteral("Kunden"));
        Window w;
        w.Form.SetLanguage(language);
        w.Select(QStringLiteral("Kunden"));
        auto* pages = Find<QTabWidget>(w.Form, "PageControl");
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QVERIFY(QDir().mkpath(QStringLiteral(QV_GRAB_DIR)));
            QVERIFY(w.Form.grab().save(QStringLiteral("%1/frmEmailMarketingLists_%2_%3.png")
                                           .arg(QStringLiteral(QV_GRAB_DIR), language)
                                           .arg(i)));
        }
    }
};

QTEST_MAIN(tst_frmEmailMarketingLists)
#include "tst_frmEmailMarketingLists.moc"
