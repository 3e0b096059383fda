// TdmPluginEmailMarketingMain: shut-down questions, menus and first-start steps, the timer entry,
// the global send settings in section "EMLMARK", the DNS fallback, and the company sender address
// handed to lists (also from many threads at once).

#include "dmPluginEmailMarketingMain.h"

#include "ClientPluginBase.h"
#include "DBFieldSchema.h"
#include "DNSEmailSender.h"
#include "MAPIMailSender.h"
#include "Database.h"
#include "HostDoubles.h"
#include "InterruptedJobs.h"
#include "JobProcessLock.h"
#include "PendingSentList.h"
#include "MenuModel.h"
#include "ModuleLoader.h"
#include "PelmarisPlugin.h"
#include "PluginModuleRegistration.h"
#include "QVMainInterface.h"
#include "QVException.h"
#include "QVFirstStart.h"
#include "ScreenService.h"
#include "ScriptedEmailSender.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "TestDatabase.h"
#include "VRNLang.h"

#include <QFile>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <functional>
#include <future>
#include <thread>
#include <vector>

using namespace emailmarketing;
using hostapi::TModalResult;
using testsupport::ScriptedEmailSender;
using testsupport::TestDatabase;

Q_DECLARE_METATYPE(QList<int>)

namespace {

const QString Section = QStringLiteral("EMLMARK");

QString StoredText(const QString& AKey) {
    return hostapi::SettingsStore::Instance().ReadString(Section, AKey);
}

// A data module whose jobs are scripted.
struct Fixture {
    TestDatabase Db;
    testsupport::FakeClock Clock;
    TdmPluginEmailMarketingMain Dm{nullptr};

    Fixture() {
        Dm.Jobs().SetClock(Clock.Clock());
        Dm.Jobs().SetLocalJobFactory(
            [](QObject* AOwner, qint32 AID, std::shared_ptr<TEmailListItem> AList, TEmailStyle AStyle) {
                return new ScriptedEmailSender(AOwner, AID, std::move(AList), AStyle);
            });
    }
    ScriptedEmailSender* Create(qint32 ATemplateID) {
        auto* job = static_cast<ScriptedEmailSender*>(
            Dm.Jobs().CreateJob(tjLocal, ATemplateID, testsupport::MakeList(), esPlainText));
        testsupport::MakeReady(*job);
        return job;
    }
    // A job whose sender thread idles until it is terminated.
    ScriptedEmailSender* CreateSending(qint32 ATemplateID) {
        ScriptedEmailSender* job = Create(ATemplateID);
        job->SendBody = [](TMethodeCallThread& T) { testsupport::IdleUntilTerminated(T); };
        job->AddState({jsPrepared});
        job->Send();
        return job;
    }
};

qint64 AddAddress(const QString& company, const QString& name, const QString& surname, const QString& email) {
    return hostapi::Database::InsertRow(QStringLiteral("pelm_addresses_ass"),
                                        {QStringLiteral("companyname"), QStringLiteral("name"),
                                         QStringLiteral("surname"), QStringLiteral("email1")},
                                        {company, name, surname, email});
}

std::shared_ptr<TEmailListItem> GlobalList(TdmPluginEmailMarketingMain& ADm) {
    auto list = testsupport::MakeList();
    ADm.ConnectGlobalCallbacks(*list);
    list->SetUseGlobalAddress(true);
    list->SetUseGlobalMailServer(true);
    list->SetUseGlobalSendSettings(true);
    list->SetUseGlobalRegisterService(true);
    list->SetUseGlobalSMSProvider(true);
    return list;
}

// Getter and setter of one property, by name, over QVariant.
struct Accessor {
    std::function<QVariant(TdmPluginEmailMarketingMain&)> Get;
    std::function<void(TdmPluginEmailMarketingMain&, const QVariant&)> Set;
};

template <class T>
Accessor Make(T (TdmPluginEmailMarketingMain::*AGet)() const, void (TdmPluginEmailMarketingMain::*ASet)(T)) {
    return {[AGet](TdmPluginEmailMarketingMain& d) { return QVariant::fromValue((d.*AGet)()); },
            [ASet](TdmPluginEmailMarketingMain& d, const QVariant& v) { (d.*ASet)(v.value<T>()); }};
}

Accessor MakeText(QString (TdmPluginEmailMarketingMain::*AGet)() const,
                  void (TdmPluginEmailMarketingMain::*ASet)(const QString&)) {
    return {[AGet](TdmPluginEmailMarketingMain& d) { return QVariant((d.*AGet)()); },
            [ASet](TdmPluginEmailMarketingMain& d, const QVariant& v) { (d.*ASet)(v.toString()); }};
}

template <class E>
Accessor MakeEnum(E (TdmPluginEmailMarketingMain::*AGet)() const,
                  void (TdmPluginEmailMarketingMain::*ASet)(E)) {
    return {
        [AGet](TdmPluginEmailMarketingMain& d) { return QVariant(static_cast<int>((d.*AGet)())); },
        [ASet](TdmPluginEmailMarketingMain& d, const QVariant& v) { (d.*ASet)(static_cast<E>(v.toInt())); }};
}

Accessor PropertyByName(const QString& AName) {
    using D = TdmPluginEmailMarketingMain;
    static const QHash<QString, Accessor> accessors{
        {"GlobalReplyEmailAddressField",
         MakeText(&D::GlobalReplyEmailAddressField, &D::SetGlobalReplyEmailAddressField)},
        {"GlobalSenderEmail", MakeText(&D::GlobalSenderEmail, &D::SetGlobalSenderEmail)},
        {"StateID_AfterCreate", Make<qint64>(&D::StateID_AfterCreate, &D::SetStateID_AfterCreate)},
        {"StateID_AfterSuccSend", Make<qint64>(&D::StateID_AfterSuccSend, &D::SetStateID_AfterSuccSend)},
        {"GlobalMessageSenderDevice",
         MakeEnum(&D::GlobalMessageSenderDevice, &D::SetGlobalMessageSenderDevice)},
        {"GlobalSMSMessageSenderDevice",
         MakeEnum(&D::GlobalSMSMessageSenderDevice, &D::SetGlobalSMSMessageSenderDevice)},
        {"GlobalMailServer", MakeText(&D::GlobalMailServer, &D::SetGlobalMailServer)},
        {"GlobalAuthentication", Make<bool>(&D::GlobalAuthentication, &D::SetGlobalAuthentication)},
        {"GlobalUserName", MakeText(&D::GlobalUserName, &D::SetGlobalUserName)},
        {"GlobalPassword", MakeText(&D::GlobalPassword, &D::SetGlobalPassword)},
        {"GlobalRegisterServiceFilterEnabled",
         Make<bool>(&D::GlobalRegisterServiceFilterEnabled, &D::SetGlobalRegisterServiceFilterEnabled)},
        {"GlobalFetchRegisterServiceBeforeSending",
         Make<bool>(&D::GlobalFetchRegisterServiceBeforeSending,
                    &D::SetGlobalFetchRegisterServiceBeforeSending)},
        {"GlobalUnitSend", Make<bool>(&D::GlobalUnitSend, &D::SetGlobalUnitSend)},
        {"GlobalUnitCount", Make<int>(&D::GlobalUnitCount, &D::SetGlobalUnitCount)},
        {"GlobalSendThreads", Make<int>(&D::GlobalSendThreads, &D::SetGlobalSendThreads)},
        {"GlobalUnitDelay", Make<int>(&D::GlobalUnitDelay, &D::SetGlobalUnitDelay)},
        {"GlobalThrottle", Make<bool>(&D::GlobalThrottle, &D::SetGlobalThrottle)},
        {"GlobalChaotic", Make<bool>(&D::GlobalChaotic, &D::SetGlobalChaotic)},
    };
    if (!accessors.contains(AName))
        throw hostapi::EQVException(QStringLiteral("no accessor for %1").arg(AName));
    return accessors.value(AName);
}

} // namespace

class tst_dmPluginEmailMarketingMain : public QObject {
    Q_OBJECT

private slots:
    void canShutDown_data();
    void canShutDown();
    void menusAndFirstStartSteps_data();
    void menusAndFirstStartSteps();
    void mailingWindowOpensByItsClassName();
    void startClosesInterruptedMailings();
    void attachmentFileOptionsFollowTheLanguage();
    void timerTickFreesSentJobAndAutoStartsDueJob();
    void settingsRoundTrip_data();
    void settingsRoundTrip();
    void settingsFallbacks_data();
    void settingsFallbacks();
    void dnsServer_data();
    void dnsServer();
    void listCallbacksAnswerTheGlobalSettings();
    void companySenderAddress_data();
    void companySenderAddress();
    void companyChangesShow();
    void eightThreadsReadWhileAddressIsReset();
    void registerServiceAvailabilityFollowsTheModule();
    void templatesChangedReachesTheHandlerOnTheGuiThread();
};

// Jobs: "idle", "sending"; answers to the questions in order; the expected texts of the questions.
void tst_dmPluginEmailMarketingMain::canShutDown_data() {
    QTest::addColumn<bool>("idleJob");
    QTest::addColumn<bool>("sendingJob");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<int>("jobsLeft");
    const QString first =
        QStringLiteral("Achtung: Es sind noch Jobs aktiv. Möchten Sie das Programm jetzt wirklich beenden?\n"
                       "Alle mit dem Zeitplaner geplanten Jobs werden abgebrochen!");
    const QString second = QStringLiteral("Achtung: Es laufen zur Zeit noch Jobs die Emails verschicken!\n"
                                          "Wenn Sie jetzt beenden wird der Versand abgebrochen und nicht "
                                          "allen gewünschten Empfängern wird eine "
                                          "Email zugestellt!");
    QTest::newRow("no job: no dialog") << false << false << QList<int>{} << QStringList{} << true << 0;
    QTest::newRow("idle job, ignore")
        << true << false << QList<int>{hostapi::mrIgnore} << QStringList{first} << true << 0;
    QTest::newRow("idle job, no") << true << false << QList<int>{hostapi::mrNo} << QStringList{first} << false
                                  << 1;
    QTest::newRow("idle job, cancel")
        << true << false << QList<int>{hostapi::mrCancel} << QStringList{first} << false << 1;
    QTest::newRow("sending job, no in first")
        << true << true << QList<int>{hostapi::mrNo} << QStringList{first} << false << 2;
    QTest::newRow("sending job, ignore then no")
        << true << true << QList<int>{hostapi::mrIgnore, hostapi::mrNo} << QStringList{first, second} << false
        << 1;
    QTest::newRow("sending job, ignore then cancel")
        << false << true << QList<int>{hostapi::mrIgnore, hostapi::mrCancel} << QStringList{first, second}
        << false << 1;
    QTest::newRow("sending job, ignore twice")
        << true << true << QList<int>{hostapi::mrIgnore, hostapi::mrIgnore} << QStringList{first, second}
        << true << 1;
}

void tst_dmPluginEmailMarketingMain::canShutDown() {
    QFETCH(bool, idleJob);
    QFETCH(bool, sendingJob);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, questions);
    QFETCH(bool, expected);
    QFETCH(int, jobsLeft);

    testsupport::ScriptedDialogService dialogs;
    for (int answer : answers)
        dialogs.AddAnswer(static_cast<TModalResult>(answer));
    Fixture f;
    ScriptedEmailSender* sending = sendingJob ? f.CreateSending(1) : nullptr;
    if (idleJob)
        f.Create(2);

    QCOMPARE(f.Dm.CanShutDown(), expected);
    QCOMPARE(dialogs.Questions.size(), questions.size());
    for (int i = 0; i < questions.size(); ++i) {
        QCOMPARE(dialogs.Questions[i].Text, questions[i]);
        QCOMPARE(dialogs.Questions[i].Type, hostapi::mtWarning);
        QCOMPARE(dialogs.Questions[i].Buttons, hostapi::mbNo | hostapi::mbCancel | hostapi::mbIgnore);
        QCOMPARE(dialogs.Questions[i].HelpContext, 0);
    }
    QCOMPARE(f.Dm.Jobs().Count(), jobsLeft);
    if (sending)
        QVERIFY2(f.Dm.Jobs().IndexOf(sending) >= 0, "the sending job is left to BeforeUnInit");

    f.Dm.BeforeUnInit();
    QCOMPARE(f.Dm.Jobs().Count(), 0);
}

void tst_dmPluginEmailMarketingMain::menusAndFirstStartSteps_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("configuration");
    QTest::addColumn<QString>("lists");
    QTest::addColumn<QString>("delivery");
    QTest::addColumn<QStringList>("steps"); // title and description of each step
    QTest::newRow("German") << "German"
                            << "Konfiguration"
                            << "Verteilerlisten"
                            << "Versand"
                            << QStringList{"Emailserver Konfigurieren",
                                           "Emailserver für den Versand von Emails konfigurieren.",
                                           "SMS-Provider Konfigurieren",
                                           "SMS-Provider für den Versand von SMS-Nachrichten konfigurieren."};
    QTest::newRow("English") << "English"
                             << "Configuration"
                             << "Deliverylists"
                             << "Delivery"
                             << QStringList{"Configure e-mail server",
                                            "Configure the e-mail server for sending e-mails.",
                                            "Configure SMS provider",
                                            "Configure the SMS provider for sending SMS messages."};
    QTest::newRow("French") << "French"
                            << "Configuration"
                            << "Listes de diffusion"
                            << "Envoi"
                            << QStringList{"Configurer le serveur de messagerie",
                                           "Configurer le serveur de messagerie pour l'envoi d'e-mails.",
                                           "Configurer le fournisseur SMS",
                                           "Configurer le fournisseur SMS pour l'envoi de messages SMS."};
    QTest::newRow("Italian") << "Italian"
                             << "Configurazione"
                             << "Liste di distribuzione"
                             << "Invio"
                             << QStringList{"Configurare il server e-mail",
                                            "Configurare il server e-mail per l'invio di e-mail.",
                                            "Configurare il provider SMS",
                                            "Configurare il provider SMS per l'invio di messaggi SMS."};
}

void tst_dmPluginEmailMarketingMain::menusAndFirstStartSteps() {
    QFETCH(QString, language);
    QFETCH(QString, configuration);
    QFETCH(QString, lists);
    QFETCH(QString, delivery);

    TestDatabase db;
    RegisterModuleClasses();
    RegisterFormClasses();
    hostapi::TClientPluginBaseGUI plugin(PluginModuleGUID(), 0, PluginDataModuleClasses(),
                                         PluginFormClasses(), true);
    plugin.CreateDataModules();
    auto* dm = qobject_cast<TdmPluginEmailMarketingMain*>(plugin.DataModules().first());
    QVERIFY(dm);
    QCOMPARE(dmPluginEmailMarketingMain, dm);
    dm->SetLanguage(language);

    const hostapi::MenuModel menus = hostapi::MenuModel::FromPlugins({&plugin});
    QCOMPARE(menus.SectionCaptions(), (QStringList{configuration, QStringLiteral("Email Marketing")}));
    const QList<hostapi::TMenuEntry> config = menus.Entries(configuration);
    QCOMPARE(config.size(), 1);
    QCOMPARE(config[0].Item.MenuTitle, QStringLiteral("Email Marketing"));
    QCOMPARE(config[0].Item.PluginFormClassName, QStringLiteral("TfrmPluginEmailMarketingGlobalSettings"));
    QCOMPARE(config[0].Item.GlobalMenuIconIndex, 215);
    QCOMPARE(config[0].Item.Loading, hostapi::pfldTemporary);
    const QList<hostapi::TMenuEntry> work = menus.Entries(QStringLiteral("Email Marketing"));
    QCOMPARE(work.size(), 2);
    QCOMPARE(work[0].Item.MenuTitle, lists);
    QCOMPARE(work[0].Item.PluginFormClassName, QStringLiteral("TfrmEmailMarketingLists"));
    QCOMPARE(work[0].Item.MenuType, hostapi::pmtWorkMenu);
    QCOMPARE(work[0].Item.GlobalMenuIconIndex, 216);
    QCOMPARE(work[1].Item.MenuTitle, delivery);
    QCOMPARE(work[1].Item.PluginFormClassName, QStringLiteral("TfrmEmailMarketing"));
    QCOMPARE(work[1].Item.MenuType, hostapi::pmtWorkMenu);
    QCOMPARE(work[1].Item.GlobalMenuIconIndex, 215);

    const QList<hostapi::TQVFirstStart*> firstStarts = plugin.FindComponents<hostapi::TQVFirstStart>();
    QCOMPARE(firstStarts.size(), 1);
    QCOMPARE(firstStarts[0]->Priority(), 10000);
    QCOMPARE(firstStarts[0]->Title(), QStringLiteral("Email Marketing"));
    const QList<hostapi::TQVFirstStartItem> items = firstStarts[0]->Items();
    QFETCH(QStringList, steps);
    QCOMPARE(items.size(), 2);
    QCOMPARE((QStringList{items[0].Title, items[0].Description, items[1].Title, items[1].Description}),
             steps);
    for (const hostapi::TQVFirstStartItem& step : items) {
        QCOMPARE(step.PluginFormClassName, QStringLiteral("TfrmPluginEmailMarketingGlobalSettings"));
        QCOMPARE(step.Index, int(&step - items.data()));
    }
    dm->SetLanguage(QStringLiteral("German"));
    QCOMPARE(firstStarts[0]->Items().at(0).Title, QStringLiteral("Emailserver Konfigurieren"));
}

void tst_dmPluginEmailMarketingMain::mailingWindowOpensByItsClassName() {
    TestDatabase db;
    RegisterModuleClasses();
    RegisterFormClasses();
    hostapi::TClientPluginBaseGUI plugin(PluginModuleGUID(), 0, PluginDataModuleClasses(),
                                         PluginFormClasses(), true);
    plugin.CreateDataModules();
    hostapi::ScreenService screen([&plugin](const QString&) { return &plugin; });
    hostapi::TPluginForm* mailing =
        screen.OpenPluginForm(PluginModuleGUID(), QStringLiteral("TfrmEmailMarketing"), QVariant());
    QVERIFY(mailing);
    QCOMPARE(QString::fromLatin1(mailing->metaObject()->className()),
             QStringLiteral("emailmarketing::TfrmEmailMarketing"));
    QCOMPARE(mailing->windowTitle(), QStringLiteral("Email Marketing Mailversand"));
    QCOMPARE(plugin.Forms().size(), 1);
    delete mailing;
    QVERIFY(plugin.Forms().isEmpty());
    // The first-start steps open the settings window on the step's page.
    RegisterDNSEmailSenderClasses();
    RegisterMAPIMailSenderClass();
    hostapi::TQVMainInterface::SetScreen(&screen);
    auto* firstStart = plugin.FindComponents<hostapi::TQVFirstStart>().first();
    const QStringList pages{QStringLiteral("tbsEmailserver"), QStringLiteral("tbsSMSProvider")};
    for (int step : {1, 0, 1}) {
        firstStart->Link(step);
        QCOMPARE(plugin.Forms().size(), 1);
        auto* pageControl = plugin.Forms().first()->findChild<QTabWidget*>(QStringLiteral("pcMain"));
        QVERIFY(pageControl);
        QCOMPARE(pageControl->currentWidget()->objectName(), pages.at(step));
    }
    hostapi::TQVMainInterface::SetScreen(nullptr);
    plugin.CloseForms();
    UnRegisterMAPIMailSenderClass();
    UnRegisterDNSEmailSenderClasses();
}

void tst_dmPluginEmailMarketingMain::attachmentFileOptionsFollowTheLanguage() {
    Fixture f;
    auto& schema = hostapi::TDBFieldSchema::Instance().RequireSchema(QStringLiteral("emlattachements"));
    const QStringList expected{QStringLiteral("0=Email nicht versenden wenn Datei nicht existiert\r\n"
                                              "1=Anlage entfernen wenn Datei nicht existiert"),
                               QStringLiteral("0=Do not send the e-mail if the file does not exist\r\n"
                                              "1=Remove the attachment if the file does not exist"),
                               QStringLiteral("0=Ne pas envoyer l'e-mail si le fichier n'existe pas\r\n"
                                              "1=Retirer la pièce jointe si le fichier n'existe pas"),
                               QStringLiteral("0=Non inviare l'e-mail se il file non esiste\r\n"
                                              "1=Rimuovere l'allegato se il file non esiste")};
    for (qsizetype i = 0; i < hostapi::TVRNLang::LanguageNames().size(); ++i) {
        f.Dm.SetLanguage(hostapi::TVRNLang::LanguageNames().at(i));
        QCOMPARE(schema.FieldListData(QStringLiteral("fileoptions")), expected.at(i));
    }
    f.Dm.SetLanguage(QStringLiteral("German"));
}

void tst_dmPluginEmailMarketingMain::timerTickFreesSentJobAndAutoStartsDueJob() {
    testsupport::RecordingExceptionDisplay display;
    Fixture f;
    QCOMPARE(f.Dm.AutostartTimer()->interval(), 60000);
    QVERIFY(f.Dm.AutostartTimer()->isActive());
    ScriptedEmailSender* sent = f.Create(1);
    sent->SetState({jsInitialized, jsPrepared, jsSent});
    ScriptedEmailSender* due = f.Create(2);
    due->SetAutoStart(true);
    due->SetAutoStartDate(f.Clock.Base.addSecs(-60));
    // The preparation is still running when the tick calls Send, and sending goes on until the end.
    std::promise<void> preparing;
    due->PrepareBody = [&](TMethodeCallThread& T) {
        preparing.set_value();
        testsupport::IdleUntilTerminated(T);
    };
    due->SendBody = [](TMethodeCallThread& T) { testsupport::IdleUntilTerminated(T); };
    ScriptedEmailSender* later = f.Create(3);
    later->SetAutoStart(true);
    later->SetAutoStartDate(f.Clock.Base.addSecs(3600));

    f.Dm.tmrCheckAutostartTimer();

    QCOMPARE(f.Dm.Jobs().Count(), 2);
    QCOMPARE(f.Dm.Jobs().IndexOf(sent), -1);
    QVERIFY(due->State().Contains(jsAutoStarted));
    QVERIFY(due->State().Contains(jsSending));
    preparing.get_future().wait();
    QCOMPARE(due->PrepareRuns.load(), 1);
    QVERIFY(display.Records().isEmpty());
    QVERIFY(!later->State().Contains(jsAutoStarted));
    QCOMPARE(later->PrepareRuns.load(), 0);
}

void tst_dmPluginEmailMarketingMain::settingsRoundTrip_data() {
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    auto row = [](const char* property, const QVariant& value, const char* key, const QString& stored) {
        QTest::newRow(property) << QString::fromLatin1(property) << value << QString::fromLatin1(key)
                                << stored;
    };
    row("GlobalReplyEmailAddressField", QStringLiteral("email2"), "globadrefld", QStringLiteral("email2"));
    row("GlobalSenderEmail", QStringLiteral(" info@example.com\n"), "DEFSENDEREMAIL",
        hostapi::StrToStringData(QStringLiteral(" info@example.com\n")));
    row("StateID_AfterCreate", QVariant::fromValue<qint64>(7), "sidac", QStringLiteral("7"));
    row("StateID_AfterSuccSend", QVariant::fromValue<qint64>(-1), "sidass", QStringLiteral("-1"));
    row("GlobalMessageSenderDevice", int(msdMAPI), "DEFEMLP", QStringLiteral("2"));
    row("GlobalSMSMessageSenderDevice", int(smsdLOX24), "DEFSMSP", QStringLiteral("1"));
    row("GlobalMailServer", QStringLiteral("smtp.example.com:587"), "DEFEMLSRV",
        QStringLiteral("smtp.example.com:587"));
    row("GlobalAuthentication", true, "DEFSRVAUTH", QStringLiteral("1"));
    row("GlobalUserName", QStringLiteral("Müller"), "DEFSRVUSR", QStringLiteral("Müller"));
    row("GlobalPassword", QStringLiteral("p=ss\\word"), "DEFSRVPAS",
        hostapi::StrToStringData(QStringLiteral("p=ss\\word")));
    row("GlobalRegisterServiceFilterEnabled", true, "DEFRSENA", QStringLiteral("1"));
    row("GlobalFetchRegisterServiceBeforeSending", true, "DEFRSFETCH", QStringLiteral("1"));
    row("GlobalUnitSend", true, "DEFUNITSEND", QStringLiteral("1"));
    row("GlobalUnitCount", 250, "DEFUNITCOUNT", QStringLiteral("250"));
    row("GlobalSendThreads", 4, "DEFTHREADCOUNT", QStringLiteral("4"));
    row("GlobalUnitDelay", 15, "DEFUNITDELAY", QStringLiteral("15"));
    row("GlobalThrottle", true, "DEFTHROT", QStringLiteral("1"));
    row("GlobalChaotic", true, "DEFCHAOTIC", QStringLiteral("1"));
}

void tst_dmPluginEmailMarketingMain::settingsRoundTrip() {
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    Fixture f;
    const Accessor accessor = PropertyByName(property);
    accessor.Set(f.Dm, value);
    QCOMPARE(StoredText(key), stored);
    QCOMPARE(accessor.Get(f.Dm), value);
    // A second data module sees the value: nothing is cached.
    TdmPluginEmailMarketingMain other(nullptr);
    QCOMPARE(accessor.Get(other), value);
    if (value.typeId() == QMetaType::Bool) {
        accessor.Set(f.Dm, false);
        QCOMPARE(StoredText(key), QStringLiteral("0"));
        QCOMPARE(accessor.Get(f.Dm), QVariant(false));
    }
}

void tst_dmPluginEmailMarketingMain::settingsFallbacks_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("DEFUNITCOUNT not a number") << "DEFUNITCOUNT"
                                               << "abc"
                                               << "GlobalUnitCount" << QVariant(1000);
    QTest::newRow("DEFUNITCOUNT empty") << "DEFUNITCOUNT"
                                        << ""
                                        << "GlobalUnitCount" << QVariant(1000);
    QTest::newRow("DEFTHREADCOUNT empty") << "DEFTHREADCOUNT"
                                          << ""
                                          << "GlobalSendThreads" << QVariant(1);
    QTest::newRow("DEFTHREADCOUNT not a number") << "DEFTHREADCOUNT"
                                                 << "x2"
                                                 << "GlobalSendThreads" << QVariant(1);
    QTest::newRow("sidac empty") << "sidac"
                                 << ""
                                 << "StateID_AfterCreate" << QVariant::fromValue<qint64>(-1);
    QTest::newRow("sidass not a number") << "sidass"
                                         << "abc"
                                         << "StateID_AfterSuccSend" << QVariant::fromValue<qint64>(-1);
    QTest::newRow("DEFSRVAUTH 2") << "DEFSRVAUTH"
                                  << "2"
                                  << "GlobalAuthentication" << QVariant(false);
    QTest::newRow("DEFTHROT 1") << "DEFTHROT"
                                << "1"
                                << "GlobalThrottle" << QVariant(true);
    QTest::newRow("globadrefld empty")
        << "globadrefld"
        << ""
        << "GlobalReplyEmailAddressField" << QVariant(QStringLiteral("email1"));
}

void tst_dmPluginEmailMarketingMain::settingsFallbacks() {
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, property);
    QFETCH(QVariant, expected);
    Fixture f;
    hostapi::SettingsStore::Instance().WriteString(Section, key, stored);
    QCOMPARE(PropertyByName(property).Get(f.Dm), expected);
}

// resolv.conf content (empty: no file); what the test writes (null: nothing); stored; read.
void tst_dmPluginEmailMarketingMain::dnsServer_data() {
    QTest::addColumn<QString>("resolvConf");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("read");
    const QString machine = QStringLiteral("nameserver 10.0.0.53\nnameserver 10.0.0.54\n");
    QTest::newRow("no key: the machine's first server") << machine << QString() << QString() << "10.0.0.53";
    QTest::newRow("no key, no server") << QString() << QString() << QString() << QString();
    QTest::newRow("machine's server is not stored") << machine << "10.0.0.53"
                                                    << ""
                                                    << "10.0.0.53";
    QTest::newRow("machine's second server is stored") << machine << "10.0.0.54"
                                                       << "10.0.0.54"
                                                       << "10.0.0.54";
    QTest::newRow("another server is stored") << machine << "1.1.1.1"
                                              << "1.1.1.1"
                                              << "1.1.1.1";
    QTest::newRow("any server without machine server") << QString() << "1.1.1.1"
                                                       << "1.1.1.1"
                                                       << "1.1.1.1";
}

void tst_dmPluginEmailMarketingMain::dnsServer() {
    QFETCH(QString, resolvConf);
    QFETCH(QString, written);
    QFETCH(QString, stored);
    QFETCH(QString, read);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("resolv.conf"));
    if (!resolvConf.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(resolvConf.toUtf8());
    }
    Fixture f;
    f.Dm.SetResolvConfPath(path);
    if (!written.isNull())
        f.Dm.SetDNSServer(written);
    QCOMPARE(StoredText(QStringLiteral("DNS")), stored);
    QCOMPARE(f.Dm.DNSServer(), read);
}

void tst_dmPluginEmailMarketingMain::listCallbacksAnswerTheGlobalSettings() {
    Fixture f;
    f.Dm.SetGlobalMessageSenderDevice(msdExtSMTP);
    f.Dm.SetGlobalSMSMessageSenderDevice(smsdLOX24);
    f.Dm.SetGlobalMailServer(QStringLiteral("smtp.example.com"));
    f.Dm.SetGlobalUserName(QStringLiteral("user"));
    f.Dm.SetGlobalPassword(QStringLiteral("secret"));
    f.Dm.SetGlobalAuthentication(true);
    f.Dm.SetGlobalRegisterServiceFilterEnabled(true);
    f.Dm.SetGlobalFetchRegisterServiceBeforeSending(false);
    f.Dm.SetGlobalUnitSend(true);
    f.Dm.SetGlobalUnitCount(50);
    f.Dm.SetGlobalSendThreads(3);
    f.Dm.SetGlobalUnitDelay(2);
    f.Dm.SetGlobalThrottle(true);
    f.Dm.SetGlobalChaotic(true);
    const auto list = GlobalList(f.Dm);
    QCOMPARE(list->MessageSenderDevice(), msdExtSMTP);
    QCOMPARE(list->SMSMessageSenderDevice(), smsdLOX24);
    QCOMPARE(list->MailServer(), QStringLiteral("smtp.example.com"));
    QCOMPARE(list->SendUserName(), QStringLiteral("user"));
    QCOMPARE(list->SendPassword(), QStringLiteral("secret"));
    QCOMPARE(list->SendAuthentication(), true);
    QCOMPARE(list->RegisterServiceFilterEnabled(), true);
    QCOMPARE(list->FetchRegisterServiceBeforeSending(), false);
    QCOMPARE(list->SendPerUnits(), true);
    QCOMPARE(list->MailsPerUnit(), 50);
    QCOMPARE(list->SendThreads(), 3);
    QCOMPARE(list->UnitDelay(), 2);
    QCOMPARE(list->Throttle(), true);
    QCOMPARE(list->Chaotic(), true);
    // Asked at every call.
    f.Dm.SetGlobalUnitCount(70);
    QCOMPARE(list->MailsPerUnit(), 70);
}

void tst_dmPluginEmailMarketingMain::companySenderAddress_data() {
    QTest::addColumn<QString>("companyname");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("replyField");
    QTest::addColumn<QString>("senderName");
    QTest::addColumn<QString>("replyTo");
    QTest::newRow("company name") << "Muster GmbH"
                                  << "Muster"
                                  << "Max"
                                  << ""
                                  << "Muster GmbH"
                                  << "info@muster.de";
    QTest::newRow("no company name") << ""
                                     << "Muster"
                                     << "Max"
                                     << ""
                                     << "Muster Max"
                                     << "info@muster.de";
    QTest::newRow("no names at all") << ""
                                     << ""
                                     << ""
                                     << ""
                                     << " "
                                     << "info@muster.de";
    QTest::newRow("reply field email2 empty") << "Muster GmbH"
                                              << ""
                                              << ""
                                              << "email2"
                                              << "Muster GmbH"
                                              << "";
    QTest::newRow("reply field unknown") << "Muster GmbH"
                                         << ""
                                         << ""
                                         << "nosuchfield"
                                         << "Muster GmbH"
                                         << "";
}

void tst_dmPluginEmailMarketingMain::companySenderAddress() {
    QFETCH(QString, companyname);
    QFETCH(QString, name);
    QFETCH(QString, surname);
    QFETCH(QString, replyField);
    QFETCH(QString, senderName);
    QFETCH(QString, replyTo);
    Fixture f;
    hostapi::TPelmarisPlugin pelmaris;
    pelmaris.SetCompanyAddressID(AddAddress(companyname, name, surname, QStringLiteral("info@muster.de")));
    f.Dm.SetGlobalSenderEmail(QStringLiteral("versand@muster.de"));
    if (!replyField.isEmpty())
        f.Dm.SetGlobalReplyEmailAddressField(replyField);
    const auto list = GlobalList(f.Dm);
    QCOMPARE(list->SenderName(), senderName);
    QCOMPARE(list->SenderEmail(), QStringLiteral("versand@muster.de"));
    QCOMPARE(list->ReplyToEmail(), replyTo);
}

void tst_dmPluginEmailMarketingMain::companyChangesShow() {
    Fixture f;
    hostapi::TPelmarisPlugin pelmaris;
    const qint64 first = AddAddress(QStringLiteral("Erste AG"), {}, {}, QStringLiteral("a@erste.de"));
    const qint64 second = AddAddress(QStringLiteral("Zweite AG"), {}, {}, QStringLiteral("b@zweite.de"));
    pelmaris.SetCompanyAddressID(first);
    const auto list = GlobalList(f.Dm);
    QCOMPARE(list->SenderName(), QStringLiteral("Erste AG"));

    // An edited company record shows after the reset.
    hostapi::Database::Exec(
        QStringLiteral("UPDATE \"pelm_addresses_ass\" SET \"companyname\" = ? WHERE \"id\" = ?"),
        {QStringLiteral("Erste Neu AG"), first});
    QCOMPARE(list->SenderName(), QStringLiteral("Erste AG"));
    f.Dm.ResetGlobalAddressData();
    QCOMPARE(list->SenderName(), QStringLiteral("Erste Neu AG"));

    // Another company id is read at once.
    pelmaris.SetCompanyAddressID(second);
    QCOMPARE(list->SenderName(), QStringLiteral("Zweite AG"));
    QCOMPARE(list->ReplyToEmail(), QStringLiteral("b@zweite.de"));

    // A company without record leaves no other company's data as sender.
    pelmaris.SetCompanyAddressID(second + 100);
    QCOMPARE(list->SenderName(), QString());
    QCOMPARE(list->ReplyToEmail(), QString());
    pelmaris.SetCompanyAddressID(-1);
    pelmaris.SetCompanyAddressID(first);
    QCOMPARE(list->SenderName(), QStringLiteral("Erste Neu AG"));
    pelmaris.SetCompanyAddressID(-1);
    QCOMPARE(list->SenderName(), QString());
}

void tst_dmPluginEmailMarketingMain::eightThreadsReadWhileAddressIsReset() {
    Fixture f;
    hostapi::TPelmarisPlugin pelmaris;
    pelmaris.SetCompanyAddressID(
        AddAddress(QStringLiteral("Muster GmbH"), {}, {}, QStringLiteral("info@muster.de")));
    f.Dm.SetGlobalSenderEmail(QStringLiteral("versand@muster.de"));
    f.Dm.SetGlobalUnitCount(25);
    std::vector<std::shared_ptr<TEmailListItem>> lists;
    for (int i = 0; i < 8; ++i)
        lists.push_back(GlobalList(f.Dm));

    constexpr int kRounds = 40;
    std::atomic<int> wrong{0};
    std::atomic<bool> failed{false};
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            try {
                for (int i = 0; i < kRounds; ++i) {
                    const auto& list = lists[t];
                    if (list->SenderName() != QLatin1String("Muster GmbH") ||
                        list->ReplyToEmail() != QLatin1String("info@muster.de") ||
                        list->SenderEmail() != QLatin1String("versand@muster.de") ||
                        list->MailsPerUnit() != 25)
                        ++wrong;
                }
            } catch (...) {
                failed = true;
            }
            ++finished;
        });
    }
    int resets = 0;
    while (finished.load() < 8) {
        f.Dm.ResetGlobalAddressData();
        ++resets;
        std::this_thread::yield();
    }
    QVERIFY(resets > 0);
    for (auto& thread : threads)
        thread.join();
    QVERIFY(!failed);
    QCOMPARE(wrong.load(), 0);
}

void tst_dmPluginEmailMarketingMain::registerServiceAvailabilityFollowsTheModule() {
    hostapi::ModuleLoader loader;
    hostapi::TQVMainInterface::SetModuleLoader(&loader);
    Fixture f;
    QVERIFY(!f.Dm.RegisterServicePlugin().Available());
    loader.LoadModule(QStringLiteral(QV_REGISTER_SERVICE_STUB));
    QVERIFY(f.Dm.RegisterServicePlugin().Available());
    loader.UnloadAll();
    QVERIFY(!f.Dm.RegisterServicePlugin().Available());
    hostapi::TQVMainInterface::SetModuleLoader(nullptr);
}

void tst_dmPluginEmailMarketingMain::templatesChangedReachesTheHandlerOnTheGuiThread() {
    Fixture f;
    qint64 id = 41;
    f.Dm.TemplatesChanged(&f.Dm, id); // no handler: nothing happens
    QCOMPARE(id, 41);
    QObject* sender = nullptr;
    f.Dm.SetOnTemplatesChanged([&](QObject* Sender, qint64& LastInsertID) {
        sender = Sender;
        LastInsertID += 1;
    });
    QObject import;
    f.Dm.TemplatesChanged(&import, id);
    QCOMPARE(sender, &import);
    QCOMPARE(id, 42);
    bool refused = false;
    std::thread worker([&] {
        try {
            f.Dm.TemplatesChanged(&import, id);
        } catch (const hostapi::EQVAssertion&) {
            refused = true;
        }
    });
    worker.join();
    QVERIFY(refused);
    QCOMPARE(id, 42);
}

void tst_dmPluginEmailMarketingMain::startClosesInterruptedMailings() {
    TestDatabase db;
    const auto addJob = [] {
        return hostapi::Database::InsertRow(QStringLiteral("emljobs"), {QStringLiteral("jobstate")}, {1});
    };
    const qint64 interrupted = addJob();
    const qint64 running = addJob(); // its lock is held, as by a job of another host process
    const qint64 ended = hostapi::Database::InsertRow(QStringLiteral("emljobs"),
                                                      {QStringLiteral("jobstate"), QStringLiteral("enddate")},
                                                      {2, QDateTime::currentDateTime()});
    TPendingSentList::Write(interrupted,
                            {{QStringLiteral("a@example.org"), 1}, {QStringLiteral("b@example.org"), 2}});
    TPendingSentList::Write(running, {{QStringLiteral("c@example.org"), 3}});
    TPendingSentList::Write(9999, {{QStringLiteral("orphan@example.org"), 4}});
    const std::unique_ptr<TJobProcessLock> lock = TJobProcessLock::TryAcquire(running);
    QVERIFY(lock);
    QVERIFY(!TJobProcessLock::TryAcquire(running)); // a second holder is refused, in this process too

    testsupport::RecordingMessageSink sink;
    RegisterModuleClasses();
    hostapi::TClientPluginBaseGUI plugin(PluginModuleGUID(), 0, PluginDataModuleClasses(),
                                         PluginFormClasses(), true);
    plugin.CreateDataModules();
    auto* dm = qobject_cast<TdmPluginEmailMarketingMain*>(plugin.DataModules().first());
    QVERIFY(dm);
    dm->AfterStartup();

    const QString failedText = QStringLiteral("0: ") + TInterruptedJobs::InterruptedText();
    QVERIFY(!testsupport::Value(QStringLiteral("emljobs"), QStringLiteral("enddate"),
                                QStringLiteral("id = ?"), {interrupted})
                 .isNull());
    QCOMPARE(testsupport::Value(QStringLiteral("emljobs"), QStringLiteral("jobstate"),
                                QStringLiteral("id = ?"), {interrupted})
                 .toInt(),
             1);
    QCOMPARE(testsupport::Count(QStringLiteral("emlsentlist"),
                                QStringLiteral("sentstate = 2 AND errormessage = ? AND sentdate IS NOT NULL"),
                                {failedText}),
             3);
    QVERIFY(testsupport::Value(QStringLiteral("emljobs"), QStringLiteral("enddate"), QStringLiteral("id = ?"),
                               {running})
                .isNull());
    QCOMPARE(testsupport::Count(QStringLiteral("emlsentlist"),
                                QStringLiteral("emljobs_id = ? AND sentstate = 0"), {running}),
             1);
    QCOMPARE(testsupport::Value(QStringLiteral("emljobs"), QStringLiteral("jobstate"),
                                QStringLiteral("id = ?"), {ended})
                 .toInt(),
             2);
    QStringList logged;
    for (const auto& message : sink.Messages())
        if (message.Text.startsWith(QStringLiteral("Interrupted mailings")))
            logged << message.Text;
    QCOMPARE(logged, QStringList{TInterruptedJobs::Summary({1, 3})});
    QVERIFY(logged.first().contains(QStringLiteral(": 1;")) &&
            logged.first().endsWith(QStringLiteral(": 3")));

    // A start with nothing left to close says nothing.
    dm->AfterStartup();
    QCOMPARE(testsupport::Count(QStringLiteral("emlsentlist"), QStringLiteral("sentstate = 0")), 1);
    int summaries = 0;
    for (const auto& message : sink.Messages())
        summaries += message.Text.startsWith(QStringLiteral("Interrupted mailings")) ? 1 : 0;
    QCOMPARE(summaries, 1);
}

QTEST_MAIN(tst_dmPluginEmailMarketingMain)
#include "tst_dmPluginEmailMarketingMain.moc"
