#include "ASPSMSMessageSender.h"
#include "ASPSMSSender.h"
#include "HostLibraries.h"
#include "LOX24SMSSender.h"
#include "QVException.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "support/TestDatabase.h"

#include <QCryptographicHash>
#include <QUrlQuery>
#include <QtTest>

using namespace emailmarketing;

namespace {

bool SendSMS(TCustomMessageSender& ASender, const QString& ANumber, const QString& AOriginator,
             const QString& AText) {
    return ASender.SendMessage({}, ANumber, {}, {}, AOriginator, AText, QStringLiteral("<p>html</p>"), true,
                               {}, {}, {}, {}, {}, {});
}

} // namespace

class tst_SMSSender : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void ASPSMSRequestBody();
    void LOX24NeedsUnicode_data();
    void LOX24NeedsUnicode();
    void LOX24SendQuery();
    void LOX24Answer_data();
    void LOX24Answer();
    void ConnectNeedsNoGateway();
    void FailsBeforeRequest_data();
    void FailsBeforeRequest();
    void SettingsAndRegistration();
};

void tst_SMSSender::ASPSMSRequestBody() {
    QCOMPARE(TASPSMSSender::SendRequestBody(QStringLiteral("user"), QStringLiteral("pa\"ss"),
                                            QStringLiteral("Bäckerei"), {QStringLiteral("+41 79 123 45 67")},
                                            QStringLiteral("Grüße\nheute")),
             QByteArray("{\"UserName\":\"user\",\"Password\":\"pa\\\"ss\",\"Originator\":\"B\xc3\xa4"
                        "ckerei\",\"Recipients\":[\"+41 79 123 45 67\"],\"MessageText\":\"Gr\xc3\xbc\xc3\x9f"
                        "e\\nheute\"}"));
    QCOMPARE(TASPSMSSender::CreditsRequestBody(QStringLiteral("user"), QStringLiteral("pw")),
             QByteArray("{\"UserName\":\"user\",\"Password\":\"pw\"}"));
}

void tst_SMSSender::LOX24NeedsUnicode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("unicode");
    QTest::newRow("plain") << QStringLiteral("Hallo Welt 123!") << false;
    QTest::newRow("German letters of the GSM alphabet")
        << QStringLiteral("Grüße aus Köln, Ärger à Ñ") << false;
    QTest::newRow("extension table") << QStringLiteral("5 € [a] {b} ~|^\\") << false;
    QTest::newRow("small c cedilla is not GSM") << QStringLiteral("garçon") << true;
    QTest::newRow("Polish") << QStringLiteral("Cześć") << true;
    QTest::newRow("emoji") << QStringLiteral("ok \U0001F600") << true;
    QTest::newRow("empty") << QString() << false;
}

void tst_SMSSender::LOX24NeedsUnicode() {
    QFETCH(QString, text);
    QFETCH(bool, unicode);
    QCOMPARE(TLOX24SMSSender::NeedsUnicode(text), unicode);
}

void tst_SMSSender::LOX24SendQuery() {
    const QString text = QStringLiteral("a+b & c=d ü?#%");
    const QUrlQuery query(
        TLOX24SMSSender::SendQuery(QStringLiteral("konto1"), QStringLiteral("geheim"), QStringLiteral("4711"),
                                   text, QStringLiteral("+49 170 1234567"), QStringLiteral("Shop")));
    const auto value = [&](const char* AName) {
        return query.queryItemValue(QLatin1String(AName), QUrl::FullyDecoded);
    };
    QCOMPARE(value("konto"), QStringLiteral("konto1"));
    QCOMPARE(value("password"),
             QString::fromLatin1(QCryptographicHash::hash("geheim", QCryptographicHash::Md5).toHex()));
    QCOMPARE(value("service"), QStringLiteral("4711"));
    QCOMPARE(value("text"), text);
    QCOMPARE(value("to"), QStringLiteral("+49 170 1234567"));
    QCOMPARE(value("from"), QStringLiteral("Shop"));
    QCOMPARE(value("encoding"), QStringLiteral("0"));
    QCOMPARE(value("return"), QStringLiteral("xml"));
    QCOMPARE(value("httphead"), QStringLiteral("0"));
    QCOMPARE(value("action"), QStringLiteral("send"));
    QCOMPARE(query.queryItems().size(), 10);
    QVERIFY(!TLOX24SMSSender::SendQuery({}, {}, {}, QStringLiteral("Cześć"), {}, {})
                 .contains(QStringLiteral("geheim")));
    QCOMPARE(QUrlQuery(TLOX24SMSSender::SendQuery({}, {}, {}, QStringLiteral("Cześć"), {}, {}))
                 .queryItemValue(QStringLiteral("encoding")),
             QStringLiteral("1"));
}

void tst_SMSSender::LOX24Answer_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::newRow("accepted")
        << QByteArray("<?xml version=\"1.0\"?><answer><code>100</code><info>OK</info></answer>") << QString();
    QTest::newRow("refused") << QByteArray("<answer><code>201</code><info>Wrong password</info></answer>")
                             << QStringLiteral("The SMS gateway LOX24 refused: Wrong password (status 201)");
    QTest::newRow("no code") << QByteArray("<answer><info>OK</info></answer>")
                             << QStringLiteral("The SMS gateway LOX24 gave an answer that cannot be read.");
    QTest::newRow("not XML") << QByteArray("OK 100")
                             << QStringLiteral("The SMS gateway LOX24 gave an answer that cannot be read.");
    QTest::newRow("code outside the answer")
        << QByteArray("<x><code>100</code></x>")
        << QStringLiteral("The SMS gateway LOX24 gave an answer that cannot be read.");
}

void tst_SMSSender::LOX24Answer() {
    QFETCH(QByteArray, answer);
    QFETCH(QString, error);
    TLOX24SMSSender sender;
    try {
        sender.CheckAnswer(answer);
        QCOMPARE(QString(), error);
    } catch (const ESMSGatewayError& e) {
        QCOMPARE(e.Message(), error);
    }
}

void tst_SMSSender::ConnectNeedsNoGateway() {
    TLOX24SMSMessageSender sender;
    QVERIFY(sender.ConnectToServer(true));
    QVERIFY(sender.IsConnected());
    QCOMPARE(sender.LastError(), QString());
    QVERIFY(sender.IsSingleServer());
    QVERIFY(sender.CanTimeOut());
    QStringList servers{QStringLiteral("stale")};
    sender.FillServerList(servers);
    QCOMPARE(servers, QStringList{QStringLiteral("stale")});
}

void tst_SMSSender::FailsBeforeRequest_data() {
    QTest::addColumn<bool>("lox24");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("baseUrl");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("error");
    const QString noAccount =
        QStringLiteral("No account (user name and password) is set for the SMS gateway %1.");
    const QString badUrl =
        QStringLiteral("The address set for the SMS gateway %1 is no valid http or https address.");
    const QString number = QStringLiteral("+41790000000");
    QTest::newRow("ASPSMS without user")
        << false << QString() << QStringLiteral("http://127.0.0.1:1") << number << noAccount.arg("ASPSMS");
    QTest::newRow("LOX24 without user")
        << true << QString() << QStringLiteral("http://127.0.0.1:1") << number << noAccount.arg("LOX24");
    QTest::newRow("blank number") << true << QStringLiteral("u") << QStringLiteral("http://127.0.0.1:1")
                                  << QStringLiteral(" ")
                                  << QStringLiteral("The SMS has no recipient number.");
    QTest::newRow("ftp address") << false << QStringLiteral("u") << QStringLiteral("ftp://gw.example.test")
                                 << number << badUrl.arg("ASPSMS");
    QTest::newRow("address with user and query")
        << true << QStringLiteral("u") << QStringLiteral("https://me:pw@gw.example.test/?key=secret")
        << number << badUrl.arg("LOX24");
    QTest::newRow("no host") << true << QStringLiteral("u") << QStringLiteral("https://") << number
                             << badUrl.arg("LOX24");
}

void tst_SMSSender::FailsBeforeRequest() {
    QFETCH(bool, lox24);
    QFETCH(QString, user);
    QFETCH(QString, baseUrl);
    QFETCH(QString, number);
    QFETCH(QString, error);
    std::unique_ptr<TCustomSMSMessageSender> sender;
    if (lox24)
        sender = std::make_unique<TLOX24SMSMessageSender>();
    else
        sender = std::make_unique<TASPSMSMessageSender>();
    sender->SetUserName(user);
    sender->SetPassword(QStringLiteral("pw"));
    sender->SMSSender().SetBaseUrl(baseUrl);
    QVERIFY(!SendSMS(*sender, number, QStringLiteral("Shop"), QStringLiteral("Hallo")));
    QCOMPARE(sender->LastError(), error);
    QCOMPARE(sender->LastReplyErrorCode(), 0);
}

void tst_SMSSender::SettingsAndRegistration() {
    testsupport::TestDatabase db;
    auto& store = hostapi::SettingsStore::Instance();
    const auto write = [&](const char* AKey, const QString& AValue) {
        store.WriteString(QStringLiteral("EMLMARK"), QLatin1String(AKey), hostapi::StrToStringData(AValue));
    };
    write("ASPSMSUser", QStringLiteral("asp-user"));
    write("ASPSMSPass", QStringLiteral("asp pass\\1"));
    write("ASPSMSURL", QStringLiteral("http://127.0.0.1:1"));
    write("LOX24ACC", QStringLiteral("lox-konto"));
    write("LOX24Pass", QStringLiteral("lox-pass"));

    RegisterSMSMessageSenderClasses();
    RegisterSMSMessageSenderClasses();
    TMessageSenderSettings settings;
    settings.Settings = &store;
    auto asp = CreateSMSMessageSender(smsdASPSMS, settings);
    auto& aspSender = dynamic_cast<TASPSMSMessageSender&>(*asp);
    QCOMPARE(aspSender.UserName(), QStringLiteral("asp-user"));
    QCOMPARE(aspSender.Password(), QStringLiteral("asp pass\\1"));
    QCOMPARE(aspSender.SMSSender().BaseUrl(), QStringLiteral("http://127.0.0.1:1"));

    auto lox = CreateSMSMessageSender(smsdLOX24, settings);
    auto& loxSender = dynamic_cast<TLOX24SMSMessageSender&>(*lox);
    QCOMPARE(loxSender.UserName(), QStringLiteral("lox-konto"));
    QCOMPARE(loxSender.Password(), QStringLiteral("lox-pass"));
    QCOMPARE(dynamic_cast<TLOX24SMSSender&>(loxSender.SMSSender()).APIID(), QString());
    QCOMPARE(loxSender.SMSSender().BaseUrl(), QString());
    QCOMPARE(loxSender.SMSSender().DefaultBaseUrl(), QStringLiteral("https://www.lox24.eu"));
    QCOMPARE(aspSender.SMSSender().DefaultBaseUrl(), QStringLiteral("https://json.aspsms.com"));

    UnRegisterSMSMessageSenderClasses();
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, CreateSMSMessageSender(smsdLOX24, settings));
}

QTEST_GUILESS_MAIN(tst_SMSSender)
#include "tst_SMSSender.moc"
