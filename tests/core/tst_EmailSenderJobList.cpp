// TEmailSenderJobList: creation and lookup, observers, the timer entry (self-freeing sent jobs,
// auto-start, one job's failure), and shut-down with idle, sending and hanging jobs.

#include "EmailSenderJobList.h"

#include "HostDoubles.h"
#include "QVException.h"
#include "ScriptedEmailSender.h"

#include <QTest>

#include <future>

using namespace emailmarketing;
using testsupport::FakeClock;
using testsupport::ScriptedEmailSender;

namespace {

struct Call {
    TBaseEmailSender* Job;
    bool Removed;
};

class RecordingObserver : public IJobNotification {
public:
    void JobListChanged(TEmailSenderJobList&, TBaseEmailSender* AJob, bool ARemoved) override {
        Calls.append({AJob, ARemoved});
    }
    int Removals(TBaseEmailSender* AJob) const {
        int n = 0;
        for (const Call& c : Calls)
            n += (c.Job == AJob && c.Removed);
        return n;
    }
    QList<Call> Calls;
};

// A job list that creates scripted jobs on the given clock.
struct Fixture {
    FakeClock Clock;
    TEmailSenderJobList List;
    std::shared_ptr<RecordingObserver> Observer = std::make_shared<RecordingObserver>();

    Fixture() {
        List.SetClock(Clock.Clock());
        List.SetLocalJobFactory([](QObject* AOwner, qint32 AID, std::shared_ptr<TEmailListItem> AList, TEmailStyle AStyle) {
            return new ScriptedEmailSender(AOwner, AID, std::move(AList), AStyle);
        });
        List.RegisterJobNotifyer(Observer);
    }
    ScriptedEmailSender* Create(qint32 ATemplateID = 1) {
        auto* job = static_cast<ScriptedEmailSender*>(List.CreateJob(tjLocal, ATemplateID, testsupport::MakeList(), esPlainText));
        testsupport::MakeReady(*job);
        return job;
    }
};

} // namespace

class tst_EmailSenderJobList : public QObject {
    Q_OBJECT

private slots:
    void createAndFind();
    void unknownJobMode();
    void observerRegisteredTwice();
    void sentJobIsFreedByTimerTick();
    void timerGoesOnAfterFailingJob();
    void shutDownOnlyIdleJobs();
    void shutDownFreesHangingJobAfterCancel();
    void shutDownReachesSendersThatOutliveTheRoot_data();
    void shutDownReachesSendersThatOutliveTheRoot();
    void destructionDetachesObservers();
    void ownerDestroyedBeforeListFreesJobsOnce();
};

void tst_EmailSenderJobList::createAndFind() {
    QObject owner; // outlives the list, as the data module does
    Fixture f;
    f.List.SetJobOwner(&owner);
    ScriptedEmailSender* older = f.Create(4);
    ScriptedEmailSender* newer = f.Create(4);
    QCOMPARE(f.List.Count(), 2);
    QCOMPARE(f.List.Jobs(1), newer);
    QCOMPARE(f.List.ByTemplateID(4), older);
    QCOMPARE(f.List.ByTemplateID(5), nullptr);
    QCOMPARE(older->parent(), &owner);
    QCOMPARE(older->Now(), f.Clock.Base);
    QCOMPARE(f.Observer->Calls.size(), 2);
    QVERIFY(!f.Observer->Calls[0].Removed);
    f.List.Delete(older);
    QCOMPARE(f.List.Count(), 1);
    QCOMPARE(f.Observer->Removals(older), 1);
    f.List.Delete(older); // not in the list any more: nothing
    QCOMPARE(f.List.Count(), 1);
}

void tst_EmailSenderJobList::unknownJobMode() {
    Fixture f;
    try {
        f.List.CreateJob(static_cast<TJobMode>(1), 1, testsupport::MakeList(), esPlainText);
        QFAIL("no exception");
    } catch (const hostapi::EQVException& E) {
        QCOMPARE(E.Message(), QStringLiteral("Unknown job mode!"));
    }
    QCOMPARE(f.List.Count(), 0);
    QVERIFY(f.Observer->Calls.isEmpty());
}

void tst_EmailSenderJobList::observerRegisteredTwice() {
    Fixture f;
    f.List.RegisterJobNotifyer(f.Observer);
    f.Create();
    QCOMPARE(f.Observer->Calls.size(), 2);
    f.List.UnRegisterJobNotifyer(f.Observer);
    f.Create();
    QCOMPARE(f.Observer->Calls.size(), 3);
}

void tst_EmailSenderJobList::sentJobIsFreedByTimerTick() {
    Fixture f;
    ScriptedEmailSender* idle = f.Create(1);
    ScriptedEmailSender* sent = f.Create(2);
    std::promise<void> sending;
    sent->SendBody = [&](TMethodeCallThread&) {
        sending.get_future().wait();
        // the root sender ends with everything sent
    };
    sent->AddState({jsPrepared});
    sent->Send();
    sent->AddState({jsSent});
    sending.set_value(); // the thread may still be ending when the tick comes
    f.List.TimerFuncExecute();
    QCOMPARE(f.List.Count(), 1);
    QCOMPARE(f.List.Jobs(0), idle);
    QCOMPARE(f.Observer->Removals(sent), 1);
    f.List.TimerFuncExecute();
    QCOMPARE(f.Observer->Calls.size(), 3);
}

void tst_EmailSenderJobList::timerGoesOnAfterFailingJob() {
    testsupport::RecordingExceptionDisplay display;
    Fixture f;
    ScriptedEmailSender* sent = f.Create(1);
    ScriptedEmailSender* failing = f.Create(2);
    sent->SetState({jsInitialized, jsPrepared, jsSent});
    failing->SetAutoStart(true);
    failing->OnWriteJobRow = [] { throw hostapi::EQVException("database gone"); };
    f.List.TimerFuncExecute();
    QCOMPARE(f.List.Count(), 1);
    QCOMPARE(f.List.Jobs(0), failing);
    QVERIFY(!failing->ThreadsAlive());
    QTRY_COMPARE(display.Records().size(), 1);
    QCOMPARE(display.Records()[0].Exception.Message, QStringLiteral("database gone"));
}

void tst_EmailSenderJobList::shutDownOnlyIdleJobs() {
    Fixture f;
    ScriptedEmailSender* sending = f.Create(1);
    ScriptedEmailSender* idle = f.Create(2);
    sending->SendBody = [](TMethodeCallThread& T) { testsupport::IdleUntilTerminated(T); };
    sending->AddState({jsPrepared});
    sending->Send();
    f.List.ShutDownAllJobs(true);
    QCOMPARE(f.List.Count(), 1);
    QCOMPARE(f.List.Jobs(0), sending);
    QCOMPARE(f.Observer->Removals(idle), 1);
    f.List.ShutDownAllJobs(false);
    QCOMPARE(f.List.Count(), 0);
    QCOMPARE(f.Observer->Removals(sending), 1);
}

void tst_EmailSenderJobList::shutDownFreesHangingJobAfterCancel() {
    testsupport::RecordingExceptionDisplay display;
    Fixture f;
    f.Clock.StepMs = 1000;
    ScriptedEmailSender* hanging = f.Create(1);
    auto cancel = std::make_shared<std::promise<void>>();
    std::shared_future<void> cancelled = cancel->get_future().share();
    std::atomic<bool> threadEnded{false};
    hanging->SendBody = [cancelled, &threadEnded](TMethodeCallThread&) {
        cancelled.wait(); // a blocking call that only its cancellation ends
        threadEnded = true;
    };
    hanging->OnCancelBlockingWork = [cancel] { cancel->set_value(); };
    hanging->AddState({jsPrepared});
    hanging->Send();
    f.List.ShutDownAllJobs(false);
    QVERIFY(threadEnded.load()); // joined before the job was freed
    QCOMPARE(f.List.Count(), 0);
    QCOMPARE(f.Observer->Removals(hanging), 1);
    QTRY_COMPARE(display.Records().size(), 1);
    QCOMPARE(display.Records()[0].Exception.Message, QStringLiteral("Timeout while waiting for termination state!"));
}

void tst_EmailSenderJobList::shutDownReachesSendersThatOutliveTheRoot_data() {
    QTest::addColumn<bool>("onlyIdle");
    QTest::newRow("shut-down question: the job is not idle") << true;
    QTest::newRow("unload: the job is ended and freed") << false;
}

void tst_EmailSenderJobList::shutDownReachesSendersThatOutliveTheRoot() {
    QFETCH(bool, onlyIdle);
    testsupport::RecordingExceptionDisplay display;
    Fixture f;
    f.Clock.StepMs = 10; // a join that cannot end times out instead of hanging
    ScriptedEmailSender* job = f.Create(1);
    testsupport::SendWithSendersOutlivingTheRoot(*job, 1);
    f.List.ShutDownAllJobs(onlyIdle);
    QCOMPARE(f.List.Count(), onlyIdle ? 1 : 0);
    if (onlyIdle) {
        QVERIFY(job->State().Contains(jsSending));
        f.List.ShutDownAllJobs(false);
    }
    QCOMPARE(f.Observer->Removals(job), 1);
    QVERIFY(display.Records().isEmpty()); // no termination timeout
}

void tst_EmailSenderJobList::destructionDetachesObservers() {
    auto observer = std::make_shared<RecordingObserver>();
    {
        Fixture f;
        f.List.RegisterJobNotifyer(observer);
        f.Create();
        QCOMPARE(observer->Calls.size(), 1);
    }
    QCOMPARE(observer->Calls.size(), 1);
}

QTEST_GUILESS_MAIN(tst_EmailSenderJobList)
void tst_EmailSenderJobList::ownerDestroyedBeforeListFreesJobsOnce() {
    // The owner's child deletion must not free a job that the list frees again.
    Fixture f;
    auto owner = std::make_unique<QObject>();
    f.List.SetJobOwner(owner.get());
    ScriptedEmailSender* job = f.Create(3);
    QCOMPARE(job->parent(), owner.get());
    owner.reset();
    QCOMPARE(f.List.Count(), 0);
    QCOMPARE(f.Observer->Removals(job), 1);
    QCOMPARE(f.List.JobOwner(), nullptr);
}

#include "tst_EmailSenderJobList.moc"
