#include "SendPacing.h"
#include "SendRetryPolicy.h"

#include <QTest>

using namespace emailmarketing;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);

} // namespace

class tst_SendPacing : public QObject {
    Q_OBJECT

private slots:
    void pacingFromSettings_data();
    void pacingFromSettings();
    void throttleWait_data();
    void throttleWait();
    void unitDelay_data();
    void unitDelay();
    void verdict_data();
    void verdict();
    void retryDue_data();
    void retryDue();
    void sentListErrorMessage_data();
    void sentListErrorMessage();
};

void tst_SendPacing::pacingFromSettings_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("perUnits");
    QTest::addColumn<int>("mailsPerUnit");
    QTest::addColumn<bool>("throttle");
    QTest::addColumn<int>("unitDelay");
    QTest::addColumn<bool>("chaotic");
    QTest::addColumn<int>("packetSize");
    QTest::addColumn<qint64>("interval");
    QTest::addColumn<bool>("waitsForUnitDelay");
    QTest::addColumn<bool>("chaoticOn");

    QTest::newRow("120 per minute throttled")
        << int(esHTML) << true << 120 << true << 1 << false << 120 << qint64(500) << false << false;
    QTest::newRow("not in packets") << int(esHTML) << false << 120 << true << 1 << true << -1 << qint64(0)
                                    << false << true;
    QTest::newRow("packets of 0") << int(esPlainText) << true << 0 << true << 1 << false << -1 << qint64(0)
                                  << false << false;
    QTest::newRow("unit delay 0: no throttle, no pause")
        << int(esHTML) << true << 10 << true << 0 << false << 10 << qint64(0) << true << false;
    QTest::newRow("packets without throttle")
        << int(esHTML) << true << 1000 << false << 5 << false << 1000 << qint64(0) << true << false;
    QTest::newRow("interval whole ms")
        << int(esHTML) << true << 7 << true << 1 << false << 7 << qint64(8571) << false << false;
    QTest::newRow("interval below 1 ms: off")
        << int(esHTML) << true << 70000 << true << 1 << false << 70000 << qint64(0) << true << false;
    QTest::newRow("SMS: never throttled or chaotic")
        << int(esSMS) << true << 120 << true << 1 << true << 120 << qint64(0) << true << false;
}

void tst_SendPacing::pacingFromSettings() {
    QFETCH(int, style);
    QFETCH(bool, perUnits);
    QFETCH(int, mailsPerUnit);
    QFETCH(bool, throttle);
    QFETCH(int, unitDelay);
    QFETCH(bool, chaotic);
    const TSendPacing pacing = TSendPacing::FromSettings(static_cast<TEmailStyle>(style), perUnits,
                                                         mailsPerUnit, throttle, unitDelay, chaotic);
    QTEST(pacing.PacketSize, "packetSize");
    QTEST(pacing.ThrottleIntervalMs, "interval");
    QTEST(pacing.WaitsForUnitDelay(), "waitsForUnitDelay");
    QTEST(pacing.Chaotic, "chaoticOn");
}

void tst_SendPacing::throttleWait_data() {
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<qint64>("wait");
    QTest::newRow("instant send") << qint64(0) << qint64(500);
    QTest::newRow("part of the interval") << qint64(120) << qint64(380);
    QTest::newRow("exactly the interval") << qint64(500) << qint64(0);
    QTest::newRow("650 ms send: no pause") << qint64(650) << qint64(0);
}

void tst_SendPacing::throttleWait() {
    QFETCH(qint64, elapsed);
    const TSendPacing pacing = TSendPacing::FromSettings(esHTML, true, 120, true, 1, false);
    QTEST(pacing.ThrottleWaitMs(elapsed), "wait");
    QCOMPARE(TSendPacing::FromSettings(esHTML, true, 120, false, 1, false).ThrottleWaitMs(elapsed),
             qint64(0));
}

void tst_SendPacing::unitDelay_data() {
    QTest::addColumn<QDateTime>("lastPacket");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<qint64>("nowOffsetMs");
    QTest::addColumn<bool>("due");
    QTest::addColumn<double>("currentDelay");

    QTest::newRow("no packet yet") << QDateTime() << 5 << qint64(0) << true << 0.0;
    QTest::newRow("delay 0") << T0 << 0 << qint64(0) << true << 0.0;
    QTest::newRow("right after a packet") << T0 << 5 << qint64(0) << false << 5.0;
    QTest::newRow("halfway") << T0 << 5 << qint64(150000) << false << 2.5;
    QTest::newRow("exactly at the end: not yet") << T0 << 5 << qint64(300000) << false << 0.0;
    QTest::newRow("just after the end") << T0 << 5 << qint64(300001) << true << 1.0 / 60000.0;
    QTest::newRow("a minute after the end") << T0 << 5 << qint64(360000) << true << 1.0;
}

void tst_SendPacing::unitDelay() {
    QFETCH(QDateTime, lastPacket);
    QFETCH(int, minutes);
    QFETCH(qint64, nowOffsetMs);
    const QDateTime now = T0.addMSecs(nowOffsetMs);
    QTEST(TUnitDelay::Due(now, lastPacket, minutes), "due");
    QFETCH(double, currentDelay);
    QVERIFY2(qAbs(TUnitDelay::CurrentDelay(now, lastPacket, minutes) - currentDelay) < 1e-9,
             qPrintable(QString::number(TUnitDelay::CurrentDelay(now, lastPacket, minutes))));
}

void tst_SendPacing::verdict_data() {
    QTest::addColumn<bool>("success");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("retryCount");
    QTest::addColumn<int>("verdict");

    QTest::newRow("sent") << true << 0 << 0 << int(TSendVerdict::Sent);
    QTest::newRow("sent on the last retry") << true << 0 << 3 << int(TSendVerdict::Sent);
    QTest::newRow("421 first") << false << 421 << 0 << int(TSendVerdict::Retry);
    QTest::newRow("421 third retry") << false << 421 << 2 << int(TSendVerdict::Retry);
    QTest::newRow("421 after three retries") << false << 421 << 3 << int(TSendVerdict::Failed);
    QTest::newRow("550 at once") << false << 550 << 0 << int(TSendVerdict::Failed);
    QTest::newRow("450 is not retried") << false << 450 << 0 << int(TSendVerdict::Failed);
    QTest::newRow("no reply (0)") << false << 0 << 0 << int(TSendVerdict::Failed);
}

void tst_SendPacing::verdict() {
    QFETCH(bool, success);
    QFETCH(int, code);
    QFETCH(int, retryCount);
    QTEST(int(TSendRetryPolicy::Verdict(success, code, retryCount)), "verdict");
}

void tst_SendPacing::retryDue_data() {
    QTest::addColumn<int>("retryCount");
    QTest::addColumn<QDateTime>("lastRetry");
    QTest::addColumn<qint64>("nowOffsetMs");
    QTest::addColumn<bool>("due");

    QTest::newRow("never retried") << 0 << QDateTime() << qint64(0) << true;
    QTest::newRow("1st retry at 5 min") << 1 << T0 << qint64(5 * 60000) << false;
    QTest::newRow("1st retry after 5 min") << 1 << T0 << qint64(5 * 60000 + 1) << true;
    QTest::newRow("2nd retry at 60 min") << 2 << T0 << qint64(60 * 60000) << false;
    QTest::newRow("2nd retry after 60 min") << 2 << T0 << qint64(60 * 60000 + 1) << true;
    QTest::newRow("3rd retry at 300 min") << 3 << T0 << qint64(300 * 60000) << false;
    QTest::newRow("3rd retry after 300 min") << 3 << T0 << qint64(300 * 60000 + 1) << true;
    QTest::newRow("other count: 5 min") << 7 << T0 << qint64(5 * 60000 + 1) << true;
}

void tst_SendPacing::retryDue() {
    QFETCH(int, retryCount);
    QFETCH(QDateTime, lastRetry);
    QFETCH(qint64, nowOffsetMs);
    QTEST(TSendRetryPolicy::IsDue(retryCount, lastRetry, T0.addMSecs(nowOffsetMs)), "due");
    // DueAt is the first moment IsDue holds.
    const QDateTime dueAt = TSendRetryPolicy::DueAt(retryCount, lastRetry);
    if (dueAt.isValid()) {
        QVERIFY(TSendRetryPolicy::IsDue(retryCount, lastRetry, dueAt));
        QVERIFY(!TSendRetryPolicy::IsDue(retryCount, lastRetry, dueAt.addMSecs(-1)));
    }
}

void tst_SendPacing::sentListErrorMessage_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("success") << 0 << ""
                             << "0: ";
    QTest::newRow("refused") << 550 << "5.1.1 No such user"
                             << "550: 5.1.1 No such user";
    QTest::newRow("connect failure") << 0 << "Connection refused"
                                     << "0: Connection refused";
}

void tst_SendPacing::sentListErrorMessage() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QTEST(SentListErrorMessage(code, text), "message");
}

QTEST_GUILESS_MAIN(tst_SendPacing)
#include "tst_SendPacing.moc"
