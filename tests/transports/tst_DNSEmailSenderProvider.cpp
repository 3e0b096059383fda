#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "HttpStub.h"
#include "MailPeers.h"
#include "ThrownMessage.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace emailmarketing;
using testsupport::DnsPeer;
using testsupport::HttpStub;
using testsupport::SmtpPeer;
using testsupport::TestCertificates;
using testsupport::ThrownMessage;

namespace {

const QString AccessToken = QStringLiteral("A-access-1");
const QString User = QStringLiteral("anna@example.test");

// A provider folder holding the provider "mail".
class ProviderFiles {
public:
    explicit ProviderFiles(const QJsonArray& AProtocols, const QString& ASASL = QStringLiteral("XOAUTH2"),
                           const QString& ATokenEndpoint = {}) {
        const QJsonObject values{
            {"AuthName", "mail"},
            {"ClientID", "C"},
            {"ClientSecret", "S"},
            {"AccessTokenEndpoint", ATokenEndpoint},
            {"AuthenticationType", ASASL},
            {"transport", QJsonObject{{"sending", QJsonObject{{"default-protocol", "smtp"}}}}},
            {"protocols", AProtocols}};
        QFile file(FDir.filePath(QStringLiteral("mail.authprovider.json")));
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(values).toJson()) <= 0)
            qFatal("cannot write the provider file");
    }
    QString Path() const { return FDir.path(); }

private:
    QTemporaryDir FDir;
};

// An external-server sender in provider mode "mail" with AProtocol (empty: the provider's default),
// signed in with AccessToken for an hour when AWithToken.
std::unique_ptr<TDNSEmailSender> ProviderSender(const ProviderFiles& AFolder, const QString& AProtocol,
                                                bool AWithToken = true) {
    auto sender = std::make_unique<TDNSEmailSender>();
    sender->SetUseExternalSMTP(true);
    sender->SetAuthentication(false);
    sender->SetUserName(User);
    sender->OAuth2Authenticator().SetProviderPath(AFolder.Path());
    sender->SetAuthMode(QStringLiteral("mail"), QStringLiteral("R-refresh"), AProtocol, {}, {});
    if (AWithToken) {
        sender->OAuth2Authenticator().SetAccessToken(AccessToken);
        sender->OAuth2Authenticator().SetAccessTokenExpiry(QDateTime::currentDateTimeUtc().addSecs(3600));
    }
    return sender;
}

bool SendTo(TDNSEmailSender& ASender, const QString& ABcc = {}) {
    return ASender.SendMessage(QStringLiteral("Ben"), QStringLiteral("ben@kunde.test"),
                               QStringLiteral("Shop"), QStringLiteral("shop@sender.test"),
                               QStringLiteral("Hello provider"), QStringLiteral("Text\r\n"), {}, false, {},
                               {}, {}, {}, ABcc, {});
}

QJsonObject HttpEntry(const QString& AEndpoint, const QString& AEncoding = QStringLiteral("base64")) {
    return {{"name", "api"},
            {"transport", "http"},
            {"endpoint", AEndpoint},
            {"message-format", "MIME"},
            {"message-encoding", AEncoding},
            {"content-type", "message/rfc822"}};
}

// An IPv4 address of this machine other than loopback; empty when it has none.
QString NonLoopbackAddress() {
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    return {};
}

QJsonObject SmtpEntry(const QString& AHost, quint16 APort, const QString& ATls) {
    return {{"name", "smtp"}, {"host", AHost}, {"port", APort}, {"tls", ATls}};
}

} // namespace

// The sender's OAuth2 provider mode against the SMTP peer, the HTTP stub and the Graph stub.
class tst_DNSEmailSenderProvider : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void SmtpEntryAuthenticatesWithToken_data();
    void SmtpEntryAuthenticatesWithToken();
    void UnknownTlsFailsBeforeConnecting();
    void TokenRefusedInClearToAnotherSmtpHost_data();
    void TokenRefusedInClearToAnotherSmtpHost();
    void ProviderSmtpVerifiesCertificate();
    void TokenNeverGoesToExchangers();
    void HttpPostingDeliversMime_data();
    void HttpPostingDeliversMime();
    void HttpPostingFailureStatus();
    void CancelEndsHttpPosting();
    void CancelledSenderPostsNothing();
    void TokenNeverInClearToAnotherHost_data();
    void TokenNeverInClearToAnotherHost();
    void GraphSenderSendsThroughMailClient();
    void ConfigurationErrors_data();
    void ConfigurationErrors();
    void NotAuthenticatedWithoutToken();
    void EmptyAuthModeGoesBackToPlainSmtp();

private:
    TestCertificates FCertificates;
};

void tst_DNSEmailSenderProvider::initTestCase() {
    hostapi::HostLibraries::Initialize();
    QString error;
    QVERIFY2(FCertificates.Make(error), qPrintable(error));
}

void tst_DNSEmailSenderProvider::SmtpEntryAuthenticatesWithToken_data() {
    QTest::addColumn<QString>("mechanism");
    QTest::addColumn<QString>("tls");
    QTest::addColumn<QString>("peerTls");
    QTest::newRow("XOAUTH2, implicit TLS on any port") << "XOAUTH2"
                                                       << "UseImplicitTLS"
                                                       << "implicit";
    QTest::newRow("OAUTHBEARER, implicit TLS on any port") << "OAUTHBEARER"
                                                           << "UseImplicitTLS"
                                                           << "implicit";
    QTest::newRow("XOAUTH2, STARTTLS") << "XOAUTH2"
                                       << "UseRequireTLS"
                                       << "starttls";
    QTest::newRow("XOAUTH2, plain to loopback") << "XOAUTH2"
                                                << "NoTLSSupport"
                                                << "none";
}

void tst_DNSEmailSenderProvider::SmtpEntryAuthenticatesWithToken() {
    QFETCH(QString, mechanism);
    QFETCH(QString, tls);
    QFETCH(QString, peerTls);
    const quint16 port = testsupport::FreeLoopbackPort();
    QVERIFY(port != 465);
    const QByteArray expected =
        mechanism == QLatin1String("XOAUTH2")
            ? "user=" + User.toUtf8() + "\x01" + "auth=Bearer " + AccessToken.toUtf8() + "\x01\x01"
            : "n,a=" + User.toUtf8() + ",\x01" + "host=127.0.0.1\x01" + "port=" + QByteArray::number(port) +
                  "\x01" + "auth=Bearer " + AccessToken.toUtf8() + "\x01\x01";
    SmtpPeer peer({"--port", QString::number(port), "--tls", peerTls, "--cert", FCertificates.CertFile(),
                   "--key", FCertificates.KeyFile(), "--expect-" + mechanism.toLower(),
                   QString::fromLatin1(expected.toHex())});
    START_PEER(peer);
    ProviderFiles folder({QJsonObject{{"name", "smtp"}, {"host", "127.0.0.1"}, {"port", port}, {"tls", tls}}},
                         mechanism);
    auto sender = std::make_unique<TDNSEmailSender>();
    sender->SetServerTLSMode(sccNo);
    sender->SetUseExternalSMTP(true);
    sender->SetUserName(User);
    sender->SetSMTPCAFile(FCertificates.CaFile());
    sender->OAuth2Authenticator().SetProviderPath(folder.Path());
    sender->SetAuthMode(QStringLiteral("mail"), QStringLiteral("R-refresh"), {}, {}, {});
    sender->OAuth2Authenticator().SetAccessToken(AccessToken);
    sender->OAuth2Authenticator().SetAccessTokenExpiry(QDateTime::currentDateTimeUtc().addSecs(3600));
    QCOMPARE(sender->TransportProtocol(), QStringLiteral("smtp"));
    QCOMPARE(sender->ExternalSMTP(), QStringLiteral("127.0.0.1"));
    QCOMPARE(sender->ExternalSMPTPort(), qint32(port));
    QCOMPARE(sender->ServerTLSMode(), sccAuto);

    QVERIFY2(SendTo(*sender), qPrintable(sender->LastError()));
    const QList<QJsonObject> log = peer.AuthLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].value("mechanism").toString(), mechanism);
    QCOMPARE(QByteArray::fromBase64(log[0].value("initial").toString().toLatin1()), expected);
    QVERIFY(log[0].value("success").toBool());
    const QStringList messages = peer.Messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(peer.Envelope(messages[0]).value("tls").toString(), peerTls);
    sender->DisconnectFromServer();
}

void tst_DNSEmailSenderProvider::UnknownTlsFailsBeforeConnecting() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    ProviderFiles folder(
        {QJsonObject{{"name", "smtp"}, {"host", "127.0.0.1"}, {"port", server.serverPort()}, {"tls", "x"}}});
    auto sender = ProviderSender(folder, {});
    QCOMPARE(sender->ServerTLSMode(), sccAuto);
    QVERIFY(!sender->ConnectToServer(true));
    QCOMPARE(sender->LastError(), QStringLiteral(R"(Unknown tls type in provider configuration: "x")"));
    // A connect would have completed in the kernel's backlog before the call returned.
    QVERIFY(!server.waitForNewConnection(0));
    QVERIFY(!SendTo(*sender));
    QCOMPARE(sender->LastError(), QStringLiteral(R"(Unknown tls type in provider configuration: "x")"));
    QVERIFY(!server.waitForNewConnection(0));
}

void tst_DNSEmailSenderProvider::TokenRefusedInClearToAnotherSmtpHost_data() {
    QTest::addColumn<QString>("tls");
    QTest::newRow("no TLS") << "NoTLSSupport";
    QTest::newRow("STARTTLS not offered") << "UseExplicitTLS";
}

void tst_DNSEmailSenderProvider::TokenRefusedInClearToAnotherSmtpHost() {
    QFETCH(QString, tls);
    const QString host = NonLoopbackAddress();
    if (host.isEmpty())
        QSKIP("this machine has no IPv4 address other than loopback");
    SmtpPeer peer({"--host", host, "--expect-xoauth2", QString::fromLatin1(QByteArray("any").toHex())});
    START_PEER(peer);
    ProviderFiles folder({SmtpEntry(host, peer.Port(), tls)});
    auto sender = ProviderSender(folder, {});
    QVERIFY(!sender->ConnectToServer(true));
    QCOMPARE(sender->LastError(),
             QStringLiteral("The SMTP server %1 is reached without TLS, so the access token would travel "
                            "unencrypted. Give the provider's \"tls\" a TLS mode that the server supports.")
                 .arg(host));
    QVERIFY(peer.AuthLog().isEmpty());
    QVERIFY(!SendTo(*sender));
    QVERIFY(peer.AuthLog().isEmpty());
    QVERIFY(peer.Messages().isEmpty());
}

void tst_DNSEmailSenderProvider::ProviderSmtpVerifiesCertificate() {
    // The peer's own self-signed certificate, which nothing trusts.
    SmtpPeer peer({"--tls", "implicit", "--expect-xoauth2", QString::fromLatin1(QByteArray("any").toHex())});
    START_PEER(peer);
    ProviderFiles folder({SmtpEntry("127.0.0.1", peer.Port(), "UseImplicitTLS")});
    auto sender = ProviderSender(folder, {});
    QVERIFY(!sender->ConnectToServer(true));
    QVERIFY2(sender->LastError().contains(QStringLiteral("certificate"), Qt::CaseInsensitive),
             qPrintable(sender->LastError()));
    QVERIFY(peer.AuthLog().isEmpty());
}

void tst_DNSEmailSenderProvider::TokenNeverGoesToExchangers() {
    SmtpPeer peer({"--expect-xoauth2", QString::fromLatin1(QByteArray("any").toHex())});
    START_PEER(peer);
    DnsPeer dns(
        {"--local=/test/", "--mx-host=kunde.test,mx.kunde.test,10", "--host-record=mx.kunde.test,127.0.0.1"});
    START_PEER(dns);
    TDNSEmailSender::SetMailExchangerPort(peer.Port());
    ProviderFiles folder({SmtpEntry("127.0.0.1", peer.Port(), "NoTLSSupport")});
    auto sender = ProviderSender(folder, {});
    sender->SetUseExternalSMTP(false);
    sender->SetDNSServer(dns.Server());
    sender->SetDomainName(QStringLiteral("kunde.test"));
    const bool sent = SendTo(*sender);
    TDNSEmailSender::SetMailExchangerPort(25);
    QVERIFY2(sent, qPrintable(sender->LastError()));
    QCOMPARE(peer.Messages().size(), 1);
    QVERIFY(peer.AuthLog().isEmpty());
    sender->DisconnectFromServer();
}

void tst_DNSEmailSenderProvider::HttpPostingDeliversMime_data() {
    QTest::addColumn<QString>("encoding");
    QTest::newRow("base64") << "base64";
    QTest::newRow("as it is") << "";
}

void tst_DNSEmailSenderProvider::HttpPostingDeliversMime() {
    QFETCH(QString, encoding);
    HttpStub stub(
        HttpStub::Script({HttpStub::Route("/send", {QJsonObject{{"status", 202}, {"body", "queued"}}})}));
    ProviderFiles folder({HttpEntry(stub.Url("/send").toString(), encoding)});
    auto sender = ProviderSender(folder, QStringLiteral("api"));
    QVERIFY(sender->IsConnected()); // no connection is needed
    QVERIFY(sender->ConnectToServer(true));
    QVERIFY2(SendTo(*sender, QStringLiteral("carla@kunde.test")), qPrintable(sender->LastError()));

    const QList<QJsonObject> requests = stub.Requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(requests[0].value("path").toString(), QStringLiteral("/send"));
    const QJsonObject headers = requests[0].value("headers").toObject();
    QCOMPARE(headers.value("Authorization").toString(), AccessToken);
    QCOMPARE(headers.value("Content-Type").toString(), QStringLiteral("message/rfc822"));
    const QByteArray body = requests[0].value("body").toString().toLatin1();
    const QByteArray mime =
        encoding.isEmpty() ? body : QByteArray::fromBase64(body, QByteArray::AbortOnBase64DecodingErrors);
    if (!encoding.isEmpty())
        QCOMPARE(mime.toBase64(), body);
    QVERIFY2(mime.contains("Subject: Hello provider\r\n"), mime.constData());
    QVERIFY2(mime.contains("ben@kunde.test"), mime.constData());
    // The service delivers to the Bcc recipients itself.
    QVERIFY2(mime.contains("Bcc: carla@kunde.test"), mime.constData());
    QVERIFY2(mime.contains("Text\r\n"), mime.constData());
}

void tst_DNSEmailSenderProvider::HttpPostingFailureStatus() {
    HttpStub stub(
        HttpStub::Script({HttpStub::Route("/send", {QJsonObject{{"status", 500}, {"body", "broken"}}})}));
    ProviderFiles folder({HttpEntry(stub.Url("/send").toString())});
    auto sender = ProviderSender(folder, QStringLiteral("api"));
    QVERIFY(!SendTo(*sender));
    QVERIFY2(sender->LastError().contains(QStringLiteral("500")), qPrintable(sender->LastError()));
    QVERIFY2(!sender->LastError().contains(AccessToken), qPrintable(sender->LastError()));
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    QCOMPARE(stub.Requests().size(), 1);

    sender->SetRaiseExceptions(true);
    QVERIFY(ThrownMessage([&] { SendTo(*sender); }).contains(QStringLiteral("500")));
}

void tst_DNSEmailSenderProvider::CancelEndsHttpPosting() {
    HttpStub stub(HttpStub::Script({HttpStub::Route("/send", {QJsonObject{{"hang", true}}})}));
    ProviderFiles folder({HttpEntry(stub.Url("/send").toString())});
    auto sender = ProviderSender(folder, QStringLiteral("api"));
    bool arrived = false;
    std::thread canceller([&] {
        arrived = stub.WaitForRequests(1, 20000);
        sender->Cancel();
    });
    const bool sent = SendTo(*sender);
    canceller.join();
    QVERIFY(arrived);
    QVERIFY(!sent);
    QCOMPARE(sender->LastError(), TCustomMessageSender::CancelledText());
}

void tst_DNSEmailSenderProvider::CancelledSenderPostsNothing() {
    HttpStub stub(HttpStub::Script({HttpStub::Route("/send", {QJsonObject{{"status", 202}}})}));
    ProviderFiles folder({HttpEntry(stub.Url("/send").toString())});
    auto sender = ProviderSender(folder, QStringLiteral("api"));
    sender->Cancel();
    QVERIFY(!SendTo(*sender));
    QCOMPARE(sender->LastError(), TCustomMessageSender::CancelledText());
    QCOMPARE(stub.Requests().size(), 0);
}

void tst_DNSEmailSenderProvider::TokenNeverInClearToAnotherHost_data() {
    QTest::addColumn<QJsonObject>("entry");
    QTest::newRow("HTTP posting") << HttpEntry(QStringLiteral("http://192.0.2.10/send"));
    QTest::newRow("Graph address") << QJsonObject{
        {"name", "api"}, {"transport", "ms-graph-sender"}, {"endpoint", "http://mail.example.test"}};
}

void tst_DNSEmailSenderProvider::TokenNeverInClearToAnotherHost() {
    QFETCH(QJsonObject, entry);
    ProviderFiles folder({entry});
    auto sender = ProviderSender(folder, QStringLiteral("api"));
    QVERIFY(!SendTo(*sender));
    QVERIFY2(sender->LastError().startsWith(QStringLiteral("The access token is sent only over https")),
             qPrintable(sender->LastError()));
    QVERIFY2(sender->LastError().contains(entry.value("endpoint").toString()),
             qPrintable(sender->LastError()));
}

void tst_DNSEmailSenderProvider::GraphSenderSendsThroughMailClient() {
    HttpStub::Options options;
    options.Program = QStringLiteral("graph-stub");
    HttpStub stub(QJsonObject{{"token", AccessToken}}, options);
    ProviderFiles folder({QJsonObject{
        {"name", "graph"}, {"transport", "ms-graph-sender"}, {"endpoint", stub.Url({}).toString()}}});
    auto sender = ProviderSender(folder, QStringLiteral("graph"));
    QTemporaryDir dir;
    const QByteArray pdf = QByteArray("%PDF-1.4\n") + QByteArray(1, '\0') + "\x01\xff binary";
    QFile file(dir.filePath(QStringLiteral("r.pdf")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size());
    file.close();
    QVERIFY2(sender->SendMessage(QStringLiteral("Ben"), QStringLiteral("ben@kunde.test"),
                                 QStringLiteral("Shop"), QStringLiteral("shop@sender.test"),
                                 QStringLiteral("Hello provider"), QStringLiteral("Text"),
                                 QStringLiteral("<p>Hallo</p>"), true, {},
                                 {{QStringLiteral("Rechnung.pdf"), file.fileName()}}, {}, {},
                                 QStringLiteral("carla@kunde.test"), {}),
             qPrintable(sender->LastError()));

    QStringList calls;
    for (const QJsonObject& request : stub.Requests())
        calls.append(request.value("method").toString() + QLatin1Char(' ') +
                     request.value("path").toString());
    QCOMPARE(calls, QStringList({"POST /v1.0/me/messages", "POST /v1.0/me/messages/draft-1/send"}));
    const QJsonObject draft =
        QJsonDocument::fromJson(stub.Requests()[0].value("body").toString().toUtf8()).object();
    QCOMPARE(draft.value("subject").toString(), QStringLiteral("Hello provider"));
    QCOMPARE(
        draft.value("toRecipients").toArray()[0].toObject()["emailAddress"].toObject()["address"].toString(),
        QStringLiteral("ben@kunde.test"));
    QCOMPARE(
        draft.value("bccRecipients").toArray()[0].toObject()["emailAddress"].toObject()["address"].toString(),
        QStringLiteral("carla@kunde.test"));
    const QJsonObject body = draft.value("body").toObject();
    QCOMPARE(body.value("contentType").toString(), QStringLiteral("html"));
    QVERIFY2(body.value("content").toString().contains(QStringLiteral("<p>Hallo</p>")),
             qPrintable(body.value("content").toString()));
    const QJsonArray attachments = draft.value("attachments").toArray();
    QCOMPARE(attachments.size(), 1);
    QCOMPARE(attachments[0].toObject().value("name").toString(), QStringLiteral("Rechnung.pdf"));
    QCOMPARE(QByteArray::fromBase64(attachments[0].toObject().value("contentBytes").toString().toLatin1()),
             pdf);
}

void tst_DNSEmailSenderProvider::ConfigurationErrors_data() {
    QTest::addColumn<QJsonObject>("entry");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("error");
    QJsonObject unknownTransport = HttpEntry({});
    unknownTransport["transport"] = "smtp-relay";
    QJsonObject format = HttpEntry({});
    format["message-format"] = "JSON";
    QTest::newRow("unknown transport") << unknownTransport << "api"
                                       << R"(Unknow transport type in provider configuration: "smtp-relay")";
    QTest::newRow("unknown message format") << format << "api"
                                            << R"(Unknown message-format in provider configuration: "JSON")";
    QTest::newRow("unknown message encoding")
        << HttpEntry({}, QStringLiteral("quoted")) << "api"
        << R"(Unknown message-encoding in provider configuration: "quoted")";
    QTest::newRow("no entry of the protocol")
        << HttpEntry({}) << "x"
        << R"(Wrong protocol type configuration in provider configuration: "x")";
}

void tst_DNSEmailSenderProvider::ConfigurationErrors() {
    QFETCH(QJsonObject, entry);
    QFETCH(QString, protocol);
    QFETCH(QString, error);
    HttpStub stub(HttpStub::Script({HttpStub::Route("/send", {QJsonObject{{"status", 202}}})}));
    entry["endpoint"] = stub.Url("/send").toString();
    ProviderFiles folder({entry});
    auto sender = ProviderSender(folder, protocol);
    QVERIFY(!SendTo(*sender));
    QCOMPARE(sender->LastError(), error);
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    sender->SetRaiseExceptions(true);
    QCOMPARE(ThrownMessage([&] { SendTo(*sender); }), error);
    QCOMPARE(stub.Requests().size(), 0);
}

void tst_DNSEmailSenderProvider::NotAuthenticatedWithoutToken() {
    // The refresh succeeds but brings no access token.
    HttpStub tokens(HttpStub::Script({HttpStub::Route(
        "/token", {QJsonObject{{"status", 200}, {"body", R"({"token_type": "Bearer"})"}}})}));
    HttpStub endpoint(HttpStub::Script({HttpStub::Route("/send", {QJsonObject{{"status", 202}}})}));
    ProviderFiles folder({HttpEntry(endpoint.Url("/send").toString())}, QStringLiteral("XOAUTH2"),
                         tokens.Url("/token").toString());
    auto sender = ProviderSender(folder, QStringLiteral("api"), false);
    QVERIFY(!sender->ConnectToServer(true));
    QCOMPARE(sender->LastError(), QStringLiteral("Not properly authenticated."));
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    QCOMPARE(ThrownMessage([&] { sender->ConnectToServer(false); }),
             QStringLiteral("Not properly authenticated."));
    QVERIFY(!SendTo(*sender));
    QCOMPARE(sender->LastError(), QStringLiteral("Not properly authenticated."));
    QCOMPARE(endpoint.Requests().size(), 0);
    QVERIFY(tokens.Requests().size() >= 3);
}

void tst_DNSEmailSenderProvider::EmptyAuthModeGoesBackToPlainSmtp() {
    SmtpPeer peer({"--expect-xoauth2", QString::fromLatin1(QByteArray("unused").toHex())});
    START_PEER(peer);
    ProviderFiles folder(
        {QJsonObject{{"name", "smtp"}, {"host", "127.0.0.1"}, {"port", peer.Port()}, {"tls", "NoTLSSupport"}},
         HttpEntry(QStringLiteral("http://127.0.0.1:9/send"))});
    auto sender = ProviderSender(folder, QStringLiteral("api"));
    QVERIFY(sender->IsProviderActive());
    sender->SetAuthMode({}, {}, QStringLiteral("api"), {}, {});
    QCOMPARE(sender->AuthMode(), QString());
    QCOMPARE(sender->TransportProtocol(), QString());
    QVERIFY(!sender->IsProviderActive());
    QVERIFY(!sender->IsConnected());

    sender->SetExternalSMTP(QStringLiteral("127.0.0.1:%1").arg(peer.Port()));
    sender->SetServerTLSMode(sccNo);
    QVERIFY2(SendTo(*sender), qPrintable(sender->LastError()));
    QCOMPARE(peer.Messages().size(), 1);
    QCOMPARE(peer.AuthLog().size(), 0); // plain SMTP: no token mechanism
    sender->DisconnectFromServer();
}

QTEST_GUILESS_MAIN(tst_DNSEmailSenderProvider)
#include "tst_DNSEmailSenderProvider.moc"
