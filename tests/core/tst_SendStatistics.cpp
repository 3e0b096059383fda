// The counters of a send run: which counter each result moves, what a clear keeps, and that
// concurrent updates are all counted.

#include "SendStatistics.h"

#include <QTest>

#include <thread>
#include <vector>

using namespace emailmarketing;

namespace {

const QDateTime T0(QDate(2026, 5, 4), QTime(10, 0, 0));

// Applies "s" (sent), "u" (unit), "f" (failed), "r" (retry) flags per step; steps separated by
// blanks, e.g. "s sf u r".
void Play(TSendStatistics& AStatistics, const QString& ASteps) {
    int second = 0;
    for (const QString& step : ASteps.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        AStatistics.Update(step.contains(QLatin1Char('s')), step.contains(QLatin1Char('u')),
                           step.contains(QLatin1Char('f')), step.contains(QLatin1Char('r')),
                           T0.addSecs(++second).toMSecsSinceEpoch());
}

} // namespace

class tst_SendStatistics : public QObject {
    Q_OBJECT

private slots:
    void countsEachFlag_data();
    void countsEachFlag();
    void clearKeepsRetriesWhenAsked_data();
    void clearKeepsRetriesWhenAsked();
    void stressConcurrentUpdates();
};

void tst_SendStatistics::countsEachFlag_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("failed");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("succeeded");
    QTest::newRow("nothing") << "" << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("one success") << "s" << 1 << 0 << 0 << 0 << 1;
    QTest::newRow("one failure") << "sf" << 1 << 1 << 0 << 0 << 0;
    QTest::newRow("retry then success") << "r s" << 1 << 0 << 1 << 0 << 1;
    QTest::newRow("packet end only") << "u" << 0 << 0 << 0 << 1 << 0;
    QTest::newRow("mixed run") << "s sf r r s u sf u" << 4 << 2 << 2 << 2 << 2;
    QTest::newRow("every flag at once") << "sufr" << 1 << 1 << 1 << 1 << 0;
}

void tst_SendStatistics::countsEachFlag() {
    QFETCH(QString, steps);
    QFETCH(int, sent);
    QFETCH(int, failed);
    QFETCH(int, retries);
    QFETCH(int, units);
    QFETCH(int, succeeded);
    TSendStatistics statistics;
    Play(statistics, steps);
    QCOMPARE(statistics.SentCount(), sent);
    QCOMPARE(statistics.SentFailedCount(), failed);
    QCOMPARE(statistics.SentRetryCount(), retries);
    QCOMPARE(statistics.SentUnits(), units);
    QCOMPARE(statistics.SucceededCount(), succeeded);
    const int stepCount = int(steps.split(QLatin1Char(' '), Qt::SkipEmptyParts).size());
    QCOMPARE(statistics.LastUpdate(), stepCount == 0 ? QDateTime() : T0.addSecs(stepCount));
}

void tst_SendStatistics::clearKeepsRetriesWhenAsked_data() {
    QTest::addColumn<bool>("keepRetries");
    QTest::addColumn<int>("retriesAfter");
    QTest::newRow("new send run keeps retries") << true << 2;
    QTest::newRow("reset clears retries") << false << 0;
}

void tst_SendStatistics::clearKeepsRetriesWhenAsked() {
    QFETCH(bool, keepRetries);
    QFETCH(int, retriesAfter);
    TSendStatistics statistics;
    Play(statistics, "s sf r r u");
    const QDateTime cleared = T0.addSecs(100);
    statistics.Clear(keepRetries, cleared.toMSecsSinceEpoch());
    QCOMPARE(statistics.SentCount(), 0);
    QCOMPARE(statistics.SentFailedCount(), 0);
    QCOMPARE(statistics.SentUnits(), 0);
    QCOMPARE(statistics.SucceededCount(), 0);
    QCOMPARE(statistics.SentRetryCount(), retriesAfter);
    QCOMPARE(statistics.LastUpdate(), cleared);
}

void tst_SendStatistics::stressConcurrentUpdates() {
    // Sender threads and the sent-list writer count at the same time; no update may be lost.
    constexpr int Threads = 6;
    constexpr int Rounds = 2000;
    TSendStatistics statistics;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&statistics, t] {
            for (int i = 0; i < Rounds; ++i) {
                statistics.Update(true, i % 10 == 0, t % 2 == 0, i % 4 == 0, T0.toMSecsSinceEpoch());
                (void)statistics.SucceededCount();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(statistics.SentCount(), Threads * Rounds);
    QCOMPARE(statistics.SentFailedCount(), Threads / 2 * Rounds);
    QCOMPARE(statistics.SentRetryCount(), Threads * Rounds / 4);
    QCOMPARE(statistics.SentUnits(), Threads * Rounds / 10);
    QCOMPARE(statistics.SucceededCount(), Threads * Rounds - Threads / 2 * Rounds);
}

QTEST_GUILESS_MAIN(tst_SendStatistics)
#include "tst_SendStatistics.moc"
