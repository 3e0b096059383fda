// The global settings window offscreen: what it loads and saves (also when a load or a save step
// fails), the pages the show parameters and the first-start steps open, the enabling rules, the
// gateway links and credit checks (against the SMS gateway stub), the template states and the
// register-service link; grabs of every page in German and English.

#include "frmPluginEmailMarketingGlobalSettings.h"

#include "ASPSMSMessageSender.h"
#include "ClientPluginBase.h"
#include "DNSEmailSender.h"
#include "Database.h"
#include "FirstStartDialog.h"
#include "HostDoubles.h"
#include "HostLibraries.h"
#include "HttpStub.h"
#include "MAPIMailSender.h"
#include "ModuleLoader.h"
#include "PluginModuleRegistration.h"
#include "QVDBLookupComboBox.h"
#include "QVDBTreeModel.h"
#include "QVDBTreeView.h"
#include "QVException.h"
#include "QVInfoBlock.h"
#include "QVMainInterface.h"
#include "RegionalSettings.h"
#include "RegisterServicePlugin.h"
#include "ScreenService.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "TestDatabase.h"
#include "VRNLang.h"
#include "VorlanaLinkLabel.h"
#include "WindowTestHelpers.h"
#include "dmPluginEmailMarketingMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSet>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <functional>
#include <memory>
#include <optional>

using namespace emailmarketing;
using testsupport::Find;
using testsupport::HttpStub;
using testsupport::TestDatabase;
using Window = TfrmPluginEmailMarketingGlobalSettings;

namespace {

const QString Section = QStringLiteral("EMLMARK");

// Every key the window writes on close.
const QStringList AllKeys{
    "DNS",         "GLOBADREFLD",  "DEFSENDEREMAIL", "SIDASS",       "SIDAC",    "ASPSMSUSER",
    "ASPSMSPASS",  "LOX24ACC",     "LOX24PASS",      "LOX24APIID",   "DEFSMSP",  "DEFEMLP",
    "DEFEMLSRV",   "DEFSRVAUTH",   "DEFSRVUSR",      "DEFSRVPAS",    "DEFRSENA", "DEFRSFETCH",
    "DEFUNITSEND", "DEFUNITCOUNT", "DEFTHREADCOUNT", "DEFUNITDELAY", "DEFTHROT", "DEFCHAOTIC"};

// The host's settings store that records the keys written and raises on one key's read or write.
class FailingSettings : public hostapi::ISettingsStore {
public:
    FailingSettings() { hostapi::TQVMainInterface::SetSaveSettings(this); }
    ~FailingSettings() override { hostapi::TQVMainInterface::SetSaveSettings(nullptr); }
    QString ReadString(const QString& s, const QString& k) override {
        Check(FailRead, k);
        if (OnRead)
            OnRead(k);
        return Real().ReadString(s, k);
    }
    void WriteString(const QString& s, const QString& k, const QString& v) override {
        Check(FailWrite, k);
        Written.insert(k.toUpper());
        Real().WriteString(s, k, v);
    }
    int ReadInteger(const QString& s, const QString& k, int d) override {
        Check(FailRead, k);
        return Real().ReadInteger(s, k, d);
    }
    void WriteInteger(const QString& s, const QString& k, int v) override {
        Check(FailWrite, k);
        Written.insert(k.toUpper());
        Real().WriteInteger(s, k, v);
    }
    void Flush() override {}
    QString FailRead;
    QString FailWrite;
    std::function<void(const QString& AKey)> OnRead;
    QSet<QString> Written;

private:
    static hostapi::ISettingsStore& Real() { return hostapi::SettingsStore::Instance(); }
    static void Check(const QString& AFail, const QString& AKey) {
        if (!AFail.isEmpty() && AKey.compare(AFail, Qt::CaseInsensitive) == 0)
            throw hostapi::EQVException(QStringLiteral("settings store failed on %1").arg(AKey));
    }
};

QStringList StoredRows() {
    QSqlQuery q = hostapi::Database::Exec(
        QStringLiteral(R"(SELECT "section", "key", "value" FROM qvsettings ORDER BY "section", "key")"));
    QStringList rows;
    while (q.next())
        rows << q.value(0).toString() + '/' + q.value(1).toString() + '=' + q.value(2).toString();
    return rows;
}

void WriteText(const QString& AKey, const QString& AValue) {
    hostapi::SettingsStore::Instance().WriteString(Section, AKey, hostapi::StrToStringData(AValue));
}

QString ReadText(const QString& AKey) {
    return hostapi::StringDataToStr(hostapi::SettingsStore::Instance().ReadString(Section, AKey), true);
}

// What the window's controls show, one "name=value" per control.
QStringList Controls(Window& w) {
    QStringList out;
    for (QComboBox* c : w.findChildren<QComboBox*>()) {
        if (auto* lookup = qobject_cast<hostapi::QVDBLookupComboBox*>(c))
            out << c->objectName() + '=' + lookup->Value().toString();
        else if (!c->objectName().startsWith(QLatin1String("qt_")))
            out << c->objectName() + '=' + c->currentText();
    }
    for (QLineEdit* e : w.findChildren<QLineEdit*>())
        if (!e->objectName().isEmpty() && !e->objectName().startsWith(QLatin1String("qt_")))
            out << e->objectName() + '=' + e->text();
    for (QCheckBox* b : w.findChildren<QCheckBox*>())
        out << b->objectName() + '=' + QString::number(b->isChecked());
    for (QRadioButton* b : w.findChildren<QRadioButton*>())
        out << b->objectName() + '=' + QString::number(b->isChecked());
    for (QSpinBox* s : w.findChildren<QSpinBox*>())
        out << s->objectName() + '=' + QString::number(s->value());
    out.sort();
    return out;
}

struct Fixture {
    TestDatabase Db;
    QTemporaryDir Dir;
    testsupport::ScriptedDialogService Dialogs;
    testsupport::RecordingExceptionDisplay Shown;
    testsupport::RecordingUrlOpener Urls;
    std::optional<TdmPluginEmailMarketingMain> Dm;

    explicit Fixture(bool AWithDataModule = true) {
        if (AWithDataModule) {
            Dm.emplace(nullptr);
            QFile resolv(Dir.filePath(QStringLiteral("resolv.conf")));
            if (!resolv.open(QIODevice::WriteOnly) ||
                resolv.write("nameserver 192.0.2.53\nnameserver 192.0.2.54\n") < 0)
                qFatal("resolv.conf not written");
            resolv.close();
            Dm->SetResolvConfPath(resolv.fileName());
        }
        hostapi::RegionalSettings::SetLocale(QLocale(QLocale::German, QLocale::Germany));
    }
    ~Fixture() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    std::unique_ptr<Window> Open(const QVariant& AParams = {}) {
        auto w = std::make_unique<Window>();
        w->SetShowParams(AParams);
        w->show();
        w->NotifyShown();
        return w;
    }
    // Seeds every setting with a value other than its default; answers the two template state ids.
    QPair<qint64, qint64> Seed() {
        const qint64 draft = hostapi::Database::InsertRow(
            QStringLiteral("emltemplstates"), {QStringLiteral("descr")}, {QStringLiteral("Entwurf")});
        const qint64 sent = hostapi::Database::InsertRow(
            QStringLiteral("emltemplstates"), {QStringLiteral("descr")}, {QStringLiteral("Versendet")});
        Dm->SetDNSServer(QStringLiteral("192.0.2.99"));
        Dm->SetGlobalReplyEmailAddressField(QStringLiteral("email2"));
        Dm->SetGlobalSenderEmail(QStringLiteral("news@example.org"));
        Dm->SetStateID_AfterCreate(draft);
        Dm->SetStateID_AfterSuccSend(sent);
        WriteText(QStringLiteral("ASPSMSUser"), QStringLiteral("key-42"));
        WriteText(QStringLiteral("ASPSMSPass"), QStringLiteral("asp secret"));
        WriteText(QStringLiteral("LOX24ACC"), QStringLiteral("lox-konto"));
        WriteText(QStringLiteral("LOX24Pass"), QStringLiteral("lox secret"));
        WriteText(QStringLiteral("LOX24APIID"), QStringLiteral("tarif-7"));
        Dm->SetGlobalSMSMessageSenderDevice(smsdLOX24);
        Dm->SetGlobalMessageSenderDevice(msdExtSMTP);
        Dm->SetGlobalMailServer(QStringLiteral("smtp.example.org:587"));
        Dm->SetGlobalAuthentication(true);
        Dm->SetGlobalUserName(QStringLiteral("kunde"));
        Dm->SetGlobalPassword(QStringLiteral("smtp secret"));
        Dm->SetGlobalRegisterServiceFilterEnabled(true);
        Dm->SetGlobalFetchRegisterServiceBeforeSending(true);
        Dm->SetGlobalUnitSend(true);
        Dm->SetGlobalUnitCount(250);
        Dm->SetGlobalSendThreads(4);
        Dm->SetGlobalUnitDelay(15);
        Dm->SetGlobalThrottle(true);
        Dm->SetGlobalChaotic(true);
        return {draft, sent};
    }
};

// A click on a check box's or radio's indicator, as a user makes it (the control may be wider than
// its text); a disabled control fails the test.
void ClickBox(QWidget& AWindow, const char* AName) {
    QWidget* box = Find<QWidget>(AWindow, AName);
    QVERIFY2(box->isEnabled(), AName);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

QJsonObject Answer(const QString& ABody) {
    return QJsonObject{{"status", 200}, {"body", ABody}};
}

} // namespace

class tst_frmPluginEmailMarketingGlobalSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void closeWithoutChangesWritesEveryKey();
    void reopenShowsTheStoredValues();
    void showParamsChooseThePage_data();
    void showParamsChooseThePage();
    void firstStartStepsOpenTheirPages_data();
    void firstStartStepsOpenTheirPages();
    void enablingRules_data();
    void enablingRules();
    void replyField_data();
    void replyField();
    void gatewayLinks_data();
    void gatewayLinks();
    void passwordsAreMasked_data();
    void passwordsAreMasked();
    void aspsmsCredits();
    void aspsmsCreditsFailure();
    void lox24HasNoCreditQuery();
    void failedLoadKeepsEverySetting_data();
    void failedLoadKeepsEverySetting();
    void failedSaveStepDoesNotStopTheOthers();
    void spinLimits();
    void templateStates();
    void registerServiceLink_data();
    void registerServiceLink();
    void grabEveryPage();
};

void tst_frmPluginEmailMarketingGlobalSettings::initTestCase() {
    hostapi::HostLibraries::Initialize();
    RegisterDNSEmailSenderClasses();
    RegisterMAPIMailSenderClass();
    // No msmtp configuration of the machine's user reaches the server list.
    qputenv("HOME", QDir::tempPath().toUtf8() + "/qv-globalsettings-home-none");
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toUtf8() + "/qv-globalsettings-home-none");
}

void tst_frmPluginEmailMarketingGlobalSettings::cleanupTestCase() {
    UnRegisterMAPIMailSenderClass();
    UnRegisterDNSEmailSenderClasses();
}

void tst_frmPluginEmailMarketingGlobalSettings::closeWithoutChangesWritesEveryKey() {
    Fixture f;
    FailingSettings settings;
    auto w = f.Open();
    QVERIFY(w->Loaded());
    QVERIFY(settings.Written.isEmpty());
    QVERIFY(w->close());
    QStringList written = settings.Written.values();
    written.sort();
    QStringList expected = AllKeys;
    expected.sort();
    QCOMPARE(written, expected);
    QVERIFY(f.Shown.Records().isEmpty());
    // Nothing stored: the defaults went in.
    QCOMPARE(f.Dm->GlobalUnitCount(), 1000);
    QCOMPARE(f.Dm->GlobalSendThreads(), 1);
    QCOMPARE(f.Dm->StateID_AfterCreate(), qint64(-1));
    QCOMPARE(f.Dm->StateID_AfterSuccSend(), qint64(-1));
    QCOMPARE(f.Dm->DNSServer(), QStringLiteral("192.0.2.53"));
}

void tst_frmPluginEmailMarketingGlobalSettings::reopenShowsTheStoredValues() {
    Fixture f;
    const auto [draft, sent] = f.Seed();
    const QStringList before = StoredRows();
    auto w = f.Open();
    const QStringList shown = Controls(*w);
    const QStringList expected{
        "cbChaotic=1",
        "cbGlobalEmailField=E-Mail 2",
        "cbGlobalFetchRegisterServiceBeforeSent=1",
        "cbGlobalRegisterServiceFilter=1",
        QStringLiteral("cbStateAfterCreate=%1").arg(draft),
        QStringLiteral("cbStateAfterSent=%1").arg(sent),
        "cbThrottle=1",
        "cbUnitSend=1",
        "cbUseAuth=1",
        "edtASPSMSPassword=asp secret",
        "edtASPSMSUserKey=key-42",
        "edtDNSServer=192.0.2.99",
        "edtGlobalSenderAddress=news@example.org",
        "edtLOX24APIID=tarif-7",
        "edtLOX24Account=lox-konto",
        "edtLOX24Password=lox secret",
        "edtMailServer=smtp.example.org:587",
        "edtPassword=smtp secret",
        "edtUserName=kunde",
        "rbASPSMS=0",
        "rbLOX24=1",
        "rbUseMAPI=0",
        "rbtnUseMailServer=1",
        "rbtnUseRelay=0",
        "spinSendThreads=4",
        "spinUnitCount=250",
        "spinUnitDelay=15",
    };
    for (const QString& entry : expected)
        QVERIFY2(shown.contains(entry), qPrintable(entry + " not in " + shown.join(", ")));
    QVERIFY(w->close());
    QCOMPARE(StoredRows(), before);
    auto again = f.Open();
    QCOMPARE(Controls(*again), shown);
    QCOMPARE(Find<QComboBox>(*again, "edtDNSServer")->count(), 2);
}

void tst_frmPluginEmailMarketingGlobalSettings::showParamsChooseThePage_data() {
    QTest::addColumn<QVariant>("params");
    QTest::addColumn<QString>("page");
    QTest::newRow("none: the first page") << QVariant() << "tbsEmailserver";
    QTest::newRow("EMAILSERVER") << QVariant(QStringLiteral("EMAILSERVER")) << "tbsEmailserver";
    QTest::newRow("SMSPROVIDER") << QVariant(QStringLiteral("SMSPROVIDER")) << "tbsSMSProvider";
}

void tst_frmPluginEmailMarketingGlobalSettings::showParamsChooseThePage() {
    QFETCH(QVariant, params);
    QFETCH(QString, page);
    Fixture f;
    auto w = f.Open(params);
    QCOMPARE(Find<QTabWidget>(*w, "pcMain")->currentWidget()->objectName(), page);
}

void tst_frmPluginEmailMarketingGlobalSettings::firstStartStepsOpenTheirPages_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("page");
    QTest::newRow("Emailserver Konfigurieren") << 0 << "tbsEmailserver";
    QTest::newRow("SMS-Provider Konfigurieren") << 1 << "tbsSMSProvider";
}

void tst_frmPluginEmailMarketingGlobalSettings::firstStartStepsOpenTheirPages() {
    QFETCH(int, step);
    QFETCH(QString, page);
    Fixture f(false);
    RegisterModuleClasses();
    RegisterFormClasses();
    hostapi::TClientPluginBaseGUI plugin(PluginModuleGUID(), 0, PluginDataModuleClasses(),
                                         PluginFormClasses(), true);
    plugin.CreateDataModules();
    hostapi::ScreenService screen([&plugin](const QString&) { return &plugin; });
    hostapi::TQVMainInterface::SetScreen(&screen);
    // The second window opened by a step is the one that exists, moved to the step's page.
    const qvhost::FirstStartSteps steps = qvhost::FirstStartSteps::FromPlugins({&plugin});
    QCOMPARE(steps.Steps().size(), 2);
    steps.Follow(1 - step);
    // The step chosen in the first-start dialog, as the host follows it.
    qvhost::FirstStartDialog dialog(steps);
    dialog.SetChosenStep(step);
    QCOMPARE(dialog.ChosenStep(), step);
    dialog.Steps().Follow(dialog.ChosenStep());
    hostapi::TQVMainInterface::SetScreen(nullptr);
    QCOMPARE(plugin.Forms().size(), 1);
    auto* w = qobject_cast<Window*>(plugin.Forms().first());
    QVERIFY(w);
    QVERIFY(w->Loaded());
    QCOMPARE(Find<QTabWidget>(*w, "pcMain")->currentWidget()->objectName(), page);
    QVERIFY(f.Shown.Records().isEmpty());
    plugin.CloseForms();
}

void tst_frmPluginEmailMarketingGlobalSettings::enablingRules_data() {
    QTest::addColumn<QString>("radio");
    QTest::addColumn<bool>("auth");
    QTest::addColumn<bool>("unitSend");
    QTest::addColumn<QString>("expected");
    const char* relay = "rbtnUseRelay";
    const char* smtp = "rbtnUseMailServer";
    const char* mapi = "rbUseMAPI";
    QTest::newRow("relay with packets") << relay << true << true
                                        << "label=Server: server=0 auth=0 user=0 pass=0 threads=1 units=1 "
                                           "mapiInfo=0 relayInfo=1";
    QTest::newRow("relay without packets") << relay << false << false
                                           << "label=Server: server=0 auth=0 user=0 pass=0 threads=0 units=0 "
                                              "mapiInfo=0 relayInfo=1";
    QTest::newRow("external server with authentication")
        << smtp << true << true
        << "label=SMTP Server: server=1 auth=1 user=1 pass=1 threads=0 units=1 mapiInfo=0 relayInfo=0";
    QTest::newRow("external server without authentication")
        << smtp << false << false
        << "label=SMTP Server: server=1 auth=1 user=0 pass=0 threads=0 units=0 mapiInfo=0 relayInfo=0";
    QTest::newRow("mail program, authentication off")
        << mapi << false << true
        << "label=Konto des Mailprogramms: server=1 auth=0 user=0 pass=1 threads=0 units=1 mapiInfo=1 "
           "relayInfo=0";
    QTest::newRow("mail program, authentication left checked")
        << mapi << true << false
        << "label=Konto des Mailprogramms: server=1 auth=0 user=0 pass=1 threads=0 units=0 mapiInfo=1 "
           "relayInfo=0";
}

void tst_frmPluginEmailMarketingGlobalSettings::enablingRules() {
    QFETCH(QString, radio);
    QFETCH(bool, auth);
    QFETCH(bool, unitSend);
    QFETCH(QString, expected);
    Fixture f;
    auto w = f.Open();
    // The authentication box is set while it can be clicked, then the transport is chosen.
    ClickBox(*w, "rbtnUseMailServer");
    auto* cbUseAuth = Find<QCheckBox>(*w, "cbUseAuth");
    if (cbUseAuth->isChecked() != auth)
        ClickBox(*w, "cbUseAuth");
    ClickBox(*w, radio.toLatin1().constData());
    Find<QTabWidget>(*w, "pcMain")->setCurrentWidget(Find<QWidget>(*w, "cxTabSheet5"));
    auto* cbUnitSend = Find<QCheckBox>(*w, "cbUnitSend");
    if (cbUnitSend->isChecked() != unitSend)
        ClickBox(*w, "cbUnitSend");
    const auto on = [&w](const char* AName) {
        return QString::number(Find<QWidget>(*w, AName)->isEnabled());
    };
    const auto shown = [&w](const char* AName) {
        return QString::number(!Find<QWidget>(*w, AName)->isHidden());
    };
    const QString got =
        QStringLiteral("label=%1 server=%2 auth=%3 user=%4 pass=%5 threads=%6 units=%7 mapiInfo=%8 "
                       "relayInfo=%9")
            .arg(Find<QLabel>(*w, "lblMailServer")->text(), on("edtMailServer"), on("cbUseAuth"),
                 on("edtUserName"), on("edtPassword"), on("spinSendThreads"), on("spinUnitCount"),
                 shown("nfoblgMAPI"), shown("nfoInternalMailServer"));
    QCOMPARE(got, expected);
    // Labels follow their edits; the chaotic option is always open.
    QCOMPARE(Find<QWidget>(*w, "lblUserName")->isEnabled(), Find<QWidget>(*w, "edtUserName")->isEnabled());
    QCOMPARE(Find<QWidget>(*w, "lblPassword")->isEnabled(), Find<QWidget>(*w, "edtPassword")->isEnabled());
    QCOMPARE(Find<QWidget>(*w, "spinUnitDelay")->isEnabled(), unitSend);
    QCOMPARE(Find<QWidget>(*w, "cbThrottle")->isEnabled(), unitSend);
    QVERIFY(Find<QWidget>(*w, "cbChaotic")->isEnabled());
    QVERIFY(f.Shown.Records().isEmpty());
}

void tst_frmPluginEmailMarketingGlobalSettings::replyField_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("saved");
    QTest::newRow("an e-mail field") << "email2"
                                     << "E-Mail 2"
                                     << "email2";
    QTest::newRow("no longer an e-mail field") << "name"
                                               << ""
                                               << "";
    QTest::newRow("unknown field") << "email9"
                                   << ""
                                   << "";
}

void tst_frmPluginEmailMarketingGlobalSettings::replyField() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, saved);
    Fixture f;
    f.Dm->SetGlobalReplyEmailAddressField(stored);
    auto w = f.Open();
    auto* combo = Find<QComboBox>(*w, "cbGlobalEmailField");
    QVERIFY(combo->count() >= 2);
    QCOMPARE(combo->currentText(), shown);
    QCOMPARE(combo->currentIndex() < 0, shown.isEmpty());
    QVERIFY(w->close());
    QCOMPARE(ReadText(QStringLiteral("globadrefld")), saved);
}

void tst_frmPluginEmailMarketingGlobalSettings::gatewayLinks_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("opened");
    QTest::newRow("ASPSMS registration, configured") << "VorlanaLinkLabel1"
                                                     << "ASPSMSREGURL"
                                                     << "https://aspsms.test/signup?ref=qv"
                                                     << "https://aspsms.test/signup?ref=qv";
    QTest::newRow("ASPSMS home, configured") << "QVInfoBlock1"
                                             << "ASPSMSHOMEURL"
                                             << "https://aspsms.test/"
                                             << "https://aspsms.test/";
    QTest::newRow("LOX24 registration, configured") << "VorlanaLinkLabel2"
                                                    << "LOX24REGURL"
                                                    << "https://lox24.test/register"
                                                    << "https://lox24.test/register";
    QTest::newRow("LOX24 home, configured") << "QVInfoBlock2"
                                            << "LOX24HOMEURL"
                                            << "https://lox24.test/"
                                            << "https://lox24.test/";
    QTest::newRow("ASPSMS registration, default") << "VorlanaLinkLabel1"
                                                  << "ASPSMSREGURL"
                                                  << ""
                                                  << "https://www.aspsms.com/en/registration/";
    QTest::newRow("LOX24 home, default") << "QVInfoBlock2"
                                         << "LOX24HOMEURL"
                                         << ""
                                         << "https://www.lox24.eu/";
}

void tst_frmPluginEmailMarketingGlobalSettings::gatewayLinks() {
    QFETCH(QString, control);
    QFETCH(QString, key);
    QFETCH(QString, configured);
    QFETCH(QString, opened);
    Fixture f;
    WriteText(key, configured);
    auto w = f.Open(QStringLiteral("SMSPROVIDER"));
    QWidget* target = Find<QWidget>(*w, control.toLatin1().constData());
    // An information block's link is the link label inside it.
    if (auto* block = qobject_cast<hostapi::TQVInfoBlock*>(target))
        target = block->findChild<hostapi::TVorlanaLinkLabel*>();
    QVERIFY(target);
    QVERIFY(target->isVisible());
    QTest::mouseClick(target, Qt::LeftButton);
    QCOMPARE(f.Urls.Opened, QStringList{opened});
    QVERIFY(f.Shown.Records().isEmpty());
}

void tst_frmPluginEmailMarketingGlobalSettings::passwordsAreMasked_data() {
    QTest::addColumn<QString>("edit");
    QTest::newRow("SMTP") << "edtPassword";
    QTest::newRow("ASPSMS") << "edtASPSMSPassword";
    QTest::newRow("LOX24") << "edtLOX24Password";
}

void tst_frmPluginEmailMarketingGlobalSettings::passwordsAreMasked() {
    QFETCH(QString, edit);
    Fixture f;
    auto w = f.Open();
    QCOMPARE(Find<QLineEdit>(*w, edit.toLatin1().constData())->echoMode(), QLineEdit::Password);
}

void tst_frmPluginEmailMarketingGlobalSettings::aspsmsCredits() {
    HttpStub stub(HttpStub::Script({HttpStub::Route(
        QStringLiteral("/CheckCredits"),
        QJsonArray{Answer(QStringLiteral("{\"Credits\":\"12.5\",\"StatusCode\":\"1\"}"))})}));
    Fixture f;
    WriteText(ASPSMSUrlSettingsKey(), stub.Url({}).toString());
    WriteText(QStringLiteral("ASPSMSUser"), QStringLiteral("stored-key"));
    auto w = f.Open(QStringLiteral("SMSPROVIDER"));
    // The values in the edits count, saved or not.
    auto* user = Find<QLineEdit>(*w, "edtASPSMSUserKey");
    user->clear();
    QTest::keyClicks(user, QStringLiteral("kunde42"));
    QTest::keyClicks(Find<QLineEdit>(*w, "edtASPSMSPassword"), QStringLiteral("pw 1"));
    f.Dialogs.AddAnswer(hostapi::mrOk);
    // The gateway's address is read while the hourglass shows.
    FailingSettings settings;
    QList<int> cursors;
    settings.OnRead = [&cursors](const QString& AKey) {
        if (AKey == ASPSMSUrlSettingsKey())
            cursors << (QApplication::overrideCursor() ? int(QApplication::overrideCursor()->shape()) : -1);
    };
    testsupport::Click(*w, "btnASPSMSCheckCredits");
    QCOMPARE(cursors, QList<int>{int(Qt::WaitCursor)});
    QCOMPARE(f.Dialogs.Questions.size(), 1);
    QCOMPARE(f.Dialogs.Questions[0].Text, QStringLiteral("Sie haben 12,5 Credits auf diesem SMS-Account."));
    QCOMPARE(f.Dialogs.Questions[0].Type, hostapi::mtInformation);
    QCOMPARE(f.Dialogs.Questions[0].Buttons, hostapi::TMsgDlgButtons(hostapi::mbOK));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    const QList<QJsonObject> requests = stub.Requests();
    QCOMPARE(requests.size(), 1);
    QVERIFY(requests[0].value(QStringLiteral("body")).toString().contains(QStringLiteral("\"kunde42\"")));
    QVERIFY(f.Shown.Records().isEmpty());
}

void tst_frmPluginEmailMarketingGlobalSettings::aspsmsCreditsFailure() {
    HttpStub stub(HttpStub::Script({HttpStub::Route(
        QStringLiteral("/CheckCredits"),
        QJsonArray{Answer(QStringLiteral("{\"StatusCode\":\"3\",\"StatusInfo\":\"Bad login\"}"))})}));
    Fixture f;
    WriteText(ASPSMSUrlSettingsKey(), stub.Url({}).toString());
    WriteText(QStringLiteral("ASPSMSUser"), QStringLiteral("kunde42"));
    WriteText(QStringLiteral("ASPSMSPass"), QStringLiteral("falsch"));
    auto w = f.Open(QStringLiteral("SMSPROVIDER"));
    testsupport::Click(*w, "btnASPSMSCheckCredits");
    QVERIFY(f.Dialogs.Questions.isEmpty());
    const auto shown = f.Shown.Records();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].Exception.Message,
             QStringLiteral("The SMS gateway ASPSMS refused: Bad login (status 3)"));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void tst_frmPluginEmailMarketingGlobalSettings::lox24HasNoCreditQuery() {
    HttpStub stub(
        HttpStub::Script({HttpStub::Route(QStringLiteral("/API/httpsms.php"), QJsonArray{Answer({})})}));
    Fixture f;
    WriteText(LOX24UrlSettingsKey(), stub.Url({}).toString());
    WriteText(QStringLiteral("LOX24HOMEURL"), QStringLiteral("https://lox24.test/konto"));
    auto w = f.Open(QStringLiteral("SMSPROVIDER"));
    f.Dialogs.AddAnswer(hostapi::mrOk);
    testsupport::Click(*w, "btnLOX24CheckCredits");
    QCOMPARE(f.Dialogs.Questions.size(), 1);
    const hostapi::TVRNLang lang(QStringLiteral("frmPluginEmailMarketingGlobalSettings"));
    QCOMPARE(f.Dialogs.Questions[0].Text,
             lang.Text(QStringLiteral("IDS_NOCREFORLOX")).arg(QStringLiteral("https://lox24.test/konto")));
    QVERIFY(f.Dialogs.Questions[0].Text.contains(QStringLiteral("LOX24")));
    QCOMPARE(f.Dialogs.Questions[0].Type, hostapi::mtError);
    QCOMPARE(f.Dialogs.Questions[0].Buttons, hostapi::TMsgDlgButtons(hostapi::mbOK));
    QVERIFY(stub.Requests().isEmpty());
}

void tst_frmPluginEmailMarketingGlobalSettings::failedLoadKeepsEverySetting_data() {
    QTest::addColumn<QString>("key");
    QTest::newRow("a global setting early (DNS)") << "DNS";
    QTest::newRow("an SMS account late (LOX24Pass)") << "LOX24Pass";
    QTest::newRow("the last setting (DEFCHAOTIC)") << "DEFCHAOTIC";
}

void tst_frmPluginEmailMarketingGlobalSettings::failedLoadKeepsEverySetting() {
    QFETCH(QString, key);
    Fixture f;
    f.Seed();
    const QStringList before = StoredRows();
    FailingSettings settings;
    settings.FailRead = key;
    auto w = std::make_unique<Window>();
    w->show();
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, w->NotifyShown());
    QVERIFY(!w->Loaded());
    QVERIFY(w->close());
    QVERIFY(settings.Written.isEmpty());
    QCOMPARE(StoredRows(), before);
}

void tst_frmPluginEmailMarketingGlobalSettings::failedSaveStepDoesNotStopTheOthers() {
    Fixture f;
    FailingSettings settings;
    settings.FailWrite = QStringLiteral("DEFSRVUSR");
    auto w = f.Open();
    ClickBox(*w, "rbtnUseRelay");
    Find<QComboBox>(*w, "edtDNSServer")->setCurrentText(QStringLiteral("198.51.100.7"));
    Find<QCheckBox>(*w, "cbChaotic")->setChecked(true);
    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    const auto shown = f.Shown.Records();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].Exception.Message, QStringLiteral("Nicht alle Einstellungen wurden gespeichert:\n"
                                                        "settings store failed on DEFSRVUSR"));
    QCOMPARE(settings.Written.size(), AllKeys.size() - 1);
    QCOMPARE(f.Dm->DNSServer(), QStringLiteral("198.51.100.7"));
    QCOMPARE(f.Dm->GlobalMessageSenderDevice(), msdInternal);
    QVERIFY(f.Dm->GlobalChaotic());
    // No template state chosen is stored as -1.
    QCOMPARE(hostapi::SettingsStore::Instance().ReadString(Section, QStringLiteral("sidac")),
             QStringLiteral("-1"));
    settings.FailWrite.clear();
    QVERIFY(w->close());
}

void tst_frmPluginEmailMarketingGlobalSettings::spinLimits() {
    Fixture f;
    f.Dm->SetGlobalUnitCount(0);
    f.Dm->SetGlobalSendThreads(0);
    f.Dm->SetGlobalUnitDelay(5000);
    auto w = f.Open();
    QCOMPARE(Find<QSpinBox>(*w, "spinUnitCount")->minimum(), 1);
    QCOMPARE(Find<QSpinBox>(*w, "spinSendThreads")->minimum(), 1);
    QCOMPARE(Find<QSpinBox>(*w, "spinSendThreads")->maximum(), 100);
    QCOMPARE(Find<QSpinBox>(*w, "spinUnitDelay")->maximum(), 1440);
    QVERIFY(w->close());
    QCOMPARE(f.Dm->GlobalUnitCount(), 1);
    QCOMPARE(f.Dm->GlobalSendThreads(), 1);
    QCOMPARE(f.Dm->GlobalUnitDelay(), 1440);
}

void tst_frmPluginEmailMarketingGlobalSettings::templateStates() {
    Fixture f;
    const auto [draft, sent] = f.Seed();
    auto w = f.Open();
    auto* view = Find<hostapi::QVDBTreeView>(*w, "QVDBTreeView1");
    hostapi::QVDBTreeModel* model = view->TreeModel();
    QVERIFY(model);
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->columnCount(), 2);
    const QModelIndex id = model->index(0, 0);
    const QModelIndex descr = model->index(0, 1);
    QCOMPARE(model->data(id).toString(), QString::number(draft));
    QCOMPARE(model->data(descr).toString(), QStringLiteral("Entwurf"));
    QVERIFY(!(model->flags(id) & Qt::ItemIsEditable));
    QVERIFY(model->flags(descr) & Qt::ItemIsEditable);
    QVERIFY(model->setData(descr, QStringLiteral("In Arbeit")));
    QCOMPARE(testsupport::Value(QStringLiteral("emltemplstates"), QStringLiteral("descr"),
                                QStringLiteral("id = ?"), {draft})
                 .toString(),
             QStringLiteral("In Arbeit"));
    // The choices show the new name and keep their values.
    auto* afterCreate = Find<hostapi::QVDBLookupComboBox>(*w, "cbStateAfterCreate");
    QCOMPARE(afterCreate->currentText(), QStringLiteral("In Arbeit"));
    QCOMPARE(afterCreate->Value().toLongLong(), draft);
    QCOMPARE(Find<hostapi::QVDBLookupComboBox>(*w, "cbStateAfterSent")->Value().toLongLong(), sent);
    afterCreate->SetValue(QVariant());
    QVERIFY(w->close());
    QCOMPARE(f.Dm->StateID_AfterCreate(), qint64(-1));
    QCOMPARE(f.Dm->StateID_AfterSuccSend(), sent);
}

void tst_frmPluginEmailMarketingGlobalSettings::registerServiceLink_data() {
    QTest::addColumn<bool>("recordingScreen");
    QTest::newRow("the module's window 0") << true;
    QTest::newRow("no such window: the screen service's error is shown") << false;
}

void tst_frmPluginEmailMarketingGlobalSettings::registerServiceLink() {
    QFETCH(bool, recordingScreen);
    Fixture f;
    {
        // Without the register service module the page is not offered.
        auto w = f.Open();
        QVERIFY(!Find<QTabWidget>(*w, "pcMain")
                     ->isTabVisible(
                         Find<QTabWidget>(*w, "pcMain")->indexOf(Find<QWidget>(*w, "tbsRegisterService"))));
    }
    hostapi::ModuleLoader loader;
    hostapi::TQVMainInterface::SetModuleLoader(&loader);
    loader.LoadModule(QStringLiteral(QV_REGISTER_SERVICE_STUB));
    {
        std::optional<testsupport::RecordingScreen> recording;
        std::optional<hostapi::ScreenService> screen;
        if (recordingScreen)
            recording.emplace();
        else {
            screen.emplace();
            hostapi::TQVMainInterface::SetScreen(&*screen);
        }
        auto w = f.Open();
        auto* pages = Find<QTabWidget>(*w, "pcMain");
        QVERIFY(pages->isTabVisible(pages->indexOf(Find<QWidget>(*w, "tbsRegisterService"))));
        pages->setCurrentWidget(Find<QWidget>(*w, "tbsRegisterService"));
        testsupport::Click(*w, "VorlanaLinkLabel3");
        if (recordingScreen) {
            QCOMPARE(recording->Opened,
                     QStringList{QStringLiteral("{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10} 0 -")});
            QVERIFY(f.Shown.Records().isEmpty());
        } else {
            hostapi::TQVMainInterface::SetScreen(nullptr);
            QCOMPARE(f.Shown.Records().size(), 1);
            QVERIFY2(f.Shown.Records()[0].Exception.Message.contains(QStringLiteral("{EAD01DCC")),
                     qPrintable(f.Shown.Records()[0].Exception.Message));
        }
        QVERIFY(w->close());
    }
    loader.UnloadAll();
    hostapi::TQVMainInterface::SetModuleLoader(nullptr);
}

void tst_frmPluginEmailMarketingGlobalSettings::grabEveryPage() {
    Fixture f;
    f.Seed();
    hostapi::ModuleLoader loader;
    hostapi::TQVMainInterface::SetModuleLoader(&loader);
    loader.LoadModule(QStringLiteral(QV_REGISTER_SERVICE_STUB));
    {
        auto w = f.Open();
        auto* pages = Find<QTabWidget>(*w, "pcMain");
        for (const QString language : {QStringLiteral("German"), QStringLiteral("English")}) {
            hostapi::TVRNLang::SetCurrentLanguage(language);
            w->SetLanguage(language);
            QCOMPARE(w->windowTitle(), language == QLatin1String("German")
                                           ? QStringLiteral("Konfiguration Email Marketing")
                                           : QStringLiteral("Configuration Email Marketing"));
            for (int i = 0; i < pages->count(); ++i) {
                pages->setCurrentIndex(i);
                QVERIFY(QTest::qWaitForWindowExposed(w.get()));
                QVERIFY(QDir().mkpath(QStringLiteral(QV_GRAB_DIR)));
                QVERIFY(w->grab().save(QStringLiteral("%1/%2_%3_%4.png")
                                           .arg(QStringLiteral(QV_GRAB_DIR), w->objectName(),
                                                pages->widget(i)->objectName(), language),
                                       "PNG"));
            }
        }
        QVERIFY(w->close());
    }
    loader.UnloadAll();
    hostapi::TQVMainInterface::SetModuleLoader(nullptr);
}

QTEST_MAIN(tst_frmPluginEmailMarketingGlobalSettings)
#include "tst_frmPluginEmailMarketingGlobalSettings.moc"
