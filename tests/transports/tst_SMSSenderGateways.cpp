#include "ASPSMSMessageSender.h"
#include "ASPSMSSender.h"
#include "HostLibraries.h"
#include "HttpStub.h"
#include "LOX24SMSSender.h"
#include "MailPeers.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>
#include <QtTest>

#include <thread>

using namespace emailmarketing;
using testsupport::HttpStub;

namespace {

const QString Password = QStringLiteral("geheim+&=1");
const QString Number = QStringLiteral("+41 (79) 123-45-67");
const QString Originator = QStringLiteral("Bäckerei");
const QString Text = QStringLiteral("Grüße & 10% Rabatt +\nheute");

QString AspsmsPath() {
    return QStringLiteral("/SendSimpleTextSMS");
}

QString Lox24Path() {
    return QStringLiteral("/API/httpsms.php");
}

QJsonObject Answer(int AStatus, const QString& ABody) {
    return {{QStringLiteral("status"), AStatus}, {QStringLiteral("body"), ABody}};
}

std::unique_ptr<TCustomSMSMessageSender> NewSender(bool ALox24, const QString& ABaseUrl) {
    std::unique_ptr<TCustomSMSMessageSender> sender;
    if (ALox24)
        sender = std::make_unique<TLOX24SMSMessageSender>();
    else
        sender = std::make_unique<TASPSMSMessageSender>();
    sender->SetUserName(QStringLiteral("kunde42"));
    sender->SetPassword(Password);
    sender->SMSSender().SetBaseUrl(ABaseUrl);
    return sender;
}

// The texts a sent-list row must never show: addresses, queries, credentials, request bodies.
void VerifyNoRequestDetails(const QString& AError) {
    const QByteArray hash = QCryptographicHash::hash(Password.toUtf8(), QCryptographicHash::Md5).toHex();
    for (const QString& secret :
         {QStringLiteral("127.0.0.1"), QStringLiteral("http"), QStringLiteral("konto"),
          QStringLiteral("kunde42"), Password, QString::fromLatin1(hash), Text, QStringLiteral("{")})
        QVERIFY2(!AError.contains(secret), qPrintable(QStringLiteral("%1 shows %2").arg(AError, secret)));
}

} // namespace

class tst_SMSSenderGateways : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void Send_data();
    void Send();
    void ClosedPort_data();
    void ClosedPort();
    void AspsmsCredits();
    void CancelEndsWaitingRequest_data();
    void CancelEndsWaitingRequest();
};

void tst_SMSSenderGateways::Send_data() {
    QTest::addColumn<bool>("lox24");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("error"); // empty: sent

    const QString lox = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<answer><code>%1</code>"
                                       "<info>%2</info></answer>");
    QTest::newRow("ASPSMS accepted") << false << 200
                                     << QStringLiteral("{\"StatusCode\":\"1\",\"StatusInfo\":\"OK\"}")
                                     << QString();
    QTest::newRow("ASPSMS error status with HTTP 200")
        << false << 200 << QStringLiteral("{\"StatusCode\":\"3\",\"StatusInfo\":\"Authorization failed\"}")
        << QStringLiteral("The SMS gateway ASPSMS refused: Authorization failed (status 3)");
    QTest::newRow("ASPSMS numeric error status")
        << false << 200 << QStringLiteral("{\"StatusCode\":15,\"StatusInfo\":\"Not enough credits\"}")
        << QStringLiteral("The SMS gateway ASPSMS refused: Not enough credits (status 15)");
    QTest::newRow("ASPSMS HTTP 200 without JSON")
        << false << 200 << QStringLiteral("<html>maintenance</html>")
        << QStringLiteral("The SMS gateway ASPSMS gave an answer that cannot be read.");
    QTest::newRow("ASPSMS HTTP 500") << false << 500 << QStringLiteral("{\"StatusCode\":\"1\"}")
                                     << QStringLiteral(
                                            "The SMS gateway ASPSMS answered with HTTP status 500.");
    QTest::newRow("LOX24 accepted") << true << 200 << lox.arg(100).arg("SMS sent") << QString();
    QTest::newRow("LOX24 error status with HTTP 200")
        << true << 200 << lox.arg(202).arg("Wrong password")
        << QStringLiteral("The SMS gateway LOX24 refused: Wrong password (status 202)");
    QTest::newRow("LOX24 HTTP 500") << true << 500 << lox.arg(100).arg("OK")
                                    << QStringLiteral("The SMS gateway LOX24 answered with HTTP status 500.");
}

void tst_SMSSenderGateways::Send() {
    QFETCH(bool, lox24);
    QFETCH(int, status);
    QFETCH(QString, answer);
    QFETCH(QString, error);
    HttpStub stub(HttpStub::Script(
        {HttpStub::Route(lox24 ? Lox24Path() : AspsmsPath(), QJsonArray{Answer(status, answer)})}));
    auto sender = NewSender(lox24, stub.Url(QStringLiteral("/")).toString());
    QVERIFY(sender->ConnectToServer(true));
    const bool sent = sender->SendMessage(QStringLiteral("Name"), Number, QStringLiteral("Sender"),
                                          QStringLiteral("s@example.test"), Originator, Text,
                                          QStringLiteral("<p>html</p>"), true, {}, {}, QStringLiteral("r@x"),
                                          QStringLiteral("cc@x"), QStringLiteral("bcc@x"), {});
    QCOMPARE(sender->LastError(), error);
    QCOMPARE(sent, error.isEmpty());
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    VerifyNoRequestDetails(sender->LastError());

    const QList<QJsonObject> requests = stub.Requests();
    QCOMPARE(requests.size(), 1);
    const QJsonObject request = requests.first();
    if (lox24) {
        QCOMPARE(request.value(QStringLiteral("method")).toString(), QStringLiteral("GET"));
        const QUrl url(request.value(QStringLiteral("path")).toString());
        QCOMPARE(url.path(), Lox24Path());
        const QUrlQuery query(url);
        QCOMPARE(query.queryItemValue(QStringLiteral("text"), QUrl::FullyDecoded), Text);
        QCOMPARE(query.queryItemValue(QStringLiteral("to"), QUrl::FullyDecoded), Number);
        QCOMPARE(query.queryItemValue(QStringLiteral("from"), QUrl::FullyDecoded), Originator);
        QCOMPARE(query.queryItemValue(QStringLiteral("konto")), QStringLiteral("kunde42"));
        QCOMPARE(query.queryItemValue(QStringLiteral("password")),
                 QString::fromLatin1(
                     QCryptographicHash::hash(Password.toUtf8(), QCryptographicHash::Md5).toHex()));
    } else {
        QCOMPARE(request.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
        QCOMPARE(request.value(QStringLiteral("path")).toString(), AspsmsPath());
        const QJsonObject body =
            QJsonDocument::fromJson(request.value(QStringLiteral("body")).toString().toLatin1()).object();
        QCOMPARE(body.value(QStringLiteral("MessageText")).toString(), Text);
        QCOMPARE(body.value(QStringLiteral("Recipients")).toArray(), QJsonArray{Number});
        QCOMPARE(body.value(QStringLiteral("Originator")).toString(), Originator);
        QCOMPARE(body.value(QStringLiteral("UserName")).toString(), QStringLiteral("kunde42"));
        QCOMPARE(body.value(QStringLiteral("Password")).toString(), Password);
    }
}

void tst_SMSSenderGateways::ClosedPort_data() {
    QTest::addColumn<bool>("lox24");
    QTest::newRow("ASPSMS") << false;
    QTest::newRow("LOX24") << true;
}

void tst_SMSSenderGateways::ClosedPort() {
    QFETCH(bool, lox24);
    const quint16 port = testsupport::FreeLoopbackPort();
    auto sender = NewSender(lox24, QStringLiteral("http://127.0.0.1:%1").arg(port));
    QVERIFY(!sender->SendMessage({}, Number, {}, {}, Originator, Text, {}, false, {}, {}, {}, {}, {}, {}));
    QCOMPARE(sender->LastError(),
             QStringLiteral("The SMS gateway %1 could not be reached (no connection or no answer in time).")
                 .arg(lox24 ? QStringLiteral("LOX24") : QStringLiteral("ASPSMS")));
    VerifyNoRequestDetails(sender->LastError());
}

void tst_SMSSenderGateways::AspsmsCredits() {
    HttpStub stub(HttpStub::Script({HttpStub::Route(
        QStringLiteral("/CheckCredits"),
        QJsonArray{Answer(200, QStringLiteral("{\"Credits\":\"125.5\",\"StatusCode\":\"1\"}")),
                   Answer(200, QStringLiteral("{\"StatusCode\":\"3\",\"StatusInfo\":\"Bad login\"}"))})}));
    TASPSMSSender gateway;
    gateway.SetUserName(QStringLiteral("kunde42"));
    gateway.SetPassword(Password);
    gateway.SetBaseUrl(stub.Url({}).toString());
    QCOMPARE(gateway.CheckCredits(), QStringLiteral("125.5"));
    const QJsonObject body =
        QJsonDocument::fromJson(stub.Requests().value(0).value(QStringLiteral("body")).toString().toLatin1())
            .object();
    QCOMPARE(body, (QJsonObject{{"UserName", "kunde42"}, {"Password", Password}}));
    try {
        gateway.CheckCredits();
        QFAIL("a refused credits query must raise");
    } catch (const ESMSGatewayError& e) {
        QCOMPARE(e.Message(), QStringLiteral("The SMS gateway ASPSMS refused: Bad login (status 3)"));
    }
}

void tst_SMSSenderGateways::CancelEndsWaitingRequest_data() {
    ClosedPort_data();
}

// Cancel from another thread while the gateway holds the request, repeated to shake out races.
void tst_SMSSenderGateways::CancelEndsWaitingRequest() {
    QFETCH(bool, lox24);
    HttpStub stub(HttpStub::Script({HttpStub::Route(
        lox24 ? Lox24Path() : AspsmsPath(), QJsonArray{QJsonObject{{QStringLiteral("hang"), true}}})}));
    for (int round = 1; round <= 3; ++round) {
        auto sender = NewSender(lox24, stub.Url({}).toString());
        bool sent = true;
        std::thread worker([&] {
            sent =
                sender->SendMessage({}, Number, {}, {}, Originator, Text, {}, false, {}, {}, {}, {}, {}, {});
        });
        const bool arrived = stub.WaitForRequests(round);
        sender->Cancel();
        worker.join();
        QVERIFY(arrived);
        QVERIFY(!sent);
        QCOMPARE(sender->LastError(), TCustomMessageSender::CancelledText());
    }
}

QTEST_GUILESS_MAIN(tst_SMSSenderGateways)
#include "tst_SMSSenderGateways.moc"
