#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "MailPeers.h"

#include <QtTest>

using namespace emailmarketing;
using testsupport::DnsPeer;
using testsupport::HostileMxPeer;
using testsupport::SmtpPeer;

namespace {

// Short enough for the test, long enough for a loopback greeting.
constexpr int TimeLimitMs = 400;

#define START_PEER(peer)                                                                                     \
    do {                                                                                                     \
        QString startError;                                                                                  \
        QVERIFY2((peer).Start(startError), qPrintable(startError));                                          \
    } while (false)

QStringList Listen(const QString& AHost, quint16 APort) {
    return {QStringLiteral("--host"), AHost, QStringLiteral("--port"), QString::number(APort)};
}

// example.test: best.example.test (10) at 127.0.0.1, backup.example.test (20) at 127.0.0.2.
QStringList TwoExchangers() {
    return {QStringLiteral("--local=/test/"), QStringLiteral("--mx-host=example.test,backup.example.test,20"),
            QStringLiteral("--mx-host=example.test,best.example.test,10"),
            QStringLiteral("--host-record=best.example.test,127.0.0.1"),
            QStringLiteral("--host-record=backup.example.test,127.0.0.2")};
}

// A hostile best exchanger and the SMTP peer as the backup, both on one port.
struct BestAndBackup {
    explicit BestAndBackup(const QString& ABestMode)
        : Port(testsupport::FreeLoopbackPort()), Best(ABestMode, QStringLiteral("127.0.0.1"), Port),
          Backup(Listen(QStringLiteral("127.0.0.2"), Port)), Dns(TwoExchangers()) {}
    bool Start(QString& AError) { return Best.Start(AError) && Backup.Start(AError) && Dns.Start(AError); }

    quint16 Port;
    HostileMxPeer Best;
    SmtpPeer Backup;
    DnsPeer Dns;
};

std::unique_ptr<TDNSEmailSender> DirectSender(const DnsPeer& ADns, quint16 APort) {
    TDNSEmailSender::SetMailExchangerPort(APort);
    TDNSEmailSender::SetMailExchangerTimeout(TimeLimitMs);
    auto sender = std::make_unique<TDNSEmailSender>();
    sender->SetDNSServer(ADns.Server());
    sender->SetDomainName(QStringLiteral("example.test"));
    return sender;
}

bool SendTo(TDNSEmailSender& ASender, const QString& AReceiver) {
    return ASender.SendMessage({}, AReceiver, QStringLiteral("Shop"), QStringLiteral("shop@sender.test"),
                               QStringLiteral("Hello"), QStringLiteral("Text\r\n"), {}, false, {}, {}, {}, {},
                               {}, {});
}

} // namespace

// Direct delivery against exchangers that fail before the transaction (tests/peers/hostile-mx):
// every address of every exchanger is tried in order, each with its own time limit.
class tst_DNSEmailSenderFailover : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void BestExchangerFailsBackupDelivers_data();
    void BestExchangerFailsBackupDelivers();
    void EveryExchangerFails_data();
    void EveryExchangerFails();
    void NextAddressOfTheSameExchanger();
    void OpportunisticTlsFallsBackToPlainText_data();
    void OpportunisticTlsFallsBackToPlainText();
    void ExternalServerKeepsItsTlsMode();
};

void tst_DNSEmailSenderFailover::initTestCase() {
    hostapi::HostLibraries::Initialize();
}

void tst_DNSEmailSenderFailover::cleanup() {
    TDNSEmailSender::SetMailExchangerPort(25);
    TDNSEmailSender::SetMailExchangerTimeout(60000);
}

void tst_DNSEmailSenderFailover::BestExchangerFailsBackupDelivers_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("blackholed (connect times out)") << "blackhole";
    QTest::newRow("never greets") << "silent";
    QTest::newRow("greets 421") << "greet421";
    QTest::newRow("greets 554") << "greet554";
    QTest::newRow("breaks TLS, then refuses connections") << "tls-crash";
}

void tst_DNSEmailSenderFailover::BestExchangerFailsBackupDelivers() {
    QFETCH(QString, mode);
    BestAndBackup peers(mode);
    START_PEER(peers);
    const auto sender = DirectSender(peers.Dns, peers.Port);
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY2(sender->ConnectToServer(true), qPrintable(sender->LastError()));
    QVERIFY2(elapsed.elapsed() < 10 * TimeLimitMs, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY2(SendTo(*sender, QStringLiteral("anna@example.test")), qPrintable(sender->LastError()));
    sender->DisconnectFromServer();
    QCOMPARE(peers.Backup.Messages().size(), 1);
    QVERIFY(peers.Best.Messages().isEmpty());
}

void tst_DNSEmailSenderFailover::EveryExchangerFails_data() {
    QTest::addColumn<QString>("bestMode");
    QTest::addColumn<QString>("backupMode");
    QTest::addColumn<QString>("bestFailure");
    QTest::addColumn<QString>("backupFailure");
    QTest::addColumn<int>("code");
    QTest::newRow("421, then no greeting: no code")
        << "greet421"
        << "silent"
        << "best.example.test (127.0.0.1): 421 4.3.2 Too busy, try later"
        << "backup.example.test (127.0.0.2): Timed out" << 0;
    QTest::newRow("blackholed, then 554: the last code")
        << "blackhole"
        << "greet554"
        << "best.example.test (127.0.0.1): Timed out while connecting"
        << "backup.example.test (127.0.0.2): 554 5.7.1 No service for you" << 554;
}

void tst_DNSEmailSenderFailover::EveryExchangerFails() {
    QFETCH(QString, bestMode);
    QFETCH(QString, backupMode);
    const quint16 port = testsupport::FreeLoopbackPort();
    HostileMxPeer best(bestMode, QStringLiteral("127.0.0.1"), port);
    HostileMxPeer backup(backupMode, QStringLiteral("127.0.0.2"), port);
    START_PEER(best);
    START_PEER(backup);
    DnsPeer dns(TwoExchangers());
    START_PEER(dns);
    const auto sender = DirectSender(dns, port);
    QVERIFY(!sender->ConnectToServer(true));
    const QString error = sender->LastError();
    QVERIFY2(error.startsWith(QStringLiteral("No mail exchanger of example.test could be reached: ")),
             qPrintable(error));
    QFETCH(QString, bestFailure);
    QVERIFY2(error.contains(bestFailure), qPrintable(error));
    QVERIFY2(error.indexOf(QStringLiteral("backup.example.test")) > error.indexOf(QStringLiteral("best.")),
             qPrintable(error));
    QFETCH(QString, backupFailure);
    QVERIFY2(error.contains(backupFailure), qPrintable(error));
    QTEST(sender->LastReplyErrorCode(), "code");
}

void tst_DNSEmailSenderFailover::NextAddressOfTheSameExchanger() {
    if (!testsupport::HasIPv6Loopback())
        QSKIP("this machine has no IPv6 loopback address");
    const quint16 port = testsupport::FreeLoopbackPort();
    HostileMxPeer v4(QStringLiteral("silent"), QStringLiteral("127.0.0.1"), port);
    SmtpPeer v6(Listen(QStringLiteral("::1"), port));
    START_PEER(v4);
    START_PEER(v6);
    DnsPeer dns({QStringLiteral("--local=/test/"),
                 QStringLiteral("--mx-host=example.test,mx.example.test,10"),
                 QStringLiteral("--host-record=mx.example.test,127.0.0.1,::1")});
    START_PEER(dns);
    const auto sender = DirectSender(dns, port);
    QVERIFY2(sender->ConnectToServer(true), qPrintable(sender->LastError()));
    QVERIFY2(SendTo(*sender, QStringLiteral("anna@example.test")), qPrintable(sender->LastError()));
    sender->DisconnectFromServer();
    QCOMPARE(v4.Connections(), 1);
    QCOMPARE(v6.Messages().size(), 1);
}

void tst_DNSEmailSenderFailover::OpportunisticTlsFallsBackToPlainText_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("STARTTLS answered 454") << "starttls454";
    QTest::newRow("handshake broken") << "tls-break";
}

void tst_DNSEmailSenderFailover::OpportunisticTlsFallsBackToPlainText() {
    QFETCH(QString, mode);
    BestAndBackup peers(mode);
    START_PEER(peers);
    const auto sender = DirectSender(peers.Dns, peers.Port);
    QVERIFY2(sender->ConnectToServer(true), qPrintable(sender->LastError()));
    QVERIFY(!sender->LastError().size());
    QVERIFY2(SendTo(*sender, QStringLiteral("anna@example.test")), qPrintable(sender->LastError()));
    sender->DisconnectFromServer();
    // The best exchanger takes the message in plain text over a second connection.
    QCOMPARE(peers.Best.Messages().size(), 1);
    QCOMPARE(peers.Best.Connections(), 2);
    QVERIFY(peers.Backup.Messages().isEmpty());
}

void tst_DNSEmailSenderFailover::ExternalServerKeepsItsTlsMode() {
    const quint16 port = testsupport::FreeLoopbackPort();
    HostileMxPeer server(QStringLiteral("tls-break"), QStringLiteral("127.0.0.1"), port);
    START_PEER(server);
    TDNSEmailSender sender;
    sender.SetUseExternalSMTP(true);
    sender.SetExternalSMTP(QStringLiteral("127.0.0.1:%1").arg(port));
    sender.SetServerTLSMode(sccTLSRequired);
    QVERIFY(!sender.ConnectToServer(true));
    QVERIFY2(sender.LastError().startsWith(QStringLiteral("TLS")), qPrintable(sender.LastError()));
    QCOMPARE(server.Connections(), 1);
    QVERIFY(server.Messages().isEmpty());
}

QTEST_GUILESS_MAIN(tst_DNSEmailSenderFailover)
#include "tst_DNSEmailSenderFailover.moc"
