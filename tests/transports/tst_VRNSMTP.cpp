#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "IdSASLXOAUTH.h"
#include "MailPeers.h"
#include "SmtpError.h"
#include "VRNSMTP.h"

#include <QtTest>

using namespace emailmarketing;
using testsupport::ScriptedSmtpPeer;
using testsupport::TestCertificates;

namespace {

// Script fragments of tests/peers/smtp-script-server.
const QByteArray Greeting =
    R"({"send": "220 mx.test ESMTP"}, {"recv": "EHLO .*"}, {"send": "250-mx.test\n250 PIPELINING"})";
const QByteArray StartTlsGreeting =
    R"({"send": "220 mx.test ESMTP"}, {"recv": "EHLO .*"},
       {"send": "250-mx.test\n250-PIPELINING\n250 STARTTLS"}, {"recv": "STARTTLS"},
       {"send": "220 2.0.0 Ready to start TLS"}, {"starttls": true}, {"recv": "EHLO .*"},
       {"send": "250-mx.test\n250 PIPELINING"})";
// One pipelined transaction up to the message, without the answer to its end.
const QByteArray TransactionToDataEnd =
    R"({"recv": "MAIL FROM:<shop@sender.test>"}, {"recv": "RCPT TO:<anna@example.test>"}, {"recv": "DATA"},
       {"send": "250 2.1.0 Ok\n250 2.1.5 Ok\n354 End data with <CR><LF>.<CR><LF>"}, {"data": true})";
const QByteArray Transaction = TransactionToDataEnd + R"(, {"send": "250 2.0.0 Ok: queued as 4711"})";

QByteArray Script(const QList<QByteArray>& AConnections) {
    QByteArray result = R"({"connections": [)";
    for (qsizetype i = 0; i < AConnections.size(); ++i)
        result += (i > 0 ? ", [" : "[") + AConnections[i] + "]";
    return result + "]}";
}

SmtpEnvelope Envelope() {
    SmtpEnvelope envelope;
    envelope.From = QStringLiteral("shop@sender.test");
    envelope.Recipients = {QStringLiteral("anna@example.test")};
    return envelope;
}

// An unconnected client for APeer without TLS.
std::unique_ptr<TVRNSMTP> PlainClient(const ScriptedSmtpPeer& APeer) {
    auto client = std::make_unique<TVRNSMTP>(std::make_shared<CancelSignal>());
    client->SetHost(QStringLiteral("127.0.0.1"));
    client->SetPort(APeer.Port());
    client->SetUseTLS(TIdUseTLS::utNoTLSSupport);
    return client;
}

std::unique_ptr<TDNSEmailSender> ExternalSender(quint16 APort) {
    auto sender = std::make_unique<TDNSEmailSender>();
    sender->SetUseExternalSMTP(true);
    sender->SetExternalSMTP(QStringLiteral("127.0.0.1:%1").arg(APort));
    sender->SetAuthentication(false);
    return sender;
}

bool SendTo(TDNSEmailSender& ASender, const QString& ABody) {
    return ASender.SendMessage({}, QStringLiteral("anna@example.test"), QStringLiteral("Shop"),
                               QStringLiteral("shop@sender.test"), QStringLiteral("Hello"), ABody, {}, false,
                               {}, {}, {}, {}, {}, {});
}

// The messages connection AConnection received.
QStringList Data(const ScriptedSmtpPeer& APeer, int AConnection) {
    QStringList result;
    for (const QJsonObject& entry : APeer.Log())
        if (entry[QStringLiteral("conn")].toInt() == AConnection && entry.contains(QStringLiteral("data")))
            result.append(entry[QStringLiteral("data")].toString());
    return result;
}

} // namespace

// The SMTP client against servers that misbehave on purpose (tests/peers/smtp-script-server).
class tst_VRNSMTP : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void SlowServerGivenUpPerReply_data();
    void SlowServerGivenUpPerReply();
    void EndlessReplyFails();
    void DataEndHasItsOwnDeadline_data();
    void DataEndHasItsOwnDeadline();
    void LongInitialResponseOnItsOwnLine_data();
    void LongInitialResponseOnItsOwnLine();
    void IdleConnectionClosedByServerIsReconnected_data();
    void IdleConnectionClosedByServerIsReconnected();
    void ReusedConnectionNotRetried_data();
    void ReusedConnectionNotRetried();

private:
    TestCertificates FCertificates;
};

void tst_VRNSMTP::initTestCase() {
    hostapi::HostLibraries::Initialize();
    QString error;
    QVERIFY2(FCertificates.Make(error), qPrintable(error));
}

void tst_VRNSMTP::SlowServerGivenUpPerReply_data() {
    QTest::addColumn<QByteArray>("script");
    // One byte every 20 ms keeps every single read well inside the limit.
    QTest::newRow("greeting one byte at a time")
        << Script({R"({"dribble": "220-mx.test\r\n", "every_ms": 20, "for_ms": 5000})"});
    QTest::newRow("endless 250- EHLO reply, one byte at a time")
        << Script({R"({"send": "220 mx.test ESMTP"}, {"recv": "EHLO .*"},
                      {"dribble": "250-", "every_ms": 20, "for_ms": 5000})"});
}

void tst_VRNSMTP::SlowServerGivenUpPerReply() {
    QFETCH(QByteArray, script);
    ScriptedSmtpPeer peer(script);
    START_PEER(peer);
    const std::unique_ptr<TVRNSMTP> client = PlainClient(peer);
    client->SetReadTimeout(300);
    try {
        client->Connect();
        QFAIL("a server that never ends its reply was not given up");
    } catch (const ESmtpError& e) {
        // The server keeps sending for 5 s, then closes ("connection aborted by server"): only the
        // reply's deadline ends it earlier.
        QCOMPARE(e.Message(), QStringLiteral("Timed out while waiting for the server's reply."));
    }
    QVERIFY(!client->Connected());
}

void tst_VRNSMTP::EndlessReplyFails() {
    ScriptedSmtpPeer peer(Script({R"({"send": "220 mx.test ESMTP"}, {"recv": "EHLO .*"},
                                     {"flood": "250-mx.test", "lines": 20000})"}));
    START_PEER(peer);
    const std::unique_ptr<TVRNSMTP> client = PlainClient(peer);
    try {
        client->Connect();
        QFAIL("a reply of 20 000 lines was taken");
    } catch (const ESmtpError& e) {
        QCOMPARE(e.Message(), QStringLiteral("The server sent a reply of more than 1000 lines or 64 KB; it "
                                             "is not an SMTP server or it is misbehaving."));
    }
}

void tst_VRNSMTP::DataEndHasItsOwnDeadline_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("dataEndTimeout");
    QTest::addColumn<QString>("error");
    // 20 bytes at 25 ms: about 500 ms, longer than the 200 ms of any other reply.
    QTest::newRow("slow answer within the DATA end limit")
        << QByteArray(R"({"dribble": "250 2.0.0 Ok: queued\r\n", "every_ms": 25, "for_ms": 5000})") << 3000
        << QString();
    QTest::newRow("endless answer given up at the DATA end limit")
        << QByteArray(R"({"dribble": "250-", "every_ms": 20, "for_ms": 5000})") << 600
        << "Timed out while waiting for the server's reply.";
}

void tst_VRNSMTP::DataEndHasItsOwnDeadline() {
    QFETCH(QByteArray, answer);
    QFETCH(int, dataEndTimeout);
    QFETCH(QString, error);
    ScriptedSmtpPeer peer(Script({Greeting + ", " + TransactionToDataEnd + ", " + answer}));
    START_PEER(peer);
    const std::unique_ptr<TVRNSMTP> client = PlainClient(peer);
    client->SetReadTimeout(200);
    client->SetDataEndTimeout(dataEndTimeout);
    client->Connect();
    try {
        client->Send(Envelope(), "Subject: x\r\n\r\nText\r\n");
        QVERIFY2(error.isEmpty(), "the endless answer to the end of DATA was taken");
        QCOMPARE(client->LastReply().Code, 250);
    } catch (const ESmtpError& e) {
        QCOMPARE(e.Message(), error);
    }
}

void tst_VRNSMTP::LongInitialResponseOnItsOwnLine_data() {
    QTest::addColumn<int>("tokenLength");
    QTest::addColumn<QByteArray>("exchange");
    QTest::addColumn<int>("lines");
    QTest::newRow("short token in the AUTH line")
        << 40 << QByteArray(R"({"recv": "AUTH XOAUTH2 [A-Za-z0-9+/=]+"}, {"send": "235 2.7.0 Accepted"})")
        << 1;
    // A 2 KB token: "AUTH XOAUTH2 <base64>" would be far beyond 512 octets.
    QTest::newRow("long token after the 334")
        << 2048 << QByteArray(R"({"recv": "AUTH XOAUTH2"}, {"send": "334 "}, {"recv": "[A-Za-z0-9+/=]+"},
                         {"send": "235 2.7.0 Accepted"})")
        << 2;
}

void tst_VRNSMTP::LongInitialResponseOnItsOwnLine() {
    QFETCH(int, tokenLength);
    QFETCH(QByteArray, exchange);
    QFETCH(int, lines);
    ScriptedSmtpPeer peer(Script({R"({"send": "220 mx.test ESMTP"}, {"recv": "EHLO .*"},
                                     {"send": "250-mx.test\n250 AUTH PLAIN XOAUTH2"}, )" +
                                  exchange}));
    START_PEER(peer);
    const std::unique_ptr<TVRNSMTP> client = PlainClient(peer);
    client->Connect();
    const QString token(tokenLength, QLatin1Char('t'));
    auto mechanism = std::make_shared<TIdSASLXOAuth>();
    mechanism->SetUser(QStringLiteral("anna@example.test"));
    mechanism->SetToken(token);
    client->SASLMechanisms().push_back(mechanism);
    QVERIFY2(client->Authenticate(), qPrintable(client->LastReply().Text()));
    QCOMPARE(client->LastReply().Code, 235);
    const QStringList sent = peer.Lines(0).mid(1); // after EHLO
    QCOMPARE(sent.size(), lines);
    for (const QString& line : sent)
        QVERIFY2(!line.startsWith(QLatin1String("AUTH")) || line.size() + 2 <= 512, qPrintable(line));
    const QString response = sent.last().section(QLatin1Char(' '), -1);
    QCOMPARE(QByteArray::fromBase64(response.toLatin1()),
             "user=anna@example.test\x01" + ("auth=Bearer " + token.toLatin1()) + "\x01\x01");
}

void tst_VRNSMTP::IdleConnectionClosedByServerIsReconnected_data() {
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QByteArray>("afterFirst");
    QTest::addColumn<bool>("waitForClose");
    const QByteArray idle421 =
        R"({"send": "421 4.4.2 mx.test Error: timeout exceeded"}, {"close": "silent"}, {"mark": "closed"})";
    const QByteArray silent = R"({"close": "silent"}, {"mark": "closed"})";
    const QByteArray late421 =
        R"({"recv": "MAIL FROM:.*"}, {"send": "421 4.4.2 mx.test Error: timeout exceeded"},
                                  {"close": "silent"})";
    const QByteArray lateSilent = R"({"recv": "MAIL FROM:.*"}, {"close": "silent"})";
    for (const bool tls : {false, true}) {
        const char* over = tls ? "STARTTLS" : "plain";
        QTest::addRow("%s: 421 timeout while idle", over) << tls << idle421 << true;
        QTest::addRow("%s: silent close while idle", over) << tls << silent << true;
        QTest::addRow("%s: 421 timeout as the answer to MAIL", over) << tls << late421 << false;
        QTest::addRow("%s: closed instead of answering MAIL", over) << tls << lateSilent << false;
    }
    QTest::newRow("STARTTLS: close_notify while idle")
        << true << QByteArray(R"({"close": "notify"}, {"mark": "closed"})") << true;
}

void tst_VRNSMTP::IdleConnectionClosedByServerIsReconnected() {
    QFETCH(bool, tls);
    QFETCH(QByteArray, afterFirst);
    QFETCH(bool, waitForClose);
    const QByteArray greeting = tls ? StartTlsGreeting : Greeting;
    ScriptedSmtpPeer peer(
        Script({greeting + ", " + Transaction + ", " + afterFirst, greeting + ", " + Transaction}),
        &FCertificates);
    START_PEER(peer);
    auto sender = ExternalSender(peer.Port());
    QVERIFY2(SendTo(*sender, QStringLiteral("first")), qPrintable(sender->LastError()));
    if (waitForClose)
        QVERIFY(peer.WaitForMark(QStringLiteral("closed"), 5000));
    QVERIFY2(SendTo(*sender, QStringLiteral("second")), qPrintable(sender->LastError()));
    QCOMPARE(sender->LastError(), QString());
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    QVERIFY(sender->IsConnected());
    sender->DisconnectFromServer();
    QCOMPARE(peer.Connections(), 2);
    QCOMPARE(Data(peer, 0).size(), 1);
    QCOMPARE(Data(peer, 1).size(), 1);
    QVERIFY2(Data(peer, 1).first().contains(QLatin1String("second")), qPrintable(Data(peer, 1).first()));
}

void tst_VRNSMTP::ReusedConnectionNotRetried_data() {
    QTest::addColumn<QByteArray>("secondTransaction");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("error");
    // The message may have been taken: sending it again could deliver it twice.
    QTest::newRow("closed after the end of DATA")
        << QByteArray(TransactionToDataEnd + R"(, {"close": "silent"})") << 0
        << "connection aborted by server";
    QTest::newRow("a 5xx refusal is final")
        << QByteArray(R"({"recv": "MAIL FROM:.*"}, {"recv": "RCPT TO:.*"}, {"recv": "DATA"},
                         {"send": "554 5.7.1 Rejected\n503 5.5.1 No sender\n503 5.5.1 No recipients"})")
        << 554 << "5.7.1 Rejected";
}

void tst_VRNSMTP::ReusedConnectionNotRetried() {
    QFETCH(QByteArray, secondTransaction);
    QFETCH(int, code);
    QFETCH(QString, error);
    ScriptedSmtpPeer peer(
        Script({Greeting + ", " + Transaction + ", " + secondTransaction, Greeting + ", " + Transaction}));
    START_PEER(peer);
    auto sender = ExternalSender(peer.Port());
    QVERIFY2(SendTo(*sender, QStringLiteral("first")), qPrintable(sender->LastError()));
    QVERIFY(!SendTo(*sender, QStringLiteral("second")));
    QCOMPARE(sender->LastReplyErrorCode(), code);
    QCOMPARE(sender->LastError(), error);
    QCOMPARE(peer.Connections(), 1);
}

QTEST_GUILESS_MAIN(tst_VRNSMTP)
#include "tst_VRNSMTP.moc"
