#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "QVException.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "TestDatabase.h"

#include <QtTest>

using namespace emailmarketing;

Q_DECLARE_METATYPE(TServerTLSMode)
Q_DECLARE_METATYPE(TIdUseTLS)

// The sender's pure parts and its registration; delivery is tested against real peers in
// tst_DNSEmailSenderDelivery.
class tst_DNSEmailSender : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void Defaults();
    void FixEmailName_data();
    void FixEmailName();
    void GetDomainName_data();
    void GetDomainName();
    void ParseExternalServer_data();
    void ParseExternalServer();
    void MaySendPassword_data();
    void MaySendPassword();
    void GetUseTLS_data();
    void GetUseTLS();
    void RegisteredForBothDevices_data();
    void RegisteredForBothDevices();
    void RegistrationIsRepeatable();
    void CAFileComesFromTheSettings();
    void NoExternalServerDefined_data();
    void NoExternalServerDefined();
};

void tst_DNSEmailSender::cleanup() {
    UnRegisterDNSEmailSenderClasses();
}

void tst_DNSEmailSender::Defaults() {
    TDNSEmailSender sender;
    QVERIFY(!sender.UseExternalSMTP());
    QVERIFY(!sender.IsSingleServer());
    QVERIFY(sender.Authentication());
    QCOMPARE(sender.ExternalSMPTPort(), 0);
    QCOMPARE(sender.ServerTLSMode(), sccAuto);
    QVERIFY(!sender.RaiseExceptions());
    QVERIFY(!sender.IsConnected());
    QVERIFY(sender.CanTimeOut());
    QCOMPARE(sender.LastReplyErrorCode(), 0);
    QCOMPARE(TDNSEmailSender::MailExchangerPort(), quint16(25));
    sender.DisconnectFromServer(); // harmless without a connection
    QVERIFY(!sender.IsConnected());
}

void tst_DNSEmailSender::FixEmailName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("fixed");
    QTest::newRow("comma quotes brackets") << "\"Müller, Anna\" <x>"
                                           << "Müller Anna x";
    QTest::newRow("control characters, ! and apostrophe") << QStringLiteral("O'Neil!\t\r\nJr") << "ONeilJr";
    QTest::newRow("non-ASCII kept") << "Ćelić Žofia 東京"
                                    << "Ćelić Žofia 東京";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_DNSEmailSender::FixEmailName() {
    QFETCH(QString, name);
    QTEST(TDNSEmailSender::FixEmailName(name), "fixed");
}

void tst_DNSEmailSender::GetDomainName_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("domain");
    QTest::newRow("address") << "anna@Example.TEST"
                             << "Example.TEST";
    QTest::newRow("first @ counts") << "a@b@c.de"
                                    << "b@c.de";
    QTest::newRow("no @") << "localhost"
                          << "localhost";
}

void tst_DNSEmailSender::GetDomainName() {
    QFETCH(QString, address);
    QTEST(TDNSEmailSender::GetDomainName(address), "domain");
}

void tst_DNSEmailSender::ParseExternalServer_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("portSetting");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("host:587") << "smtp.example.test:587" << 0 << "smtp.example.test" << 587;
    QTest::newRow("port in text wins") << "127.0.0.1:2525" << 465 << "127.0.0.1" << 2525;
    QTest::newRow(":abc gives 25") << "smtp.example.test:abc" << 587 << "smtp.example.test" << 25;
    QTest::newRow("port out of range gives 25") << "h:70000" << 0 << "h" << 25;
    QTest::newRow("no port, setting 0 gives 25") << "smtp.example.test" << 0 << "smtp.example.test" << 25;
    QTest::newRow("no port, setting") << " smtp.example.test " << 2525 << "smtp.example.test" << 2525;
    QTest::newRow("no host") << ":25" << 0 << "" << 25;
}

void tst_DNSEmailSender::ParseExternalServer() {
    QFETCH(QString, server);
    QFETCH(int, portSetting);
    const auto [host, port] = TDNSEmailSender::ParseExternalServer(server, portSetting);
    QTEST(host, "host");
    QTEST(int(port), "port");
}

void tst_DNSEmailSender::MaySendPassword_data() {
    QTest::addColumn<TServerTLSMode>("mode");
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("auto, plain, remote") << sccAuto << false << false << false;
    QTest::newRow("auto, plain, loopback") << sccAuto << false << true << true;
    QTest::newRow("auto, TLS, remote") << sccAuto << true << false << true;
    QTest::newRow("no TLS chosen, remote") << sccNo << false << false << true;
    QTest::newRow("explicit, plain, remote") << sccTLSExplicit << false << false << true;
}

void tst_DNSEmailSender::MaySendPassword() {
    QFETCH(TServerTLSMode, mode);
    QFETCH(bool, encrypted);
    QFETCH(bool, loopback);
    QTEST(TDNSEmailSender::MaySendPassword(mode, encrypted, loopback), "allowed");
}

void tst_DNSEmailSender::GetUseTLS_data() {
    QTest::addColumn<TServerTLSMode>("mode");
    QTest::addColumn<int>("port");
    QTest::addColumn<TIdUseTLS>("useTLS");
    QTest::newRow("auto 465") << sccAuto << 465 << TIdUseTLS::utUseImplicitTLS;
    QTest::newRow("auto 587") << sccAuto << 587 << TIdUseTLS::utUseExplicitTLS;
    QTest::newRow("SSL 587") << sccSSL << 587 << TIdUseTLS::utUseImplicitTLS;
    QTest::newRow("required") << sccTLSRequired << 25 << TIdUseTLS::utUseRequireTLS;
    QTest::newRow("explicit 465") << sccTLSExplicit << 465 << TIdUseTLS::utUseExplicitTLS;
    QTest::newRow("no TLS 465") << sccNo << 465 << TIdUseTLS::utNoTLSSupport;
    QTest::newRow("unknown mode") << TServerTLSMode(9) << 465 << TIdUseTLS::utNoTLSSupport;
}

void tst_DNSEmailSender::GetUseTLS() {
    QFETCH(TServerTLSMode, mode);
    QFETCH(int, port);
    QTEST(TDNSEmailSender::GetUseTLS(mode, port, 465), "useTLS");
}

void tst_DNSEmailSender::RegisteredForBothDevices_data() {
    QTest::addColumn<int>("device");
    QTest::addColumn<bool>("external");
    QTest::newRow("msdExtSMTP") << int(msdExtSMTP) << true;
    QTest::newRow("msdInternal") << int(msdInternal) << false;
}

void tst_DNSEmailSender::RegisteredForBothDevices() {
    QFETCH(int, device);
    QFETCH(bool, external);
    RegisterDNSEmailSenderClasses();
    TMessageSenderSettings settings;
    settings.DNSServer = QStringLiteral("127.0.0.1:5353");
    settings.MailServer = QStringLiteral("smtp.example.test:587");
    settings.SendAuthentication = false;
    settings.SendUserName = QStringLiteral("anna");
    settings.SendPassword = QStringLiteral("secret");
    const std::unique_ptr<TCustomMessageSender> created =
        CreateMessageSender(TMessageSenderDevice(device), settings);
    auto* sender = dynamic_cast<TDNSEmailSender*>(created.get());
    QVERIFY(sender);
    QCOMPARE(sender->UseExternalSMTP(), external);
    QCOMPARE(sender->IsSingleServer(), external);
    QCOMPARE(sender->DNSServer(), settings.DNSServer);
    QCOMPARE(sender->ExternalSMTP(), settings.MailServer);
    // Direct delivery keeps its defaults: authentication on, no user (so no AUTH is tried).
    QCOMPARE(sender->Authentication(), !external);
    QCOMPARE(sender->UserName(), external ? settings.SendUserName : QString());
}

void tst_DNSEmailSender::RegistrationIsRepeatable() {
    RegisterDNSEmailSenderClasses();
    RegisterDNSEmailSenderClasses();
    UnRegisterDNSEmailSenderClasses();
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, CreateMessageSender(msdExtSMTP, {}));
    RegisterDNSEmailSenderClasses();
    QVERIFY(CreateMessageSender(msdInternal, {}) != nullptr);
}

void tst_DNSEmailSender::CAFileComesFromTheSettings() {
    hostapi::HostLibraries::Initialize();
    testsupport::TestDatabase db;
    RegisterDNSEmailSenderClasses();
    auto& store = hostapi::SettingsStore::Instance();
    const QString file = QStringLiteral("/etc/ssl/private-ca/Firma CA.pem");
    store.WriteString(QStringLiteral("EMLMARK"), QStringLiteral("SMTPCAFILE"),
                      hostapi::StrToStringData(file));
    TMessageSenderSettings settings;
    settings.MailServer = QStringLiteral("smtp.example.test:587");
    settings.Settings = &store;
    const std::unique_ptr<TCustomMessageSender> external = CreateMessageSender(msdExtSMTP, settings);
    QCOMPARE(dynamic_cast<TDNSEmailSender&>(*external).SMTPCAFile(), file);
    // Direct delivery never verifies, so it takes no CA file.
    const std::unique_ptr<TCustomMessageSender> direct = CreateMessageSender(msdInternal, settings);
    QCOMPARE(dynamic_cast<TDNSEmailSender&>(*direct).SMTPCAFile(), QString());
}

void tst_DNSEmailSender::NoExternalServerDefined_data() {
    QTest::addColumn<QString>("server");
    QTest::newRow("empty") << "";
    QTest::newRow("blank") << "  ";
    QTest::newRow("port only") << ":25";
}

void tst_DNSEmailSender::NoExternalServerDefined() {
    QFETCH(QString, server);
    TDNSEmailSender sender;
    sender.SetUseExternalSMTP(true);
    sender.SetExternalSMTP(server);
    QVERIFY(!sender.ConnectToServer(true));
    QCOMPARE(sender.LastError(), QStringLiteral("No external SMTP Server defined."));
    QCOMPARE(sender.LastReplyErrorCode(), 0);
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, sender.ConnectToServer(false));
}

QTEST_GUILESS_MAIN(tst_DNSEmailSender)
#include "tst_DNSEmailSender.moc"
