#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "IdOAuth2Bearer.h"
#include "IdSASLXOAUTH.h"
#include "MailPeers.h"
#include "QVException.h"
#include "VRNSMTP.h"

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace emailmarketing;
using testsupport::DnsPeer;
using testsupport::SmtpPeer;
using testsupport::TestCertificates;

Q_DECLARE_METATYPE(TServerTLSMode)

namespace {

const QString Password = QStringLiteral("pä$$wort-4711");

std::unique_ptr<TDNSEmailSender> ExternalSender(const QString& AServer, TServerTLSMode AMode = sccAuto,
                                                const QString& AUser = {}, const QString& APassword = {}) {
    auto sender = std::make_unique<TDNSEmailSender>();
    sender->SetUseExternalSMTP(true);
    sender->SetExternalSMTP(AServer);
    sender->SetServerTLSMode(AMode);
    sender->SetAuthentication(!AUser.isEmpty());
    sender->SetUserName(AUser);
    sender->SetPassword(APassword);
    return sender;
}

// Direct delivery for ADomain through the DNS peer, to exchangers listening on APort.
std::unique_ptr<TDNSEmailSender> DirectSender(const DnsPeer& ADns, const QString& ADomain, quint16 APort) {
    TDNSEmailSender::SetMailExchangerPort(APort);
    auto sender = std::make_unique<TDNSEmailSender>();
    sender->SetDNSServer(ADns.Server());
    sender->SetDomainName(ADomain);
    return sender;
}

QString Local(const SmtpPeer& APeer) {
    return QStringLiteral("127.0.0.1:%1").arg(APeer.Port());
}

// One plain message from shop@sender.test to AReceiver.
bool SendTo(TDNSEmailSender& ASender, const QString& AReceiver, const QString& ACC = {},
            const QString& ABCC = {}) {
    return ASender.SendMessage({}, AReceiver, QStringLiteral("Shop"), QStringLiteral("shop@sender.test"),
                               QStringLiteral("Hello"), QStringLiteral("Text\r\n"), {}, false, {}, {}, {},
                               ACC, ABCC, {});
}

// A client connected to APeer (its TLS offer taken when made).
std::unique_ptr<TVRNSMTP> ConnectedClient(const SmtpPeer& APeer) {
    auto client = std::make_unique<TVRNSMTP>(std::make_shared<CancelSignal>());
    client->SetHost(QStringLiteral("127.0.0.1"));
    client->SetPort(APeer.Port());
    client->Connect();
    return client;
}

QStringList Strings(const QJsonValue& AValue) {
    QStringList result;
    for (const QJsonValue& value : AValue.toArray())
        result.append(value.toString());
    return result;
}

} // namespace

// TDNSEmailSender and TVRNSMTP against real peers: the scripted aiosmtpd server and dnsmasq.
class tst_DNSEmailSenderDelivery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void CertificateVerifiedWhenAuthenticating_data();
    void CertificateVerifiedWhenAuthenticating();
    void ExternalServerTls_data();
    void ExternalServerTls();
    void Authentication_data();
    void Authentication();
    void PasswordNeverTravelsInPlainTextInAutoMode();
    void RefusedRecipientLeavesConnectionUsable_data();
    void RefusedRecipientLeavesConnectionUsable();
    void ServerClosingDuringData();
    void ShutdownReply421_data();
    void ShutdownReply421();
    void ConnectionAbortedByServer();
    void ReceivedMessageAsAMailProgramSeesIt();
    void CopyListsFollowTheAddressRule_data();
    void CopyListsFollowTheAddressRule();
    void InternationalDomainsGoOutInAsciiForm();
    void NonAsciiLocalPartFails();
    void OAuthInitialResponses_data();
    void OAuthInitialResponses();
    void OAuthErrorChallengeGetsEmptyResponse();
    void LongOAuthTokenAccepted();
    void SendMailTestSend();
    void ComposedMessagesGoOutAsComposed();
    void DirectDeliveryAsksDnsOncePerDomain();
    void DirectDeliveryPrefersLowestPreference();
    void DirectDeliveryFallsBackToNextExchanger();
    void DirectDeliveryImplicitMx();
    void DirectDeliveryUnknownDomain();
    void DirectDeliveryCopiesGoToTheirOwnDomains();

private:
    TestCertificates FCertificates;
};

void tst_DNSEmailSenderDelivery::initTestCase() {
    hostapi::HostLibraries::Initialize();
    QString error;
    QVERIFY2(FCertificates.Make(error), qPrintable(error));
}

void tst_DNSEmailSenderDelivery::cleanup() {
    TDNSEmailSender::SetMailExchangerPort(25);
}

void tst_DNSEmailSenderDelivery::ExternalServerTls_data() {
    QTest::addColumn<QString>("peerTls");
    QTest::addColumn<TServerTLSMode>("mode");
    QTest::addColumn<bool>("portInText");
    QTest::addColumn<QString>("tls");
    QTest::newRow("host:port with STARTTLS offered") << "starttls" << sccAuto << true << "starttls";
    QTest::newRow("port setting, STARTTLS offered") << "starttls" << sccAuto << false << "starttls";
    QTest::newRow("no STARTTLS offered, no password: plain") << "none" << sccAuto << true << "none";
    QTest::newRow("SSL mode: implicit TLS") << "implicit" << sccSSL << true << "implicit";
    QTest::newRow("no TLS chosen though offered") << "starttls" << sccNo << true << "none";
    QTest::newRow("TLS required and offered") << "starttls" << sccTLSRequired << true << "starttls";
}

void tst_DNSEmailSenderDelivery::ExternalServerTls() {
    QFETCH(QString, peerTls);
    QFETCH(TServerTLSMode, mode);
    QFETCH(bool, portInText);
    SmtpPeer peer({QStringLiteral("--tls"), peerTls});
    START_PEER(peer);
    auto sender = ExternalSender(portInText ? Local(peer) : QStringLiteral("127.0.0.1"), mode);
    if (!portInText)
        sender->SetExternalSMPTPort(peer.Port());
    QVERIFY2(sender->ConnectToServer(true), qPrintable(sender->LastError()));
    QVERIFY2(SendTo(*sender, QStringLiteral("anna@example.test")), qPrintable(sender->LastError()));
    sender->DisconnectFromServer();
    QCOMPARE(peer.Messages().size(), 1);
    const QJsonObject envelope = peer.Envelope(peer.Messages().first());
    QTEST(envelope[QStringLiteral("tls")].toString(), "tls");
    // EHLO names the machine or, without a qualified name, an address literal.
    QVERIFY(!envelope[QStringLiteral("helo")].toString().isEmpty());
}

void tst_DNSEmailSenderDelivery::Authentication_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<int>("attempts");
    QTest::newRow("right password") << "anna" << Password << true << 1;
    QTest::newRow("wrong password") << "anna"
                                    << "wrong-" + Password << false << 1;
    QTest::newRow("empty user name: no AUTH") << ""
                                              << "" << true << 0;
}

void tst_DNSEmailSenderDelivery::Authentication() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, connects);
    SmtpPeer peer({QStringLiteral("--tls"), QStringLiteral("starttls"), QStringLiteral("--cert"),
                   FCertificates.CertFile(), QStringLiteral("--key"), FCertificates.KeyFile(),
                   QStringLiteral("--user"), QStringLiteral("anna"), QStringLiteral("--password"), Password});
    START_PEER(peer);
    auto sender = ExternalSender(Local(peer), sccAuto, user, password);
    sender->SetAuthentication(true);
    sender->SetSMTPCAFile(FCertificates.CaFile());
    QCOMPARE(sender->ConnectToServer(true), connects);
    QTEST(int(peer.AuthLog().size()), "attempts");
    if (connects) {
        QVERIFY(SendTo(*sender, QStringLiteral("anna@example.test")));
        return;
    }
    QCOMPARE(sender->LastError(), QStringLiteral("Authentication on SMTP server failed!"));
    QCOMPARE(sender->LastReplyErrorCode(), 535);
    QVERIFY(!sender->IsConnected());
    try {
        sender->ConnectToServer(false);
        QFAIL("a refused login did not raise");
    } catch (const hostapi::EQVException& e) {
        QCOMPARE(e.Message(), QStringLiteral("Authentication on SMTP server failed!"));
        QVERIFY(!e.Message().contains(Password));
    }
}

void tst_DNSEmailSenderDelivery::CertificateVerifiedWhenAuthenticating_data() {
    QTest::addColumn<QString>("peerTls");
    QTest::addColumn<bool>("testCertificate"); // the server's: signed by the test CA, else self-signed
    QTest::addColumn<QString>("listen");       // the peer's address; the sender names it as the host
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("caFile"); // "ca", "server" (the peer's self-signed certificate), "missing"
    QTest::addColumn<QString>("error");  // part of the failure text; empty: connects and authenticates
    QTest::newRow("test CA in the CA file, STARTTLS") << "starttls" << true << "127.0.0.1"
                                                      << "127.0.0.1"
                                                      << "ca"
                                                      << "";
    QTest::newRow("test CA in the CA file, implicit TLS") << "implicit" << true << "127.0.0.1"
                                                          << "127.0.0.1"
                                                          << "ca"
                                                          << "";
    QTest::newRow("host name checked") << "starttls" << true << "127.0.0.1"
                                       << "localhost"
                                       << "ca"
                                       << "";
    QTest::newRow("self-signed server certificate in the CA file") << "starttls" << false << "127.0.0.1"
                                                                   << "127.0.0.1"
                                                                   << "server"
                                                                   << "";
    QTest::newRow("private CA without the CA file")
        << "starttls" << true << "127.0.0.1"
        << "127.0.0.1"
        << ""
        << "was not accepted: unable to get local issuer certificate";
    QTest::newRow("self-signed without the CA file") << "implicit" << false << "127.0.0.1"
                                                     << "127.0.0.1"
                                                     << ""
                                                     << "was not accepted: self-signed certificate";
    QTest::newRow("certificate for another address") << "starttls" << true << "127.0.0.2"
                                                     << "127.0.0.2"
                                                     << "ca"
                                                     << "was not accepted: IP address mismatch";
    QTest::newRow("CA file missing") << "starttls" << true << "127.0.0.1"
                                     << "127.0.0.1"
                                     << "missing"
                                     << "cannot be read as PEM certificates";
}

void tst_DNSEmailSenderDelivery::CertificateVerifiedWhenAuthenticating() {
    QFETCH(QString, peerTls);
    QFETCH(bool, testCertificate);
    QFETCH(QString, listen);
    QFETCH(QString, host);
    QFETCH(QString, caFile);
    QFETCH(QString, error);
    QStringList arguments{QStringLiteral("--tls"),      peerTls,
                          QStringLiteral("--host"),     listen,
                          QStringLiteral("--user"),     QStringLiteral("anna"),
                          QStringLiteral("--password"), Password};
    if (testCertificate)
        arguments << QStringLiteral("--cert") << FCertificates.CertFile() << QStringLiteral("--key")
                  << FCertificates.KeyFile();
    SmtpPeer peer(arguments);
    START_PEER(peer);
    auto sender = ExternalSender(QStringLiteral("%1:%2").arg(host).arg(peer.Port()),
                                 peerTls == QLatin1String("implicit") ? sccSSL : sccAuto,
                                 QStringLiteral("anna"), Password);
    if (caFile == QLatin1String("ca"))
        sender->SetSMTPCAFile(FCertificates.CaFile());
    else if (caFile == QLatin1String("server"))
        sender->SetSMTPCAFile(peer.Dir() + QStringLiteral("/server.pem"));
    else if (caFile == QLatin1String("missing"))
        sender->SetSMTPCAFile(peer.Dir() + QStringLiteral("/none.pem"));
    const bool connected = sender->ConnectToServer(true);
    if (error.isEmpty()) {
        QVERIFY2(connected, qPrintable(sender->LastError()));
        QCOMPARE(peer.AuthLog().size(), 1);
        QVERIFY2(SendTo(*sender, QStringLiteral("anna@example.test")), qPrintable(sender->LastError()));
        return;
    }
    QVERIFY(!connected);
    QVERIFY2(sender->LastError().contains(error), qPrintable(sender->LastError()));
    // The text names the setting that holds a private CA.
    QVERIFY2(sender->LastError().contains(QLatin1String("\"EMLMARK\"/\"SMTPCAFILE\"")),
             qPrintable(sender->LastError()));
    QVERIFY2(peer.AuthLog().isEmpty(), "the password went to an unverified server");
    QVERIFY(!sender->IsConnected());
}

void tst_DNSEmailSenderDelivery::PasswordNeverTravelsInPlainTextInAutoMode() {
    // A plain server refused in mode "required", and the password kept when TLS is not offered.
    SmtpPeer peer({QStringLiteral("--user"), QStringLiteral("anna"), QStringLiteral("--password"), Password});
    START_PEER(peer);
    auto required = ExternalSender(Local(peer), sccTLSRequired, QStringLiteral("anna"), Password);
    QVERIFY(!required->ConnectToServer(true));
    QVERIFY2(required->LastError().contains(QStringLiteral("STARTTLS")), qPrintable(required->LastError()));
    QVERIFY(peer.AuthLog().isEmpty());
    // Loopback is exempt in mode auto (the rule itself is tested in tst_DNSEmailSender).
    auto automatic = ExternalSender(Local(peer), sccAuto, QStringLiteral("anna"), Password);
    QVERIFY2(automatic->ConnectToServer(true), qPrintable(automatic->LastError()));
}

void tst_DNSEmailSenderDelivery::RefusedRecipientLeavesConnectionUsable_data() {
    QTest::addColumn<bool>("pipelining");
    QTest::newRow("pipelining") << true;
    QTest::newRow("one command at a time") << false;
}

void tst_DNSEmailSenderDelivery::RefusedRecipientLeavesConnectionUsable() {
    QFETCH(bool, pipelining);
    SmtpPeer peer(pipelining ? QStringList() : QStringList{QStringLiteral("--no-pipelining")});
    peer.SetRules(
        R"([{"when": "rcpt", "address": "nobody@example.test", "reply": "550 5.1.1 No such user here"}])");
    START_PEER(peer);
    auto sender = ExternalSender(Local(peer));
    QVERIFY(sender->ConnectToServer(true));
    QVERIFY(!SendTo(*sender, QStringLiteral("nobody@example.test")));
    QCOMPARE(sender->LastReplyErrorCode(), 550);
    QCOMPARE(sender->LastError(), QStringLiteral("5.1.1 No such user here"));
    QVERIFY(sender->IsConnected());
    QVERIFY2(SendTo(*sender, QStringLiteral("anna@example.test")), qPrintable(sender->LastError()));
    QCOMPARE(sender->LastError(), QString());
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    QCOMPARE(peer.Messages().size(), 1);
    QCOMPARE(Strings(peer.Envelope(peer.Messages().first())[QStringLiteral("rcpt_tos")]),
             QStringList{QStringLiteral("anna@example.test")});
}

void tst_DNSEmailSenderDelivery::ServerClosingDuringData() {
    SmtpPeer peer;
    peer.SetRules(R"([{"when": "data", "reply": "drop"}])");
    START_PEER(peer);
    auto sender = ExternalSender(Local(peer));
    QVERIFY(sender->ConnectToServer(true));
    QVERIFY(!SendTo(*sender, QStringLiteral("anna@example.test")));
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    QCOMPARE(sender->LastError(), QStringLiteral("connection aborted by server"));
    QVERIFY(!sender->IsConnected());
    // The next send connects anew.
    QVERIFY2(SendTo(*sender, QStringLiteral("anna@example.test")), qPrintable(sender->LastError()));
    QVERIFY(sender->IsConnected());
    QCOMPARE(peer.Messages().size(), 1);
}

void tst_DNSEmailSenderDelivery::ShutdownReply421_data() {
    QTest::addColumn<QString>("when");
    // With pipelining the client has sent the later commands already when the server answers 421 and
    // closes; the 421 is still the result.
    QTest::newRow("data") << "data";
    QTest::newRow("mail, pipelined") << "mail";
    QTest::newRow("rcpt, pipelined") << "rcpt";
}

void tst_DNSEmailSenderDelivery::ShutdownReply421() {
    QFETCH(QString, when);
    SmtpPeer peer;
    peer.SetRules(
        QStringLiteral(R"([{"when": "%1", "reply": "421 4.3.2 Service shutting down"}])").arg(when).toUtf8());
    START_PEER(peer);
    auto sender = ExternalSender(Local(peer));
    QVERIFY(!SendTo(*sender, QStringLiteral("anna@example.test")));
    QCOMPARE(sender->LastReplyErrorCode(), 421);
    QCOMPARE(sender->LastError(), QStringLiteral("4.3.2 Service shutting down"));
    QVERIFY(SendTo(*sender, QStringLiteral("anna@example.test")));
}

void tst_DNSEmailSenderDelivery::ConnectionAbortedByServer() {
    SmtpPeer peer;
    peer.SetRules(R"([{"when": "ehlo", "reply": "drop"}])");
    START_PEER(peer);
    auto sender = ExternalSender(Local(peer));
    QVERIFY(!sender->ConnectToServer(true));
    QCOMPARE(sender->LastError(), QStringLiteral("connection aborted by server"));
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    QVERIFY(!sender->IsConnected());
}

void tst_DNSEmailSenderDelivery::ReceivedMessageAsAMailProgramSeesIt() {
    SmtpPeer peer;
    START_PEER(peer);
    QTemporaryDir folder;
    const auto write = [&](const QString& AName, const QByteArray& AContent) {
        QFile file(folder.filePath(AName));
        if (!file.open(QIODevice::WriteOnly) || file.write(AContent) != AContent.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    };
    const QString logo = write(QStringLiteral("logo.png"), "\x89PNG\r\n\x1a\n");
    const QString photo = write(QStringLiteral("Straße.jpg"), "\xff\xd8\xff");
    const QString invoice = write(QStringLiteral("local.pdf"), "%PDF-1.4\n");
    const QString subject = QStringLiteral("Grüße aus Köln – Ihr Angebot €");
    const QString plain = QStringLiteral("Hallo,\r\n.eine Zeile mit Punkt\r\n.\r\nEnde\r\n");

    auto sender = ExternalSender(Local(peer));
    const bool sent =
        sender->SendMessage(QStringLiteral("Müller, \"Anna\" <x>"), QStringLiteral(" anna@example.test "),
                            QStringLiteral("Bäckerei O'Neil!"), QStringLiteral("shop@sender.test"), subject,
                            plain, QStringLiteral("<p>Hallo <img src=\"cid:logo.png\"></p>"), true,
                            {logo, photo}, {{QStringLiteral("Rechnung März.pdf"), invoice}},
                            QStringLiteral("antwort@sender.test"), QStringLiteral("Carl <carl@example.test>"),
                            QStringLiteral("geheim@example.test"), QStringLiteral("receipt@sender.test"));
    QVERIFY2(sent, qPrintable(sender->LastError()));
    QVERIFY(SendTo(*sender, QStringLiteral("bert@example.test")));
    sender->DisconnectFromServer();
    QCOMPARE(peer.Messages().size(), 2);

    const QJsonObject first = peer.Parsed(peer.Messages()[0]);
    const auto pair = [](const QString& AName, const QString& AAddress) {
        return QJsonArray{AName, AAddress};
    };
    QCOMPARE(first[QStringLiteral("from")].toArray(),
             QJsonArray{pair(QStringLiteral("Bäckerei ONeil"), QStringLiteral("shop@sender.test"))});
    QCOMPARE(first[QStringLiteral("to")].toArray(),
             QJsonArray{pair(QStringLiteral("Müller Anna x"), QStringLiteral("anna@example.test"))});
    QCOMPARE(first[QStringLiteral("cc")].toArray(),
             QJsonArray{pair(QStringLiteral("Carl"), QStringLiteral("carl@example.test"))});
    QCOMPARE(first[QStringLiteral("reply_to")].toArray(),
             QJsonArray{pair({}, QStringLiteral("antwort@sender.test"))});
    const QJsonObject headers = first[QStringLiteral("headers")].toObject();
    QVERIFY2(!headers.contains(QStringLiteral("bcc")), "Bcc never appears in the headers");
    QCOMPARE(Strings(headers[QStringLiteral("subject")]), QStringList{subject});
    QCOMPARE(Strings(headers[QStringLiteral("x-mailer")]),
             QStringList{QStringLiteral("Vorlana EMail SMTP Gateway")});
    QCOMPARE(Strings(headers[QStringLiteral("disposition-notification-to")]),
             QStringList{QStringLiteral("receipt@sender.test")});
    const QString messageId = Strings(headers[QStringLiteral("message-id")]).value(0);
    QVERIFY2(
        QRegularExpression(QStringLiteral("^<[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"
                                          "@sender\\.test>$"))
            .match(messageId)
            .hasMatch(),
        qPrintable(messageId));
    QCOMPARE(Strings(peer.Envelope(peer.Messages()[0])[QStringLiteral("rcpt_tos")]),
             (QStringList{QStringLiteral("anna@example.test"), QStringLiteral("carl@example.test"),
                          QStringLiteral("geheim@example.test")}));

    QStringList texts;
    QStringList files;
    for (const QJsonValue& value : first[QStringLiteral("parts")].toArray()) {
        const QJsonObject part = value.toObject();
        if (part[QStringLiteral("filename")].isString())
            files.append(QStringLiteral("%1 %2 %3")
                             .arg(part[QStringLiteral("disposition")].toString(),
                                  part[QStringLiteral("filename")].toString(),
                                  part[QStringLiteral("content_id")].toString()));
        else
            texts.append(part[QStringLiteral("text")].toString());
    }
    QCOMPARE(files, (QStringList{QStringLiteral("inline logo.png logo.png"),
                                 QStringLiteral("inline Straße.jpg Stra%C3%9Fe.jpg"),
                                 QStringLiteral("attachment Rechnung März.pdf ")}));
    QCOMPARE(texts.value(0), QString(plain).replace(QLatin1String("\r\n"), QLatin1String("\n")));

    // An empty display name gives the bare address.
    const QJsonObject second = peer.Parsed(peer.Messages()[1]);
    QCOMPARE(Strings(second[QStringLiteral("headers")].toObject()[QStringLiteral("to")]),
             QStringList{QStringLiteral("bert@example.test")});
}

void tst_DNSEmailSenderDelivery::CopyListsFollowTheAddressRule_data() {
    QTest::addColumn<QString>("cc");
    QTest::addColumn<QString>("bcc");
    QTest::addColumn<QStringList>("recipients");
    QTest::newRow("semicolons separate")
        << "a@x.test; b@x.test;c@x.test"
        << "" << QStringList{"anna@example.test", "a@x.test", "b@x.test", "c@x.test"};
    QTest::newRow("line break cannot add a recipient or a header")
        << "carl@x.test\nX-Injected: yes"
        << "" << QStringList{"anna@example.test", "carl@x.test"};
    QTest::newRow("word without domain in the Bcc")
        << ""
        << "chef@firma.test; buchhaltung" << QStringList{"anna@example.test", "chef@firma.test"};
}

void tst_DNSEmailSenderDelivery::CopyListsFollowTheAddressRule() {
    QFETCH(QString, cc);
    QFETCH(QString, bcc);
    SmtpPeer peer;
    START_PEER(peer);
    auto sender = ExternalSender(Local(peer));
    QVERIFY2(SendTo(*sender, QStringLiteral("anna@example.test"), cc, bcc), qPrintable(sender->LastError()));
    sender->DisconnectFromServer();
    QCOMPARE(peer.Messages().size(), 1);
    QTEST(Strings(peer.Envelope(peer.Messages().first())[QStringLiteral("rcpt_tos")]), "recipients");
    const QJsonObject headers = peer.Parsed(peer.Messages().first())[QStringLiteral("headers")].toObject();
    QVERIFY(!headers.contains(QStringLiteral("x-injected")));
}

void tst_DNSEmailSenderDelivery::InternationalDomainsGoOutInAsciiForm() {
    SmtpPeer peer;
    START_PEER(peer);
    auto sender = ExternalSender(Local(peer));
    QVERIFY2(sender->SendMessage({}, QStringLiteral("anna@bücher.test"), QStringLiteral("Shop"),
                                 QStringLiteral("shop@müller.test"), QStringLiteral("Hallo"),
                                 QStringLiteral("Text\r\n"), {}, false, {}, {}, {},
                                 QStringLiteral("bert@faß.test, jürgen@x.test"), {}, {}),
             qPrintable(sender->LastError()));
    sender->DisconnectFromServer();
    QCOMPARE(peer.Messages().size(), 1);
    const QJsonObject envelope = peer.Envelope(peer.Messages().first());
    QCOMPARE(envelope[QStringLiteral("mail_from")].toString(), QStringLiteral("shop@xn--mller-kva.test"));
    // The Cc with a non-ASCII local part is left out of the envelope; the message still goes.
    QCOMPARE(
        Strings(envelope[QStringLiteral("rcpt_tos")]),
        (QStringList{QStringLiteral("anna@xn--bcher-kva.test"), QStringLiteral("bert@xn--fa-hia.test")}));
    const QJsonObject headers = peer.Parsed(peer.Messages().first())[QStringLiteral("headers")].toObject();
    QVERIFY2(Strings(headers[QStringLiteral("message-id")])
                 .value(0)
                 .endsWith(QStringLiteral("@xn--mller-kva.test>")),
             qPrintable(Strings(headers[QStringLiteral("message-id")]).value(0)));
    QCOMPARE(Strings(headers[QStringLiteral("to")]), QStringList{QStringLiteral("anna@xn--bcher-kva.test")});
}

// Messages composed on another thread, before the connection exists, go out as composed over one
// connection; one whose attachment cannot be read fails at its send with the text SendMessage
// gives for it, and the connection goes on.
void tst_DNSEmailSenderDelivery::ComposedMessagesGoOutAsComposed() {
    SmtpPeer peer;
    START_PEER(peer);
    QTemporaryDir folder;
    const QString gone = folder.filePath(QStringLiteral("Rechnung.pdf"));
    auto sender = ExternalSender(Local(peer));
    QVERIFY(sender->CanComposeMessages());
    const auto message = [](const QString& AReceiver, const QString& ASubject) {
        TOutgoingMessage result;
        result.ReceiverEmail = AReceiver;
        result.SenderName = QStringLiteral("Shop");
        result.SenderEmail = QStringLiteral("shop@sender.test");
        result.Subject = ASubject;
        result.PlainBody = QStringLiteral("Grüße an %1\r\n").arg(AReceiver);
        return result;
    };
    QList<TOutgoingMessage> messages{message(QStringLiteral("anna@example.test"), QStringLiteral("Eins")),
                                     message(QStringLiteral("bert@example.test"), QStringLiteral("Zwei")),
                                     message(QStringLiteral("carl@example.test"), QStringLiteral("Drei"))};
    messages[1].NormalAttachments = {{QStringLiteral("Rechnung.pdf"), gone}};
    QList<std::shared_ptr<const TComposedMessage>> composed;
    std::thread composer([&] {
        for (const TOutgoingMessage& each : messages)
            composed.append(sender->ComposeMessage(each));
    });
    composer.join();

    QVERIFY2(sender->SendComposedMessage(messages[0], composed[0].get()), qPrintable(sender->LastError()));
    QVERIFY(!sender->SendComposedMessage(messages[1], composed[1].get()));
    const QString composedError = sender->LastError();
    QVERIFY2(sender->SendComposedMessage(messages[2], composed[2].get()), qPrintable(sender->LastError()));
    QVERIFY(!sender->SendMessage({}, messages[1].ReceiverEmail, messages[1].SenderName, messages[1].SenderEmail,
                                 messages[1].Subject, messages[1].PlainBody, {}, false, {},
                                 messages[1].NormalAttachments, {}, {}, {}, {}));
    QCOMPARE(composedError, sender->LastError());
    QVERIFY2(composedError.contains(gone), qPrintable(composedError));
    sender->DisconnectFromServer();

    QCOMPARE(peer.Messages().size(), 2);
    QStringList received;
    for (const QString& file : peer.Messages()) {
        const QJsonObject parsed = peer.Parsed(file);
        received << Strings(parsed[QStringLiteral("headers")].toObject()[QStringLiteral("subject")]).join(',') + ' ' +
                        Strings(peer.Envelope(file)[QStringLiteral("rcpt_tos")]).join(',');
    }
    QCOMPARE(received, (QStringList{"Eins anna@example.test", "Drei carl@example.test"}));
}

void tst_DNSEmailSenderDelivery::NonAsciiLocalPartFails() {
    SmtpPeer peer;
    START_PEER(peer);
    auto sender = ExternalSender(Local(peer));
    QVERIFY(!SendTo(*sender, QStringLiteral("jürgen@example.test")));
    QCOMPARE(
        sender->LastError(),
        QStringLiteral("The address \"jürgen@example.test\" has characters outside ASCII before the \"@\"; "
                       "it can only be sent over SMTPUTF8, which this sender does not use."));
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    QVERIFY(peer.Messages().isEmpty());
}

void tst_DNSEmailSenderDelivery::OAuthInitialResponses_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("bearer");
    QTest::newRow("XOAUTH2") << "--expect-xoauth2"
                             << QByteArray("user=anna@example.test\x01"
                                           "auth=Bearer ya29.token\x01\x01")
                             << false;
    QTest::newRow("OAUTHBEARER") << "--expect-oauthbearer"
                                 << QByteArray("n,a=a=3Db=2Cc@example.test,\x01"
                                               "host=127.0.0.1\x01"
                                               "port=587\x01"
                                               "auth=Bearer ya29.token\x01\x01")
                                 << true;
}

void tst_DNSEmailSenderDelivery::OAuthInitialResponses() {
    QFETCH(QString, option);
    QFETCH(QByteArray, expected);
    QFETCH(bool, bearer);
    SmtpPeer peer(
        {QStringLiteral("--tls"), QStringLiteral("starttls"), option, QString::fromLatin1(expected.toHex())});
    START_PEER(peer);
    TVRNSMTP client(std::make_shared<CancelSignal>());
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(peer.Port());
    client.Connect();
    QVERIFY(client.IsEncrypted());
    if (bearer) {
        auto mechanism = std::make_shared<TIdOAuth2Bearer>();
        mechanism->SetUser(QStringLiteral("a=b,c@example.test"));
        mechanism->SetHost(QStringLiteral("127.0.0.1"));
        mechanism->SetPort(587);
        mechanism->SetToken(QStringLiteral("ya29.token"));
        client.SASLMechanisms().push_back(mechanism);
    } else {
        auto mechanism = std::make_shared<TIdSASLXOAuth>();
        mechanism->SetUser(QStringLiteral("anna@example.test"));
        mechanism->SetToken(QStringLiteral("ya29.token"));
        client.SASLMechanisms().push_back(mechanism);
    }
    QVERIFY(client.Authenticate());
    QCOMPARE(client.LastReply().Code, 235);
    const QList<QJsonObject> log = peer.AuthLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(QByteArray::fromBase64(log.first()[QStringLiteral("initial")].toString().toLatin1()), expected);
    client.Disconnect();
}

void tst_DNSEmailSenderDelivery::OAuthErrorChallengeGetsEmptyResponse() {
    SmtpPeer peer({QStringLiteral("--oauth-error-challenge")});
    START_PEER(peer);
    const std::unique_ptr<TVRNSMTP> client = ConnectedClient(peer);
    auto mechanism = std::make_shared<TIdSASLXOAuth>();
    mechanism->SetUser(QStringLiteral("anna@example.test"));
    mechanism->SetToken(QStringLiteral("expired"));
    client->SASLMechanisms().push_back(mechanism);
    QVERIFY(!client->Authenticate());
    QCOMPARE(client->LastReply().Code, 535);
    const QList<QJsonObject> log = peer.AuthLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first()[QStringLiteral("responses")].toArray(), QJsonArray{QString()});
}

void tst_DNSEmailSenderDelivery::LongOAuthTokenAccepted() {
    // A 600-byte token makes the AUTH line with the initial response longer than 512 octets, which
    // the server refuses; it goes on its own line after the server's 334.
    const QByteArray token(600, 'k');
    const QByteArray expected = "user=anna@example.test\x01"
                                "auth=Bearer " +
                                token + "\x01\x01";
    SmtpPeer peer({QStringLiteral("--expect-xoauth2"), QString::fromLatin1(expected.toHex())});
    START_PEER(peer);
    const std::unique_ptr<TVRNSMTP> client = ConnectedClient(peer);
    auto mechanism = std::make_shared<TIdSASLXOAuth>();
    mechanism->SetUser(QStringLiteral("anna@example.test"));
    mechanism->SetToken(QString::fromLatin1(token));
    client->SASLMechanisms().push_back(mechanism);
    QVERIFY2(client->Authenticate(), qPrintable(client->LastReply().Text()));
    QCOMPARE(client->LastReply().Code, 235);
    client->Disconnect();
}

void tst_DNSEmailSenderDelivery::SendMailTestSend() {
    SmtpPeer peer;
    START_PEER(peer);
    auto sender = ExternalSender(Local(peer));
    QVERIFY2(sender->SendMail(QStringLiteral("Anna"), QStringLiteral("anna@example.test"),
                              QStringLiteral("Shop"), QStringLiteral("shop@sender.test"),
                              QStringLiteral("Test"), QStringLiteral("Körper")),
             qPrintable(sender->LastError()));
    QVERIFY(!sender->IsConnected());
    QCOMPARE(peer.Messages().size(), 1);
    const QJsonObject parsed = peer.Parsed(peer.Messages().first());
    const QJsonArray shop{QStringLiteral("Shop"), QStringLiteral("shop@sender.test")};
    QCOMPARE(parsed[QStringLiteral("reply_to")].toArray(), QJsonArray{shop});
    QCOMPARE(parsed[QStringLiteral("parts")].toArray().first().toObject()[QStringLiteral("text")].toString(),
             QStringLiteral("Körper"));

    // A server that cannot be reached.
    auto unreachable = ExternalSender(QStringLiteral("127.0.0.1:%1").arg(testsupport::FreeLoopbackPort()));
    QVERIFY(!unreachable->SendMail({}, QStringLiteral("anna@example.test"), {},
                                   QStringLiteral("shop@sender.test"), QStringLiteral("Test"),
                                   QStringLiteral("x")));
    QCOMPARE(unreachable->LastError(), QStringLiteral("Error in connect to server"));
}

void tst_DNSEmailSenderDelivery::DirectDeliveryAsksDnsOncePerDomain() {
    SmtpPeer peer;
    START_PEER(peer);
    DnsPeer dns({QStringLiteral("--local=/test/"),
                 QStringLiteral("--mx-host=example.test,mx.example.test,10"),
                 QStringLiteral("--host-record=mx.example.test,127.0.0.1")});
    START_PEER(dns);
    const auto direct = DirectSender(dns, {}, peer.Port());
    TDNSEmailSender& sender = *direct;
    for (const QString& domain : {QStringLiteral("Example.test"), QStringLiteral("EXAMPLE.TEST")}) {
        sender.SetDomainName(domain);
        QVERIFY2(sender.ConnectToServer(true), qPrintable(sender.LastError()));
        QVERIFY(SendTo(sender, QStringLiteral("anna@") + domain));
    }
    sender.DisconnectFromServer();
    QCOMPARE(dns.QueryCount(QStringLiteral("MX"), QStringLiteral("example.test")), 1);
    QCOMPARE(peer.Messages().size(), 2);
}

void tst_DNSEmailSenderDelivery::DirectDeliveryPrefersLowestPreference() {
    // Two exchangers on the same port at two loopback addresses; the answer lists 20 first.
    const quint16 port = testsupport::FreeLoopbackPort();
    SmtpPeer best({QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                   QString::number(port)});
    SmtpPeer backup({QStringLiteral("--host"), QStringLiteral("127.0.0.2"), QStringLiteral("--port"),
                     QString::number(port)});
    START_PEER(best);
    START_PEER(backup);
    DnsPeer dns({QStringLiteral("--local=/test/"),
                 QStringLiteral("--mx-host=example.test,backup.example.test,20"),
                 QStringLiteral("--mx-host=example.test,best.example.test,10"),
                 QStringLiteral("--host-record=best.example.test,127.0.0.1"),
                 QStringLiteral("--host-record=backup.example.test,127.0.0.2")});
    START_PEER(dns);
    const auto direct = DirectSender(dns, QStringLiteral("example.test"), port);
    TDNSEmailSender& sender = *direct;
    QVERIFY2(sender.ConnectToServer(true), qPrintable(sender.LastError()));
    QVERIFY(SendTo(sender, QStringLiteral("anna@example.test")));
    sender.DisconnectFromServer();
    QCOMPARE(best.Messages().size(), 1);
    QCOMPARE(backup.Messages().size(), 0);
}

void tst_DNSEmailSenderDelivery::DirectDeliveryFallsBackToNextExchanger() {
    SmtpPeer backup;
    START_PEER(backup);
    DnsPeer dns({QStringLiteral("--local=/test/"),
                 QStringLiteral("--mx-host=example.test,down.example.test,10"),
                 QStringLiteral("--mx-host=example.test,backup.example.test,20"),
                 QStringLiteral("--host-record=down.example.test,127.0.0.3"),
                 QStringLiteral("--host-record=backup.example.test,127.0.0.1")});
    START_PEER(dns);
    const auto direct = DirectSender(dns, QStringLiteral("example.test"), backup.Port());
    TDNSEmailSender& sender = *direct;
    QVERIFY2(sender.ConnectToServer(true), qPrintable(sender.LastError()));
    QVERIFY(SendTo(sender, QStringLiteral("anna@example.test")));
    QCOMPARE(backup.Messages().size(), 1);
}

void tst_DNSEmailSenderDelivery::DirectDeliveryImplicitMx() {
    SmtpPeer peer;
    START_PEER(peer);
    DnsPeer dns({QStringLiteral("--local=/test/"), QStringLiteral("--host-record=plain.test,127.0.0.1")});
    START_PEER(dns);
    const auto direct = DirectSender(dns, QStringLiteral("plain.test"), peer.Port());
    TDNSEmailSender& sender = *direct;
    QVERIFY2(sender.ConnectToServer(true), qPrintable(sender.LastError()));
    QVERIFY(SendTo(sender, QStringLiteral("anna@plain.test")));
    QCOMPARE(peer.Messages().size(), 1);
}

void tst_DNSEmailSenderDelivery::DirectDeliveryUnknownDomain() {
    DnsPeer dns({QStringLiteral("--local=/test/")});
    START_PEER(dns);
    const auto direct = DirectSender(dns, QStringLiteral("nowhere.test"), 25);
    TDNSEmailSender& sender = *direct;
    QVERIFY(!sender.ConnectToServer(true));
    QCOMPARE(sender.LastError(),
             QStringLiteral("no mail exchanger for domain 'nowhere.test': the domain does not exist"));
    QCOMPARE(sender.LastReplyErrorCode(), 0);
    // The message then fails with the same text.
    QVERIFY(!SendTo(sender, QStringLiteral("anna@nowhere.test")));
    QVERIFY(sender.LastError().startsWith(QStringLiteral("no mail exchanger for domain 'nowhere.test'")));
}

void tst_DNSEmailSenderDelivery::DirectDeliveryCopiesGoToTheirOwnDomains() {
    const quint16 port = testsupport::FreeLoopbackPort();
    SmtpPeer recipientMx({QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                          QString::number(port)});
    SmtpPeer otherMx({QStringLiteral("--host"), QStringLiteral("127.0.0.2"), QStringLiteral("--port"),
                      QString::number(port)});
    otherMx.SetRules(R"([{"when": "rcpt", "address": "gone@other.test", "reply": "550 5.1.1 unknown"}])");
    START_PEER(recipientMx);
    START_PEER(otherMx);
    DnsPeer dns({QStringLiteral("--local=/test/"),
                 QStringLiteral("--mx-host=example.test,mx.example.test,10"),
                 QStringLiteral("--mx-host=other.test,mx.other.test,10"),
                 QStringLiteral("--host-record=mx.example.test,127.0.0.1"),
                 QStringLiteral("--host-record=mx.other.test,127.0.0.2")});
    START_PEER(dns);
    const auto direct = DirectSender(dns, QStringLiteral("example.test"), port);
    TDNSEmailSender& sender = *direct;
    QVERIFY(sender.ConnectToServer(true));
    QVERIFY2(SendTo(sender, QStringLiteral("anna@example.test"),
                    QStringLiteral("bert@other.test, gone@other.test"),
                    QStringLiteral("carl@example.test, dora@nowhere.test")),
             qPrintable(sender.LastError()));
    QCOMPARE(recipientMx.Messages().size(), 1);
    QCOMPARE(Strings(recipientMx.Envelope(recipientMx.Messages().first())[QStringLiteral("rcpt_tos")]),
             (QStringList{QStringLiteral("anna@example.test"), QStringLiteral("carl@example.test")}));
    QCOMPARE(otherMx.Messages().size(), 1);
    QCOMPARE(Strings(otherMx.Envelope(otherMx.Messages().first())[QStringLiteral("rcpt_tos")]),
             QStringList{QStringLiteral("bert@other.test")});
    const QJsonObject headers =
        otherMx.Parsed(otherMx.Messages().first())[QStringLiteral("headers")].toObject();
    QVERIFY(!headers.contains(QStringLiteral("bcc")));
}

QTEST_GUILESS_MAIN(tst_DNSEmailSenderDelivery)
#include "tst_DNSEmailSenderDelivery.moc"
