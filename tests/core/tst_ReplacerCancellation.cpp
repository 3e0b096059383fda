// The cancel of a job's file macro replacers that run a child process, from other threads.

#include "CustomFileMacroReplacer.h"
#include "ReplacerCancellation.h"

#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace emailmarketing;

namespace {

// A replacer whose "child process" runs until it is cancelled (or a bound of rounds); it records
// whether a cancel ever came while it was not inside its work.
class WaitingReplacer : public TCustomFileMacroReplacer {
public:
    std::atomic<bool> Inside{false};
    std::atomic<bool> CancelledOutside{false};
    std::atomic<bool> CancelFlag{false};

    // Runs one blocking work; answers whether it was cancelled.
    bool Run(int ARounds) {
        Inside = true;
        bool cancelled = false;
        {
            const TBlockingWork work(*this);
            for (int i = 0; i < ARounds && !cancelled; ++i) {
                cancelled = CancelFlag.load();
                std::this_thread::yield();
            }
        }
        Inside = false;
        return cancelled;
    }
    void Cancel() override {
        if (!Inside.load())
            CancelledOutside = true;
        CancelFlag = true;
    }
};

} // namespace

class tst_ReplacerCancellation : public QObject {
    Q_OBJECT

private slots:
    void cancelReachesTheRunningReplacerOnly() {
        TReplacerCancellation cancellation;
        WaitingReplacer outsideScope;
        QVERIFY(!outsideScope.Run(1)); // no job: nothing registers
        WaitingReplacer running;
        std::atomic<bool> entered{false};
        bool cancelled = false;
        std::thread prepare([&] {
            const TReplacerCancellation::TScope scope(cancellation);
            QCOMPARE(TReplacerCancellation::Current(), &cancellation);
            entered = true;
            cancelled = running.Run(100000000);
        });
        while (!entered.load() || !running.Inside.load())
            std::this_thread::yield();
        cancellation.Cancel();
        prepare.join();
        QVERIFY(cancelled);
        QVERIFY(!running.CancelledOutside.load());
        QCOMPARE(TReplacerCancellation::Current(), nullptr);
        // A work that starts after the cancel is cancelled at once; a reset ends that.
        {
            const TReplacerCancellation::TScope scope(cancellation);
            WaitingReplacer late;
            QVERIFY(late.Run(100000000));
            cancellation.Reset();
            WaitingReplacer next;
            QVERIFY(!next.Run(10));
        }
    }

    // Stress: works begin and end on several threads while others cancel; no replacer is ever
    // cancelled outside its work, and each work that overlaps a cancel ends cancelled.
    void stressCancelWhileWorksComeAndGo() {
        for (int round = 0; round < 20; ++round) {
            TReplacerCancellation cancellation;
            std::atomic<bool> stop{false};
            std::atomic<bool> outside{false};
            std::vector<std::thread> workers;
            for (int t = 0; t < 4; ++t)
                workers.emplace_back([&] {
                    const TReplacerCancellation::TScope scope(cancellation);
                    while (!stop.load()) {
                        WaitingReplacer replacer;
                        replacer.Run(50);
                        if (replacer.CancelledOutside.load())
                            outside = true;
                    }
                });
            std::thread canceller([&] {
                for (int i = 0; i < 200; ++i) {
                    cancellation.Cancel();
                    cancellation.Reset();
                }
            });
            canceller.join();
            stop = true;
            for (std::thread& worker : workers)
                worker.join();
            QVERIFY(!outside.load());
        }
    }
};

QTEST_GUILESS_MAIN(tst_ReplacerCancellation)
#include "tst_ReplacerCancellation.moc"
