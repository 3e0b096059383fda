// Benchmark (not a test): a whole mailing of 10 000 messages of 5 KB through the sender threads to
// Postfix's smtp-sink on loopback, with 1 and with 8 sender threads, beside Postfix's smtp-source
// (-d, as many sessions as sender threads) and Python's smtplib (as many processes, one connection
// each) against the same sink, in one run. Our figure is the job's: grouping, composing each message
// (GMime), sending, and every "emlsentlist" row durable in SQLite (synchronous FULL) before the
// result counts. Then a throttled mailing: the real gaps between the starts of its messages against
// the configured interval.
//
//   bench_mailing [--messages N] [--size BYTES] [--throttled N]
//
// Needs postfix (smtp-sink, smtp-source) and /usr/bin/python3.

#include "BaseEmailSender.h"
#include "DNSEmailSender.h"
#include "Database.h"
#include "HostLibraries.h"
#include "SentListWriter.h"
#include "SmtpSinkPeers.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>

using namespace emailmarketing;

namespace {

class BenchJob : public TLocalEmailSender {
public:
    using TLocalEmailSender::SentListWriter;
    using TLocalEmailSender::SetJobDBID;
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

std::shared_ptr<TEmailListItem> BenchList(const QString& AServer, int AThreads, int APacket, int AUnitDelay,
                                          bool AThrottle) {
    auto list = std::make_shared<TEmailListItem>();
    list->SetUseGlobalAddress(false);
    list->SetSenderName(QStringLiteral("Shop"));
    list->SetSenderEmail(bench::From);
    list->SetUseGlobalMailServer(false);
    list->SetMessageSenderDevice(msdExtSMTP);
    list->SetMailServer(AServer);
    list->SetUseGlobalSendSettings(false);
    list->SetSendPerUnits(true);
    list->SetMailsPerUnit(APacket);
    list->SetSendThreads(AThreads);
    list->SetUnitDelay(AUnitDelay);
    list->SetThrottle(AThrottle);
    return list;
}

struct MailingResult {
    double PerSecond = 0;
    qint64 Rows = 0;
    qint64 Commits = 0;
};

MailingResult Mailing(const QString& AServer, int AThreads, int AMessages, const QString& ABody, int AJobID) {
    BenchJob job(nullptr, -1, BenchList(AServer, AThreads, 100, 0, false), esPlainText);
    job.SetJobDBID(AJobID);
    for (int i = 0; i < AMessages; ++i)
        job.AddDocument(i, ABody);
    QElapsedTimer timer;
    timer.start();
    job.SendAll();
    MailingResult result;
    result.PerSecond = AMessages / (timer.nsecsElapsed() / 1e9);
    QSqlQuery rows = hostapi::Database::Exec(
        QStringLiteral("SELECT COUNT(*) FROM emlsentlist WHERE emljobs_id = ? AND sentstate = 1"), {AJobID});
    rows.next();
    result.Rows = rows.value(0).toLongLong();
    result.Commits = job.SentListWriter()->CommitCount();
    if (job.SentCount() != AMessages || result.Rows != AMessages)
        std::fprintf(stderr, "mailing with %d threads: %d counted, %lld rows of %d\n", AThreads,
                     job.SentCount(), result.Rows, AMessages);
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
    BenchJob job(nullptr, -1, BenchList(AServer, 1, APerMinute, 1, true), esPlainText);
    for (int i = 0; i < AMessages; ++i)
        job.AddDocument(i, ABody);
    job.SendAll();
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
    parser.addOption({QStringLiteral("throttled"), QStringLiteral("Messages of the throttled mailing."),
                      QStringLiteral("N"), QStringLiteral("50")});
    parser.process(app);
    const int messages = parser.value(QStringLiteral("messages")).toInt();
    const int size = parser.value(QStringLiteral("size")).toInt();
    const int throttled = parser.value(QStringLiteral("throttled")).toInt();
    hostapi::HostLibraries::Initialize();
    RegisterDNSEmailSenderClasses();

    QTemporaryDir dir;
    hostapi::DatabaseConfig config;
    config.SqlitePath = dir.filePath(QStringLiteral("bench.sqlite"));
    bench::SmtpSink sink;
    try {
        hostapi::Database::Open(config);
        if (!sink.Start()) {
            std::fprintf(stderr, "smtp-sink did not start\n");
            return 1;
        }
        const QString body = bench::Body(size);
        std::printf("A mailing of %d messages of %d bytes to smtp-sink on loopback, sent-list rows in SQLite "
                    "(synchronous FULL):\n",
                    messages, size);
        bool ok = true;
        for (int threads : {1, 8}) {
            const MailingResult ours = Mailing(sink.Server(), threads, messages, body, threads);
            const double source = bench::SmtpSource(sink.Port(), messages, size, threads);
            const double python = bench::PythonSmtplib(sink.Port(), messages, body, threads);
            std::printf("  %d sender thread%s: %8.0f messages/s (%.1f rows per commit)\n", threads,
                        threads == 1 ? " " : "s", ours.PerSecond,
                        ours.Commits > 0 ? double(ours.Rows) / double(ours.Commits) : 0.0);
            std::printf("    smtp-source -d -s %d:   %8.0f messages/s  (ours: %.2f x)\n", threads, source,
                        source > 0 ? ours.PerSecond / source : 0.0);
            std::printf("    smtplib, %d connection%s: %8.0f messages/s  (ours: %.2f x)\n", threads,
                        threads == 1 ? " " : "s", python, python > 0 ? ours.PerSecond / python : 0.0);
            ok = ok && ours.Rows == messages && source > 0 && python > 0;
        }
        const int perMinute = 600;
        const auto [worst, mean] = ThrottledGaps(sink.Server(), throttled, body, perMinute);
        std::printf("Throttled mailing, %d messages at %d per minute (interval %.0f ms): mean gap %.2f ms, "
                    "largest deviation %.2f %%\n",
                    throttled, perMinute, 60000.0 / perMinute, mean, worst);
        hostapi::Database::Close();
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_mailing: %s\n", e.what());
        return 1;
    }
}
