// What a sender makes of a refused connect, and how long a refused sender waits.

#include "ConnectRefusal.h"

#include <QTest>

using namespace emailmarketing;

class tst_ConnectRefusal : public QObject {
    Q_OBJECT

private slots:
    void verdict_data();
    void verdict();
    void waitDoublesUpToFiveMinutes();
    void aConnectEndsTheRow();
};

void tst_ConnectRefusal::verdict_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("otherDelivering");
    QTest::addColumn<bool>("waits");
    QTest::addColumn<int>("groupCode");
    QTest::newRow("421 while another delivers") << 421 << true << true << 421;
    QTest::newRow("421, nobody delivers") << 421 << false << false << 421;
    QTest::newRow("450 while another delivers") << 450 << true << true << 450;
    QTest::newRow("454 (STARTTLS), nobody delivers") << 454 << false << false << 454;
    QTest::newRow("535 (AUTH) while another delivers") << 535 << true << false << 0;
    QTest::newRow("554 greeting") << 554 << false << false << 0;
    QTest::newRow("no reply while another delivers") << 0 << true << false << 0;
    QTest::newRow("399 is no refusal") << 399 << true << false << 0;
}

void tst_ConnectRefusal::verdict() {
    QFETCH(int, code);
    QFETCH(bool, otherDelivering);
    QFETCH(bool, waits);
    QCOMPARE(TConnectRefusal::Verdict(code, otherDelivering) == TConnectVerdict::Wait, waits);
    QTEST(TConnectRefusal::GroupResultCode(code), "groupCode");
}

void tst_ConnectRefusal::waitDoublesUpToFiveMinutes() {
    TConnectBackoff backoff;
    QList<qint64> waits;
    for (int i = 0; i < 7; ++i)
        waits << backoff.Refused();
    QCOMPARE(waits, (QList<qint64>{30000, 60000, 120000, 240000, 300000, 300000, 300000}));
    QCOMPARE(TConnectRefusal::WaitMs(1000000), qint64(300000));
}

void tst_ConnectRefusal::aConnectEndsTheRow() {
    TConnectBackoff backoff;
    backoff.Refused();
    backoff.Refused();
    backoff.Connected();
    QCOMPARE(backoff.Refusals(), 0);
    QCOMPARE(backoff.Refused(), qint64(30000));
}

QTEST_GUILESS_MAIN(tst_ConnectRefusal)
#include "tst_ConnectRefusal.moc"
