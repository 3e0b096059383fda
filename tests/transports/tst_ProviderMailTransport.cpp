#include "AuthProviderItem.h"
#include "ProviderMailTransport.h"
#include "ThrownMessage.h"

#include <QJsonArray>
#include <QtTest>

using namespace emailmarketing;
using testsupport::ThrownMessage;

Q_DECLARE_METATYPE(TIdUseTLS)
Q_DECLARE_METATYPE(TProviderTransportKind)

namespace {

TAuthProviderItem Provider(const QJsonArray& AProtocols) {
    return TAuthProviderItem(QJsonObject{{"AuthName", "mail"}, {"protocols", AProtocols}});
}

} // namespace

// The rules of a provider's protocol entries: TLS use, where the token may go, the transport and
// the body of an HTTP posting.
class tst_ProviderMailTransport : public QObject {
    Q_OBJECT

private slots:
    void UseTLSOfEntryText_data();
    void UseTLSOfEntryText();
    void ConfigureIOHandlerByEntry_data();
    void ConfigureIOHandlerByEntry();
    void TokenOverConnection_data();
    void TokenOverConnection();
    void TokenToUrl_data();
    void TokenToUrl();
    void TransportKind_data();
    void TransportKind();
    void PostBody_data();
    void PostBody();
    void MissingProtocolEntry();
};

void tst_ProviderMailTransport::UseTLSOfEntryText_data() {
    QTest::addColumn<QString>("tls");
    QTest::addColumn<TIdUseTLS>("expected");
    QTest::addColumn<QString>("error");
    QTest::newRow("NoTLSSupport") << "NoTLSSupport" << TIdUseTLS::utNoTLSSupport << QString();
    QTest::newRow("UseImplicitTLS") << "UseImplicitTLS" << TIdUseTLS::utUseImplicitTLS << QString();
    QTest::newRow("UseRequireTLS") << "UseRequireTLS" << TIdUseTLS::utUseRequireTLS << QString();
    QTest::newRow("UseExplicitTLS") << "UseExplicitTLS" << TIdUseTLS::utUseExplicitTLS << QString();
    QTest::newRow("other letter case") << "useimplicittls" << TIdUseTLS::utNoTLSSupport
                                       << R"(Unknown tls type in provider configuration: "useimplicittls")";
    QTest::newRow("unknown") << "x" << TIdUseTLS::utNoTLSSupport
                             << R"(Unknown tls type in provider configuration: "x")";
}

void tst_ProviderMailTransport::UseTLSOfEntryText() {
    QFETCH(QString, tls);
    QFETCH(TIdUseTLS, expected);
    QFETCH(QString, error);
    if (error.isEmpty())
        QCOMPARE(TProviderMailTransport::UseTLSOf(tls), expected);
    else
        QCOMPARE(ThrownMessage([&] { TProviderMailTransport::UseTLSOf(tls); }), error);
}

void tst_ProviderMailTransport::ConfigureIOHandlerByEntry_data() {
    QTest::addColumn<QJsonArray>("protocols");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<TIdUseTLS>("expected");
    const QJsonArray entries{QJsonObject{{"name", "smtp"}, {"tls", "UseImplicitTLS"}},
                             QJsonObject{{"name", "smtp-plain"}, {"tls", "NoTLSSupport"}},
                             QJsonObject{{"name", "smtp-unset"}}};
    QTest::newRow("entry with tls") << entries << "smtp" << TIdUseTLS::utUseImplicitTLS;
    QTest::newRow("entry without tls keeps") << entries << "smtp-unset" << TIdUseTLS::utUseRequireTLS;
    QTest::newRow("no tls support") << entries << "smtp-plain" << TIdUseTLS::utNoTLSSupport;
    QTest::newRow("no entry keeps") << entries << "imap" << TIdUseTLS::utUseRequireTLS;
    QTest::newRow("name compared exactly") << entries << "SMTP" << TIdUseTLS::utUseRequireTLS;
}

void tst_ProviderMailTransport::ConfigureIOHandlerByEntry() {
    QFETCH(QJsonArray, protocols);
    QFETCH(QString, protocol);
    QFETCH(TIdUseTLS, expected);
    TAuthProviderItem provider = Provider(protocols);
    TVRNSMTP client(std::make_shared<CancelSignal>());
    client.SetUseTLS(TIdUseTLS::utUseRequireTLS);
    TProviderMailTransport::ConfigureIOHandler(provider, client, protocol);
    QCOMPARE(client.UseTLS(), expected);
}

void tst_ProviderMailTransport::TokenOverConnection_data() {
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("plain to loopback") << false << true << true;
    QTest::newRow("plain to another host") << false << false << false;
    QTest::newRow("TLS to another host") << true << false << true;
    QTest::newRow("TLS to loopback") << true << true << true;
}

void tst_ProviderMailTransport::TokenOverConnection() {
    QFETCH(bool, encrypted);
    QFETCH(bool, loopback);
    QFETCH(bool, allowed);
    QCOMPARE(TProviderMailTransport::MaySendToken(encrypted, loopback), allowed);
}

void tst_ProviderMailTransport::TokenToUrl_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("https") << "https://api.example.test/send" << true;
    QTest::newRow("HTTPS letter case") << "HTTPS://api.example.test/send" << true;
    QTest::newRow("http to 127.0.0.1") << "http://127.0.0.1:8080/send" << true;
    QTest::newRow("http to 127.x") << "http://127.3.4.5/send" << true;
    QTest::newRow("http to ::1") << "http://[::1]:8080/send" << true;
    QTest::newRow("http to localhost") << "http://LocalHost/send" << true;
    QTest::newRow("http to another host") << "http://api.example.test/send" << false;
    QTest::newRow("http to an address") << "http://192.0.2.10/send" << false;
    QTest::newRow("localhost as a subdomain") << "http://localhost.example.test/send" << false;
    QTest::newRow("other scheme") << "ftp://127.0.0.1/send" << false;
    QTest::newRow("no URL") << "" << false;
}

void tst_ProviderMailTransport::TokenToUrl() {
    QFETCH(QString, url);
    QFETCH(bool, allowed);
    QCOMPARE(TProviderMailTransport::MaySendTokenTo(QUrl(url)), allowed);
}

void tst_ProviderMailTransport::TransportKind_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<TProviderTransportKind>("kind");
    QTest::addColumn<QString>("error");
    QTest::newRow("rest") << "rest" << TProviderTransportKind::HttpPost << QString();
    QTest::newRow("http") << "http" << TProviderTransportKind::HttpPost << QString();
    QTest::newRow("ms-graph-sender") << "ms-graph-sender" << TProviderTransportKind::MailClient << QString();
    QTest::newRow("google-api-sender")
        << "google-api-sender" << TProviderTransportKind::MailClient << QString();
    QTest::newRow("unknown") << "smtp-relay" << TProviderTransportKind::HttpPost
                             << R"(Unknow transport type in provider configuration: "smtp-relay")";
    QTest::newRow("letter case") << "HTTP" << TProviderTransportKind::HttpPost
                                 << R"(Unknow transport type in provider configuration: "HTTP")";
    QTest::newRow("missing") << "" << TProviderTransportKind::HttpPost
                             << R"(Unknow transport type in provider configuration: "")";
}

void tst_ProviderMailTransport::TransportKind() {
    QFETCH(QString, transport);
    QFETCH(TProviderTransportKind, kind);
    QFETCH(QString, error);
    QJsonObject entry{{"name", "api"}};
    if (!transport.isEmpty())
        entry["transport"] = transport;
    if (error.isEmpty())
        QCOMPARE(TProviderMailTransport::TransportKind(entry), kind);
    else
        QCOMPARE(ThrownMessage([&] { TProviderMailTransport::TransportKind(entry); }), error);
}

void tst_ProviderMailTransport::PostBody_data() {
    QTest::addColumn<QJsonObject>("entry");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error");
    const QByteArray mime = "Subject: x\r\n\r\nText\xc3\xa4\r\n";
    QTest::newRow("base64") << QJsonObject{{"message-format", "MIME"}, {"message-encoding", "base64"}}
                            << mime.toBase64() << QString();
    QTest::newRow("as it is") << QJsonObject{{"message-format", "MIME"}} << mime << QString();
    QTest::newRow("unknown encoding")
        << QJsonObject{{"message-format", "MIME"}, {"message-encoding", "quoted-printable"}} << QByteArray()
        << R"(Unknown message-encoding in provider configuration: "quoted-printable")";
    QTest::newRow("unknown format") << QJsonObject{{"message-format", "JSON"}, {"message-encoding", "base64"}}
                                    << QByteArray()
                                    << R"(Unknown message-format in provider configuration: "JSON")";
    QTest::newRow("format letter case") << QJsonObject{{"message-format", "mime"}} << QByteArray()
                                        << R"(Unknown message-format in provider configuration: "mime")";
    QTest::newRow("no format") << QJsonObject{} << QByteArray()
                               << R"(Unknown message-format in provider configuration: "")";
}

void tst_ProviderMailTransport::PostBody() {
    QFETCH(QJsonObject, entry);
    QFETCH(QByteArray, body);
    QFETCH(QString, error);
    const QByteArray mime = "Subject: x\r\n\r\nText\xc3\xa4\r\n";
    if (error.isEmpty())
        QCOMPARE(TProviderMailTransport::PostBody(entry, mime), body);
    else
        QCOMPARE(ThrownMessage([&] { TProviderMailTransport::PostBody(entry, mime); }), error);
}

void tst_ProviderMailTransport::MissingProtocolEntry() {
    const TAuthProviderItem provider = Provider({QJsonObject{{"name", "smtp"}}});
    QCOMPARE(TProviderMailTransport::ProtocolEntry(provider, "smtp").value("name").toString(),
             QString("smtp"));
    QCOMPARE(ThrownMessage([&] { TProviderMailTransport::ProtocolEntry(provider, "x"); }),
             QStringLiteral(R"(Wrong protocol type configuration in provider configuration: "x")"));
}

QTEST_GUILESS_MAIN(tst_ProviderMailTransport)
#include "tst_ProviderMailTransport.moc"
