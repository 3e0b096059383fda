// The prepare thread of a job against a real database: packets reaching the send stack, the job's
// "emljobs" row per run, previews, termination at a recipient, dropped recipients, the
// register-service fetch before preparing, and the wake of waiting senders when a preparation ends.

#include "BaseEmailSender.h"

#include "CancellationScope.h"
#include "ClientSQL.h"
#include "Database.h"
#include "HostLibraries.h"
#include "IExtFuncPluginRegisterService.h"
#include "ModuleLoader.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "ScriptedEmailSender.h"
#include "support/HostDoubles.h"
#include "support/OpenFiles.h"
#include "support/TestDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <tuple>

// errno texts and the mode of the texts' file
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace emailmarketing;
using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

const QString Addresses = QStringLiteral("pelm_addresses_ass");

// Addresses "Name<i>" with e-mail "r<i>@example.org" (the name of index i is "Name<i>").
void AddRecipients(int ACount, int AFirst = 0) {
    hostapi::Transaction transaction;
    for (int i = AFirst; i < AFirst + ACount; ++i)
        hostapi::Database::Exec(
            QStringLiteral("INSERT INTO \"pelm_addresses_ass\" (\"name\", \"email1\") VALUES (?, ?)"),
            {QStringLiteral("Name%1").arg(i), QStringLiteral("r%1@example.org").arg(i)});
    transaction.Commit();
}

std::shared_ptr<TEmailListItem> RecipientList(bool ASendPerUnits = false, int AMailsPerUnit = 1000) {
    auto list = std::make_shared<TEmailListItem>();
    list->SetSectionName(Addresses);
    list->SetName(QStringLiteral("Kunden"));
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1")});
    list->SetUseGlobalSendSettings(false);
    list->SetSendPerUnits(ASendPerUnits);
    list->SetMailsPerUnit(AMailsPerUnit);
    list->SetUseGlobalRegisterService(false);
    return list;
}

// A register service module's interface with a scripted answer; it records the job's state bits it
// saw while it was asked.
class ScriptedRegisterService : public hostapi::IExtFuncPluginRegisterService {
public:
    // WaitForCancel blocks like a slow download until the calling thread's cancellation scope asks
    // to end it (at most 10 s), then raises as the host's cancelled fetch does.
    enum TAnswer { Succeed, AnswerFalse, Raise, WaitForCancel };
    TAnswer Answer = Succeed;
    std::function<TJobStateSet()> JobState;
    TJobStateSet SeenState;
    int Calls = 0;
    bool Threaded = true;
    bool RaiseErrors = true;
    bool Cancelled = false;

    bool FetchRegisterService(bool AThreaded, bool ARaiseErrors) override {
        ++Calls;
        Threaded = AThreaded;
        RaiseErrors = ARaiseErrors;
        SeenState = JobState();
        if (Answer == WaitForCancel) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!hostapi::TCancellationScope::CurrentCancelled()) {
                if (std::chrono::steady_clock::now() > deadline)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            Cancelled = true;
            throw hostapi::EQVException(QStringLiteral("The request was cancelled."));
        }
        if (Answer == Raise)
            throw hostapi::EQVException(QStringLiteral("register service unreachable"));
        return Answer == Succeed;
    }
};

// The real preparation with the sender side replaced: the packets handed to the send stack are
// recorded, the thread can be held at a recipient, and the sender threads run a scripted body.
class PreparingJob : public TLocalEmailSender {
public:
    using TLocalEmailSender::TLocalEmailSender;

    // Sizes of the non-empty packets pushed, in order (read after the preparation has ended).
    QList<int> Pushes;
    int WakingPushes = 0;
    // Runs on the prepare thread before each recipient.
    std::function<void(int)> OnRecipient;
    // Replaces the host's lookup of the register service module when set.
    std::function<hostapi::IExtFuncPluginRegisterService*()> RegisterService;
    std::function<void(TMethodeCallThread&)> SendBody;

    // Waits (at most 60 s) until no preparation runs; False when it still runs.
    bool WaitForPreparationEnd() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (State().ContainsAny({jsPreparing, jsPreparingPreview})) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            WaitForStateChange(100);
        }
        return true;
    }

protected:
    void PushPacket(QList<TEmailDocument*>* APacket, bool AResume) override {
        if (APacket && !APacket->isEmpty())
            Pushes.append(APacket->size());
        if (AResume)
            ++WakingPushes;
        TLocalEmailSender::PushPacket(APacket, AResume);
    }
    void BeforePrepareRecipient(int ARecNo) override {
        if (OnRecipient)
            OnRecipient(ARecNo);
    }
    hostapi::IExtFuncPluginRegisterService* RegisterServiceInterface() override {
        return RegisterService ? RegisterService() : TLocalEmailSender::RegisterServiceInterface();
    }
    void SendThreadExecute(TMethodeCallThread& T) override {
        if (SendBody)
            SendBody(T);
    }
};

// Frees the job at the end of a test, whatever happened.
struct Job {
    PreparingJob* P;
    explicit Job(std::shared_ptr<TEmailListItem> AList, TEmailStyle AStyle = esPlainText)
        : P(new PreparingJob(nullptr, 7, std::move(AList), AStyle)) {
        P->SetSubject(QStringLiteral("Hallo %NAME%"));
        P->SetContent(QStringLiteral("Guten Tag %NAME%"));
        P->UsedMakros() = {{QStringLiteral("%NAME%"), mkField}};
    }
    ~Job() { TBaseEmailSender::FreeJob(P); }
    PreparingJob* operator->() const { return P; }
};

// Holds the prepare thread at one recipient until released.
struct Gate {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Reached = false;
    bool Released = false;

    void Arrive() {
        std::unique_lock lock(Lock);
        Reached = true;
        Changed.notify_all();
        Changed.wait(lock, [this] { return Released; });
    }
    bool WaitReached() {
        std::unique_lock lock(Lock);
        return Changed.wait_for(lock, std::chrono::seconds(60), [this] { return Reached; });
    }
    void Release() {
        std::lock_guard lock(Lock);
        Released = true;
        Changed.notify_all();
    }
};

qint64 JobRows(const QString& AWhere = {}, const QVariantList& ABinds = {}) {
    return testsupport::Count(QStringLiteral("emljobs"), AWhere, ABinds);
}

QVariant JobRowValue(qint64 AID, const QString& AField) {
    QSqlQuery q = hostapi::Database::Exec(QStringLiteral("SELECT %1 FROM \"emljobs\" WHERE \"id\" = ?")
                                              .arg(hostapi::Database::QuoteIdentifier(AField)),
                                          {AID});
    return q.next() ? q.value(0) : QVariant(QStringLiteral("<no row>"));
}

// The documents whose pending row is not the pending row of their own recipient in job AJobID
// (address and address id), as "address: why".
QStringList DocumentsWithoutTheirPendingRow(const TLocalEmailSender& AJob, qint64 AJobID) {
    QHash<qint64, QPair<QString, qint64>> rows;
    QSqlQuery q = hostapi::Database::Exec(
        QStringLiteral("SELECT \"id\", \"email\", \"addressid\" FROM \"emlsentlist\" WHERE \"emljobs_id\" = ? "
                       "AND \"sentstate\" = 0"),
        {AJobID});
    while (q.next())
        rows.insert(q.value(0).toLongLong(), {q.value(1).toString(), q.value(2).toLongLong()});
    QStringList wrong;
    QSet<qint64> used;
    for (int i = 0; i < AJob.SendCount(); ++i) {
        const TEmailDocument* document = AJob.GetSendMails(i);
        const auto row = rows.constFind(document->SentListRowID());
        if (row == rows.constEnd())
            wrong << document->EmailAddress() + QStringLiteral(": no pending row");
        else if (row->first != document->EmailAddress() || row->second != document->AddressID())
            wrong << document->EmailAddress() + QStringLiteral(": the row of ") + row->first;
        else if (used.contains(row.key()))
            wrong << document->EmailAddress() + QStringLiteral(": a row shared");
        used.insert(row.key());
    }
    if (rows.size() != AJob.SendCount())
        wrong << QStringLiteral("%1 pending rows for %2 documents").arg(rows.size()).arg(AJob.SendCount());
    return wrong;
}

// Sets an environment variable for one scope.
class TemporaryEnvironment {
public:
    TemporaryEnvironment(const char* AName, const QString& AValue)
        : FName(AName), FHad(qEnvironmentVariableIsSet(AName)), FOld(qgetenv(AName)) {
        qputenv(AName, AValue.toLocal8Bit());
    }
    ~TemporaryEnvironment() {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }
    TemporaryEnvironment(const TemporaryEnvironment&) = delete;
    TemporaryEnvironment& operator=(const TemporaryEnvironment&) = delete;

private:
    const char* FName;
    bool FHad;
    QByteArray FOld;
};

QStringList SinkTexts(const testsupport::RecordingMessageSink& ASink) {
    QStringList texts;
    for (const auto& m : ASink.Messages())
        texts << m.Text;
    return texts;
}

} // namespace

class tst_JobPreparation : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void packetsReachTheSendStack_data();
    void packetsReachTheSendStack();
    void previewWritesNoRowAndPushesNothing_data();
    void previewWritesNoRowAndPushesNothing();
    void scheduledJobStartsAfterItsPreview_data();
    void scheduledJobStartsAfterItsPreview();
    void terminateStopsAtTheHeldRecipient_data();
    void terminateStopsAtTheHeldRecipient();
    void failedPreparationWakesWaitingSenders_data();
    void failedPreparationWakesWaitingSenders();
    void recipientsAreReadPageByPage_data();
    void recipientsAreReadPageByPage();
    void droppedRecipientsAreCounted_data();
    void droppedRecipientsAreCounted();
    void registerServiceFetchBeforePreparing_data();
    void registerServiceFetchBeforePreparing();
    void registerServiceModuleIsAskedAcrossTheModuleBoundary();
    void terminateDuringTheFetchPreparesNobody();
    void terminateCancelsAFetchInProgress();
    void smsJobSendsToMobileFields();
    void resendJobPreparesTheParentsResults_data();
    void resendJobPreparesTheParentsResults();
    void preparationHoldsNoDatabaseLock();
    void stressReadersAndSendersDuringPreparation();
    void textsAreSpilledIntoTheJobFolder_data();
    void textsAreSpilledIntoTheJobFolder();
    void spillFileThatCannotBeMadeDropsTheRecipients();
};

void tst_JobPreparation::packetsReachTheSendStack_data() {
    TestDatabase::AddBackendColumn();
    QTest::addColumn<bool>("perUnits");
    QTest::addColumn<int>("perUnit");
    QTest::addColumn<QList<int>>("pushes");
    for (Backend backend : TestDatabase::SelectedBackends()) {
        const char* b = backend == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s: packets of 1000", b) << backend << true << 1000 << QList<int>{1000, 1000, 500};
        QTest::addRow("%s: no packets", b) << backend << false << 1000 << QList<int>{2500};
        QTest::addRow("%s: packets of 0", b) << backend << true << 0 << QList<int>{2500};
    }
}

void tst_JobPreparation::packetsReachTheSendStack() {
    QFETCH(Backend, backend);
    QFETCH(bool, perUnits);
    QFETCH(int, perUnit);
    QFETCH(QList<int>, pushes);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    AddRecipients(2500);
    Job job(RecipientList(perUnits, perUnit));
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());

    QCOMPARE(job->Pushes, pushes);
    QCOMPARE(job->State(), TJobStateSet({jsInitialized, jsPrepared}));
    QCOMPARE(job->PrepareCount(), 2500);
    QCOMPARE(job->SendCount(), 2500);
    QCOMPARE(job->SendStackCount(), 2500);
    QCOMPARE(job->DroppedCount(), 0);
    QCOMPARE(job->GetSendMails(2499)->Subject(), QStringLiteral("Hallo Name2499"));
    QCOMPARE(job->GetSendMails(2499)->EmailAddress(), QStringLiteral("r2499@example.org"));
    QCOMPARE(job->GetSendMails(0)->Status(), esPrepared);
    QCOMPARE(JobRows(), 1);
    QVERIFY(job->JobDBID() >= 0);
    // Each recipient's result goes to its own pending row, across statements and transactions.
    QCOMPARE(DocumentsWithoutTheirPendingRow(*job.P, job->JobDBID()), QStringList());
    QCOMPARE(
        JobRows(QStringLiteral("\"id\" = ? AND \"jobstate\" = 1 AND \"parentjobid\" = -1 AND "
                               "\"parentjobstate\" = -1 AND \"emltemplates_id\" = 7 AND \"enddate\" IS NULL"),
                {job->JobDBID()}),
        1);
}

void tst_JobPreparation::previewWritesNoRowAndPushesNothing_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_JobPreparation::previewWritesNoRowAndPushesNothing() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    AddRecipients(30);
    Job job(RecipientList(true, 10));
    job->InitializeData();
    job->PreparePreview();

    QCOMPARE(job->State(), TJobStateSet({jsInitialized, jsPreparedPreview}));
    QCOMPARE(job->Pushes, QList<int>{});
    QCOMPARE(job->WakingPushes, 0);
    QCOMPARE(job->SendStackCount(), 0);
    QCOMPARE(job->SendCount(), 30);
    QCOMPARE(job->JobDBID(), -1);
    QCOMPARE(JobRows(), 0);

    // The job may still be started after its preview: now it writes its row and pushes.
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());
    QCOMPARE(job->Pushes, (QList<int>{10, 10, 10}));
    QCOMPARE(JobRows(), 1);
}

void tst_JobPreparation::scheduledJobStartsAfterItsPreview_data() {
    TestDatabase::AddBackendColumn();
    QTest::addColumn<bool>("closed"); // the preview window was closed before the start time
    for (Backend backend : TestDatabase::SelectedBackends()) {
        const char* b = backend == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s: preview closed", b) << backend << true;
        QTest::addRow("%s: preview still shown", b) << backend << false;
    }
}

void tst_JobPreparation::scheduledJobStartsAfterItsPreview() {
    QFETCH(Backend, backend);
    QFETCH(bool, closed);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    AddRecipients(30);
    testsupport::FakeClock clock;
    Job job(RecipientList(true, 10));
    job->SetClock(clock.Clock());
    job->InitializeData();
    job->SetAutoStart(true);
    job->SetAutoStartDate(clock.Base.addSecs(3600));
    job->PreparePreview();
    QCOMPARE(job->State(), TJobStateSet({jsInitialized, jsPreparedPreview}));
    QCOMPARE(job->SendCount(), 30);
    if (closed) {
        job->DropPreviewDocuments();
        QCOMPARE(job->State(), TJobStateSet({jsInitialized}));
        QCOMPARE(job->SendCount(), 0);
    }
    QVERIFY(job->AutoStart());
    QCOMPARE(job->AutoStartDate(), clock.Base.addSecs(3600));

    QVERIFY(!job->ExecuteTimerFunc()); // not due yet
    QVERIFY(!job->State().Contains(jsAutoStarted));
    clock.OffsetMs = 3600 * 1000;
    QVERIFY(!job->ExecuteTimerFunc());
    QVERIFY(job->State().Contains(jsAutoStarted));
    QVERIFY(job->WaitForPreparationEnd());
    // The run prepared every recipient afresh, wrote its row and pushed its packets.
    QCOMPARE(job->Pushes, (QList<int>{10, 10, 10}));
    QCOMPARE(job->SendCount(), 30);
    QCOMPARE(JobRows(), 1);
    QVERIFY(!job->State().Contains(jsPreparedPreview));
}

void tst_JobPreparation::terminateStopsAtTheHeldRecipient_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_JobPreparation::terminateStopsAtTheHeldRecipient() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    AddRecipients(40);
    Job job(RecipientList(true, 4));
    Gate gate;
    job->OnRecipient = [&gate](int ARecNo) {
        if (ARecNo == 9)
            gate.Arrive();
    };
    // A sender that waits for packets while the preparation runs.
    std::promise<void> senderEnded;
    job->SendBody = [&](TMethodeCallThread& T) {
        while (job->State().Contains(jsPreparing) && !T.Terminated())
            T.Suspend();
        senderEnded.set_value();
    };
    job->Prepare();
    job->Send();
    QVERIFY(gate.WaitReached());
    const qint32 firstRow = job->JobDBID();
    QVERIFY(!job->Terminate(false)); // still preparing
    gate.Release();
    QVERIFY(job->WaitForPreparationEnd());
    QCOMPARE(senderEnded.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);

    // Recipients 0 to 9 were prepared; the two of the last, partial packet never reached the stack.
    QCOMPARE(job->SendCount(), 10);
    QCOMPARE(job->Pushes, (QList<int>{4, 4}));
    QCOMPARE(job->SendStackCount(), 8);
    QVERIFY(!job->State().Contains(jsPrepared));
    QVERIFY(job->Terminate(true));
    QCOMPARE(JobRowValue(firstRow, QStringLiteral("jobstate")).toInt(), 1);
    QVERIFY(!JobRowValue(firstRow, QStringLiteral("enddate")).isNull());

    // Reset and prepare again: the second run has its own row.
    job->OnRecipient = {};
    job->SendBody = {};
    job->ResetData();
    QCOMPARE(job->JobDBID(), -1);
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());
    QCOMPARE(JobRows(), 2);
    QVERIFY(job->JobDBID() != firstRow);
    QCOMPARE(JobRows(QStringLiteral("\"id\" = ? AND \"enddate\" IS NULL"), {job->JobDBID()}), 1);
    QCOMPARE(job->SendCount(), 40);
    QVERIFY(job->State().Contains(jsPrepared));
}

void tst_JobPreparation::failedPreparationWakesWaitingSenders_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_JobPreparation::failedPreparationWakesWaitingSenders() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    testsupport::RecordingExceptionDisplay shown;
    AddRecipients(5);
    auto list = RecipientList();
    hostapi::TQVFilterList broken;
    broken.Add(QStringLiteral("nosuchfield"), 1);
    list->SetAdvFilters(broken);
    list->SetFetchRegisterServiceBeforeSending(true);
    Job job(list);
    // The fetch holds the preparation until the sender waits for packets.
    Gate gate;
    ScriptedRegisterService service;
    service.JobState = [&] {
        gate.Arrive();
        return job->State();
    };
    job->RegisterService = [&] { return &service; };
    std::promise<void> senderEnded;
    job->SendBody = [&](TMethodeCallThread& T) {
        // No terminate check: only the end of the preparation can end this wait.
        while (job->State().Contains(jsPreparing))
            T.Suspend();
        senderEnded.set_value();
    };
    job->Prepare();
    QVERIFY(gate.WaitReached());
    job->Send();
    gate.Release();
    QVERIFY(job->WaitForPreparationEnd());
    QCOMPARE(senderEnded.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);

    QVERIFY(!job->State().ContainsAny({jsPrepared, jsPreparing}));
    QCOMPARE(job->SendCount(), 0);
    QCOMPARE(JobRowValue(job->JobDBID(), QStringLiteral("jobstate")).toInt(), 1);
    QVERIFY(!JobRowValue(job->JobDBID(), QStringLiteral("enddate")).isNull());
    QVERIFY(job->Terminate(true)); // joins the threads: the failure's display is posted
    QCoreApplication::processEvents();
    QCOMPARE(shown.Records().size(), 1);
    QVERIFY2(shown.Records().first().Exception.Message.contains(QStringLiteral("nosuchfield")),
             qPrintable(shown.Records().first().Exception.Message));
}

void tst_JobPreparation::droppedRecipientsAreCounted_data() {
    TestDatabase::AddBackendColumn();
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("prepared"); // names of the recipients with a document
    QTest::addColumn<QString>("summary");
    const QStringList all{"Name0", "Name1", "Name2", "Name3"};
    const QStringList withoutName2{"Name0", "Name1", "Name3"};
    for (Backend backend : TestDatabase::SelectedBackends()) {
        const char* b = backend == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s: mandatory attachment missing", b)
            << backend << "attachment" << withoutName2 << "1 of 4 recipients were dropped";
        QTest::addRow("%s: optional attachment missing", b) << backend << "optional" << all << "";
        QTest::addRow("%s: address without domain", b)
            << backend << "domain" << withoutName2 << "1 of 4 recipients were dropped";
        QTest::addRow("%s: copy entries without an address", b)
            << backend << "copies" << all
            << "1 of 4 recipients were mailed without the CC or BCC entries that gave no address";
        QTest::addRow("%s: preparation raises", b)
            << backend << "raises" << QStringList{}
            << "4 of 4 recipients were dropped. The first failure: The field CITY of pelm_addresses_ass "
               "is not loaded";
    }
}

void tst_JobPreparation::droppedRecipientsAreCounted() {
    QFETCH(Backend, backend);
    QFETCH(QString, kind);
    QFETCH(QStringList, prepared);
    QFETCH(QString, summary);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    testsupport::RecordingMessageSink sink;
    AddRecipients(4);
    QTemporaryDir folder;
    for (int i : {0, 1, 3}) {
        QFile f(folder.filePath(QStringLiteral("Name%1.txt").arg(i)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Rechnung");
    }
    Job job(RecipientList(true, 2));
    if (kind == "attachment" || kind == "optional") {
        TAttachement* invoice = job->Attachements().Add();
        invoice->SetFileName(QStringLiteral("Rechnung.txt"));
        invoice->SetIsOptionalFile(kind == "optional");
        invoice->SetLocalFileRef(folder.path() + QStringLiteral("/%NAME%.txt"), true);
    } else if (kind == "domain") {
        hostapi::Database::Exec(QStringLiteral("UPDATE \"pelm_addresses_ass\" SET \"email1\" = 'kunde@' "
                                               "WHERE \"name\" = 'Name2'"));
    } else if (kind == "copies") {
        // Name2 has no second address: the copies lose its entries, the recipient is mailed.
        hostapi::Database::Exec(QStringLiteral("UPDATE \"pelm_addresses_ass\" SET \"email2\" = "
                                               "'c' || \"email1\" WHERE \"name\" <> 'Name2'"));
        job->UsedMakros().append({QStringLiteral("%EMAIL2%"), mkField});
        job->SetCCList(QStringLiteral("%EMAIL2%;"));
        job->SetBCCList(QStringLiteral("%NAME% <%EMAIL2%>"));
    } else {
        job->UsedMakros().append({QStringLiteral("%CITY%"), mkField});
        job->DestinationList()->SetFieldsToIgnoreInSelection({QStringLiteral("city")});
    }
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());

    QVERIFY(job->State().Contains(jsPrepared));
    QCOMPARE(job->PrepareCount(), 4);
    QStringList names;
    for (int i = 0; i < job->SendCount(); ++i)
        names << job->GetSendMails(i)->Subject().mid(6);
    QCOMPARE(names, prepared);
    if (kind == "copies") {
        for (int i = 0; i < job->SendCount(); ++i) {
            const TEmailDocument* document = job->GetSendMails(i);
            const bool withCopies = names[i] != QLatin1String("Name2");
            const QString copy = QStringLiteral("cr%1@example.org").arg(names[i].mid(4));
            QCOMPARE(document->CCList(), withCopies ? copy : QString());
            QCOMPARE(document->BCCList(), withCopies ? names[i] + QStringLiteral(" <") + copy + QLatin1Char('>')
                                                     : QString());
        }
    }
    QCOMPARE(job->SendStackCount(), prepared.size());
    QCOMPARE(job->DroppedCount(), 4 - prepared.size());
    // Exactly the prepared recipients keep their pending rows.
    QCOMPARE(DocumentsWithoutTheirPendingRow(*job.P, job->JobDBID()), QStringList());
    QCOMPARE(testsupport::Count(QStringLiteral("emlsentlist"), QStringLiteral("\"emljobs_id\" = ?"),
                                {job->JobDBID()}),
             prepared.size());
    QCOMPARE(SinkTexts(sink), summary.isEmpty() ? QStringList() : QStringList{summary});
}

void tst_JobPreparation::recipientsAreReadPageByPage_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

// A list of three pages: every recipient once, in order, with the whole list's count; changes made
// while the preparation runs reach the recipients of the pages not read yet, and a recipient deleted
// there is dropped with its pending row.
void tst_JobPreparation::recipientsAreReadPageByPage() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    testsupport::RecordingMessageSink sink;
    constexpr int count = 2300;
    AddRecipients(count);
    Job job(RecipientList());
    job->SetContent(QStringLiteral("%NAME% von %PRE_MAILCOUNT%"));
    job->UsedMakros().append({QStringLiteral("%PRE_MAILCOUNT%"), mkPredefined});
    QList<int> order;
    job->OnRecipient = [&](int AIndex) {
        order << AIndex;
        if (AIndex != 1200)
            return;
        // Name100 was prepared already; Name2100 and Name2200 are on the last page.
        hostapi::Database::Exec(QStringLiteral("DELETE FROM \"pelm_addresses_ass\" WHERE \"name\" IN "
                                               "('Name100', 'Name2100')"));
        hostapi::Database::Exec(QStringLiteral("UPDATE \"pelm_addresses_ass\" SET \"name\" = 'Neu' "
                                               "WHERE \"name\" = 'Name2200'"));
    };
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());

    QVERIFY(job->State().Contains(jsPrepared));
    QCOMPARE(job->PrepareCount(), count);
    QCOMPARE(order.size(), count - 1);
    QVERIFY(std::is_sorted(order.begin(), order.end()));
    QCOMPARE(job->SendCount(), count - 1);
    QCOMPARE(job->DroppedCount(), 1);
    QStringList expected;
    for (int i = 0; i < count; ++i)
        if (i != 2100)
            expected << (i == 2200 ? QStringLiteral("Neu") : QStringLiteral("Name%1").arg(i));
    QStringList names;
    for (int i = 0; i < job->SendCount(); ++i) {
        const QString body = job->GetSendMails(i)->PlainMailBody();
        QVERIFY2(body.endsWith(QStringLiteral(" von %1").arg(count)), qPrintable(body));
        names << body.section(QLatin1Char(' '), 0, 0);
    }
    QCOMPARE(names, expected);
    QCOMPARE(DocumentsWithoutTheirPendingRow(*job.P, job->JobDBID()), QStringList());
    QCOMPARE(SinkTexts(sink), QStringList{QStringLiteral("1 of %1 recipients were dropped").arg(count)});
}

void tst_JobPreparation::registerServiceFetchBeforePreparing_data() {
    QTest::addColumn<bool>("fetchOption");
    QTest::addColumn<QString>("module");
    QTest::addColumn<int>("calls");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("option off") << false << "succeeds" << 0 << QStringList{};
    QTest::newRow("module absent") << true << "absent" << 0 << QStringList{};
    QTest::newRow("fetch succeeds") << true << "succeeds" << 1 << QStringList{};
    // A False answer was reported by the module itself (errors not raised).
    QTest::newRow("fetch answers False") << true << "false" << 1 << QStringList{};
    QTest::newRow("fetch raises") << true << "raises" << 1
                                  << QStringList{"Register-Service Error: register service unreachable"};
}

void tst_JobPreparation::registerServiceFetchBeforePreparing() {
    QFETCH(bool, fetchOption);
    QFETCH(QString, module);
    QFETCH(int, calls);
    QFETCH(QStringList, messages);
    TestDatabase db;
    testsupport::RecordingMessageSink sink;
    AddRecipients(3);
    auto list = RecipientList();
    list->SetFetchRegisterServiceBeforeSending(fetchOption);
    Job job(list);
    ScriptedRegisterService service;
    service.JobState = [&] { return job->State(); };
    service.Answer = module == "raises"  ? ScriptedRegisterService::Raise
                     : module == "false" ? ScriptedRegisterService::AnswerFalse
                                         : ScriptedRegisterService::Succeed;
    if (module != "absent")
        job->RegisterService = [&] { return &service; };
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());

    QCOMPARE(service.Calls, calls);
    QCOMPARE(SinkTexts(sink), messages);
    QCOMPARE(job->SendCount(), 3);
    QVERIFY(job->State().Contains(jsPrepared));
    QVERIFY(!job->State().Contains(jsRegisterServiceFetching));
    QCOMPARE(job->State().Contains(jsRegisterServiceFetched), fetchOption);
    if (calls > 0) {
        QVERIFY(!service.Threaded);
        QVERIFY(!service.RaiseErrors);
        QVERIFY(service.SeenState.Contains(jsRegisterServiceFetching));
        QVERIFY(!service.SeenState.Contains(jsRegisterServiceFetched));
    }
}

void tst_JobPreparation::registerServiceModuleIsAskedAcrossTheModuleBoundary() {
    TestDatabase db;
    testsupport::RecordingMessageSink sink;
    AddRecipients(2);
    hostapi::ModuleLoader loader;
    hostapi::TQVMainInterface::SetModuleLoader(&loader);
    loader.LoadModule(QStringLiteral(QV_REGISTER_SERVICE_STUB));
    {
        auto list = RecipientList();
        list->SetFetchRegisterServiceBeforeSending(true);
        Job job(list);
        job->Prepare();
        QVERIFY(job->WaitForPreparationEnd());
        QCOMPARE(job->SendCount(), 2);
    }
    loader.UnloadAll();
    hostapi::TQVMainInterface::SetModuleLoader(nullptr);
    QCOMPARE(SinkTexts(sink), QStringList{"fetch threaded=false raise=false"});
}

void tst_JobPreparation::smsJobSendsToMobileFields() {
    // An SMS job selects by the list's mobile fields; its e-mail fields take no part.
    TestDatabase db;
    AddRecipients(3);
    hostapi::Database::Exec(
        QStringLiteral("UPDATE \"pelm_addresses_ass\" SET \"mobile\" = '+49 170 ' || \"name\" "
                       "WHERE \"name\" <> 'Name1'"));
    auto list = RecipientList();
    list->SetEmailFields(hostapi::fftMobile, {QStringLiteral("phone"), QStringLiteral("mobile")});
    Job job(list, esSMS);
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());
    QCOMPARE(job->PrepareCount(), 2);
    QCOMPARE(job->SendCount(), 2);
    QCOMPARE(job->GetSendMails(0)->EmailAddress(), QStringLiteral("+49 170 Name0"));
    QCOMPARE(job->GetSendMails(1)->EmailAddress(), QStringLiteral("+49 170 Name2"));
    // The pending rows carry the numbers of the second field, too.
    QCOMPARE(DocumentsWithoutTheirPendingRow(*job.P, job->JobDBID()), QStringList());
}

void tst_JobPreparation::resendJobPreparesTheParentsResults_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_JobPreparation::resendJobPreparesTheParentsResults() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    AddRecipients(4);
    // Job 42 failed for Name1 and Name3, sent to Name0; job 43 failed for Name2.
    for (const auto& [job, name, state] : QList<std::tuple<int, QString, int>>{
             {42, "Name0", 1}, {42, "Name1", 2}, {42, "Name3", 2}, {43, "Name2", 2}})
        hostapi::Database::Exec(
            QStringLiteral("INSERT INTO \"emlsentlist\" (\"emljobs_id\", \"sentstate\", \"addressid\") "
                           "SELECT ?, ?, \"id\" FROM \"pelm_addresses_ass\" WHERE \"name\" = ?"),
            {job, state, name});
    auto list = RecipientList();
    hostapi::TQVFilterList nobody;
    nobody.Add(QStringLiteral("name"), QStringLiteral("Niemand"));
    list->SetAdvFilters(nobody);
    Job job(list);
    job->SetReSendJobID(42);
    job->SetReSendJobState(2);
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());

    QCOMPARE(job->SendCount(), 2);
    QCOMPARE(job->GetSendMails(0)->Subject(), QStringLiteral("Hallo Name1"));
    QCOMPARE(job->GetSendMails(1)->Subject(), QStringLiteral("Hallo Name3"));
    QCOMPARE(JobRows(QStringLiteral("\"id\" = ? AND \"parentjobid\" = 42 AND \"parentjobstate\" = 2"),
                     {job->JobDBID()}),
             1);
}

void tst_JobPreparation::terminateDuringTheFetchPreparesNobody() {
    TestDatabase db;
    AddRecipients(3);
    auto list = RecipientList();
    list->SetFetchRegisterServiceBeforeSending(true);
    Job job(list);
    ScriptedRegisterService service;
    // The user cancels the job while the register service fetches.
    service.JobState = [&] {
        job->Terminate(false);
        return job->State();
    };
    job->RegisterService = [&] { return &service; };
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());
    QCOMPARE(service.Calls, 1);
    QCOMPARE(job->SendCount(), 0);
    QVERIFY(!job->State().Contains(jsPrepared));
    QVERIFY(!JobRowValue(job->JobDBID(), QStringLiteral("enddate")).isNull());
    QVERIFY(job->Terminate(true));
}

void tst_JobPreparation::terminateCancelsAFetchInProgress() {
    TestDatabase db;
    AddRecipients(3);
    auto list = RecipientList();
    list->SetFetchRegisterServiceBeforeSending(true);
    Job job(list);
    ScriptedRegisterService service;
    service.Answer = ScriptedRegisterService::WaitForCancel;
    service.JobState = [&] {
        job->Terminate(false);
        return job->State();
    };
    job->RegisterService = [&] { return &service; };
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());
    QVERIFY2(service.Cancelled, "the fetch ran to its end instead of being cancelled by the termination");
    QCOMPARE(job->SendCount(), 0);
    QVERIFY(job->Terminate(true));
}

void tst_JobPreparation::preparationHoldsNoDatabaseLock() {
    // While the prepare thread builds documents, another connection writes at once.
    TestDatabase db;
    AddRecipients(5);
    Job job(RecipientList());
    Gate gate;
    job->OnRecipient = [&gate](int ARecNo) {
        if (ARecNo == 2)
            gate.Arrive();
    };
    job->Prepare();
    QVERIFY(gate.WaitReached());
    {
        hostapi::Transaction transaction;
        hostapi::Database::Exec(
            QStringLiteral("DELETE FROM \"pelm_addresses_ass\" WHERE \"name\" = 'Name4'"));
        transaction.Commit();
    }
    gate.Release();
    QVERIFY(job->WaitForPreparationEnd());
    // The recipients were read when the preparation started.
    QCOMPARE(job->SendCount(), 5);
}

void tst_JobPreparation::stressReadersAndSendersDuringPreparation() {
    // Sender threads are woken by every packet while the main thread reads the job's counters and
    // documents; ThreadSanitizer checks the hand-over.
    TestDatabase db;
    AddRecipients(1500);
    auto list = RecipientList(true, 7);
    list->SetSendThreads(3);
    Job job(list);
    job->SendBody = [&](TMethodeCallThread& T) {
        while (!T.Terminated() && job->State().Contains(jsPreparing)) {
            T.Suspend();
            if (job->SendStackCount() > 0)
                (void)job->GetSendMails(job->SendStackCount() - 1)->EmailAddress();
        }
    };
    job->Prepare();
    job->Send();
    while (job->State().Contains(jsPreparing)) {
        const int stacked = job->SendStackCount();
        const int count = job->SendCount();
        if (count > 0) {
            QVERIFY(job->GetSendMails(count - 1)->EmailAddress().endsWith(QStringLiteral("@example.org")));
            // Its texts are read from the spill file while the prepare thread appends the next.
            QVERIFY(job->GetSendMails(count - 1)->Subject().startsWith(QStringLiteral("Hallo Name")));
        }
        QVERIFY(stacked <= count);
        QCOMPARE(job->DroppedCount(), 0);
    }
    QVERIFY(job->WaitForPreparationEnd());
    QVERIFY(job->Terminate(true));
    QCOMPARE(job->SendStackCount(), 1500);
}

void tst_JobPreparation::textsAreSpilledIntoTheJobFolder_data() {
    QTest::addColumn<QString>("end");
    QTest::newRow("reset") << "reset";
    QTest::newRow("freed") << "freed";
    QTest::newRow("preview, then the run") << "run";
}

// The prepared documents keep their texts in a private file of the job's folder, whose name is
// removed at once; the file goes with the documents (a reset, the job freed, or a new preparation).
void tst_JobPreparation::textsAreSpilledIntoTheJobFolder() {
    QFETCH(QString, end);
    TestDatabase db;
    AddRecipients(5);
    // Outside the system's temporary folder, which a freed job would clear with its files: for the
    // test the system's folder is one of its own, wherever the checkout lies.
    QTemporaryDir folder;
    QTemporaryDir systemTemp;
    QVERIFY(folder.isValid() && systemTemp.isValid());
    const TemporaryEnvironment tmpdir("TMPDIR", systemTemp.path());
    QVERIFY(!QDir::tempPath().startsWith(folder.path()) && !folder.path().startsWith(QDir::tempPath()));
    Job job(RecipientList(), esHTMLSource);
    job->SetTempDirectory(folder.path() + QLatin1Char('/'));
    job->SetHTMLContent(QStringLiteral("<p>Grüße, %NAME%</p>"));
    job->InitializeData();
    if (end == QLatin1String("run"))
        job->PreparePreview();
    else
        job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());

    QCOMPARE(job->SendCount(), 5);
    for (int i = 0; i < job->SendCount(); ++i) {
        const TEmailDocument* document = job->GetSendMails(i);
        QVERIFY2(document->TextsSpilled(), qPrintable(document->EmailAddress()));
        const TEmailDocument::TTexts texts = document->Texts();
        const QString subject = QStringLiteral("Hallo Name%1").arg(i);
        const QString plain = QStringLiteral("Guten Tag Name%1").arg(i);
        const QString html = QStringLiteral("<p>Grüße, Name%1</p>").arg(i);
        QCOMPARE(document->Subject(), subject);
        QCOMPARE(document->PlainMailBody(), plain);
        QCOMPARE(document->HTMLMailBody(), html);
        QCOMPARE(texts.Subject, subject);
        QCOMPARE(texts.PlainMailBody, plain);
        QCOMPARE(texts.HTMLMailBody, html);
    }
    // The file's name is gone from the folder at once; the job holds the file open.
    const QString file = job->SpillFileName();
    QCOMPARE(QFileInfo(file).absolutePath(), QFileInfo(folder.path()).absoluteFilePath());
    QVERIFY(job->SpillFileSize() > 0);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    const QString open = testsupport::RemovedFileOpenPath(file);
    QVERIFY2(!open.isEmpty(), qPrintable(file));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(open).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));

    if (end == QLatin1String("reset")) {
        job->ResetData();
        QCOMPARE(job->SpillFileName(), QString());
        QCOMPARE(job->SpillFileSize(), 0);
    } else if (end == QLatin1String("freed")) {
        TBaseEmailSender::FreeJob(job.P);
        job.P = nullptr;
        QVERIFY(QFileInfo::exists(folder.path())); // the job left its folder alone: the file went itself
    } else {
        job->Prepare();
        QVERIFY(job->WaitForPreparationEnd());
        QVERIFY(job->SpillFileName() != file);
        QVERIFY(!testsupport::RemovedFileOpenPath(job->SpillFileName()).isEmpty());
        QCOMPARE(job->GetSendMails(4)->Subject(), QStringLiteral("Hallo Name4"));
    }
    QVERIFY2(testsupport::RemovedFileOpenPath(file).isEmpty(),
             qPrintable(file + QStringLiteral(" is still open")));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// A job folder that cannot hold the texts' file drops every recipient with the reason, and none of
// them keeps a pending row.
void tst_JobPreparation::spillFileThatCannotBeMadeDropsTheRecipients() {
    TestDatabase db;
    testsupport::RecordingMessageSink sink;
    AddRecipients(3);
    QTemporaryDir parent;
    const QString missing = parent.filePath(QStringLiteral("gone"));
    Job job(RecipientList());
    job->SetTempDirectory(missing + QLatin1Char('/'));
    job->Prepare();
    QVERIFY(job->WaitForPreparationEnd());
    QCOMPARE(job->SendCount(), 0);
    QCOMPARE(job->DroppedCount(), 3);
    const QStringList texts = SinkTexts(sink);
    QCOMPARE(texts.size(), 1);
    QVERIFY2(
        texts[0].startsWith(QStringLiteral("3 of 3 recipients were dropped. The first failure: The file \"") +
                            missing + QStringLiteral("/bodies-")),
        qPrintable(texts[0]));
    QVERIFY2(texts[0].contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(texts[0]));
    QCOMPARE(testsupport::Count(QStringLiteral("emlsentlist"), QStringLiteral("\"emljobs_id\" = ?"),
                                {job->JobDBID()}),
             0);
}

QTEST_MAIN(tst_JobPreparation)
#include "tst_JobPreparation.moc"
