// The worker threads of a job: when sending counts as over, the refusal once closed, and starts,
// ends, terminations and resumes from many threads at once (tsan).

#include "JobThreads.h"

#include "QVException.h"

#include <QTest>

#include <atomic>
#include <latch>

using namespace emailmarketing;

namespace {

struct Counters {
    std::atomic<int> SendersGone{0};
    std::atomic<int> SenderEnded{0};
    TJobThreads::TCallbacks Callbacks() {
        return {[this] { ++SendersGone; }, [this] { ++SenderEnded; }};
    }
};

} // namespace

class tst_JobThreads : public QObject {
    Q_OBJECT

private slots:
    void sendersGoneOnceTheLastLeaves_data();
    void sendersGoneOnceTheLastLeaves();
    void closedRefusesStarts();
    void stressStartsEndsAndTerminations();
};

void tst_JobThreads::sendersGoneOnceTheLastLeaves_data() {
    QTest::addColumn<int>("senders");
    QTest::addColumn<bool>("duringStarts");
    QTest::newRow("one sender") << 1 << false;
    QTest::newRow("four senders") << 4 << false;
    QTest::newRow("four senders, ended while starting") << 4 << true;
}

void tst_JobThreads::sendersGoneOnceTheLastLeaves() {
    QFETCH(int, senders);
    QFETCH(bool, duringStarts);
    Counters counters;
    TJobThreads threads(counters.Callbacks());
    std::latch release(1);
    std::latch completed(senders);
    if (duringStarts)
        threads.BeginSenderStarts();
    for (int i = 0; i < senders; ++i)
        threads.Start(
            true, i == 0, QThread::NormalPriority, [&](TMethodeCallThread&) { release.wait(); }, {},
            [&](TMethodeCallThread&) { completed.count_down(); });
    QCOMPARE(threads.SenderCount(), senders);
    QVERIFY(threads.Alive());
    release.count_down();
    // Every sender has left the list before the join takes the threads.
    completed.wait();
    threads.JoinAll();
    QCOMPARE(threads.SenderCount(), 0);
    QVERIFY(!threads.Alive());
    QCOMPARE(counters.SenderEnded.load(), senders);
    // While starts are under way the empty list is not the end of sending; their end is.
    QCOMPARE(counters.SendersGone.load(), duringStarts ? 0 : 1);
    if (duringStarts) {
        threads.EndSenderStarts();
        QCOMPARE(counters.SendersGone.load(), 1);
    }
}

void tst_JobThreads::closedRefusesStarts() {
    Counters counters;
    TJobThreads threads(counters.Callbacks());
    std::atomic<int> ran{0};
    threads.Start(false, false, QThread::NormalPriority, [&](TMethodeCallThread&) { ++ran; }, {}, {});
    threads.Close();
    try {
        threads.Start(true, true, QThread::NormalPriority, [&](TMethodeCallThread&) { ++ran; }, {}, {});
        QFAIL("a closed job started a thread");
    } catch (const hostapi::EQVException& E) {
        QCOMPARE(E.Message(), QStringLiteral("The job is being freed; no thread of it is started."));
    }
    threads.JoinAll();
    QCOMPARE(ran.load(), 1);
    QCOMPARE(counters.SenderEnded.load(), 0);
}

void tst_JobThreads::stressStartsEndsAndTerminations() {
    // Senders replace themselves (as a failed sender is replaced) while another thread terminates,
    // resumes and counts them; every started sender ends exactly once and the join gets them all.
    constexpr int Rounds = 30;
    constexpr int Chain = 8;
    for (int round = 0; round < Rounds; ++round) {
        Counters counters;
        std::atomic<int> started{0};
        std::atomic<int> finalized{0};
        std::atomic<int> completed{0};
        TJobThreads threads(counters.Callbacks());
        std::function<void(TMethodeCallThread&)> body;
        body = [&](TMethodeCallThread& AThread) {
            const int n = ++started;
            if (n < Chain)
                threads.Start(
                    true, AThread.IsRoot(), QThread::NormalPriority, body, [&] { ++finalized; },
                    [&](TMethodeCallThread&) { ++completed; });
            AThread.Suspend();
        };
        threads.BeginSenderStarts();
        threads.Start(
            true, true, QThread::NormalPriority, body, [&] { ++finalized; },
            [&](TMethodeCallThread&) { ++completed; });
        threads.Start(false, false, QThread::NormalPriority, [](TMethodeCallThread&) {}, {}, {});
        threads.EndSenderStarts();
        std::thread other([&] {
            for (int i = 0; i < 50; ++i) {
                threads.ResumeSenders();
                (void)threads.SenderCount();
                (void)threads.Alive();
            }
            threads.TerminateAll();
        });
        other.join();
        // Senders started after the termination are woken by a resume of their own.
        while (threads.Alive()) {
            threads.TerminateAll();
            threads.ResumeSenders();
            QThread::yieldCurrentThread();
        }
        threads.JoinAll();
        const int senders = started.load();
        QCOMPARE(counters.SenderEnded.load(), senders);
        QCOMPARE(finalized.load(), senders);
        QCOMPARE(completed.load(), senders);
        QCOMPARE(threads.SenderCount(), 0);
        QVERIFY(counters.SendersGone.load() >= 1);
    }
}

QTEST_GUILESS_MAIN(tst_JobThreads)
#include "tst_JobThreads.moc"
