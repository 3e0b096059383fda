// TLocalEmailSender: the action table, the refusals of the entry points, InitializeData, reset,
// termination with waiting (on the injected clock), the auto-start of the timer entry, the macro
// form conversion, and concurrent state changes.

#include "BaseEmailSender.h"

#include "DBFieldSchema.h"
#include "QVException.h"
#include "ScriptedEmailSender.h"

#include <QTest>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

using namespace emailmarketing;
using testsupport::FakeClock;
using testsupport::ScriptedEmailSender;

Q_DECLARE_METATYPE(emailmarketing::TEMLAction)

namespace {

// Frees the job at the end of a test, whatever happened.
struct JobHolder {
    ScriptedEmailSender* Job;
    explicit JobHolder(std::shared_ptr<TEmailListItem> AList = testsupport::MakeList())
        : Job(new ScriptedEmailSender(nullptr, 1, std::move(AList), esPlainText)) {}
    ~JobHolder() { TBaseEmailSender::FreeJob(Job); }
    ScriptedEmailSender* operator->() const { return Job; }
};

quint16 Bits(std::initializer_list<TJobState> AStates) { return TJobStateSet(AStates).ToInt(); }

// Terminate(True) that reports a timeout as False, so that a failing test ends cleanly.
bool TerminatedInTime(TBaseEmailSender& AJob) {
    try {
        return AJob.Terminate(true);
    } catch (const hostapi::EQVException& E) {
        qWarning("%s", qPrintable(E.Message()));
        return false;
    }
}

} // namespace

class tst_BaseEmailSender : public QObject {
    Q_OBJECT

private slots:
    void canAction_data();
    void canAction();
    void entryRefusal_data();
    void entryRefusal();
    void initializeDataFailure_data();
    void initializeDataFailure();
    void terminateIdleJob();
    void terminateWaitsForBlockingSender();
    void terminateTimesOutOnClock();
    void resetDataOfAutoStartedJobIsNotRestarted();
    void resetDataDuringTerminationDoesNothing();
    void timerStartsDueAutoStartJob();
    void previewWaitGivesUpOnClock();
    void replaceFieldMacros_data();
    void replaceFieldMacros();
    void stressConcurrentStateBits();
    void failedPreparationStartLeavesStateAsItWas_data();
    void failedPreparationStartLeavesStateAsItWas();
    void previewWaitEndsWithThePreparation_data();
    void previewWaitEndsWithThePreparation();
    void sendingLastsUntilLastSenderEnds();
    void failedSenderStartEndsSending_data();
    void failedSenderStartEndsSending();
    void threadStartedWhileJobIsFreedIsRefused();
    void prepareRightAfterPreparationEnded();
    void previewReturnsWithThePreparationEnded();
    void secondPrepareDuringStartIsRefused();
    void stressConcurrentPrepareCalls();
};

void tst_BaseEmailSender::canAction_data() {
    QTest::addColumn<quint16>("state");
    QTest::addColumn<TEMLAction>("action");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("start: initialized") << Bits({jsInitialized}) << eaStart << true;
    QTest::newRow("start: initialized+autostarted") << Bits({jsInitialized, jsAutoStarted}) << eaStart << false;
    QTest::newRow("start: initialized+preparedpreview") << Bits({jsInitialized, jsPreparedPreview}) << eaStart << true;
    QTest::newRow("start: empty") << Bits({}) << eaStart << false;
    QTest::newRow("prepare: initialized") << Bits({jsInitialized}) << eaPrepare << true;
    QTest::newRow("scheduler: initialized+sent") << Bits({jsInitialized, jsSent}) << eaChangeScheduler << false;
    QTest::newRow("reset: initialized") << Bits({jsInitialized}) << eaResetJob << false;
    QTest::newRow("reset: initialized+autostarted") << Bits({jsInitialized, jsAutoStarted}) << eaResetJob << true;
    QTest::newRow("reset: initialized+preparedpreview") << Bits({jsInitialized, jsPreparedPreview}) << eaResetJob << false;
    QTest::newRow("reset: empty") << Bits({}) << eaResetJob << true;
    QTest::newRow("send: preparing") << Bits({jsPreparing}) << eaSend << true;
    QTest::newRow("send: prepared") << Bits({jsInitialized, jsPrepared}) << eaSend << true;
    QTest::newRow("send: preparing+sending") << Bits({jsPreparing, jsSending}) << eaSend << false;
    QTest::newRow("send: initialized") << Bits({jsInitialized}) << eaSend << false;
    QTest::newRow("preview: no documents") << Bits({jsInitialized, jsPrepared}) << eaPreview << false;
    QTest::newRow("previewfailed: no failures") << Bits({jsInitialized, jsSent}) << eaPreviewFailed << false;
    QTest::newRow("cancel: sending") << Bits({jsSending}) << eaCancelJob << true;
    QTest::newRow("cancel: preparing") << Bits({jsPreparing}) << eaCancelJob << true;
    QTest::newRow("cancel: preparingpreview") << Bits({jsPreparingPreview}) << eaCancelJob << false;
    QTest::newRow("kill: sending") << Bits({jsSending}) << eaKillJob << true;
    QTest::newRow("preparepreview: initialized") << Bits({jsInitialized}) << eaPreparePreview << true;
    QTest::newRow("preparepreview: preparedpreview") << Bits({jsInitialized, jsPreparedPreview}) << eaPreparePreview << false;
    QTest::newRow("killidle: initialized+sent") << Bits({jsInitialized, jsSent}) << aeKillIdle << true;
    QTest::newRow("killidle: preparingpreview") << Bits({jsInitialized, jsPreparingPreview}) << aeKillIdle << false;
    QTest::newRow("killidle: sending") << Bits({jsSending}) << aeKillIdle << false;
    QTest::newRow("unknown action") << Bits({jsInitialized}) << static_cast<TEMLAction>(11) << false;
}

void tst_BaseEmailSender::canAction() {
    QFETCH(quint16, state);
    QFETCH(TEMLAction, action);
    QFETCH(bool, allowed);
    JobHolder job;
    job->SetState(TJobStateSet::FromInt(state));
    QCOMPARE(job->CanAction(action), allowed);
}

void tst_BaseEmailSender::entryRefusal_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<quint16>("state");
    QTest::addColumn<QString>("message");

    const quint16 init = Bits({jsInitialized});
    QTest::newRow("prepare: sent") << "Prepare" << quint16(init | Bits({jsSent, jsPrepared}))
                                   << "job is allready prepared and sent!";
    QTest::newRow("prepare: sending") << "Prepare" << quint16(init | Bits({jsSending, jsPrepared}))
                                      << "job is allready prepared and is currently on sending!";
    QTest::newRow("prepare: prepared") << "Prepare" << quint16(init | Bits({jsPrepared}))
                                       << "job is allready prepared!";
    QTest::newRow("prepare: preparing") << "Prepare" << quint16(init | Bits({jsPreparing}))
                                        << "Job is allready preparing!";
    QTest::newRow("preview: prepared") << "PreparePreview" << quint16(init | Bits({jsPrepared}))
                                       << "job is allready prepared!";
    QTest::newRow("preview: preparingpreview") << "PreparePreview" << quint16(init | Bits({jsPreparingPreview}))
                                               << "Job is allready preparing!";
    QTest::newRow("send: initialized") << "Send" << init << "Job has not prepared or preparing not startet yet!";
    QTest::newRow("send: sending") << "Send" << quint16(init | Bits({jsPrepared, jsSending}))
                                   << "Job is allready on sending!";
}

void tst_BaseEmailSender::entryRefusal() {
    QFETCH(QString, entry);
    QFETCH(quint16, state);
    QFETCH(QString, message);
    JobHolder job;
    job->SetContent("Hello");
    job->SetState(TJobStateSet::FromInt(state));
    try {
        if (entry == "Prepare")
            job->Prepare();
        else if (entry == "PreparePreview")
            job->PreparePreview();
        else
            job->Send();
        QFAIL("no refusal");
    } catch (const hostapi::EQVUserMessageException& E) {
        QCOMPARE(E.Message(), message);
    }
    QCOMPARE(job->State().ToString(), TJobStateSet::FromInt(state).ToString());
    QCOMPARE(job->PrepareRuns.load(), 0);
    QVERIFY(!job->ThreadsAlive());
}

void tst_BaseEmailSender::initializeDataFailure_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("html");
    QTest::addColumn<bool>("withList");
    QTest::addColumn<bool>("withFields");
    QTest::addColumn<QString>("message");

    QTest::newRow("no content") << "" << "" << true << true << "no content!";
    QTest::newRow("no list") << "Hi" << "" << false << false << "No destination list!";
    QTest::newRow("no fields") << "" << "<p>Hi</p>" << true << false << "Fields not set on list!";
    QTest::newRow("ready") << "Hi" << "" << true << true << "";
}

void tst_BaseEmailSender::initializeDataFailure() {
    QFETCH(QString, content);
    QFETCH(QString, html);
    QFETCH(bool, withList);
    QFETCH(bool, withFields);
    QFETCH(QString, message);
    std::shared_ptr<TEmailListItem> list;
    if (withList)
        list = withFields ? testsupport::MakeList() : std::make_shared<TEmailListItem>();
    JobHolder job(list);
    job->SetContent(content);
    job->SetHTMLContent(html);
    job->SetState({jsInitialized});
    job->SetJobDBID(5);
    if (message.isEmpty()) {
        job->InitializeData();
        QCOMPARE(job->State(), TJobStateSet({jsInitialized}));
        QCOMPARE(job->JobDBID(), -1);
        return;
    }
    try {
        job->InitializeData();
        QFAIL("InitializeData did not raise");
    } catch (const hostapi::EQVUserMessageException&) {
        QFAIL("a plain exception was expected");
    } catch (const hostapi::EQVException& E) {
        QCOMPARE(E.Message(), message);
    }
    QVERIFY(!job->State().Contains(jsInitialized));
}

void tst_BaseEmailSender::terminateIdleJob() {
    JobHolder job;
    job->SetState({jsInitialized});
    QVERIFY(job->Terminate(true));
    QCOMPARE(job->State(), TJobStateSet({jsInitialized, jsTerminated}));
}

void tst_BaseEmailSender::terminateWaitsForBlockingSender() {
    FakeClock clock; // does not advance: only the thread's end can stop the wait
    JobHolder job;
    job->SetClock(clock.Clock());
    std::promise<void> running;
    std::atomic<bool> ended{false};
    job->SendBody = [&](TMethodeCallThread& T) {
        running.set_value();
        testsupport::IdleUntilTerminated(T); // a suspended sender, woken by the terminate request
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ended = true;
    };
    testsupport::MakeReady(*job.Job);
    job->AddState({jsPrepared});
    job->Send();
    running.get_future().wait();
    QVERIFY(job->State().Contains(jsSending));

    QVERIFY(job->Terminate(true));
    QVERIFY(ended.load());
    QVERIFY(!job->ThreadsAlive());
    QCOMPARE(job->State(), TJobStateSet({jsInitialized, jsPrepared, jsTerminated}));
}

void tst_BaseEmailSender::terminateTimesOutOnClock() {
    FakeClock clock;
    clock.StepMs = 2000; // every reading moves the clock on two seconds
    JobHolder job;
    job->SetClock(clock.Clock());
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    job->SendBody = [released](TMethodeCallThread&) { released.wait(); }; // ignores termination
    testsupport::MakeReady(*job.Job);
    job->AddState({jsPrepared});
    job->Send();

    const QDateTime started = clock.Base.addMSecs(clock.OffsetMs.load());
    try {
        job->Terminate(true);
        QFAIL("Terminate did not time out");
    } catch (const hostapi::EQVException& E) {
        QCOMPARE(E.Message(), QStringLiteral("Timeout while waiting for termination state!"));
    }
    const qint64 waited = started.msecsTo(clock.Base.addMSecs(clock.OffsetMs.load()));
    QVERIFY2(waited >= 30000 && waited <= 36000, qPrintable(QString::number(waited)));
    QVERIFY(job->ThreadsAlive());
    QVERIFY(job->State().Contains(jsSending));
    release.set_value();
}

void tst_BaseEmailSender::resetDataOfAutoStartedJobIsNotRestarted() {
    FakeClock clock;
    JobHolder job;
    job->SetClock(clock.Clock());
    testsupport::MakeReady(*job.Job);
    job->SetAutoStart(true);
    job->SetAutoStartDate(clock.Base.addSecs(-60));
    // A failed auto-start left its mark and a fetched register-service state.
    job->AddState({jsAutoStarted, jsRegisterServiceFetched});
    QVERIFY(!job->CanAction(eaStart));

    job->ResetData();
    QCOMPARE(job->State(), TJobStateSet({jsInitialized}));
    QVERIFY(!job->AutoStart());
    QVERIFY(job->CanAction(eaStart));

    QVERIFY(!job->ExecuteTimerFunc());
    QCOMPARE(job->PrepareRuns.load(), 0);
    QCOMPARE(job->State(), TJobStateSet({jsInitialized}));
}

void tst_BaseEmailSender::resetDataDuringTerminationDoesNothing() {
    JobHolder job;
    testsupport::MakeReady(*job.Job);
    const TJobStateSet state{jsInitialized, jsPrepared, jsTerminateing};
    job->SetState(state);
    job->ResetData();
    QCOMPARE(job->State(), state);
}

void tst_BaseEmailSender::timerStartsDueAutoStartJob() {
    FakeClock clock;
    JobHolder job;
    job->SetClock(clock.Clock());
    job->PrepareBody = [&](TMethodeCallThread&) {
        // the preparation runs until the job is terminated
        while (!job->State().Contains(jsTerminateing))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    job->SendBody = [](TMethodeCallThread& T) { testsupport::IdleUntilTerminated(T); };
    testsupport::MakeReady(*job.Job);
    job->SetAutoStart(true);
    job->SetAutoStartDate(clock.Base.addSecs(1));

    QVERIFY(!job->ExecuteTimerFunc()); // not due yet
    QCOMPARE(job->State(), TJobStateSet({jsInitialized}));
    clock.OffsetMs += 1000;
    QVERIFY(!job->ExecuteTimerFunc());
    QVERIFY(job->State().Contains(jsAutoStarted));
    QVERIFY(job->State().Contains(jsSending));
    QVERIFY(job->Terminate(true));
    QCOMPARE(job->PrepareRuns.load(), 1);
}

void tst_BaseEmailSender::previewWaitGivesUpOnClock() {
    FakeClock clock;
    clock.StepMs = 5000;
    JobHolder job;
    job->SetClock(clock.Clock());
    job->PrepareBody = [&](TMethodeCallThread&) {
        while (!job->State().Contains(jsTerminateing))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    testsupport::MakeReady(*job.Job);
    job->PreparePreview(); // returns after 60 s on the clock without the preview
    QVERIFY(job->State().Contains(jsPreparingPreview));
    QVERIFY(!job->State().Contains(jsPreparedPreview));
    QVERIFY(job->Terminate(true));
    QVERIFY(!job->State().Contains(jsPreparingPreview));
}

void tst_BaseEmailSender::replaceFieldMacros_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("toCaption");

    QTest::newRow("predefined to stored") << "Am %PRE_DAY4%." << "Am [Aktueller Tag - lang]." << false;
    QTest::newRow("predefined to caption") << "Am %PRE_DAY4%." << "Am [Aktueller Tag - lang]." << true;
    QTest::newRow("field to stored, any case") << "An %EMAIL%" << "An [empfänger]" << false;
    QTest::newRow("field to caption, any case") << "An %email%" << "An [Empfänger]" << true;
    QTest::newRow("unnamed list macro to stored") << "%UDF7% Rabatt" << "[Ihr Rabatt] Rabatt" << false;
    QTest::newRow("unnamed list macro to caption") << "%UDF7% Rabatt" << "[Ihr Rabatt] Rabatt" << true;
    QTest::newRow("schema macro to caption") << "%ANREDE%" << "[Briefanrede]" << true;
    QTest::newRow("schema macro to stored, name upper-cased") << "%ANREDE%" << "[briefanrede]" << false;
    QTest::newRow("unknown stays") << "%NOPE% [Nope]" << "%NOPE% [Nope]" << true;
}

void tst_BaseEmailSender::replaceFieldMacros() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(bool, toCaption);

    TEmailListItem list;
    list.SetSectionName("emlsentlist"); // "email" is captioned "Empfänger"
    TMacroList macros;
    TMacroItem* udf = macros.Add();
    udf->SetDBID(7);
    udf->SetCaption("Ihr Rabatt");
    list.SetUserMacros(macros);
    list.SetOnGetSchemaMacros([](const TEmailListItem&, const QString&, std::shared_ptr<TMacroList>& AList) {
        AList = std::make_shared<TMacroList>();
        TMacroItem* m = AList->Add();
        m->SetMacroName("Anrede");
        m->SetCaption("Briefanrede");
    });
    const hostapi::TDBFieldSchema& schema = hostapi::TDBFieldSchema::Instance();
    if (toCaption)
        QCOMPARE(TBaseEmailSender::ReplaceFieldMacros(stored, true, &list, schema), shown);
    else
        QCOMPARE(TBaseEmailSender::ReplaceFieldMacros(shown, false, &list, schema), stored);
    QCOMPARE(TBaseEmailSender::ReplaceFieldMacros(stored, true, nullptr, schema), stored);
}

void tst_BaseEmailSender::stressConcurrentStateBits() {
    JobHolder job;
    constexpr int Threads = 8;
    constexpr int Rounds = 100000;
    std::atomic<int> lost{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            // distinct bits, among them those the engine's threads change concurrently
            const TJobState bit = static_cast<TJobState>(t + 7);
            for (int i = 0; i < Rounds; ++i) {
                job->AddState({bit});
                if (!job->State().Contains(bit))
                    ++lost;
                job->RemoveState({bit});
                if (job->State().Contains(bit))
                    ++lost;
            }
            job->AddState({bit});
        });
    }
    for (auto& thread : threads)
        thread.join();
    QCOMPARE(lost.load(), 0);
    QCOMPARE(job->State().ToInt(), quint16(0xFF << 7));
}

// What makes a preparation fail before its thread runs.
enum class StartFailure { NoContent, NoFields, JobRow };
Q_DECLARE_METATYPE(StartFailure)

void tst_BaseEmailSender::failedPreparationStartLeavesStateAsItWas_data() {
    QTest::addColumn<bool>("preview");
    QTest::addColumn<StartFailure>("failure");
    QTest::addColumn<bool>("previewPrepared"); // a prepared preview (one document) before the call
    QTest::addColumn<QString>("message");
    QTest::newRow("prepare: no content") << false << StartFailure::NoContent << false << "no content!";
    QTest::newRow("preview: no content") << true << StartFailure::NoContent << false << "no content!";
    QTest::newRow("preview: fields not set") << true << StartFailure::NoFields << false << "Fields not set on list!";
    QTest::newRow("prepare: job row fails") << false << StartFailure::JobRow << false << "database gone";
    QTest::newRow("preview: job row fails") << true << StartFailure::JobRow << false << "database gone";
    QTest::newRow("start after preview: job row fails") << false << StartFailure::JobRow << true << "database gone";
}

void tst_BaseEmailSender::failedPreparationStartLeavesStateAsItWas() {
    QFETCH(bool, preview);
    QFETCH(StartFailure, failure);
    QFETCH(bool, previewPrepared);
    QFETCH(QString, message);
    FakeClock clock;
    clock.StepMs = 10; // a termination that cannot end gives up after 3000 readings
    JobHolder job(failure == StartFailure::NoFields ? std::make_shared<TEmailListItem>() : testsupport::MakeList());
    job->SetClock(clock.Clock());
    job->SetContent(failure == StartFailure::NoContent ? QString() : QStringLiteral("Hello"));
    if (failure == StartFailure::JobRow) {
        job->InitializeData();
        job->OnWriteJobRow = [] { throw hostapi::EQVException("database gone"); };
    }
    if (previewPrepared) {
        job->AddPreparedDocument(std::make_unique<TEmailDocument>());
        job->AddState({jsPreparedPreview});
    }
    const TJobStateSet before = job->State();
    try {
        if (preview)
            job->PreparePreview();
        else
            job->Prepare();
        QFAIL("the preparation started");
    } catch (const hostapi::EQVException& E) {
        QCOMPARE(E.Message(), message);
    }
    QCOMPARE(job->State().ToString(), before.ToString());
    QCOMPARE(job->SendCount(), previewPrepared ? 1 : 0);
    QVERIFY(job->CanAction(aeKillIdle)); // shut-down counts it as idle
    QVERIFY(!job->ThreadsAlive());
    QCOMPARE(job->PrepareRuns.load(), 0);
    QVERIFY(TerminatedInTime(*job.Job));
}

// How a preview preparation ends: the wait must end with it.
enum class PreviewEnd { ThreadFails, ResetFromCallback, AbortedWhileRunning };
Q_DECLARE_METATYPE(PreviewEnd)

void tst_BaseEmailSender::previewWaitEndsWithThePreparation_data() {
    QTest::addColumn<PreviewEnd>("end");
    QTest::newRow("the preparation thread fails") << PreviewEnd::ThreadFails;
    QTest::newRow("the callback resets the job") << PreviewEnd::ResetFromCallback;
    QTest::newRow("aborted while preparing") << PreviewEnd::AbortedWhileRunning;
}

void tst_BaseEmailSender::previewWaitEndsWithThePreparation() {
    QFETCH(PreviewEnd, end);
    JobHolder job;
    job->PrepareBody = [end](TMethodeCallThread& T) {
        if (end == PreviewEnd::ThreadFails)
            throw hostapi::EQVException("record set failed");
        testsupport::IdleUntilTerminated(T);
    };
    int rounds = 0;
    job->SetOnWaitCallBack([&](TBaseEmailSender& Sender) {
        // A wait that does not end with the preparation fails the test instead of hanging it.
        if (++rounds > 3000)
            throw hostapi::EQVException("the preview wait did not end");
        if (end == PreviewEnd::ResetFromCallback && rounds == 1)
            Sender.ResetData();
        if (end == PreviewEnd::AbortedWhileRunning && rounds == 1)
            Sender.AbortPreviewPreparing();
    });
    testsupport::MakeReady(*job.Job);
    try {
        job->PreparePreview();
    } catch (const hostapi::EQVException& E) {
        QFAIL(qPrintable(E.Message()));
    }
    QVERIFY(!job->State().Contains(jsPreparedPreview));
    if (end == PreviewEnd::AbortedWhileRunning) {
        QVERIFY(job->State().Contains(jsPreparingPreview)); // the window terminates it
        QVERIFY(TerminatedInTime(*job.Job));
    }
    QVERIFY(!job->State().Contains(jsPreparingPreview));
    QVERIFY(TerminatedInTime(*job.Job));
    QVERIFY(!job->ThreadsAlive());
}

void tst_BaseEmailSender::sendingLastsUntilLastSenderEnds() {
    FakeClock clock;
    clock.StepMs = 10;
    JobHolder job;
    job->SetClock(clock.Clock());
    testsupport::MakeReady(*job.Job);
    testsupport::SendWithSendersOutlivingTheRoot(*job.Job, 2);

    QVERIFY2(job->State().Contains(jsSending), qPrintable(job->State().ToString()));
    QCOMPARE(job->SenderThreadCount(), 2);
    QVERIFY(!job->CanAction(aeKillIdle));
    QVERIFY(TerminatedInTime(*job.Job)); // reaches the suspended further senders
    QCOMPARE(job->SenderThreadCount(), 0);
    QVERIFY(!job->State().Contains(jsSending));
    QVERIFY(!job->ThreadsAlive());
}

void tst_BaseEmailSender::failedSenderStartEndsSending_data() {
    QTest::addColumn<bool>("rootStarted");
    QTest::addColumn<QString>("message");
    QTest::newRow("no sender started") << false << "no sender thread";
    QTest::newRow("root started, further failed") << true << "no further sender thread";
}

void tst_BaseEmailSender::failedSenderStartEndsSending() {
    QFETCH(bool, rootStarted);
    QFETCH(QString, message);
    FakeClock clock;
    clock.StepMs = 10;
    JobHolder job;
    job->SetClock(clock.Clock());
    job->PrepareBody = [](TMethodeCallThread& T) { testsupport::IdleUntilTerminated(T); };
    job->SendBody = [](TMethodeCallThread& T) { testsupport::IdleUntilTerminated(T); };
    job->FailSendStart = true;
    job->RootBeforeFailure = rootStarted;
    testsupport::MakeReady(*job.Job);
    job->Prepare(); // the prepare thread runs on
    try {
        job->Send();
        QFAIL("Send did not raise");
    } catch (const hostapi::EQVException& E) {
        QCOMPARE(E.Message(), message);
    }
    // Sending lasts exactly as long as a sender thread runs.
    QCOMPARE(job->State().Contains(jsSending), rootStarted);
    QCOMPARE(job->SenderThreadCount(), rootStarted ? 1 : 0);
    QVERIFY(TerminatedInTime(*job.Job));
    QCOMPARE(job->State(), TJobStateSet({jsInitialized, jsTerminated}));
}

void tst_BaseEmailSender::threadStartedWhileJobIsFreedIsRefused() {
    auto* job = new ScriptedEmailSender(nullptr, 1, testsupport::MakeList(), esPlainText);
    std::atomic<bool> replacementRan{false};
    QString refusal;
    job->SendBody = [&](TMethodeCallThread& T) {
        testsupport::IdleUntilTerminated(T);
        // A sender that fails starts a replacement of its kind: not while the job is being freed.
        try {
            job->StartWorkerThread(true, T.IsRoot(), QThread::NormalPriority,
                                   [&](TMethodeCallThread&) { replacementRan = true; }, {});
        } catch (const hostapi::EQVException& E) {
            refusal = E.Message();
        }
    };
    testsupport::MakeReady(*job);
    job->AddState({jsPrepared});
    job->Send();
    TBaseEmailSender::FreeJob(job);
    QCOMPARE(refusal, QStringLiteral("The job is being freed; no thread of it is started."));
    QVERIFY(!replacementRan.load());
}

void tst_BaseEmailSender::prepareRightAfterPreparationEnded() {
    JobHolder job;
    std::promise<void> held;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> completions{0};
    job->OnCompletionStepDone = [&](TMethodeCallThread&) {
        if (++completions == 1) {
            held.set_value();
            released.wait(); // the first prepare thread stays between its completion step and its end
        }
    };
    testsupport::MakeReady(*job.Job);
    job->Prepare();
    held.get_future().wait();
    QVERIFY(!job->State().Contains(jsPreparing));
    try {
        job->Prepare(); // jsPreparing is clear: the next preparation starts at once
    } catch (const std::exception& E) {
        release.set_value();
        QFAIL(qPrintable(QStringLiteral("Prepare raised: ") + QString::fromUtf8(E.what())));
    }
    release.set_value();
    QVERIFY(TerminatedInTime(*job.Job));
    QCOMPARE(job->PrepareRuns.load(), 2);
    QVERIFY(!job->ThreadsAlive());
}

void tst_BaseEmailSender::previewReturnsWithThePreparationEnded() {
    JobHolder job;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> releasedOnce{false};
    auto releaseOnce = [&] {
        if (!releasedOnce.exchange(true))
            release.set_value();
    };
    job->PrepareBody = [&](TMethodeCallThread&) {
        job->AddState({jsPreparedPreview});
        released.wait(); // between the end of the preparation and the completion step
    };
    job->SetOnWaitCallBack([&](TBaseEmailSender&) { releaseOnce(); });
    testsupport::MakeReady(*job.Job);
    job->PreparePreview();
    const TJobStateSet after = job->State();
    releaseOnce();
    QCOMPARE(after.ToString(), TJobStateSet({jsInitialized, jsPreparedPreview}).ToString());
    QVERIFY(job->CanAction(eaStart));
    job->Prepare(); // an immediate start is not refused
    QVERIFY(TerminatedInTime(*job.Job));
}

void tst_BaseEmailSender::secondPrepareDuringStartIsRefused() {
    // The timer's auto-start and the user's button: the second call arrives while the first one is
    // still starting its preparation.
    JobHolder job;
    job->PrepareBody = [](TMethodeCallThread& T) { testsupport::IdleUntilTerminated(T); };
    QString refusal;
    bool nested = false;
    job->OnWriteJobRow = [&] {
        if (nested)
            return;
        nested = true;
        try {
            job->Prepare();
        } catch (const hostapi::EQVUserMessageException& E) {
            refusal = E.Message();
        }
    };
    testsupport::MakeReady(*job.Job);
    QVERIFY_THROWS_NO_EXCEPTION(job->Prepare());
    QCOMPARE(refusal, QStringLiteral("Job is allready preparing!"));
    QVERIFY(job->State().Contains(jsPreparing)); // the running preparation keeps its state
    QVERIFY(!job->CanAction(aeKillIdle));
    QVERIFY(TerminatedInTime(*job.Job));
    QCOMPARE(job->PrepareRuns.load(), 1);
}

void tst_BaseEmailSender::stressConcurrentPrepareCalls() {
    JobHolder job;
    job->PrepareBody = [](TMethodeCallThread& T) { testsupport::IdleUntilTerminated(T); };
    testsupport::MakeReady(*job.Job);
    constexpr int Rounds = 200;
    int started = 0;
    for (int round = 0; round < Rounds; ++round) {
        std::atomic<int> ready{0};
        std::atomic<int> succeeded{0};
        std::atomic<int> refused{0};
        std::atomic<int> other{0};
        auto caller = [&] {
            ++ready;
            while (ready.load() < 2)
                std::this_thread::yield();
            try {
                job->Prepare();
                ++succeeded;
            } catch (const hostapi::EQVUserMessageException& E) {
                E.Message() == QLatin1String("Job is allready preparing!") ? ++refused : ++other;
            } catch (...) {
                ++other;
            }
        };
        std::thread first(caller);
        std::thread second(caller);
        first.join();
        second.join();
        QCOMPARE(other.load(), 0);
        QCOMPARE(succeeded.load(), 1);
        QCOMPARE(refused.load(), 1);
        QVERIFY(job->State().Contains(jsPreparing));
        started += succeeded.load();
        QVERIFY_THROWS_NO_EXCEPTION(job->ResetData()); // ends the preparation, the job is startable again
        QCOMPARE(job->State(), TJobStateSet({jsInitialized}));
    }
    QCOMPARE(job->PrepareRuns.load(), started);
}

QTEST_GUILESS_MAIN(tst_BaseEmailSender)
#include "tst_BaseEmailSender.moc"
