#include "EngineJob.h"
#include "MailingFixture.h"

#include "BaseEmailSender.h"
#include "ClientListProvider.h"
#include "ClientListProviders.h"
#include "DNSEmailSender.h"
#include "Database.h"
#include "HostLibraries.h"
#include "InterruptedJobs.h"
#include "SendRetryPolicy.h"
#include "MailPeers.h"
#include "PDFFileMacroReplacer.h"
#include "PDFTK.h"
#include "support/TestDatabase.h"

#include <QJsonArray>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QSet>
#include <QTest>
#include <QThread>

#include <chrono>
#include <thread>

using namespace emailmarketing;
using namespace testsupport;

namespace {

constexpr int Recipients = 200;

// Runs a 200-recipient mailing to the end and frees the job on the timer; checks server and rows.
void RunMailing(TMessageSenderDevice ADevice, const QString& AServer, const QString& ADNSServer,
                SmtpPeer& APeer) {
    const QHash<QString, qint64> addressIds = AddRecipients(Recipients);
    const qint64 templateId = InsertTemplateRow();
    EngineJob* job = NewJob(templateId, MailingList(ADevice, AServer, 3));
    job->SetDNSServer(ADNSServer);
    job->SetSuccessTemplateStateID(5);
    // Sending starts right after the preparation, and takes packets while they are prepared.
    job->Prepare();
    job->Send();
    job->WaitForThreads();
    const qint64 jobId = job->JobDBID();
    QVERIFY(jobId > 0);
    QVERIFY(job->State().Contains(jsSent));
    QVERIFY(!job->State().Contains(jsSending));
    QCOMPARE(job->SentCount(), Recipients);
    QCOMPARE(job->SentFailedCount(), 0);

    const QHash<QString, int> received = Received(APeer);
    QCOMPARE(received.size(), Recipients);
    for (auto it = received.cbegin(); it != received.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));

    const QList<SentRow> rows = SentRows(jobId);
    QCOMPARE(rows.size(), Recipients);
    QSet<QString> emails;
    for (const SentRow& row : rows) {
        QCOMPARE(row.ErrorMessage, QStringLiteral("0: "));
        QCOMPARE(row.SentState, 1);
        QVERIFY(received.contains(row.Email));
        QCOMPARE(row.AddressID, addressIds.value(row.Email));
        emails.insert(row.Email);
    }
    QCOMPARE(emails.size(), Recipients);

    // The timer frees the sent job; only then are the job and template rows closed.
    QVERIFY(ReadEndRows(jobId, templateId).EndDate.isNull());
    QVERIFY(job->ExecuteTimerFunc());
    const EndRows end = ReadEndRows(jobId, templateId);
    QCOMPARE(end.JobState.toInt(), 2);
    QVERIFY(!end.EndDate.isNull());
    QCOMPARE(end.TemplateState.toInt(), 5);
    QVERIFY(!end.LastSent.isNull());
}

// The mailing of tests/core/MailingChild.cpp in a process of its own, on this test's database.
class MailingChild {
public:
    ~MailingChild() {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.kill();
            FProcess.waitForFinished(10000);
        }
    }
    // Starts it and answers its job id (-1 when it did not start).
    qint64 Start(const QString& AServer, qint64 ATemplate, int AThreads) {
        const hostapi::DatabaseConfig& config = hostapi::Database::Config();
        QStringList args = config.IsPostgres()
                               ? QStringList{QStringLiteral("--database-url"), config.PostgresUrl}
                               : QStringList{QStringLiteral("--database"), config.SqlitePath};
        args << QStringLiteral("--server") << AServer << QStringLiteral("--template") << QString::number(ATemplate)
             << QStringLiteral("--threads") << QString::number(AThreads);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), FTemp.path());
        FProcess.setProcessEnvironment(environment);
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start(QStringLiteral(QV_MAILING_CHILD), args);
        if (!FProcess.waitForStarted(10000))
            return -1;
        while (!FProcess.canReadLine())
            if (!FProcess.waitForReadyRead(60000))
                return -1;
        const QByteArray line = FProcess.readLine().trimmed();
        return line.startsWith("job ") ? line.mid(4).toLongLong() : -1;
    }
    // SIGKILL, as a crash or a power cut ends it.
    bool Kill() {
        FProcess.kill();
        return FProcess.waitForFinished(10000) && FProcess.exitStatus() == QProcess::CrashExit;
    }
    // What it left in its temporary folder: files and folders.
    QStringList TemporaryFiles() const {
        return QDir(FTemp.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

private:
    QTemporaryDir FTemp;
    QProcess FProcess;
};

// Waits (polling the server's folder) until it holds at least ACount messages.
bool WaitForMessages(const SmtpPeer& APeer, int ACount) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (APeer.Messages().size() < ACount) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

qint64 PendingRows(qint64 AJobID) {
    return Count(QStringLiteral("emlsentlist"), QStringLiteral("emljobs_id = ? AND sentstate = 0"), {AJobID});
}

// What a job run to the end achieved: its job id and the number of recipients it sent to, both -1
// when it did not end as sent.
struct RunResult {
    qint64 JobID = -1;
    int SendCount = -1;
};

// Runs a job of ATemplate on AList to the end (a resend of AResendOf's failed when >= 0) and frees it.
RunResult RunToTheEnd(qint64 ATemplate, std::shared_ptr<TEmailListItem> AList, qint64 AResendOf = -1) {
    EngineJob* job = NewJob(ATemplate, std::move(AList));
    if (AResendOf >= 0) {
        job->SetReSendJobID(AResendOf);
        job->SetReSendJobState(2);
    }
    job->Prepare();
    job->Send();
    job->WaitForThreads();
    RunResult result;
    if (job->State().Contains(jsSent))
        result = {job->JobDBID(), job->SendCount()};
    TBaseEmailSender::FreeJob(job);
    return result;
}

// Resends job AJobID's failed recipients to AServer with AThreads senders, to the end; answers the
// number of recipients it sent to (-1 when the resend did not end as sent).
int ResendToTheFailed(qint64 ATemplate, qint64 AJobID, const QString& AServer, int AThreads) {
    return RunToTheEnd(ATemplate, MailingList(msdExtSMTP, AServer, AThreads), AJobID).SendCount;
}

// A job that holds its preparation before record HoldAt until the job is being terminated.
class HeldPreparationJob : public EngineJob {
public:
    using EngineJob::EngineJob;
    int HoldAt = -1;
    std::atomic<bool> Holding{false};

protected:
    void BeforePrepareRecipient(int ARecNo) override {
        if (ARecNo != HoldAt)
            return;
        Holding = true;
        while (!State().Contains(jsTerminateing))
            WaitForStateChange(100);
    }
};

// A job whose preparation begins only once its sender threads run (SendersStarted), so that they
// all meet the server's session limit together.
class AllSendersFirstJob : public EngineJob {
public:
    using EngineJob::EngineJob;
    std::atomic<bool> SendersStarted{false};

protected:
    void BeforePrepareRecipient(int ARecNo) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (ARecNo == 0 && !SendersStarted && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

// A module's client list of its registrations ("qvregistrations"), the customers among them.
class RegistrationsList : public hostapi::IClientListDefinition {
public:
    QString ListIdent() const override { return QStringLiteral("KUNDEN"); }
    QString Name() const override { return QStringLiteral("Registrierte Kunden"); }
    QString SchemaName() const override { return QStringLiteral("qvregistrations"); }
    QStringList FieldsToIgnore() const override { return {}; }
    int FilterCount() const override { return 1; }
    void GetFilter(int, QString& FieldName, hostapi::TQVFilterType& FilterType,
                   hostapi::TQVFilterLink& FilterLink, bool& UseAsLookup,
                   hostapi::TQVParenthesis& Parenthesis, QString& Value) const override {
        FieldName = QStringLiteral("company");
        FilterType = hostapi::ftEqual;
        FilterLink = hostapi::flAnd;
        UseAsLookup = false;
        Parenthesis = hostapi::fpNone;
        Value = QStringLiteral("Kunde");
    }
};

class RegistrationsProvider : public hostapi::IClientListProvider {
public:
    QString ClientIdent() const override { return QStringLiteral("REG"); }
    int ListCount() const override { return 1; }
    std::shared_ptr<hostapi::IClientListDefinition> Lists(int) const override {
        return std::make_shared<RegistrationsList>();
    }
};

// The provider's list as the module builds it, sending to AServer over external SMTP.
std::shared_ptr<TEmailListItem> RegistrationsMailingList(const QString& AServer) {
    TClientListProviders providers;
    providers.Register(std::make_shared<RegistrationsProvider>());
    std::shared_ptr<TEmailListItem> list;
    providers.LoadClientLists([&] { return list = std::make_shared<TEmailListItem>(); });
    const std::shared_ptr<TEmailListItem> sending = MailingList(msdExtSMTP, AServer, 2);
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email")});
    list->SetUseGlobalRegisterService(false);
    list->SetUseGlobalAddress(false);
    list->SetSenderName(sending->SenderName());
    list->SetSenderEmail(sending->SenderEmail());
    list->SetUseGlobalMailServer(false);
    list->SetMessageSenderDevice(msdExtSMTP);
    list->SetMailServer(AServer);
    list->SetUseGlobalSendSettings(false);
    list->SetMailsPerUnit(sending->MailsPerUnit());
    list->SetSendThreads(sending->SendThreads());
    list->SetUnitDelay(0);
    return list;
}

// The fixture's PDF form as an attachment personalised with %NAME%.
void AddPdfForm(EngineJob& AJob) {
    TAttachement* attachment = AJob.Attachements().Add();
    attachment->SetUseMacros(true);
    attachment->SetFileName(QStringLiteral("Angebot.pdf"));
    attachment->SetLocalFile(QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/pdf/form.pdf"));
    AJob.UsedMakros() = {{QStringLiteral("%NAME%"), mkField}};
}

} // namespace

class tst_Mailing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        hostapi::HostLibraries::Initialize();
        RegisterDNSEmailSenderClasses();
        RegisterPDFFileMacroReplacer();
    }
    void cleanupTestCase() {
        UnRegisterPDFFileMacroReplacer();
        UnRegisterDNSEmailSenderClasses();
    }

    void mailingOverThreeSenders_data();
    void mailingOverThreeSenders();
    void sessionLimitedServerMailsEveryoneOnce_data();
    void sessionLimitedServerMailsEveryoneOnce();
    void resendOfAClientListReachesTheFailed_data();
    void resendOfAClientListReachesTheFailed();
    void directDeliveryThroughMXRecords();
    void serverRepliesBecomeRows();
    void killedMailingIsResentToTheFailedOnly();
    void personalisedPdfReachesEachRecipient();
    void personalisedTextsReachEachRecipient();
    void hungPdftkDoesNotHoldTheJob_data();
    void hungPdftkDoesNotHoldTheJob();
    void killedProcessIsClosedAtTheNextStart_data();
    void killedProcessIsClosedAtTheNextStart();
    void runningJobOfAnotherProcessIsLeftAlone_data();
    void runningJobOfAnotherProcessIsLeftAlone();
    void terminatedMailingIsResentToTheRest();
};

void tst_Mailing::mailingOverThreeSenders_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_Mailing::mailingOverThreeSenders() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    SmtpPeer peer;
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    RunMailing(msdExtSMTP, QStringLiteral("127.0.0.1:%1").arg(peer.Port()), {}, peer);
}

void tst_Mailing::sessionLimitedServerMailsEveryoneOnce_data() {
    TestDatabase::AddBackendColumn();
    // Throttled, each message connects on its own (also early, inside the pause before it), so
    // refusals meet single messages as well as whole groups.
    QTest::addColumn<bool>("throttled");
    for (Backend b : TestDatabase::SelectedBackends()) {
        const QByteArray name = b == Backend::SQLite ? QByteArray("sqlite") : QByteArray("postgresql");
        QTest::newRow(name.constData()) << b << false;
        QTest::newRow((name + " throttled").constData()) << b << true;
    }
}

void tst_Mailing::sessionLimitedServerMailsEveryoneOnce() {
    QFETCH(Backend, backend);
    QFETCH(bool, throttled);
    QV_SKIP_UNLESS_BACKEND(backend);
    constexpr int Threads = 8;
    TestDatabase db(backend);
    SmtpPeer peer({QStringLiteral("--max-sessions"), QStringLiteral("3")});
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    const QHash<QString, qint64> addressIds = AddRecipients(Recipients);
    const qint64 templateId = InsertTemplateRow();
    FakeClock clock;
    std::shared_ptr<TEmailListItem> list =
        MailingList(msdExtSMTP, QStringLiteral("127.0.0.1:%1").arg(peer.Port()), Threads);
    if (throttled) {
        list->SetThrottle(true);
        list->SetUnitDelay(1); // 20 messages a minute of the job's clock, one each 3 s
    }
    auto* job = new AllSendersFirstJob(nullptr, qint32(templateId), list, esPlainText);
    job->SetSubject(QStringLiteral("Angebot"));
    job->SetContent(QStringLiteral("Guten Tag"));
    VirtualTime time(clock, *job);
    job->Prepare();
    job->Send(); // returns when every sender thread runs
    QCOMPARE(job->SenderThreadCount(), Threads);
    job->SendersStarted = true;
    job->WaitForSendEnd();
    const qint64 jobId = job->JobDBID();
    QVERIFY(job->State().Contains(jsSent));
    QCOMPARE(job->SentCount(), Recipients);
    QCOMPARE(job->SentFailedCount(), 0);
    TBaseEmailSender::FreeJob(job);

    // The server turned sessions away, and still everyone got the message exactly once: a refused
    // sender left its documents to the others instead of failing them.
    QVERIFY2(peer.RefusedSessions() > 0, "the server never met its session limit");
    const QHash<QString, int> received = Received(peer);
    QCOMPARE(received.size(), Recipients);
    for (auto it = received.cbegin(); it != received.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
    const QList<SentRow> rows = SentRows(jobId);
    QCOMPARE(rows.size(), Recipients);
    for (const SentRow& row : rows) {
        QVERIFY2(row.SentState == 1, qPrintable(row.Email + QStringLiteral(": ") + row.ErrorMessage));
        QCOMPARE(row.ErrorMessage, QStringLiteral("0: "));
        QCOMPARE(row.AddressID, addressIds.value(row.Email));
    }
}

void tst_Mailing::resendOfAClientListReachesTheFailed_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_Mailing::resendOfAClientListReachesTheFailed() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    // Addresses with the same ids as the registrations: the resend must read the registrations.
    AddRecipients(30);
    QSet<QString> customers;
    {
        hostapi::Transaction transaction;
        for (int i = 0; i < 24; ++i) {
            const QString email = QStringLiteral("reg%1@d%2.test").arg(i).arg(i % 3);
            hostapi::Database::InsertRow(
                QStringLiteral("qvregistrations"), {"name", "email", "company"},
                {QStringLiteral("Reg%1").arg(i), email,
                 i % 6 == 5 ? QStringLiteral("Lieferant") : QStringLiteral("Kunde")});
            if (i % 6 != 5)
                customers.insert(email);
        }
        transaction.Commit();
    }
    const QSet<QString> refused{QStringLiteral("reg0@d0.test"), QStringLiteral("reg7@d1.test"),
                                QStringLiteral("reg14@d2.test")};
    SmtpPeer first;
    first.SetRules(R"([{"when": "rcpt", "address": "reg0@d0.test", "reply": "550 5.1.1 No such user"},
                       {"when": "rcpt", "address": "reg7@d1.test", "reply": "552 5.2.2 Mailbox full"},
                       {"when": "rcpt", "address": "reg14@d2.test", "reply": "550 5.1.1 No such user"}])");
    QString error;
    QVERIFY2(first.Start(error), qPrintable(error));
    const qint64 templateId = InsertTemplateRow();
    const QString firstServer = QStringLiteral("127.0.0.1:%1").arg(first.Port());
    const qint64 jobId = RunToTheEnd(templateId, RegistrationsMailingList(firstServer)).JobID;
    QVERIFY(jobId > 0);
    const QHash<QString, int> accepted = Received(first);
    QCOMPARE(QSet<QString>(accepted.keyBegin(), accepted.keyEnd()), customers - refused);
    QSet<QString> failed;
    for (const SentRow& row : SentRows(jobId))
        if (row.SentState == 2)
            failed.insert(row.Email);
    QCOMPARE(failed, refused);

    // The resend to the failed, to a second server, reaches exactly those three.
    SmtpPeer second;
    QVERIFY2(second.Start(error), qPrintable(error));
    const QString secondServer = QStringLiteral("127.0.0.1:%1").arg(second.Port());
    const qint64 resendId = RunToTheEnd(templateId, RegistrationsMailingList(secondServer), jobId).JobID;
    QVERIFY(resendId > 0);
    const QHash<QString, int> resent = Received(second);
    QCOMPARE(QSet<QString>(resent.keyBegin(), resent.keyEnd()), refused);
    for (auto it = resent.cbegin(); it != resent.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
    const QList<SentRow> rows = SentRows(resendId);
    QCOMPARE(rows.size(), refused.size());
    for (const SentRow& row : rows)
        QCOMPARE(row.SentState, 1);
}

void tst_Mailing::directDeliveryThroughMXRecords() {
    TestDatabase db;
    SmtpPeer peer;
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    QStringList records{QStringLiteral("--local=/test/"),
                        QStringLiteral("--host-record=mx.relay.test,127.0.0.1")};
    for (int d = 0; d < 4; ++d)
        records << QStringLiteral("--mx-host=d%1.test,mx.relay.test,10").arg(d);
    DnsPeer dns(records);
    QVERIFY2(dns.Start(error), qPrintable(error));
    TDNSEmailSender::SetMailExchangerPort(peer.Port());
    RunMailing(msdInternal, {}, dns.Server(), peer);
    TDNSEmailSender::SetMailExchangerPort(25);
    // Each domain's exchanger was looked up; the sender remembers it per domain.
    for (int d = 0; d < 4; ++d)
        QVERIFY(dns.QueryCount(QStringLiteral("MX"), QStringLiteral("d%1.test").arg(d)) >= 1);
}

void tst_Mailing::serverRepliesBecomeRows() {
    TestDatabase db;
    SmtpPeer peer;
    peer.SetRules(R"([{"when": "rcpt", "address": "gone@d1.test", "reply": "550 5.1.1 No such user"},
                      {"when": "mail", "reply": "421 4.3.2 Try again later"}])");
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    FakeClock clock;
    EngineJob job(nullptr, -1, MailingList(msdExtSMTP, QStringLiteral("127.0.0.1:%1").arg(peer.Port()), 1),
                  esPlainText);
    VirtualTime time(clock, job);
    job.AddDocument(QStringLiteral("first@d0.test"));
    job.AddDocument(QStringLiteral("gone@d1.test"));
    job.AddDocument(QStringLiteral("last@d2.test"));
    job.SendPrepared();
    job.WaitForThreads();

    // The 421 closed the connection: the first message is retried after more than 5 minutes on the
    // job's clock and arrives once; the 550 fails its recipient at once.
    const QHash<QString, int> received = Received(peer);
    QCOMPARE(received.value(QStringLiteral("first@d0.test")), 1);
    QCOMPARE(received.value(QStringLiteral("last@d2.test")), 1);
    QVERIFY(!received.contains(QStringLiteral("gone@d1.test")));
    QCOMPARE(job.SentRetryCount(), 1);
    QVERIFY(clock.OffsetMs.load() > 5 * 60000);
    QHash<QString, SentRow> rows;
    for (const SentRow& row : SentRows(-1))
        rows.insert(row.Email, row);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.value(QStringLiteral("first@d0.test")).ErrorMessage, QStringLiteral("0: "));
    QVERIFY2(rows.value(QStringLiteral("gone@d1.test")).ErrorMessage.startsWith(QStringLiteral("550: ")),
             qPrintable(rows.value(QStringLiteral("gone@d1.test")).ErrorMessage));
    QVERIFY(rows.value(QStringLiteral("gone@d1.test")).ErrorMessage.contains(QStringLiteral("No such user")));
    QCOMPARE(rows.value(QStringLiteral("gone@d1.test")).SentState, 2);
}

void tst_Mailing::killedMailingIsResentToTheFailedOnly() {
    TestDatabase db;
    SmtpPeer peer;
    peer.SetRules(R"([{"when": "data", "address": "r120@d0.test", "reply": "stall"}])");
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    const QString server = QStringLiteral("127.0.0.1:%1").arg(peer.Port());
    AddRecipients(Recipients);
    const qint64 templateId = InsertTemplateRow();
    EngineJob* job = NewJob(templateId, MailingList(msdExtSMTP, server, 3));
    job->Prepare();
    job->Send();
    const qint64 jobId = job->JobDBID();
    QVERIFY(peer.WaitForStall(60000));
    TBaseEmailSender::FreeJob(job); // kill: terminate, cancel the stalled connection, free

    const QHash<QString, int> accepted = Received(peer);
    const QList<SentRow> rows = SentRows(jobId);
    QCOMPARE(rows.size(), Recipients);
    QStringList failed;
    for (const SentRow& row : rows) {
        // Every message the server accepted is a sent row; everything else failed.
        QCOMPARE(row.SentState == 1, accepted.contains(row.Email));
        if (row.SentState == 2)
            failed << row.Email;
    }
    QVERIFY(!failed.isEmpty());
    QVERIFY(failed.contains(QStringLiteral("r120@d0.test")));
    const EndRows end = ReadEndRows(jobId, templateId);
    QCOMPARE(end.JobState.toInt(), 1);
    QVERIFY(!end.EndDate.isNull());
    QVERIFY(end.LastSent.isNull());

    // A resend to the failed recipients reaches exactly those: in the end everyone has one message.
    EngineJob* resend = NewJob(templateId, MailingList(msdExtSMTP, server, 3));
    resend->SetReSendJobID(jobId);
    resend->SetReSendJobState(2);
    resend->Prepare();
    resend->Send();
    resend->WaitForThreads();
    QCOMPARE(resend->SendCount(), failed.size());
    QVERIFY(resend->State().Contains(jsSent));
    TBaseEmailSender::FreeJob(resend);
    const QHash<QString, int> received = Received(peer);
    QCOMPARE(received.size(), Recipients);
    for (auto it = received.cbegin(); it != received.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
}

void tst_Mailing::personalisedPdfReachesEachRecipient() {
    const QString pdftk = QStandardPaths::findExecutable(QStringLiteral("pdftk"));
    if (pdftk.isEmpty())
        QFAIL("pdftk is not installed (Debian package pdftk-java)");
    TestDatabase db;
    SmtpPeer peer;
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    const QStringList names{QStringLiteral("Müller"), QStringLiteral("O'Neil (A) \\ B) ("),
                            QStringLiteral("Łódź €"), QStringLiteral("Back\\slash")};
    {
        hostapi::Transaction transaction;
        for (int i = 0; i < names.size(); ++i)
            hostapi::Database::InsertRow(QStringLiteral("pelm_addresses_ass"),
                                         {QStringLiteral("name"), QStringLiteral("email1")},
                                         {names[i], QStringLiteral("p%1@d0.test").arg(i)});
        transaction.Commit();
    }
    EngineJob* job = NewJob(InsertTemplateRow(),
                            MailingList(msdExtSMTP, QStringLiteral("127.0.0.1:%1").arg(peer.Port()), 2));
    AddPdfForm(*job);
    job->Prepare();
    job->Send();
    job->WaitForThreads();
    QVERIFY(job->State().Contains(jsSent));
    TBaseEmailSender::FreeJob(job);

    // Each recipient's PDF, taken out of the message as a mail program would, holds their own name.
    QTemporaryDir dir;
    QHash<QString, QString> filled;
    for (const QString& message : peer.Messages()) {
        const QString rcpt =
            peer.Envelope(message).value(QStringLiteral("rcpt_tos")).toArray().first().toString();
        const QString pdf = dir.filePath(rcpt + QStringLiteral(".pdf"));
        QProcess extract;
        extract.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys\nfrom email import policy\nfrom email.parser import BytesParser\n"
                            "m = BytesParser(policy=policy.default).parse(open(sys.argv[1], 'rb'))\n"
                            "p = [x for x in m.walk() if x.get_content_type() == 'application/pdf']\n"
                            "open(sys.argv[2], 'wb').write(p[0].get_payload(decode=True))\n"),
             message, pdf});
        QVERIFY(extract.waitForFinished(30000) && extract.exitCode() == 0);
        TPDFTK driver;
        driver.SetPDFTKPath(pdftk);
        driver.SetOperation(opDumpDataFields);
        driver.Execute(pdf, QString());
        filled.insert(rcpt, driver.FDF().FieldByName(QStringLiteral("Name"))->Value());
    }
    QCOMPARE(filled.size(), names.size());
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(filled.value(QStringLiteral("p%1@d0.test").arg(i)), names[i]);
}

// The texts the senders read back from the job's spill file are each recipient's own: subject, text
// part and HTML part as a mail program shows them.
void tst_Mailing::personalisedTextsReachEachRecipient() {
    TestDatabase db;
    SmtpPeer peer;
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    const QStringList names{QStringLiteral("Müller"), QStringLiteral("Łódź €"), QStringLiteral("日本 🙂"),
                            QStringLiteral("Zoë Brontë")};
    {
        hostapi::Transaction transaction;
        for (int i = 0; i < names.size(); ++i)
            hostapi::Database::InsertRow(QStringLiteral("pelm_addresses_ass"),
                                         {QStringLiteral("name"), QStringLiteral("email1")},
                                         {names[i], QStringLiteral("t%1@d0.test").arg(i)});
        transaction.Commit();
    }
    EngineJob* job = NewJob(InsertTemplateRow(),
                            MailingList(msdExtSMTP, QStringLiteral("127.0.0.1:%1").arg(peer.Port()), 2));
    job->SetEmailStyle(esHTMLSource);
    job->SetSubject(QStringLiteral("Angebot für %NAME%"));
    job->SetContent(QStringLiteral("Guten Tag %NAME%"));
    job->SetHTMLContent(QStringLiteral("<p>Grüße, %NAME%</p>"));
    job->UsedMakros() = {{QStringLiteral("%NAME%"), mkField}};
    job->Prepare();
    job->Send();
    job->WaitForThreads();
    QVERIFY(job->State().Contains(jsSent));
    QVERIFY(job->GetSendMails(0)->TextsSpilled());
    TBaseEmailSender::FreeJob(job);

    QHash<QString, QStringList> seen; // recipient -> subject, text, HTML
    for (const QString& message : peer.Messages()) {
        const QString rcpt =
            peer.Envelope(message).value(QStringLiteral("rcpt_tos")).toArray().first().toString();
        const QJsonObject parsed = peer.Parsed(message);
        QStringList texts{parsed[QStringLiteral("headers")]
                              .toObject()[QStringLiteral("subject")]
                              .toArray()
                              .first()
                              .toString()};
        for (const QString& type : {QStringLiteral("text/plain"), QStringLiteral("text/html")})
            for (const QJsonValue part : parsed[QStringLiteral("parts")].toArray())
                if (part[QStringLiteral("content_type")].toString() == type)
                    texts << part[QStringLiteral("text")].toString().trimmed();
        seen.insert(rcpt, texts);
    }
    QCOMPARE(seen.size(), names.size());
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(
            seen.value(QStringLiteral("t%1@d0.test").arg(i)),
            (QStringList{QStringLiteral("Angebot für ") + names[i], QStringLiteral("Guten Tag ") + names[i],
                         QStringLiteral("<p>Grüße, ") + names[i] + QStringLiteral("</p>")}));
}

void tst_Mailing::hungPdftkDoesNotHoldTheJob_data() {
    QTest::addColumn<bool>("terminate"); // else the job is freed while pdftk runs
    QTest::newRow("freed") << false;
    QTest::newRow("terminated") << true;
}

void tst_Mailing::hungPdftkDoesNotHoldTheJob() {
    QFETCH(bool, terminate);
    TestDatabase db;
    // A stand-in pdftk that says it runs, then hangs far beyond the test.
    QTemporaryDir bin;
    const QString started = bin.filePath(QStringLiteral("started"));
    {
        QFile script(bin.filePath(QStringLiteral("pdftk")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\ntouch '" + started.toUtf8() + "'\nexec sleep 120\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8() + ':' + oldPath);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", oldPath); });
    AddRecipients(3);
    EngineJob* job = NewJob(InsertTemplateRow(), MailingList(msdExtSMTP, QStringLiteral("127.0.0.1:1"), 1));
    AddPdfForm(*job);
    job->Prepare();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 30000);

    QElapsedTimer elapsed;
    elapsed.start();
    if (terminate) {
        QVERIFY(job->Terminate(true));
        QVERIFY(elapsed.elapsed() < 2000);
        QCOMPARE(job->SendStackCount(), 0);
    }
    TBaseEmailSender::FreeJob(job);
    QVERIFY2(elapsed.elapsed() < 2000, qPrintable(QString::number(elapsed.elapsed())));
}

void tst_Mailing::killedProcessIsClosedAtTheNextStart_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_Mailing::killedProcessIsClosedAtTheNextStart() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    constexpr int Count400 = 400;
    constexpr int Threads = 3;
    TestDatabase db(backend);
    SmtpPeer peer;
    // The last recipient is never answered: the mailing cannot end before it is killed.
    peer.SetRules(R"([{"when": "data", "address": "r399@d3.test", "reply": "stall"}])");
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    const QHash<QString, qint64> addressIds = AddRecipients(Count400);
    const qint64 templateId = InsertTemplateRow();
    MailingChild child;
    const qint64 jobId = child.Start(QStringLiteral("127.0.0.1:%1").arg(peer.Port()), templateId, Threads);
    QVERIFY(jobId > 0);
    QVERIFY(WaitForMessages(peer, 100));
    QVERIFY(child.Kill());
    // The prepared texts it held are not left behind.
    QCOMPARE(child.TemporaryFiles(), QStringList());
    const QHash<QString, int> accepted = Received(peer);
    QVERIFY(ReadEndRows(jobId, templateId).EndDate.isNull());
    QVERIFY(PendingRows(jobId) > 0);

    // The next start closes the job and fails what has no result.
    const TInterruptedJobs::TResult recovered = TInterruptedJobs::Recover(QDateTime::currentDateTime());
    QCOMPARE(recovered.Jobs, 1);
    QVERIFY(recovered.Rows > 0);
    const EndRows end = ReadEndRows(jobId, templateId);
    QCOMPARE(end.JobState.toInt(), 1);
    QVERIFY(!end.EndDate.isNull());
    QVERIFY(end.LastSent.isNull());
    const QList<SentRow> rows = SentRows(jobId);
    QCOMPARE(rows.size(), Count400);
    QSet<QString> emails;
    QSet<QString> failed;
    int interrupted = 0;
    for (const SentRow& row : rows) {
        emails.insert(row.Email);
        QCOMPARE(row.AddressID, addressIds.value(row.Email));
        QVERIFY2(row.SentState == 1 || row.SentState == 2, qPrintable(row.Email));
        QVERIFY(row.SentDate.isValid());
        if (row.SentState == 1)
            QVERIFY2(accepted.contains(row.Email), qPrintable(row.Email)); // never a success not sent
        else
            failed.insert(row.Email);
        if (row.ErrorMessage == SentListErrorMessage(0, TInterruptedJobs::InterruptedText()))
            ++interrupted;
    }
    QCOMPARE(emails.size(), Count400);
    QCOMPARE(interrupted, recovered.Rows);
    QVERIFY(failed.contains(QStringLiteral("r399@d3.test")));
    // Accepted by the server, not yet durable when killed: at most 5 per sender thread.
    int duplicates = 0;
    for (const QString& email : std::as_const(failed))
        duplicates += accepted.contains(email) ? 1 : 0;
    QVERIFY2(duplicates <= 5 * Threads, qPrintable(QString::number(duplicates)));
    QCOMPARE(failed.size() - duplicates, Count400 - int(accepted.size()));

    // The resend to the failed, to a second server: nobody is missed, over both servers.
    SmtpPeer second;
    QVERIFY2(second.Start(error), qPrintable(error));
    QCOMPARE(ResendToTheFailed(templateId, jobId, QStringLiteral("127.0.0.1:%1").arg(second.Port()), Threads),
             int(failed.size()));
    const QHash<QString, int> resent = Received(second);
    QCOMPARE(QSet<QString>(resent.keyBegin(), resent.keyEnd()), failed);
    for (auto it = resent.cbegin(); it != resent.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
    QSet<QString> reached(accepted.keyBegin(), accepted.keyEnd());
    reached.unite(failed);
    QCOMPARE(reached.size(), Count400);
}

void tst_Mailing::runningJobOfAnotherProcessIsLeftAlone_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_Mailing::runningJobOfAnotherProcessIsLeftAlone() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    SmtpPeer peer;
    peer.SetRules(R"([{"when": "data", "address": "r030@d2.test", "reply": "stall"}])");
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    AddRecipients(Recipients);
    const qint64 templateId = InsertTemplateRow();
    MailingChild child;
    const qint64 jobId = child.Start(QStringLiteral("127.0.0.1:%1").arg(peer.Port()), templateId, 3);
    QVERIFY(jobId > 0);
    QVERIFY(peer.WaitForStall(60000));
    QVERIFY(PendingRows(jobId) > 0);

    // This process starts while the other one sends: its job stays as it is.
    const TInterruptedJobs::TResult whileRunning = TInterruptedJobs::Recover(QDateTime::currentDateTime());
    QCOMPARE(whileRunning.Jobs, 0);
    QCOMPARE(whileRunning.Rows, 0);
    QVERIFY(ReadEndRows(jobId, templateId).EndDate.isNull());
    QCOMPARE(Count(QStringLiteral("emlsentlist"), QStringLiteral("emljobs_id = ? AND errormessage = ?"),
                   {jobId, SentListErrorMessage(0, TInterruptedJobs::InterruptedText())}),
             0);

    // Once the other process is gone, its job is closed.
    QVERIFY(child.Kill());
    const qint64 pending = PendingRows(jobId);
    QVERIFY(pending > 0); // the stalled recipient at least
    const TInterruptedJobs::TResult afterKill = TInterruptedJobs::Recover(QDateTime::currentDateTime());
    QCOMPARE(afterKill.Jobs, 1);
    QCOMPARE(afterKill.Rows, int(pending));
    QVERIFY(!ReadEndRows(jobId, templateId).EndDate.isNull());
    QCOMPARE(PendingRows(jobId), 0);
}

void tst_Mailing::terminatedMailingIsResentToTheRest() {
    TestDatabase db;
    SmtpPeer peer;
    QString error;
    QVERIFY2(peer.Start(error), qPrintable(error));
    const QString server = QStringLiteral("127.0.0.1:%1").arg(peer.Port());
    AddRecipients(Recipients);
    const qint64 templateId = InsertTemplateRow();
    auto* job = new HeldPreparationJob(nullptr, qint32(templateId), MailingList(msdExtSMTP, server, 3), esPlainText);
    job->SetSubject(QStringLiteral("Angebot"));
    job->SetContent(QStringLiteral("Guten Tag"));
    job->HoldAt = 120; // the last 80 recipients are not prepared when the job is terminated
    job->Prepare();
    job->Send();
    const qint64 jobId = job->JobDBID();
    QVERIFY(WaitForMessages(peer, 60));
    QVERIFY(job->Holding.load());
    QVERIFY(job->Terminate(true));
    TBaseEmailSender::FreeJob(job);

    const QList<SentRow> rows = SentRows(jobId);
    QCOMPARE(rows.size(), Recipients);
    QSet<QString> emails;
    for (const SentRow& row : rows) {
        emails.insert(row.Email);
        QVERIFY2(row.SentState == 1 || row.SentState == 2, qPrintable(row.Email));
    }
    QCOMPARE(emails.size(), Recipients);
    // The recipients not prepared yet failed with the termination, like the unsent prepared ones.
    for (int i = 120; i < Recipients; ++i)
        QCOMPARE(rows[i].ErrorMessage, QStringLiteral("0: The job was terminated before this message was sent."));

    QVERIFY(ResendToTheFailed(templateId, jobId, server, 3) > 0);
    const QHash<QString, int> received = Received(peer);
    QCOMPARE(received.size(), Recipients);
    for (auto it = received.cbegin(); it != received.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
}

QTEST_GUILESS_MAIN(tst_Mailing)
#include "tst_Mailing.moc"
