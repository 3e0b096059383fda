// Benchmark (not a test): a whole mailing of 10 000 messages of 5 KB to Postfix's smtp-sink on
// loopback, with 1 and with 8 sender threads, beside Postfix's smtp-source (-d, as many sessions as
// sender threads) and Python's smtplib (as many processes, one connection each) against the same
// sink, in one run. Our figure is the job's, from Prepare until the job is sent: the recipients read
// from the database, their pending sent-list rows, each document prepared (a macro in subject and
// body), grouping, composing each message (GMime), sending, and every "emlsentlist" row durable
// (SQLite at synchronous FULL) before the result counts. Then a throttled mailing: the real gaps
// between the starts of its messages against the configured interval.
//
//   bench_mailing [--messages N] [--size BYTES] [--threads 1,8] [--throttled N] [--html]
//                 [--prepare-first] [--no-peers] [--database-url postgresql://...]
//
// --html mails the preparation benchmark's template (5 KB HTML, 10 field macros, 2 conditional
// list macros) instead of the plain 5 KB body and reports the peak resident memory (VmHWM). With
// --database-url the rows go to that PostgreSQL database, which must hold no address rows.
// Needs postfix (smtp-sink, smtp-source) and /usr/bin/python3.

#include "BaseEmailSender.h"
#include "BenchRecipients.h"
#include "DNSEmailSender.h"
#include "Database.h"
#include "HostLibraries.h"
#include "ProcessMemory.h"
#include "QVException.h"
#include "SentListWriter.h"
#include "SmtpSinkPeers.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>

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
    qint64 Rows = 0;
    qint64 Commits = 0;
    qint64 PeakKiB = 0;
};

// One job over every address row: prepared and sent at once (sending starts with the first packet).
MailingResult Mailing(const QString& AServer, int AThreads, int AMessages, const QString& ABody, bool AHtml,
                      bool APrepareFirst, const QString& ATempDir) {
    auto list = bench::RecipientList(100);
    SetServer(*list, AServer, AThreads, 100, 0, false);
    auto* job = new BenchJob(nullptr, -1, list, AHtml ? esHTML : esPlainText);
    if (AHtml) {
        bench::SetTemplate(*job, 5000, QString());
    } else {
        job->SetSubject(QStringLiteral("Angebot für %NAME%"));
        job->SetContent(QStringLiteral("Guten Tag %NAME%,\r\n") + ABody);
        job->UsedMakros().append({QStringLiteral("%NAME%"), mkField});
    }
    job->SetTempDirectory(ATempDir);
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
    MailingResult result;
    result.PerSecond = AMessages / (timer.nsecsElapsed() / 1e9);
    result.PeakKiB = bench::StatusKiB("VmHWM:");
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

class TimedSender : public TDNSEmailSender {
protected:
    bool DoSendMessage(const TOutgoingMessage& AMessage) override {
        {
            std::lock_guard lock(GStarts.Lock);
            GStarts.Times.push_back(std::chrono::steady_clock::now());
        }
        return TDNSEmailSender::DoSendMessage(AMessage);
    }
};

// Largest deviation of a gap between two message starts from the interval, in percent, and the
// mean gap.
std::pair<double, double> ThrottledGaps(const QString& AServer, int AMessages, const QString& ABody,
                                        int APerMinute) {
    UnRegisterDNSEmailSenderClasses();
    RegisterMessageSenderClass(msdExtSMTP,
                               {[] { return std::unique_ptr<TCustomMessageSender>(new TimedSender()); },
                                [](TCustomMessageSender& ASender, const TMessageSenderSettings& ASettings) {
                                    auto& sender = static_cast<TimedSender&>(ASender);
                                    sender.SetUseExternalSMTP(true);
                                    sender.SetExternalSMTP(ASettings.MailServer);
                                }});
    auto* job = new BenchJob(nullptr, -1, BenchList(AServer, 1, APerMinute, 1, true), esPlainText);
    for (int i = 0; i < AMessages; ++i)
        job->AddDocument(i, ABody);
    job->SendAll();
    TBaseEmailSender::FreeJob(job);
    UnRegisterMessageSenderClass(msdExtSMTP);
    RegisterDNSEmailSenderClasses();

    const double interval = 60000.0 / APerMinute;
    double worst = 0;
    double sum = 0;
    for (size_t i = 1; i < GStarts.Times.size(); ++i) {
        const double gap =
            std::chrono::duration<double, std::milli>(GStarts.Times[i] - GStarts.Times[i - 1]).count();
        worst = std::max(worst, std::abs(gap - interval) / interval * 100.0);
        if (qEnvironmentVariableIsSet("BENCH_GAPS"))
            std::printf("gap %zu: %.3f ms\n", i, gap);
        sum += gap;
    }
    const double mean = GStarts.Times.size() > 1 ? sum / double(GStarts.Times.size() - 1) : 0;
    return {worst, mean};
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
        std::printf("A mailing of %d messages (%s) to smtp-sink on loopback, sent-list rows in %s:\n", messages,
                    html ? "the preparation benchmark's HTML template" : qPrintable(QStringLiteral("%1 bytes").arg(size)),
                    config.IsPostgres() ? "PostgreSQL" : "SQLite (synchronous FULL)");
        bool ok = true;
        for (const QString& count : parser.value(QStringLiteral("threads")).split(QLatin1Char(','))) {
            const int threads = count.toInt();
            const QString temp = dir.filePath(QStringLiteral("job%1").arg(threads));
            QDir().mkpath(temp);
            const MailingResult ours = Mailing(sink.Server(), threads, messages, body, html,
                                               parser.isSet(QStringLiteral("prepare-first")), temp);
            std::printf("  %d sender thread%s: %8.0f messages/s (%.1f rows per commit, peak resident %.0f MiB)\n",
                        threads, threads == 1 ? " " : "s", ours.PerSecond,
                        ours.Commits > 0 ? double(ours.Rows) / double(ours.Commits) : 0.0, ours.PeakKiB / 1024.0);
            ok = ok && ours.Rows == messages;
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
            const auto [worst, mean] = ThrottledGaps(sink.Server(), throttled, body, perMinute);
            std::printf("Throttled mailing, %d messages at %d per minute (interval %.0f ms): mean gap %.2f ms, "
                        "largest deviation %.2f %%\n",
                        throttled, perMinute, 60000.0 / perMinute, mean, worst);
        }
        hostapi::Database::Close();
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_mailing: %s\n", e.what());
        return 1;
    }
}
