// Benchmark (not a test): a whole mailing of 10 000 messages of 5 KB to Postfix's smtp-sink on
// loopback, with 1 and with 8 sender threads, beside Postfix's smtp-source (-d, as many sessions as
// sender threads) and Python's smtplib (as many processes, one connection each) against the same
// sink, in one run. Our figure is the job's, from Prepare until the job is sent: the recipients read
// from the database, their pending sent-list rows, each document prepared (a macro in subject and
// body), grouping, composing each message (GMime), sending, and every "emlsentlist" row durable
// (SQLite at synchronous FULL) before the result counts. Beside it the same rate from the first
// accepted message (the earliest "sentdate" of the job's rows) until the job is sent, the peak
// resident memory of the mailing (VmHWM) and the size of the job's spill files ("*.spill" in its
// temporary folder, just before it is freed). Then the send path alone over as many connections
// (the first recipient's message composed and sent by the transport, no job) and the whole
// mailing's ratio to it. Then a throttled mailing to the project's SMTP peer: the real gaps between
// its messages at the peer (and between their starts in the transport) against the interval.
//
//   bench_mailing [--messages N] [--size BYTES] [--threads 1,8] [--packet N] [--throttled N] [--html]
//                 [--prepare-first] [--no-peers] [--database-url postgresql://...]
//
// --packet: the list sends per units of N (no unit delay; default 100). --html mails the
// preparation benchmark's template (5 KB HTML, 10 field macros, 2 conditional list macros) instead
// of the plain 5 KB body. With --database-url the rows go to that PostgreSQL database, which must
// hold no address rows.
// Needs postfix (smtp-sink, smtp-source) and /usr/bin/python3.

#include "BaseEmailSender.h"
#include "BenchRecipients.h"
#include "DNSEmailSender.h"
#include "Database.h"
#include "HostLibraries.h"
#include "ProcessMemory.h"
#include "QVException.h"
#include "SendPath.h"
#include "SentListWriter.h"
#include "SmtpSinkPeers.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <tuple>

using namespace emailmarketing;

namespace {

class BenchJob : public TLocalEmailSender {
public:
    using TLocalEmailSender::JoinThreads;
    using TLocalEmailSender::SentListWriter;
    using TLocalEmailSender::TLocalEmailSender;

    void AddDocument(int AIndex, const QString& ABody) {
        auto document = std::make_unique<TEmailDocument>();
        document->SetEmailAddress(bench::To);
        document->SetSubject(QStringLiteral("Angebot %1").arg(AIndex));
        document->SetPlainMailBody(ABody);
        AddPreparedDocument(std::move(document));
    }
    void SendAll() {
        AddState({jsInitialized, jsPrepared});
        Send();
        JoinThreads();
    }
};

void SetServer(TEmailListItem& AList, const QString& AServer, int AThreads, int APacket, int AUnitDelay,
               bool AThrottle) {
    AList.SetUseGlobalAddress(false);
    AList.SetSenderName(QStringLiteral("Shop"));
    AList.SetSenderEmail(bench::From);
    AList.SetUseGlobalMailServer(false);
    AList.SetMessageSenderDevice(msdExtSMTP);
    AList.SetMailServer(AServer);
    AList.SetUseGlobalSendSettings(false);
    AList.SetSendPerUnits(true);
    AList.SetMailsPerUnit(APacket);
    AList.SetSendThreads(AThreads);
    AList.SetUnitDelay(AUnitDelay);
    AList.SetThrottle(AThrottle);
}

std::shared_ptr<TEmailListItem> BenchList(const QString& AServer, int AThreads, int APacket, int AUnitDelay,
                                          bool AThrottle) {
    auto list = std::make_shared<TEmailListItem>();
    SetServer(*list, AServer, AThreads, APacket, AUnitDelay, AThrottle);
    return list;
}

struct MailingResult {
    double PerSecond = 0;
    // From the first accepted message until the job is sent.
    double SendingPerSecond = 0;
    qint64 Rows = 0;
    qint64 Commits = 0;
    qint64 PeakKiB = 0;
    qint64 SpillBytes = 0;
    // The first recipient's message, for the send path alone.
    bench::SendPathTexts Texts;
};

// Bytes of the "*.spill" files in AFolder and below.
qint64 SpillBytes(const QString& AFolder) {
    qint64 bytes = 0;
    QDirIterator files(AFolder, {QStringLiteral("*.spill")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        bytes += files.nextFileInfo().size();
    return bytes;
}

// The texts of the job's first document as the preparation makes them; the subject numbered.
bench::SendPathTexts FirstRecipientTexts(const TBaseEmailSender& AJob, bool AHtml) {
    return {bench::Personalised(QString(AJob.Subject()).replace(QStringLiteral("%NAME%"), QStringLiteral("Müller-%1"))),
            bench::Personalised(AJob.Content()), AHtml ? bench::Personalised(AJob.HTMLContent()) : QString()};
}

// One job over every address row: prepared and sent at once (sending starts with the first packet).
MailingResult Mailing(const QString& AServer, int AThreads, int APacket, int AMessages, const QString& ABody,
                      bool AHtml, bool APrepareFirst, const QString& ATempDir) {
    auto list = bench::RecipientList(APacket);
    SetServer(*list, AServer, AThreads, APacket, 0, false);
    auto* job = new BenchJob(nullptr, -1, list, AHtml ? esHTML : esPlainText);
    if (AHtml) {
        bench::SetTemplate(*job, 5000, QString());
    } else {
        job->SetSubject(QStringLiteral("Angebot für %NAME%"));
        job->SetContent(QStringLiteral("Guten Tag %NAME%,\r\n") + ABody);
        job->UsedMakros().append({QStringLiteral("%NAME%"), mkField});
    }
    job->SetTempDirectory(ATempDir);
    MailingResult result;
    result.Texts = FirstRecipientTexts(*job, AHtml);
    bench::ResetPeak();
    QElapsedTimer timer;
    timer.start();
    job->Prepare();
    if (APrepareFirst) {
        while (!job->State().Contains(jsPrepared))
            QThread::msleep(1);
        std::printf("  prepared in %.2f s\n", timer.nsecsElapsed() / 1e9);
        timer.restart();
    }
    job->Send();
    job->JoinThreads();
    const QDateTime sent = QDateTime::currentDateTime();
    result.PerSecond = AMessages / (timer.nsecsElapsed() / 1e9);
    result.PeakKiB = bench::StatusKiB("VmHWM:");
    result.SpillBytes = SpillBytes(job->TempDirectory());
    // Each row's "sentdate" is the moment its message was accepted (milliseconds).
    QSqlQuery first = hostapi::Database::Exec(
        QStringLiteral("SELECT MIN(sentdate) FROM emlsentlist WHERE emljobs_id = ? AND sentstate = 1"),
        {job->JobDBID()});
    first.next();
    const qint64 sendingMs = first.value(0).toDateTime().msecsTo(sent);
    first.finish();
    result.SendingPerSecond = sendingMs > 0 ? (AMessages - 1) / (sendingMs / 1e3) : 0.0;
    QSqlQuery rows = hostapi::Database::Exec(
        QStringLiteral("SELECT COUNT(*) FROM emlsentlist WHERE emljobs_id = ? AND sentstate = 1"),
        {job->JobDBID()});
    rows.next();
    result.Rows = rows.value(0).toLongLong();
    rows.finish();
    result.Commits = job->SentListWriter()->CommitCount();
    if (job->SentCount() != AMessages || result.Rows != AMessages || !job->State().Contains(jsSent))
        std::fprintf(stderr, "mailing with %d threads (job %d): %d counted, %lld rows of %d, state %s\n", AThreads, job->JobDBID(),
                     job->SentCount(), result.Rows, AMessages, qPrintable(job->State().ToString()));
    TBaseEmailSender::FreeJob(job);
    return result;
}

// The moments (steady clock) at which each message of the transport started.
struct SendStarts {
    std::mutex Lock;
    std::vector<std::chrono::steady_clock::time_point> Times;
};
SendStarts GStarts;

void NoteSendStart() {
    std::lock_guard lock(GStarts.Lock);
    GStarts.Times.push_back(std::chrono::steady_clock::now());
}

// Notes the start of each send, composed before (the sender threads' way) or not.
class TimedSender : public TDNSEmailSender {
protected:
    bool DoSendMessage(const TOutgoingMessage& AMessage) override {
        NoteSendStart();
        return TDNSEmailSender::DoSendMessage(AMessage);
    }
    bool DoSendComposedMessage(const TOutgoingMessage& AMessage, const TComposedMessage& AComposed) override {
        NoteSendStart();
        return TDNSEmailSender::DoSendComposedMessage(AMessage, AComposed);
    }
};

// The largest deviation of the gaps between consecutive moments (milliseconds) from AInterval, in
// percent, and the mean gap.
std::pair<double, double> GapFigures(const std::vector<double>& AMoments, double AInterval) {
    double worst = 0;
    double sum = 0;
    for (size_t i = 1; i < AMoments.size(); ++i) {
        const double gap = AMoments[i] - AMoments[i - 1];
        worst = std::max(worst, std::abs(gap - AInterval) / AInterval * 100.0);
        if (qEnvironmentVariableIsSet("BENCH_GAPS"))
            std::printf("gap %zu: %.3f ms\n", i, gap);
        sum += gap;
    }
    return {worst, AMoments.size() > 1 ? sum / double(AMoments.size() - 1) : 0.0};
}

// The project's SMTP peer (tests/peers/smtp-server, aiosmtpd), which notes when each message's data
// ended: the throttle's gaps as the server sees them.
class TimingPeer {
public:
    TimingPeer() {
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(QV_SOURCE_DIR "/tests/peers/smtp-server"), QStringLiteral("--dir"), FDir.path()});
        if (!FProcess.waitForReadyRead(20000) || !FProcess.canReadLine())
            throw std::runtime_error("tests/peers/smtp-server did not start");
        FPort = FProcess.readLine().trimmed().toUInt();
    }
    ~TimingPeer() {
        FProcess.terminate();
        FProcess.waitForFinished(5000);
    }
    QString Server() const { return QStringLiteral("127.0.0.1:%1").arg(FPort); }
    // When the data of messages 1..ACount ended, in milliseconds.
    std::vector<double> Received(int ACount) const {
        std::vector<double> moments;
        for (int i = 1; i <= ACount; ++i) {
            QFile file(QDir(FDir.path()).filePath(QStringLiteral("messages/%1.json").arg(i)));
            if (!file.open(QIODevice::ReadOnly))
                throw std::runtime_error(qPrintable(QStringLiteral("the peer has no message %1").arg(i)));
            moments.push_back(QJsonDocument::fromJson(file.readAll()).object().value("received").toDouble() * 1000.0);
        }
        return moments;
    }

private:
    QTemporaryDir FDir;
    QProcess FProcess;
    quint16 FPort = 0;
};

struct ThrottleFigures {
    double StartWorst = 0, StartMean = 0, PeerWorst = 0, PeerMean = 0;
};

// A throttled mailing to the timing peer: the gaps between the starts of its messages in the
// transport, and between their arrivals at the peer.
ThrottleFigures ThrottledGaps(int AMessages, const QString& ABody, int APerMinute) {
    TimingPeer peer;
        UnRegisterDNSEmailSenderClasses();
    RegisterMessageSenderClass(msdExtSMTP,
                               {[] { return std::unique_ptr<TCustomMessageSender>(new TimedSender()); },
                                [](TCustomMessageSender& ASender, const TMessageSenderSettings& ASettings) {
                                    auto& sender = static_cast<TimedSender&>(ASender);
                                    sender.SetUseExternalSMTP(true);
                                    sender.SetExternalSMTP(ASettings.MailServer);
                                }});
    auto* job = new BenchJob(nullptr, -1, BenchList(peer.Server(), 1, APerMinute, 1, true), esPlainText);
    for (int i = 0; i < AMessages; ++i)
        job->AddDocument(i, ABody);
    job->SendAll();
    TBaseEmailSender::FreeJob(job);
    UnRegisterMessageSenderClass(msdExtSMTP);
    RegisterDNSEmailSenderClasses();

    const double interval = 60000.0 / APerMinute;
    std::vector<double> starts;
    for (const auto& t : GStarts.Times)
        starts.push_back(std::chrono::duration<double, std::milli>(t.time_since_epoch()).count());
    ThrottleFigures figures;
    std::tie(figures.StartWorst, figures.StartMean) = GapFigures(starts, interval);
    std::tie(figures.PeerWorst, figures.PeerMean) = GapFigures(peer.Received(AMessages), interval);
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("messages"), QStringLiteral("Messages per mailing."),
                      QStringLiteral("N"), QStringLiteral("10000")});
    parser.addOption({QStringLiteral("size"), QStringLiteral("Body bytes per message."),
                      QStringLiteral("BYTES"), QStringLiteral("5120")});
    parser.addOption({QStringLiteral("threads"), QStringLiteral("Sender thread counts, one mailing each."),
                      QStringLiteral("LIST"), QStringLiteral("1,8")});
    parser.addOption({QStringLiteral("packet"), QStringLiteral("Messages per unit of the list (no unit delay)."),
                      QStringLiteral("N"), QStringLiteral("100")});
    parser.addOption({QStringLiteral("throttled"), QStringLiteral("Messages of the throttled mailing (0: none)."),
                      QStringLiteral("N"), QStringLiteral("50")});
    parser.addOption({QStringLiteral("html"), QStringLiteral("Mail the preparation benchmark's template.")});
    parser.addOption({QStringLiteral("prepare-first"),
                      QStringLiteral("Send only once the preparation has ended; the rate is the sending's.")});
    parser.addOption({QStringLiteral("no-peers"), QStringLiteral("Skip smtp-source and smtplib.")});
    parser.addOption({QStringLiteral("database-url"), QStringLiteral("A PostgreSQL database without address rows."),
                      QStringLiteral("URL")});
    parser.process(app);
    const int messages = parser.value(QStringLiteral("messages")).toInt();
    const int size = parser.value(QStringLiteral("size")).toInt();
    const int throttled = parser.value(QStringLiteral("throttled")).toInt();
    const int packet = parser.value(QStringLiteral("packet")).toInt();
    if (packet < 1) {
        std::fprintf(stderr, "bench_mailing: --packet needs a number above 0\n");
        return 1;
    }
    const bool html = parser.isSet(QStringLiteral("html"));
    const bool peers = !parser.isSet(QStringLiteral("no-peers"));
    hostapi::HostLibraries::Initialize();
    RegisterDNSEmailSenderClasses();

    QTemporaryDir dir;
    hostapi::DatabaseConfig config;
    config.SqlitePath = dir.filePath(QStringLiteral("bench.sqlite"));
    config.PostgresUrl = parser.value(QStringLiteral("database-url"));
    bench::SmtpSink sink;
    try {
        hostapi::Database::Open(config);
        QSqlQuery existing = hostapi::Database::Exec(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_ass"));
        existing.next();
        const qint64 addressRows = existing.value(0).toLongLong();
        existing.finish(); // ends its read transaction
        if (addressRows != 0)
            throw hostapi::EQVException(QStringLiteral("the database holds address rows already"));
        if (!sink.Start()) {
            std::fprintf(stderr, "smtp-sink did not start\n");
            return 1;
        }
        QElapsedTimer setup;
        setup.start();
        bench::AddRecipients(messages);
        std::printf("recipients written: %d in %.1f s\n", messages, setup.nsecsElapsed() / 1e9);
        const QString body = bench::Body(size);
        std::printf("A mailing of %d messages (%s) in units of %d to smtp-sink on loopback, sent-list rows in %s:\n",
                    messages,
                    html ? "the preparation benchmark's HTML template" : qPrintable(QStringLiteral("%1 bytes").arg(size)),
                    packet, config.IsPostgres() ? "PostgreSQL" : "SQLite (synchronous FULL)");
        bool ok = true;
        for (const QString& count : parser.value(QStringLiteral("threads")).split(QLatin1Char(','))) {
            const int threads = count.toInt();
            const QString temp = dir.filePath(QStringLiteral("job%1").arg(threads));
            QDir().mkpath(temp);
            const MailingResult ours = Mailing(sink.Server(), threads, packet, messages, body, html,
                                               parser.isSet(QStringLiteral("prepare-first")), temp);
            std::printf("  %d sender thread%s: %8.0f messages/s (%.1f rows per commit, peak resident %.0f MiB)\n",
                        threads, threads == 1 ? " " : "s", ours.PerSecond,
                        ours.Commits > 0 ? double(ours.Rows) / double(ours.Commits) : 0.0, ours.PeakKiB / 1024.0);
            std::printf("    from the first accepted message: %8.0f messages/s; spill files %.1f MiB\n",
                        ours.SendingPerSecond, ours.SpillBytes / 1048576.0);
            const double path = bench::SendPathRate(sink.Server(), messages, ours.Texts, threads);
            std::printf("    send path alone, %d connection%s: %8.0f messages/s  (whole mailing: %.2f x)\n", threads,
                        threads == 1 ? " " : "s", path, path > 0 ? ours.PerSecond / path : 0.0);
            ok = ok && ours.Rows == messages && path > 0;
            if (!peers)
                continue;
            const double source = bench::SmtpSource(sink.Port(), messages, size, threads);
            const double python = bench::PythonSmtplib(sink.Port(), messages, body, threads);
            std::printf("    smtp-source -d -s %d:   %8.0f messages/s  (ours: %.2f x)\n", threads, source,
                        source > 0 ? ours.PerSecond / source : 0.0);
            std::printf("    smtplib, %d connection%s: %8.0f messages/s  (ours: %.2f x)\n", threads,
                        threads == 1 ? " " : "s", python, python > 0 ? ours.PerSecond / python : 0.0);
            ok = ok && source > 0 && python > 0;
        }
        if (throttled > 0) {
            const int perMinute = 600;
            const ThrottleFigures gaps = ThrottledGaps(throttled, body, perMinute);
            std::printf("Throttled mailing, %d messages at %d per minute (interval %.0f ms):\n"
                        "  at the peer (end of each message's data): mean gap %.2f ms, largest deviation %.2f %%\n"
                        "  in the transport (start of each message):  mean gap %.2f ms, largest deviation %.2f %%\n",
                        throttled, perMinute, 60000.0 / perMinute, gaps.PeerMean, gaps.PeerWorst, gaps.StartMean,
                        gaps.StartWorst);
        }
        hostapi::Database::Close();
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_mailing: %s\n", e.what());
        return 1;
    }
}
