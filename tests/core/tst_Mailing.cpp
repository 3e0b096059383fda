#include "EngineJob.h"

#include "BaseEmailSender.h"
#include "DNSEmailSender.h"
#include "Database.h"
#include "HostLibraries.h"
#include "MailPeers.h"
#include "PDFFileMacroReplacer.h"
#include "PDFTK.h"
#include "support/TestDatabase.h"

#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QSet>
#include <QTest>

using namespace emailmarketing;
using namespace testsupport;

namespace {

constexpr int Recipients = 200;

// A list on the host's addresses, sending to their "email1".
std::shared_ptr<TEmailListItem> MailingList(TMessageSenderDevice ADevice, const QString& AServer,
                                            int AThreads) {
    auto list = std::make_shared<TEmailListItem>();
    list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
    list->SetName(QStringLiteral("Kunden"));
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1")});
    list->SetUseGlobalRegisterService(false);
    list->SetUseGlobalAddress(false);
    list->SetSenderName(QStringLiteral("Shop"));
    list->SetSenderEmail(QStringLiteral("shop@sender.test"));
    list->SetUseGlobalMailServer(false);
    list->SetMessageSenderDevice(ADevice);
    list->SetMailServer(AServer);
    list->SetUseGlobalSendSettings(false);
    list->SetSendPerUnits(true);
    list->SetMailsPerUnit(20);
    list->SetSendThreads(AThreads);
    list->SetUnitDelay(0);
    return list;
}

QString Address(int AIndex) {
    return QStringLiteral("r%1@d%2.test").arg(AIndex, 3, 10, QLatin1Char('0')).arg(AIndex % 4);
}

// The recipients as address rows; answers address -> address id.
QHash<QString, qint64> AddRecipients(int ACount) {
    QHash<QString, qint64> ids;
    hostapi::Transaction transaction;
    for (int i = 0; i < ACount; ++i)
        ids.insert(Address(i),
                   hostapi::Database::InsertRow(QStringLiteral("pelm_addresses_ass"),
                                                {QStringLiteral("name"), QStringLiteral("email1")},
                                                {QStringLiteral("Name%1").arg(i), Address(i)}));
    transaction.Commit();
    return ids;
}

// A job of the template on the list, content set, not yet prepared.
EngineJob* NewJob(qint64 ATemplate, std::shared_ptr<TEmailListItem> AList) {
    auto* job = new EngineJob(nullptr, qint32(ATemplate), std::move(AList), esPlainText);
    job->SetSubject(QStringLiteral("Angebot"));
    job->SetContent(QStringLiteral("Guten Tag"));
    return job;
}

// Recipient address -> how often the server received a message for it.
QHash<QString, int> Received(const SmtpPeer& APeer) {
    QHash<QString, int> received;
    for (const QString& message : APeer.Messages())
        for (const QJsonValue& rcpt : APeer.Envelope(message).value(QStringLiteral("rcpt_tos")).toArray())
            ++received[rcpt.toString()];
    return received;
}

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
    void directDeliveryThroughMXRecords();
    void serverRepliesBecomeRows();
    void killedMailingIsResentToTheFailedOnly();
    void personalisedPdfReachesEachRecipient();
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
    TAttachement* attachment = job->Attachements().Add();
    attachment->SetUseMacros(true);
    attachment->SetFileName(QStringLiteral("Angebot.pdf"));
    attachment->SetLocalFile(QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/pdf/form.pdf"));
    job->UsedMakros() = {{QStringLiteral("%NAME%"), mkField}};
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

QTEST_GUILESS_MAIN(tst_Mailing)
#include "tst_Mailing.moc"
