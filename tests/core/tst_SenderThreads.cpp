#include "EngineJob.h"

#include "BaseEmailSender.h"
#include "CustomMessageSender.h"
#include "Database.h"
#include "SendWaitGate.h"
#include "SentListSubmission.h"
#include "SentListWriter.h"
#include "support/FakeMessageSender.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QSet>
#include <QTest>

#include <future>
#include <thread>

using namespace emailmarketing;
using namespace testsupport;

namespace {

// Send settings of a test list.
struct Pacing {
    bool PerUnits = false;
    int MailsPerUnit = 0;
    int Threads = 1;
    int UnitDelay = 0;
    bool Throttle = false;
    bool Chaotic = false;
};

std::shared_ptr<TEmailListItem> MakeSendList(const Pacing& APacing,
                                             TMessageSenderDevice ADevice = msdExtSMTP) {
    auto list = MakeList();
    list->SetUseGlobalAddress(false);
    list->SetSenderName(QStringLiteral("Sender"));
    list->SetSenderEmail(QStringLiteral("sender@example.org"));
    list->SetReplyToEmail(QStringLiteral("reply@example.org"));
    list->SetUseGlobalMailServer(false);
    list->SetMessageSenderDevice(ADevice);
    list->SetMailServer(QStringLiteral("127.0.0.1:2525"));
    list->SetUseGlobalSendSettings(false);
    list->SetSendPerUnits(APacing.PerUnits);
    list->SetMailsPerUnit(APacing.MailsPerUnit);
    list->SetSendThreads(APacing.Threads);
    list->SetUnitDelay(APacing.UnitDelay);
    list->SetThrottle(APacing.Throttle);
    list->SetChaotic(APacing.Chaotic);
    return list;
}

// The fake transport of msdExtSMTP, also recording when (on the job's clock) each message was sent and
// which domain each connect was for.
class TimedTransportLog {
public:
    struct Attempt {
        QString Address;
        QDateTime At;
    };
    void AddAttempt(const QString& AAddress, const QDateTime& AAt) {
        std::lock_guard lock(FLock);
        FAttempts.append({AAddress, AAt});
    }
    void AddDomain(const QString& ADomain) {
        std::lock_guard lock(FLock);
        FDomains.append(ADomain);
    }
    // How long the following connects take on the job's clock, one after the other (then none).
    void SetConnectDurations(const QList<qint64>& AMs) {
        std::lock_guard lock(FLock);
        FConnectDurations = AMs;
    }
    qint64 TakeConnectDuration() {
        std::lock_guard lock(FLock);
        return FConnectDurations.isEmpty() ? 0 : FConnectDurations.takeFirst();
    }
    // Where each connect ended, on the job's clock.
    void AddConnect(const QDateTime& AAt) {
        std::lock_guard lock(FLock);
        FConnects.append(AAt);
    }
    QList<QDateTime> Connects() const {
        std::lock_guard lock(FLock);
        return FConnects;
    }
    QList<Attempt> Attempts() const {
        std::lock_guard lock(FLock);
        return FAttempts;
    }
    QStringList Domains() const {
        std::lock_guard lock(FLock);
        return FDomains;
    }

private:
    mutable std::mutex FLock;
    QList<Attempt> FAttempts;
    QStringList FDomains;
    QList<qint64> FConnectDurations;
    QList<QDateTime> FConnects;
};

class TimedFakeSender : public FakeMessageSender {
public:
    TimedFakeSender(std::shared_ptr<FakeTransportScript> AScript, std::shared_ptr<TimedTransportLog> ALog,
                    FakeClock& AClock)
        : FakeMessageSender(std::move(AScript)), FLog(std::move(ALog)), FClock(AClock) {}

    void SetDomainName(const QString& Value) override {
        FDomain = Value;
        FakeMessageSender::SetDomainName(Value);
    }

protected:
    bool DoConnectToServer(bool AResetLastError) override {
        if (!IsSingleServer())
            FLog->AddDomain(FDomain);
        FClock.OffsetMs += FLog->TakeConnectDuration();
        const bool connected = FakeMessageSender::DoConnectToServer(AResetLastError);
        FLog->AddConnect(FClock.Now());
        return connected;
    }
    bool DoSendMessage(const TOutgoingMessage& AMessage) override {
        FLog->AddAttempt(AMessage.ReceiverEmail, FClock.Now());
        return FakeMessageSender::DoSendMessage(AMessage);
    }

private:
    std::shared_ptr<TimedTransportLog> FLog;
    FakeClock& FClock;
    QString FDomain;
};

// Registers the timed fake transport for msdExtSMTP while it lives.
class FakeTransportRegistration {
public:
    FakeTransportRegistration(FakeClock& AClock)
        : Script(std::make_shared<FakeTransportScript>()), Log(std::make_shared<TimedTransportLog>()) {
        TMessageSenderClass entry = FakeMessageSender::ClassFor(Script);
        entry.Create = [script = Script, log = Log, clock = &AClock] {
            return std::unique_ptr<TCustomMessageSender>(new TimedFakeSender(script, log, *clock));
        };
        RegisterMessageSenderClass(msdExtSMTP, entry);
    }
    ~FakeTransportRegistration() { UnRegisterMessageSenderClass(msdExtSMTP); }

    std::shared_ptr<FakeTransportScript> Script;
    std::shared_ptr<TimedTransportLog> Log;
};

// A server with a session limit, played by the fake transports of msdExtSMTP while it lives: a connect
// beyond the limit is refused with 421 (as a greeting), a disconnect or the transport's end frees its
// session.
//
// With HoldUntilRefusals > 0 it plays a fixed story instead: the first connect gets a session and its
// first message waits until HoldUntilRefusals connects were refused; every other connect waits until
// that message is under way, so that the first sender delivers when it is refused. From the last of
// those refusals on, every connect gets a session.
class SessionLimitedServer {
public:
    SessionLimitedServer(FakeClock& AClock, int ALimit, int AHoldUntilRefusals = 0)
        : Script(std::make_shared<FakeTransportScript>()), FClock(AClock.Clock()), FLimit(ALimit),
          FHoldUntilRefusals(AHoldUntilRefusals) {
        TMessageSenderClass entry = FakeMessageSender::ClassFor(Script);
        entry.Create = [this] { return std::unique_ptr<TCustomMessageSender>(new Transport(*this)); };
        RegisterMessageSenderClass(msdExtSMTP, entry);
    }
    ~SessionLimitedServer() { UnRegisterMessageSenderClass(msdExtSMTP); }

    // When (on the job's clock) each refusal came.
    QList<QDateTime> Refusals() const {
        std::lock_guard lock(FLock);
        return FRefusals;
    }
    int MostSessions() const {
        std::lock_guard lock(FLock);
        return FMostSessions;
    }
    // Ends the story's hold at once (a test that terminates the job meanwhile).
    void Release() {
        {
            std::lock_guard lock(FLock);
            FReleased = true;
        }
        FChanged.notify_all();
    }
    // Waits until a refused sender waits (the test's clock tells it); False after 30 s.
    bool WaitForRefusal(int ACount) {
        std::unique_lock lock(FLock);
        return FChanged.wait_for(lock, std::chrono::seconds(30), [&] { return FRefusals.size() >= ACount; });
    }

    std::shared_ptr<FakeTransportScript> Script;

private:
    class Transport : public FakeMessageSender {
    public:
        explicit Transport(SessionLimitedServer& AServer)
            : FakeMessageSender(AServer.Script), FServer(AServer) {}
        ~Transport() override { FServer.Leave(FSession); }
        void DisconnectFromServer() override {
            FServer.Leave(FSession);
            FakeMessageSender::DisconnectFromServer();
        }

    protected:
        bool DoConnectToServer(bool AResetLastError) override {
            FServer.Leave(FSession);
            if (!FServer.Enter(FFirst)) {
                SetLastError(QStringLiteral("4.7.0 Too many sessions, try again later"));
                SetLastReplyErrorCode(421);
                return false;
            }
            FSession = true;
            return FakeMessageSender::DoConnectToServer(AResetLastError);
        }
        bool DoSendMessage(const TOutgoingMessage& AMessage) override {
            if (FFirst) {
                FFirst = false;
                FServer.HoldFirstMessage();
            }
            return FakeMessageSender::DoSendMessage(AMessage);
        }

    private:
        SessionLimitedServer& FServer;
        bool FSession = false;
        bool FFirst = false; // this transport holds the story's first session
    };

    // Answers whether the connect gets a session; AFirst: it is the story's first.
    bool Enter(bool& AFirst) {
        std::unique_lock lock(FLock);
        if (FHoldUntilRefusals > 0 && !FReleased) {
            if (!FFirstTaken) {
                FFirstTaken = true;
                AFirst = true;
                return Take();
            }
            FChanged.wait_for(lock, std::chrono::seconds(30), [this] { return FFirstSending || FReleased; });
            if (!FReleased) {
                Refuse();
                FReleased = FRefusals.size() >= FHoldUntilRefusals;
                return false;
            }
        }
        if (FHoldUntilRefusals > 0 || FSessions < FLimit)
            return Take();
        Refuse();
        return false;
    }
    void Leave(bool& ASession) {
        if (!ASession)
            return;
        ASession = false;
        std::lock_guard lock(FLock);
        --FSessions;
    }
    void HoldFirstMessage() {
        std::unique_lock lock(FLock);
        FFirstSending = true;
        FChanged.notify_all();
        FChanged.wait_for(lock, std::chrono::seconds(30), [this] { return FReleased; });
    }
    bool Take() {
        FMostSessions = std::max(FMostSessions, ++FSessions);
        return true;
    }
    void Refuse() {
        FRefusals.append(FClock());
        FChanged.notify_all();
    }

    hostapi::ScheduleClock FClock;
    const int FLimit;
    const int FHoldUntilRefusals;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    int FSessions = 0;
    int FMostSessions = 0;
    bool FFirstTaken = false;
    bool FFirstSending = false;
    bool FReleased = false;
    QList<QDateTime> FRefusals;
};

// Milliseconds between refusals that came at different moments (a refusal right after another, with
// no wait between them, is one).
QList<qint64> RefusalGaps(const QList<QDateTime>& ATimes) {
    QList<qint64> gaps;
    for (int i = 1; i < ATimes.size(); ++i)
        if (ATimes[i] != ATimes[i - 1])
            gaps.append(ATimes[i - 1].msecsTo(ATimes[i]));
    return gaps;
}

// Sends one document (address id 41) of job row 7 on AClock to the end; answers the job's rows.
QList<SentRow> SendOneDocument(FakeClock& AClock, EngineJob& AJob) {
    VirtualTime time(AClock, AJob);
    AJob.SetJobDBID(7);
    AJob.AddDocument(QStringLiteral("one@example.org"), 41);
    AJob.SendPrepared();
    AJob.WaitForThreads();
    AJob.SendGate().SetOnWait({}); // the threads have ended; nothing waits any more
    return SentRows(7);
}

QStringList Emails(const QList<SentRow>& ARows) {
    QStringList result;
    for (const SentRow& row : ARows)
        result << row.Email;
    return result;
}

QString ScriptText(const QString& ACode) {
    return QStringLiteral("reply text of ") + ACode;
}

const QString TerminatedRow = QStringLiteral("0: The job was terminated before this message was sent.");

} // namespace

class tst_SenderThreads : public QObject {
    Q_OBJECT

private slots:
    void waitGateKeepsAWakeThatCameFirst();
    void waitGateCancelEndsEveryWait();
    void waitGateFollowsTheClock();

    void replyCodesAndRetries_data();
    void replyCodesAndRetries();
    void throttleSpacesMessagesOnTheClock();
    void terminationEndsAThrottlePause();
    void throttledReconnectFallsInsideThePause_data();
    void throttledReconnectFallsInsideThePause();
    void unitDelayAllowsOnePacketPerDelayJobWide();
    void connectFailureFailsTheGroup();
    void nextMessageIsComposedWhileOneIsSent_data();
    void nextMessageIsComposedWhileOneIsSent();
    void composeFailureFailsOnlyItsMessage();
    void chaoticModeSpreadsOneDomain();
    void failingSendersAreReplacedThreeTimes();
    void killedJobFailsWhatWasNotSent();
    void endRowsOfAFreedJob_data();
    void endRowsOfAFreedJob();
    void templateIsMailedOnlyWhenAMessageSucceeded_data();
    void templateIsMailedOnlyWhenAMessageSucceeded();
    void refusedSenderWaitsWhileAnotherDelivers_data();
    void refusedSenderWaitsWhileAnotherDelivers();
    void refusedPacketLeavesTheUnitDelayAlone();
    void terminationEndsTheWaitOfARefusedSender();
    void refusalWhileNobodyDeliversTakesTheResultStep_data();
    void refusalWhileNobodyDeliversTakesTheResultStep();
    void stressSessionLimitMailsEachRecipientOnce();
    void stressThreeSendersSendEachDocumentOnce();
    void heldDatabaseStopsEachSenderAtItsBound();
};

// ---- the wait gate ----

void tst_SenderThreads::waitGateKeepsAWakeThatCameFirst() {
    TSendWaitGate gate({});
    const quint64 token = gate.WakeCount();
    gate.Wake();
    // No deadline: only the earlier wake can end this wait.
    QCOMPARE(gate.WaitUntil(QDateTime(), token), TSendWaitGate::wrWoken);
}

void tst_SenderThreads::waitGateCancelEndsEveryWait() {
    FakeClock clock;
    TSendWaitGate gate(clock.Clock());
    std::atomic<int> waiting{0};
    std::promise<void> allWaiting;
    gate.SetOnWait([&](const QDateTime&) {
        if (++waiting == 4)
            allWaiting.set_value();
    });
    const QDateTime farAway = clock.Base.addDays(1);
    std::vector<std::future<TSendWaitGate::TWaitResult>> results;
    for (int i = 0; i < 4; ++i)
        results.push_back(std::async(std::launch::async, [&gate, i, farAway] {
            // Two idle waits without deadline, two pauses far in the future.
            return i % 2 ? gate.WaitUntil(QDateTime(), gate.WakeCount()) : gate.WaitUntil(farAway);
        }));
    allWaiting.get_future().wait();
    gate.Cancel();
    for (auto& result : results)
        QCOMPARE(result.get(), TSendWaitGate::wrCancelled);
    // Later waits end at once until the gate is reopened.
    QCOMPARE(gate.WaitUntil(QDateTime(), gate.WakeCount()), TSendWaitGate::wrCancelled);
    gate.Reopen();
    QCOMPARE(gate.WaitUntil(clock.Base.addSecs(-1)), TSendWaitGate::wrDue);
}

void tst_SenderThreads::waitGateFollowsTheClock() {
    FakeClock clock;
    TSendWaitGate gate(clock.Clock());
    std::promise<void> waiting;
    gate.SetOnWait([&](const QDateTime&) { waiting.set_value(); });
    auto result = std::async(std::launch::async, [&] { return gate.WaitUntil(clock.Base.addSecs(3600)); });
    waiting.get_future().wait();
    clock.OffsetMs = 3600 * 1000;
    gate.ClockChanged();
    QCOMPARE(result.get(), TSendWaitGate::wrDue);
}

// ---- the engine on a fake transport ----

void tst_SenderThreads::replyCodesAndRetries_data() {
    QTest::addColumn<QList<int>>("replies"); // 0: accepted
    QTest::addColumn<QString>("errorMessage");
    QTest::addColumn<int>("sentState");
    QTest::addColumn<int>("retries");
    QTest::addColumn<QList<int>>("gapsMinutes"); // minutes each retry waited at least (strictly more)

    QTest::newRow("421 three times, then sent")
        << QList<int>{421, 421, 421, 0} << "0: " << 1 << 3 << QList<int>{5, 60, 300};
    QTest::newRow("421 four times") << QList<int>{421, 421, 421, 421} << "421: " + ScriptText("421") << 2 << 3
                                    << QList<int>{5, 60, 300};
    QTest::newRow("550 at once") << QList<int>{550} << "550: " + ScriptText("550") << 2 << 0 << QList<int>{};
    QTest::newRow("421 then 550") << QList<int>{421, 550} << "550: " + ScriptText("550") << 2 << 1
                                  << QList<int>{5};
}

void tst_SenderThreads::replyCodesAndRetries() {
    QFETCH(QList<int>, replies);
    QFETCH(QList<int>, gapsMinutes);
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    for (int code : replies)
        transport.Script->AddSendStep(code ? FakeTransportStep::Reply(code, ScriptText(QString::number(code)))
                                           : FakeTransportStep::Success());
    EngineJob job(nullptr, -1, MakeSendList({}), esPlainText);
    const QList<SentRow> rows = SendOneDocument(clock, job);
    QCOMPARE(rows.size(), 1);
    QTEST(rows[0].ErrorMessage, "errorMessage");
    QTEST(rows[0].SentState, "sentState");
    QCOMPARE(rows[0].AddressID, qint64(41));
    QTEST(job.SentRetryCount(), "retries");
    QCOMPARE(job.SentCount(), 1);
    QCOMPARE(job.SentFailedCount(), rows[0].SentState == 2 ? 1 : 0);
    QVERIFY(job.State().Contains(jsSent));
    QVERIFY(!job.State().Contains(jsSending));

    const auto attempts = transport.Log->Attempts();
    QCOMPARE(attempts.size(), replies.size());
    for (int i = 0; i < gapsMinutes.size(); ++i) {
        const qint64 gap = attempts[i].At.msecsTo(attempts[i + 1].At);
        QVERIFY2(gap > qint64(gapsMinutes[i]) * 60000 && gap <= qint64(gapsMinutes[i]) * 60000 + 1,
                 qPrintable(QStringLiteral("retry %1 after %2 ms").arg(i + 1).arg(gap)));
    }
}

void tst_SenderThreads::throttleSpacesMessagesOnTheClock() {
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    EngineJob job(nullptr, -1, MakeSendList({true, 120, 1, 1, true, false}), esHTML);
    VirtualTime time(clock, job);
    for (int i = 0; i < 5; ++i)
        job.AddDocument(QStringLiteral("r%1@example.org").arg(i));
    job.SendPrepared();
    job.WaitForThreads();

    const auto attempts = transport.Log->Attempts();
    QCOMPARE(attempts.size(), 5);
    for (int i = 1; i < attempts.size(); ++i)
        QCOMPARE(attempts[i - 1].At.msecsTo(attempts[i].At), qint64(500));
    // Every pause above 100 ms shows jsThrottling while it lasts, and the state is clear afterwards.
    const auto waits = time.Waits();
    QVERIFY(!waits.isEmpty());
    for (const auto& wait : waits)
        QVERIFY2(wait.State.Contains(jsThrottling), qPrintable(wait.State.ToString()));
    QVERIFY(!job.State().Contains(jsThrottling));
    QCOMPARE(SentRows(-1).size(), 5);
}

// A throttled sender disconnects after each message (its transport can time out) and connects
// again inside the pause: however long a connect takes, the messages start one interval apart and
// the connect lies between the two messages. A connect that fails inside the pause fails the next
// message with its error, without a second connect, and the messages after it go on.
void tst_SenderThreads::throttledReconnectFallsInsideThePause_data() {
    QTest::addColumn<bool>("failSecondConnect");
    QTest::addRow("every connect succeeds") << false;
    QTest::addRow("a connect in a pause fails") << true;
}

void tst_SenderThreads::throttledReconnectFallsInsideThePause() {
    QFETCH(bool, failSecondConnect);
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    transport.Log->SetConnectDurations({120, 40, 300, 10, 250});
    if (failSecondConnect) {
        transport.Script->AddConnectStep(FakeTransportStep::Success());
        transport.Script->AddConnectStep(FakeTransportStep::Failure(QStringLiteral("no route to the server")));
    }
    // 120 messages a minute: one every 500 ms.
    EngineJob job(nullptr, -1, MakeSendList({true, 120, 1, 1, true, false}), esHTML);
    VirtualTime time(clock, job);
    for (int i = 0; i < 5; ++i)
        job.AddDocument(QStringLiteral("r%1@example.org").arg(i));
    job.SendPrepared();
    job.WaitForThreads();

    const auto attempts = transport.Log->Attempts();
    const QList<QDateTime> connects = transport.Log->Connects();
    const QStringList sent = [&] {
        QStringList out;
        for (const auto& attempt : attempts)
            out << attempt.Address;
        return out;
    }();
    const QStringList expectedSent = failSecondConnect
                                         ? QStringList{"r0@example.org", "r2@example.org", "r3@example.org", "r4@example.org"}
                                         : QStringList{"r0@example.org", "r1@example.org", "r2@example.org",
                                                       "r3@example.org", "r4@example.org"};
    QCOMPARE(sent, expectedSent);
    QCOMPARE(connects.size(), 5); // one per message, the failed one not tried again
    const QDateTime first = attempts.first().At;
    for (const auto& attempt : attempts) {
        const int index = attempt.Address.mid(1, 1).toInt();
        QCOMPARE(first.msecsTo(attempt.At), qint64(500) * index);
        // The connect for this message ended before it started, and after the previous one.
        QVERIFY2(connects[index] <= attempt.At, qPrintable(attempt.Address));
        if (index > 0)
            QVERIFY2(connects[index] > first.addMSecs(500 * (index - 1)), qPrintable(attempt.Address));
    }
    const QList<SentRow> rows = SentRows(-1);
    QCOMPARE(rows.size(), 5);
    for (const SentRow& row : rows) {
        if (failSecondConnect && row.Email == QStringLiteral("r1@example.org")) {
            QCOMPARE(row.SentState, 2);
            QCOMPARE(row.ErrorMessage, QStringLiteral("0: no route to the server"));
        } else {
            QVERIFY2(row.SentState == 1, qPrintable(row.Email + QStringLiteral(": ") + row.ErrorMessage));
        }
    }
}

void tst_SenderThreads::terminationEndsAThrottlePause() {
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    EngineJob job(nullptr, -1, MakeSendList({true, 120, 1, 1, true, false}), esHTML);
    VirtualTime time(clock, job);
    std::promise<void> paused;
    std::atomic<bool> first{true};
    time.BeforeAdvance = [&](const QDateTime&) {
        if (first.exchange(false))
            paused.set_value();
        return false; // the clock stands still: only the termination can end this pause
    };
    for (int i = 0; i < 5; ++i)
        job.AddDocument(QStringLiteral("r%1@example.org").arg(i));
    job.SendPrepared();
    paused.get_future().wait();
    job.Terminate(false);
    job.WaitForThreads();

    QCOMPARE(clock.OffsetMs.load(), qint64(0));
    QCOMPARE(transport.Log->Attempts().size(), 1);
    QVERIFY(!job.State().ContainsAny({jsSending, jsSent, jsThrottling}));
    const QList<SentRow> rows = SentRows(-1);
    QCOMPARE(Emails(rows), (QStringList{"r0@example.org", "r1@example.org", "r2@example.org",
                                        "r3@example.org", "r4@example.org"}));
    QCOMPARE(rows[0].ErrorMessage, QStringLiteral("0: "));
    for (int i = 1; i < rows.size(); ++i) {
        QCOMPARE(rows[i].ErrorMessage, TerminatedRow);
        QCOMPARE(rows[i].SentState, 2);
    }
    QCOMPARE(job.FailedMailsCount(), 4);
    QCOMPARE(job.SendStackCount(), 0);
}

void tst_SenderThreads::unitDelayAllowsOnePacketPerDelayJobWide() {
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    EngineJob job(nullptr, -1, MakeSendList({true, 2, 3, 5, false, false}), esPlainText);
    VirtualTime time(clock, job);
    for (int i = 0; i < 6; ++i)
        job.AddDocument(QStringLiteral("r%1@d%1.example").arg(i));
    job.SendPrepared();
    job.WaitForThreads();

    const auto attempts = transport.Log->Attempts();
    QCOMPARE(attempts.size(), 6);
    QCOMPARE(job.SentUnits(), 3);
    // Packets of two: the first message of a packet comes more than 5 minutes after the last of the
    // packet before, and nothing of another packet in between.
    for (int i = 2; i < attempts.size(); i += 2) {
        QVERIFY(attempts[i - 2].At.msecsTo(attempts[i - 1].At) < 60000);
        QVERIFY2(attempts[i - 1].At.msecsTo(attempts[i].At) > 5 * 60000,
                 qPrintable(QStringLiteral("packet %1 after %2 ms")
                                .arg(i / 2)
                                .arg(attempts[i - 1].At.msecsTo(attempts[i].At))));
    }
    // Waiting for the delay shows jsDelayd and the whole delay right after a packet.
    bool sawDelay = false;
    for (const auto& wait : time.Waits())
        if (wait.State.Contains(jsDelayd) && qAbs(wait.CurrentDelay - 5.0) < 1e-6)
            sawDelay = true;
    QVERIFY(sawDelay);
    QVERIFY(job.State().Contains(jsSent));
}

void tst_SenderThreads::connectFailureFailsTheGroup() {
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    transport.Script->SetSingleServer(false);
    transport.Script->AddConnectStep(
        FakeTransportStep::Failure(QStringLiteral("No mail exchanger for X.de")));
    EngineJob job(nullptr, -1, MakeSendList({}), esPlainText);
    VirtualTime time(clock, job);
    job.AddDocument(QStringLiteral("a@X.de"));
    job.AddDocument(QStringLiteral("c@y.de"));
    job.AddDocument(QStringLiteral("b@x.DE"));
    job.SendPrepared();
    job.WaitForThreads();

    // One connect per domain group, letter case ignored, each for the group's domain.
    QCOMPARE(transport.Log->Domains(), (QStringList{"X.de", "y.de"}));
    const QList<SentRow> rows = SentRows(-1);
    QCOMPARE(Emails(rows), (QStringList{"a@X.de", "b@x.DE", "c@y.de"}));
    QCOMPARE(rows[0].ErrorMessage, QStringLiteral("0: No mail exchanger for X.de"));
    QCOMPARE(rows[1].ErrorMessage, QStringLiteral("0: No mail exchanger for X.de"));
    QCOMPARE(rows[2].ErrorMessage, QStringLiteral("0: "));
    QCOMPARE(job.SentFailedCount(), 2);
    QCOMPARE(job.SentRetryCount(), 0);
    // The failed group's messages, composed ahead, are passed over: the next group's goes out as
    // composed for its own recipient.
    const QList<FakeSentMessage> messages = transport.Script->Messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].ReceiverEmail, QStringLiteral("c@y.de"));
    QCOMPARE(messages[0].ComposedFor, QStringLiteral("c@y.de"));
    QVERIFY(messages[0].ComposedElsewhere);
}

// Unthrottled, a sender's composing thread composes the packet's messages, in the grouped order,
// while it sends; every message goes out as composed for its own recipient. Throttled, or with a
// transport that composes as it sends, nothing is composed ahead.
void tst_SenderThreads::nextMessageIsComposedWhileOneIsSent_data() {
    QTest::addColumn<bool>("throttled");
    QTest::addColumn<bool>("composes");
    QTest::addColumn<int>("expectedAhead");
    QTest::newRow("unthrottled") << false << true << 5;
    QTest::newRow("throttled") << true << true << 0;
    QTest::newRow("transport composes as it sends") << false << false << 0;
}

void tst_SenderThreads::nextMessageIsComposedWhileOneIsSent() {
    QFETCH(bool, throttled);
    QFETCH(bool, composes);
    QFETCH(int, expectedAhead);
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    transport.Script->SetComposes(composes);
    EngineJob job(nullptr, -1, MakeSendList({true, 120, 1, throttled ? 1 : 0, throttled, false}), esPlainText);
    VirtualTime time(clock, job);
    for (const char* address : {"a@x.de", "b@y.de", "c@x.de", "d@y.de", "e@x.de"})
        job.AddDocument(QString::fromLatin1(address));
    job.SendPrepared();
    job.WaitForThreads();

    const QList<FakeSentMessage> messages = transport.Script->Messages();
    QStringList order;
    int ahead = 0;
    for (const FakeSentMessage& message : messages) {
        order << message.ReceiverEmail;
        QCOMPARE(message.Composed, composes);
        if (composes)
            QCOMPARE(message.ComposedFor, message.ReceiverEmail);
        QCOMPARE(message.SenderEmail, QStringLiteral("sender@example.org"));
        if (message.ComposedElsewhere)
            ++ahead;
    }
    QCOMPARE(order, (QStringList{"a@x.de", "c@x.de", "e@x.de", "b@y.de", "d@y.de"}));
    QCOMPARE(ahead, expectedAhead);
    QCOMPARE(job.SentCount(), 5);
    QCOMPARE(job.SentFailedCount(), 0);
}

// A message that cannot be composed (an attachment gone) fails with the composer's text; the
// messages before and after it, composed meanwhile, go out.
void tst_SenderThreads::composeFailureFailsOnlyItsMessage() {
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    const QString unreadable =
        QStringLiteral("The file \"/tmp/gone/Rechnung.pdf\" of the message cannot be read: No such file or directory");
    transport.Script->AddComposeFailure(QStringLiteral("b@x.de"), unreadable);
    EngineJob job(nullptr, -1, MakeSendList({}), esPlainText);
    VirtualTime time(clock, job);
    for (const char* address : {"a@x.de", "b@x.de", "c@x.de"})
        job.AddDocument(QString::fromLatin1(address));
    job.SendPrepared();
    job.WaitForThreads();

    const QList<SentRow> rows = SentRows(-1);
    QCOMPARE(Emails(rows), (QStringList{"a@x.de", "b@x.de", "c@x.de"}));
    QCOMPARE(rows[1].ErrorMessage, QStringLiteral("0: ") + unreadable);
    QCOMPARE(job.SentFailedCount(), 1);
    QCOMPARE(job.SentCount(), 3);
    QStringList sent;
    for (const FakeSentMessage& message : transport.Script->Messages())
        sent << message.ReceiverEmail + (message.ComposedElsewhere ? QStringLiteral(" ahead") : QString());
    QCOMPARE(sent, (QStringList{"a@x.de ahead", "c@x.de ahead"}));
}

void tst_SenderThreads::chaoticModeSpreadsOneDomain() {
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    transport.Script->SetSingleServer(false);
    EngineJob job(nullptr, -1, MakeSendList({false, 0, 1, 0, false, true}), esPlainText);
    VirtualTime time(clock, job);
    for (const char* address : {"a@x.de", "b@x.de", "c@y.de"})
        job.AddDocument(QString::fromLatin1(address));
    job.SendPrepared();
    job.WaitForThreads();

    // Groups {a, c} and {b}; per-message connects name each message's own domain.
    QStringList order;
    for (const auto& attempt : transport.Log->Attempts())
        order << attempt.Address;
    QCOMPARE(order, (QStringList{"a@x.de", "c@y.de", "b@x.de"}));
    QCOMPARE(transport.Log->Domains(), (QStringList{"x.de", "y.de", "x.de"}));
    QCOMPARE(SentRows(-1).size(), 3);
}

void tst_SenderThreads::failingSendersAreReplacedThreeTimes() {
    TestDatabase db;
    RecordingExceptionDisplay display;
    FakeClock clock;
    // No transport is registered for MAPI here: every sender fails at its start.
    EngineJob job(nullptr, -1, MakeSendList({}, msdMAPI), esPlainText);
    VirtualTime time(clock, job);
    for (int i = 0; i < 3; ++i)
        job.AddDocument(QStringLiteral("r%1@example.org").arg(i));
    job.SendPrepared();
    job.WaitForThreads();

    QVERIFY(!job.State().ContainsAny({jsSending, jsSent}));
    QCOMPARE(job.SendStackCount(), 3);
    QCOMPARE(SentRows(-1).size(), 0);
    QTRY_COMPARE(display.Records().size(), 1);
    QVERIFY2(display.Records()[0].Exception.Message.contains(QStringLiteral("No transport is registered")),
             qPrintable(display.Records()[0].Exception.Message));
    // The job can be reset and started again.
    job.ResetData();
    QVERIFY(!job.State().ContainsAny({jsTerminated, jsTerminateing, jsSending}));
    QCOMPARE(display.Records().size(), 1);
}

void tst_SenderThreads::killedJobFailsWhatWasNotSent() {
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    for (int i = 0; i < 3; ++i)
        transport.Script->AddSendStep(FakeTransportStep::Success());
    transport.Script->AddSendStep(FakeTransportStep::UntilCancelled());
    const qint64 templateId = InsertTemplateRow();
    const qint64 jobId = InsertJobRow(templateId);
    auto* job = new EngineJob(nullptr, qint32(templateId), MakeSendList({}), esPlainText);
    job->SetSuccessTemplateStateID(3);
    VirtualTime time(clock, *job);
    job->SetJobDBID(qint32(jobId));
    for (int i = 0; i < 10; ++i)
        job->AddDocument(QStringLiteral("r%1@example.org").arg(i));
    job->SendPrepared();
    QTRY_COMPARE(transport.Log->Attempts().size(), 4);
    TBaseEmailSender::FreeJob(job);

    const QList<SentRow> rows = SentRows(jobId);
    QCOMPARE(rows.size(), 10);
    const QStringList emails = Emails(rows);
    QCOMPARE(QSet<QString>(emails.cbegin(), emails.cend()).size(), 10);
    int sent = 0;
    for (const SentRow& row : rows)
        sent += row.SentState == 1 ? 1 : 0;
    QCOMPARE(sent, 3);
    for (int i = 4; i < 10; ++i)
        QCOMPARE(rows[i].ErrorMessage, TerminatedRow);
    const EndRows end = ReadEndRows(jobId, templateId);
    QCOMPARE(end.JobState.toInt(), 1);
    QVERIFY(!end.EndDate.isNull());
    QVERIFY(end.TemplateState.isNull());
    QVERIFY(end.LastSent.isNull());
}

void tst_SenderThreads::endRowsOfAFreedJob_data() {
    QTest::addColumn<bool>("withTemplate");
    QTest::newRow("with template") << true;
    QTest::newRow("template -1") << false;
}

void tst_SenderThreads::endRowsOfAFreedJob() {
    QFETCH(bool, withTemplate);
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    const qint64 templateId = InsertTemplateRow();
    const qint64 jobId = InsertJobRow(templateId);
    auto* job = new EngineJob(nullptr, withTemplate ? qint32(templateId) : -1, MakeSendList({}), esPlainText);
    job->SetSuccessTemplateStateID(4);
    VirtualTime time(clock, *job);
    job->SetJobDBID(qint32(jobId));
    job->AddDocument(QStringLiteral("one@example.org"));
    job->SendPrepared();
    job->WaitForThreads();
    QVERIFY(job->State().Contains(jsSent));
    QVERIFY(job->ExecuteTimerFunc()); // frees the sent job

    const EndRows end = ReadEndRows(jobId, templateId);
    QCOMPARE(end.JobState.toInt(), 2);
    QCOMPARE(end.EndDate.toDateTime(), clock.Base.addMSecs(clock.OffsetMs.load()));
    QCOMPARE(end.TemplateState.isNull(), !withTemplate);
    QCOMPARE(end.LastSent.isNull(), !withTemplate);
    if (withTemplate)
        QCOMPARE(end.TemplateState.toInt(), 4);
}

void tst_SenderThreads::templateIsMailedOnlyWhenAMessageSucceeded_data() {
    TestDatabase::AddBackendColumn();
    QTest::addColumn<int>("succeeding");
    QTest::addColumn<bool>("reset");
    for (Backend backend : TestDatabase::SelectedBackends()) {
        const char* b = backend == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s: every message refused, freed", b) << backend << 0 << false;
        QTest::addRow("%s: every message refused, reset", b) << backend << 0 << true;
        QTest::addRow("%s: one message sent, freed", b) << backend << 1 << false;
        QTest::addRow("%s: one message sent, reset", b) << backend << 1 << true;
    }
}

void tst_SenderThreads::templateIsMailedOnlyWhenAMessageSucceeded() {
    QFETCH(Backend, backend);
    QFETCH(int, succeeding);
    QFETCH(bool, reset);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    for (int i = 0; i < 3; ++i)
        transport.Script->AddSendStep(i < succeeding
                                          ? FakeTransportStep::Success()
                                          : FakeTransportStep::Reply(535, QStringLiteral("bad password")));
    const qint64 templateId = InsertTemplateRow();
    const qint64 jobId = InsertJobRow(templateId);
    auto* job = new EngineJob(nullptr, qint32(templateId), MakeSendList({}), esPlainText);
    job->SetSuccessTemplateStateID(4);
    VirtualTime time(clock, *job);
    job->SetJobDBID(qint32(jobId));
    for (int i = 0; i < 3; ++i)
        job->AddDocument(QStringLiteral("r%1@example.org").arg(i));
    job->SendPrepared();
    job->WaitForThreads();
    QVERIFY(job->State().Contains(jsSent));
    QCOMPARE(job->SentFailedCount(), 3 - succeeding);
    if (reset) {
        job->ResetData();
        TBaseEmailSender::FreeJob(job);
    } else {
        QVERIFY(job->ExecuteTimerFunc()); // frees the sent job
    }

    // The run completed either way; the template counts as mailed only when someone got the mail.
    const EndRows end = ReadEndRows(jobId, templateId);
    QCOMPARE(end.JobState.toInt(), 2);
    QVERIFY(!end.EndDate.isNull());
    QCOMPARE(end.TemplateState.isNull(), succeeding == 0);
    QCOMPARE(end.LastSent.isNull(), succeeding == 0);
    if (succeeding > 0)
        QCOMPARE(end.TemplateState.toInt(), 4);
    QCOMPARE(SentRows(jobId).size(), 3);
}

void tst_SenderThreads::refusedSenderWaitsWhileAnotherDelivers_data() {
    QTest::addColumn<bool>("singleServer");
    QTest::addColumn<bool>("chaotic");
    QTest::newRow("connect per group, one server") << true << false;
    QTest::newRow("connect per group, per domain") << false << false;
    QTest::newRow("connect per message, chaotic") << false << true;
}

void tst_SenderThreads::refusedSenderWaitsWhileAnotherDelivers() {
    QFETCH(bool, singleServer);
    QFETCH(bool, chaotic);
    TestDatabase db;
    FakeClock clock;
    constexpr int Refusals = 8;
    SessionLimitedServer server(clock, 1, Refusals);
    server.Script->SetSingleServer(singleServer);
    EngineJob job(nullptr, -1, MakeSendList({true, 2, 2, 0, false, chaotic}), esPlainText);
    job.SetJobDBID(7);
    VirtualTime time(clock, job);
    for (int i = 0; i < 10; ++i)
        job.AddDocument(QStringLiteral("r%1@d%2.example").arg(i).arg(i % 2));
    job.SendPrepared();
    job.WaitForSendEnd();

    // The refused sender left its documents alone and waited 30 s, doubling up to 5 minutes, on the
    // job's clock, while the first one delivered; in the end everyone got the message once.
    const QList<qint64> gaps = RefusalGaps(server.Refusals());
    QVERIFY2(gaps.size() >= 6, qPrintable(QString::number(gaps.size())));
    QCOMPARE(gaps.mid(0, 6), (QList<qint64>{30000, 60000, 120000, 240000, 300000, 300000}));
    const QList<SentRow> rows = SentRows(7);
    QCOMPARE(rows.size(), 10);
    for (const SentRow& row : rows) {
        QCOMPARE(row.ErrorMessage, QStringLiteral("0: "));
        QCOMPARE(row.SentState, 1);
    }
    const QStringList emails = Emails(rows);
    QCOMPARE(QSet<QString>(emails.cbegin(), emails.cend()).size(), 10);
    QCOMPARE(server.Script->Messages().size(), 10);
    QCOMPARE(job.SentRetryCount(), 0);
    QVERIFY(job.State().Contains(jsSent));
}

void tst_SenderThreads::refusedPacketLeavesTheUnitDelayAlone() {
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    transport.Script->SetSingleServer(false);
    for (int i = 0; i < 2; ++i)
        transport.Script->AddConnectStep(FakeTransportStep::Reply(421, ScriptText("421")));
    EngineJob job(nullptr, -1, MakeSendList({true, 2, 1, 5, false, false}), esPlainText);
    job.SetJobDBID(7);
    VirtualTime time(clock, job);
    for (int i = 0; i < 4; ++i)
        job.AddDocument(QStringLiteral("r%1@example.org").arg(i));
    job.ChangeDeliveringSenders(1); // another sender delivers all along
    job.SendPrepared();
    job.WaitForSendEnd();
    job.ChangeDeliveringSenders(-1);

    // The packet refused twice was tried again after 30 s and 60 s, not a unit delay later, and the
    // next packet came one delay after it: two packets of the delay in all.
    const auto attempts = transport.Log->Attempts();
    QCOMPARE(attempts.size(), 4);
    QCOMPARE(clock.Base.msecsTo(attempts[0].At), qint64(90000));
    const qint64 gap = attempts[1].At.msecsTo(attempts[2].At);
    QVERIFY2(gap > 5 * 60000 && gap <= 5 * 60000 + 1, qPrintable(QString::number(gap)));
    QCOMPARE(job.SentUnits(), 2);
    QCOMPARE(job.SentRetryCount(), 0);
    QCOMPARE(SentRows(7).size(), 4);
    QVERIFY(job.State().Contains(jsSent));
}

void tst_SenderThreads::terminationEndsTheWaitOfARefusedSender() {
    TestDatabase db;
    FakeClock clock;
    SessionLimitedServer server(clock, 1, 1000);
    EngineJob job(nullptr, -1, MakeSendList({true, 2, 2, 0, false, false}), esPlainText);
    job.SetJobDBID(7);
    VirtualTime time(clock, job);
    time.BeforeAdvance = [](const QDateTime&) { return false; }; // only the termination ends a wait
    for (int i = 0; i < 4; ++i)
        job.AddDocument(QStringLiteral("r%1@example.org").arg(i));
    job.SendPrepared();
    // The second sender is refused while the first one delivers (its first message is held).
    QVERIFY(server.WaitForRefusal(2));
    QTRY_VERIFY(!time.Waits().isEmpty());
    job.Terminate(false);
    QTRY_COMPARE(job.SenderThreadCount(), 1); // the refused sender ended while the other one still sends
    server.Release();
    job.WaitForThreads();

    QCOMPARE(clock.OffsetMs.load(), qint64(0));
    QCOMPARE(server.Refusals().size(), 2);
    QCOMPARE(job.SentRetryCount(), 0);
    const QList<SentRow> rows = SentRows(7);
    QCOMPARE(rows.size(), 4);
    int sent = 0;
    for (const SentRow& row : rows) {
        if (row.SentState == 1)
            ++sent;
        else
            QCOMPARE(row.ErrorMessage, TerminatedRow);
    }
    QCOMPARE(sent, 1); // the message under way when the job was terminated
}

void tst_SenderThreads::refusalWhileNobodyDeliversTakesTheResultStep_data() {
    QTest::addColumn<QList<int>>(
        "connects"); // reply codes of the connects in order; 0: connected, -1: no reply
    QTest::addColumn<QString>("errorMessage");
    QTest::addColumn<int>("sentState");
    QTest::addColumn<int>("retries");

    QTest::newRow("421 four times") << QList<int>{421, 421, 421, 421} << "421: " + ScriptText("421") << 2
                                    << 3;
    QTest::newRow("421, then connected") << QList<int>{421, 0} << "0: " << 1 << 1;
    QTest::newRow("450 at once") << QList<int>{450} << "450: " + ScriptText("450") << 2 << 0;
    QTest::newRow("554 keeps code 0") << QList<int>{554} << "0: " + ScriptText("554") << 2 << 0;
    QTest::newRow("no reply keeps code 0") << QList<int>{-1} << "0: " + ScriptText("-1") << 2 << 0;
}

void tst_SenderThreads::refusalWhileNobodyDeliversTakesTheResultStep() {
    QFETCH(QList<int>, connects);
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    transport.Script->SetSingleServer(false);
    for (int code : connects)
        transport.Script->AddConnectStep(
            code == 0  ? FakeTransportStep::Success()
            : code < 0 ? FakeTransportStep::Failure(ScriptText(QString::number(code)))
                       : FakeTransportStep::Reply(code, ScriptText(QString::number(code))));
    EngineJob job(nullptr, -1, MakeSendList({}), esPlainText);
    const QList<SentRow> rows = SendOneDocument(clock, job);
    QCOMPARE(rows.size(), 1);
    QTEST(rows[0].ErrorMessage, "errorMessage");
    QTEST(rows[0].SentState, "sentState");
    QTEST(job.SentRetryCount(), "retries");
    QCOMPARE(transport.Script->ConnectCount(), connects.size());
    QVERIFY(job.State().Contains(jsSent));
}

void tst_SenderThreads::stressSessionLimitMailsEachRecipientOnce() {
    TestDatabase db;
    for (int round = 0; round < 6; ++round) {
        FakeClock clock;
        SessionLimitedServer server(clock, 2);
        server.Script->SetSingleServer(round % 2 == 0);
        EngineJob job(nullptr, -1, MakeSendList({true, 4, 5, 0, false, round % 3 == 2}), esPlainText);
        job.SetJobDBID(200 + round);
        VirtualTime time(clock, job);
        job.AddState({jsInitialized, jsPreparing});
        for (int i = 0; i < 30; ++i)
            job.AddDocument(QStringLiteral("r%1@d%2.example").arg(i).arg(i % 4));
        job.Send();
        for (int i = 30; i < 60; ++i)
            job.AddDocument(QStringLiteral("r%1@d%2.example").arg(i).arg(i % 4));
        job.ModifyState([](TJobStateSet& s) { s.Exclude({jsPreparing}).Include({jsPrepared}); });
        job.ResumeSenders();
        job.WaitForSendEnd();

        // Never more sessions than the server allows, and each recipient mailed exactly once.
        QVERIFY(server.MostSessions() <= 2);
        const QList<SentRow> rows = SentRows(200 + round);
        QCOMPARE(rows.size(), 60);
        for (const SentRow& row : rows)
            QVERIFY2(row.SentState == 1, qPrintable(row.Email + QStringLiteral(": ") + row.ErrorMessage));
        const QStringList emails = Emails(rows);
        QCOMPARE(QSet<QString>(emails.cbegin(), emails.cend()).size(), 60);
        QCOMPARE(server.Script->Messages().size(), 60);
        QVERIFY(job.State().Contains(jsSent));
        QCOMPARE(job.SenderThreadCount(), 0);
    }
}

void tst_SenderThreads::stressThreeSendersSendEachDocumentOnce() {
    TestDatabase db;
    for (int round = 0; round < 8; ++round) {
        FakeClock clock;
        FakeTransportRegistration transport(clock);
        EngineJob job(nullptr, -1, MakeSendList({true, 4, 3, 0, false, false}), esPlainText);
        job.SetJobDBID(100 + round);
        VirtualTime time(clock, job);
        // Half of the documents come while the senders already run, as from a preparation.
        job.AddState({jsInitialized, jsPreparing});
        for (int i = 0; i < 30; ++i)
            job.AddDocument(QStringLiteral("r%1@d%2.example").arg(i).arg(i % 4));
        job.Send();
        for (int i = 30; i < 61; ++i)
            job.AddDocument(QStringLiteral("r%1@d%2.example").arg(i).arg(i % 4));
        job.ModifyState([](TJobStateSet& s) { s.Exclude({jsPreparing}).Include({jsPrepared}); });
        job.ResumeSenders();
        job.WaitForThreads();

        const QList<SentRow> rows = SentRows(100 + round);
        QCOMPARE(rows.size(), 61);
        const QStringList emails = Emails(rows);
        QCOMPARE(QSet<QString>(emails.cbegin(), emails.cend()).size(), 61);
        QCOMPARE(transport.Script->Messages().size(), 61);
        QCOMPARE(job.SentCount(), 61);
        QVERIFY(job.State().Contains(jsSent));
        QVERIFY(!job.State().Contains(jsSending));
        QCOMPARE(job.SenderThreadCount(), 0);
    }
}

void tst_SenderThreads::heldDatabaseStopsEachSenderAtItsBound() {
    TestDatabase db;
    FakeClock clock;
    FakeTransportRegistration transport(clock);
    constexpr int Threads = 3;
    // A packet longer than the bound, one per sender: the bound stops it, not the packet's end.
    constexpr int Packet = 2 * TSentListSubmission::Bound;
    constexpr int Documents = Threads * Packet;
    EngineJob job(nullptr, -1, MakeSendList({true, Packet, Threads, 0, false, false}), esPlainText);
    job.SetJobDBID(7);
    VirtualTime time(clock, job);
    for (int i = 0; i < Documents; ++i)
        job.AddDocument(QStringLiteral("r%1@d%2.example").arg(i).arg(i % 3));
    WriteLockHolder lock(WriteLockHolder::Kind::OtherConnection, QStringLiteral("emlsentlist"));
    job.SendPrepared();
    // Each sender goes on until its bound of results not yet durable, then waits for the database.
    QTRY_COMPARE_WITH_TIMEOUT(job.SentListWriter()->WaitingCount(), Threads, 60000);
    QCOMPARE(transport.Script->Messages().size(), Threads * TSentListSubmission::Bound);
    QCOMPARE(job.SentCount(), 0); // nothing counts before it is durable
    QCOMPARE(job.SenderThreadCount(), Threads);
    lock.Release();
    job.WaitForThreads();

    const QList<SentRow> rows = SentRows(7);
    QCOMPARE(rows.size(), Documents);
    const QStringList emails = Emails(rows);
    QCOMPARE(QSet<QString>(emails.cbegin(), emails.cend()).size(), Documents);
    for (const SentRow& row : rows)
        QCOMPARE(row.SentState, 1);
    QCOMPARE(transport.Script->Messages().size(), Documents);
    QCOMPARE(job.SentCount(), Documents);
    QVERIFY(job.State().Contains(jsSent));
}

QTEST_GUILESS_MAIN(tst_SenderThreads)
#include "tst_SenderThreads.moc"
