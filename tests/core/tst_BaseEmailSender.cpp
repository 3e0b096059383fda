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
        QCOMPARE(TBaseEmailSender::ReplaceFieldMacros(shown, false, &list, schema).toUpper(), stored.toUpper());
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

QTEST_GUILESS_MAIN(tst_BaseEmailSender)
#include "tst_BaseEmailSender.moc"
