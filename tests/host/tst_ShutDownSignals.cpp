#include "ShutDownSignals.h"

#include "QVException.h"

#include <QSignalSpy>
#include <QtTest>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

using qvhost::ShutDownSignals;

namespace {

using Handler = void (*)(int);

Handler CurrentHandler(int ASignal) {
    struct sigaction action = {};
    sigaction(ASignal, nullptr, &action);
    return action.sa_handler;
}

std::atomic<int> GPreviousCalls{0};
void PreviousHandler(int) {
    ++GPreviousCalls;
}

} // namespace

// SIGTERM and SIGINT reach the GUI thread as a Qt signal through the self-pipe; the handlers that
// were there before come back.
class tst_ShutDownSignals : public QObject {
    Q_OBJECT

private slots:
    void signalArrivesOnTheEventLoop_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void signalArrivesOnTheEventLoop() {
        QFETCH(int, signal);
        ShutDownSignals watcher;
        QSignalSpy spy(&watcher, &ShutDownSignals::SignalReceived);
        QCOMPARE(watcher.Received(), 0);
        errno = EDOM;
        QCOMPARE(raise(signal), 0);
        QCOMPARE(errno, EDOM);           // the handler keeps the interrupted code's errno
        QCOMPARE(watcher.Received(), 0); // taken on the event loop, not in the handler
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toInt(), signal);
        QCOMPARE(watcher.Received(), signal);
    }

    void previousHandlersComeBack() {
        const Handler termBefore = CurrentHandler(SIGTERM);
        struct sigaction original = {};
        sigaction(SIGINT, nullptr, &original); // the test framework's
        signal(SIGINT, &PreviousHandler);
        {
            ShutDownSignals watcher;
            QVERIFY(CurrentHandler(SIGINT) != &PreviousHandler);
            // One instance at a time.
            QVERIFY_THROWS_EXCEPTION(hostapi::EQVAssertion, ShutDownSignals());
        }
        QVERIFY(CurrentHandler(SIGTERM) == termBefore);
        QVERIFY(CurrentHandler(SIGINT) == &PreviousHandler);
        GPreviousCalls = 0;
        QCOMPARE(raise(SIGINT), 0);
        QCOMPARE(GPreviousCalls.load(), 1);
        sigaction(SIGINT, &original, nullptr);
    }

    // Signals raised on many threads at once, more than the pipe holds: the process survives, the
    // signals arrive, and every one taken is one of the two.
    void signalsFromManyThreads() {
        ShutDownSignals watcher;
        QSignalSpy spy(&watcher, &ShutDownSignals::SignalReceived);
        constexpr int Threads = 8;
        constexpr int PerThread = 20000;
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < PerThread; ++i)
                    pthread_kill(pthread_self(), (t + i) % 2 ? SIGTERM : SIGINT);
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QTRY_VERIFY(spy.count() > 0);
        QVERIFY(spy.count() <= Threads * PerThread);
        for (const QList<QVariant>& call : spy)
            QVERIFY(call.first().toInt() == SIGTERM || call.first().toInt() == SIGINT);
        QVERIFY(watcher.Received() == SIGTERM || watcher.Received() == SIGINT);
    }
};

QTEST_GUILESS_MAIN(tst_ShutDownSignals)
#include "tst_ShutDownSignals.moc"
