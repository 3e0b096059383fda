// TMethodeCallThread: the method and its completion, exceptions shown on the GUI thread, the
// wake token of a self-suspending thread, and joining.

#include "MethodeCallThread.h"

#include "HostDoubles.h"
#include "QVException.h"

#include <QTest>

#include <QRegularExpression>

#include <atomic>
#include <future>
#include <thread>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace emailmarketing;

namespace {

int OwnNice() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

// Makes the calling thread (and the threads it creates) an unprivileged one at nice ANice: it may
// raise its nice value but never lower it again.
bool BecomeUnprivilegedAtNice(int ANice) {
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), ANice) != 0)
        return false;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (auto& d : data) {
        d.effective &= ~(1u << CAP_SYS_NICE);
        d.permitted &= ~(1u << CAP_SYS_NICE);
    }
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

class tst_MethodeCallThread : public QObject {
    Q_OBJECT

private slots:
    void runsMethodeThenFinalize();
    void exceptionStillFinalizesAndIsShown_data();
    void exceptionStillFinalizesAndIsShown();
    void withoutMethodeEndsAtOnce();
    void terminateWakesSuspendedThread();
    void stressResumeBeforeSuspendIsNotLost();
    void methodeRunsWhenPriorityCannotBeApplied();
};

void tst_MethodeCallThread::runsMethodeThenFinalize() {
    QStringList steps;
    TMethodeCallThread thread;
    thread.SetIsRoot(true);
    thread.SetObjMethode([&](TMethodeCallThread& T) { steps << (T.IsRoot() ? "root" : "other"); });
    thread.SetFinalizeMethode([&] { steps << "final"; });
    thread.Start();
    thread.WaitFor();
    QCOMPARE(steps, QStringList({"root", "final"}));
    QVERIFY(thread.Finished());
    QVERIFY(!thread.Alive());
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, thread.Start());
}

void tst_MethodeCallThread::exceptionStillFinalizesAndIsShown_data() {
    QTest::addColumn<bool>("methodeRaises");
    QTest::addColumn<bool>("finalizeRaises");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("methode raises") << true << false << QStringList{"work failed"};
    QTest::newRow("finalize raises") << false << true << QStringList{"final failed"};
    QTest::newRow("both raise") << true << true << QStringList{"final failed", "work failed"};
}

void tst_MethodeCallThread::exceptionStillFinalizesAndIsShown() {
    QFETCH(bool, methodeRaises);
    QFETCH(bool, finalizeRaises);
    QFETCH(QStringList, shown);
    testsupport::RecordingExceptionDisplay display;
    std::atomic<bool> finalized{false};
    TMethodeCallThread thread;
    thread.SetObjMethode([&](TMethodeCallThread&) {
        if (methodeRaises)
            throw hostapi::EQVException("work failed");
    });
    thread.SetFinalizeMethode([&] {
        finalized = true;
        if (finalizeRaises)
            throw hostapi::EQVException("final failed");
    });
    thread.Start();
    thread.WaitFor();
    QVERIFY(finalized.load());
    QTRY_COMPARE(display.Records().size(), shown.size());
    QStringList messages;
    for (const auto& record : display.Records()) {
        messages << record.Exception.Message;
        QCOMPARE(record.Thread, QThread::currentThread()); // shown on the GUI thread
    }
    QCOMPARE(messages, shown);
}

void tst_MethodeCallThread::withoutMethodeEndsAtOnce() {
    bool finalized = false;
    TMethodeCallThread thread;
    thread.SetFinalizeMethode([&] { finalized = true; });
    thread.Start();
    thread.WaitFor();
    QVERIFY(thread.Finished());
    QVERIFY(!finalized);
}

void tst_MethodeCallThread::terminateWakesSuspendedThread() {
    std::promise<void> suspending;
    TMethodeCallThread thread;
    thread.SetObjMethode([&](TMethodeCallThread& T) {
        suspending.set_value();
        while (!T.Terminated())
            T.Suspend();
    });
    thread.Start();
    suspending.get_future().wait();
    thread.Terminate();
    thread.WaitFor();
    QVERIFY(thread.Finished());
}

void tst_MethodeCallThread::stressResumeBeforeSuspendIsNotLost() {
    for (int i = 0; i < 2000; ++i) {
        std::promise<void> resumed;
        std::shared_future<void> resumedFuture = resumed.get_future().share();
        std::atomic<bool> woke{false};
        TMethodeCallThread thread;
        thread.SetObjMethode([&](TMethodeCallThread& T) {
            resumedFuture.wait(); // the resume has been issued before the thread suspends
            T.Suspend();
            woke = !T.Terminated();
        });
        thread.Start();
        thread.Resume();
        resumed.set_value();
        thread.WaitFor();
        QVERIFY2(woke.load(), qPrintable(QString("round %1").arg(i)));
    }
}

void tst_MethodeCallThread::methodeRunsWhenPriorityCannotBeApplied() {
    const QRegularExpression logged(QStringLiteral("^Thread priority could not be set!"));
    QTest::ignoreMessage(QtWarningMsg, logged);
    QTest::failOnWarning(logged); // logged once, not once per thread
    bool ready = false;
    int ran = 0;
    QList<int> niceInThreads;
    // A thread of a process that already runs at a lower priority (nice 10) than the one asked for
    // (LowPriority, nice 5), without the privilege to raise it.
    std::thread unprivileged([&] {
        ready = BecomeUnprivilegedAtNice(10);
        if (!ready)
            return;
        for (int i = 0; i < 2; ++i) {
            TMethodeCallThread thread;
            thread.SetPriority(QThread::LowPriority);
            thread.SetObjMethode([&](TMethodeCallThread&) {
                ++ran;
                niceInThreads << OwnNice();
            });
            thread.Start();
            thread.WaitFor();
        }
    });
    unprivileged.join();
    QVERIFY2(ready, "could not drop the nice privilege");
    QCOMPARE(ran, 2);
    QCOMPARE(niceInThreads, (QList<int>{10, 10}));
}

QTEST_GUILESS_MAIN(tst_MethodeCallThread)
#include "tst_MethodeCallThread.moc"
