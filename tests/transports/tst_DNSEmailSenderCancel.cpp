#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "MailPeers.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace emailmarketing;
using testsupport::SmtpPeer;

// Cancel from another thread ends a send that the server holds in DATA.
class tst_DNSEmailSenderCancel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }
    void CancelDuringStalledData();
};

void tst_DNSEmailSenderCancel::CancelDuringStalledData() {
    SmtpPeer peer;
    peer.SetRules(R"([{"when": "data", "reply": "stall"}])");
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    TDNSEmailSender sender;
    sender.SetUseExternalSMTP(true);
    sender.SetExternalSMTP(QStringLiteral("127.0.0.1:%1").arg(peer.Port()));
    QVERIFY(sender.ConnectToServer(true));

    std::atomic<bool> sent{true};
    std::atomic<qint64> returnedAt{0};
    QElapsedTimer clock;
    clock.start();
    std::thread worker([&] {
        sent = sender.SendMessage({}, QStringLiteral("anna@example.test"), {},
                                  QStringLiteral("shop@sender.test"), QStringLiteral("Hello"),
                                  QStringLiteral("Text"), {}, false, {}, {}, {}, {}, {}, {});
        returnedAt = clock.elapsed();
    });
    // The send is now blocked for good: the server holds the DATA end unanswered.
    const bool stalled = peer.WaitForStall(30000);
    const qint64 cancelledAt = clock.elapsed();
    sender.Cancel();
    worker.join();
    QVERIFY2(stalled, "the server never held the message");
    QVERIFY(!sent);
    QVERIFY2(
        returnedAt - cancelledAt < 1000,
        qPrintable(QStringLiteral("SendMessage returned %1 ms after Cancel").arg(returnedAt - cancelledAt)));
    QCOMPARE(sender.LastError(), TCustomMessageSender::CancelledText());
    QCOMPARE(sender.LastReplyErrorCode(), 0);
    QVERIFY(!sender.IsConnected());
    // Later calls fail at once.
    QVERIFY(!sender.ConnectToServer(true));
    QCOMPARE(sender.LastError(), TCustomMessageSender::CancelledText());
}

QTEST_GUILESS_MAIN(tst_DNSEmailSenderCancel)
#include "tst_DNSEmailSenderCancel.moc"
