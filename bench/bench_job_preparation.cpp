// Benchmark (not a test): one job's preparation of 100 000 recipients from SQLite, as the job's one
// prepare thread does it: its job row and the recipients' pending sent-list rows, a 5 KB HTML body
// with 10 field macros, 2 conditional list macros and 1 attachment without macros (a PDF, with the
// PDF replacer registered as the module does). Prints documents prepared per second and the job's
// peak resident memory (VmHWM) beside the personalised texts it prepared (subject, plain and HTML
// body, as UTF-16 in memory), their ratio, and the size of the job's spill file that holds them.
//
//   bench_job_preparation [--recipients N] [--database FILE] [--html-size N]
//
// The recipients are written first (not measured); the preparation pushes packets of 1000, which a
// discarding sender takes off the send stack as they come and drops (no transport, no results).

#include "BaseEmailSender.h"
#include "BenchRecipients.h"
#include "Database.h"
#include "ProcessMemory.h"
#include "HostLibraries.h"
#include "PDFFileMacroReplacer.h"
#include "QVException.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <thread>

using namespace emailmarketing;

namespace {

class BenchJob : public TLocalEmailSender {
public:
    using TLocalEmailSender::JobDBID;
    using TLocalEmailSender::TLocalEmailSender;
    void WaitForPreparationEnd() {
        while (State().ContainsAny({jsPreparing, jsPreparingPreview}))
            WaitForStateChange(100);
    }
    // The discarding sender: takes every packet off the send stack as it is pushed and drops it,
    // until the preparation has ended (prepared or not) and the stack is empty. Answers the
    // documents taken.
    qint64 DiscardPackets() {
        qint64 taken = 0;
        QList<TEmailDocument*> packet;
        for (;;) {
            const quint64 wake = SendGate().WakeCount();
            if (TakeSendPacket(1000, packet)) {
                taken += packet.size();
                packet.clear();
                continue;
            }
            const TJobStateSet state = State();
            if (!state.ContainsAny({jsPreparing, jsPreparingPreview}) && SendStackCount() == 0)
                return taken;
            // A preparation that ends without a wake (failed or terminated) is seen within 100 ms.
            SendGate().WaitUntil(Now().addMSecs(100), wake);
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"recipients", "Number of recipients (default 100000).", "N", "100000"});
    parser.addOption({"database", "SQLite file (default: in a temporary folder).", "FILE"});
    parser.addOption({"html-size", "Characters of the HTML body (default 5000).", "N", "5000"});
    parser.process(app);
    const int recipients = parser.value("recipients").toInt();

    try {
        hostapi::HostLibraries::Initialize();
        RegisterPDFFileMacroReplacer();
        QTemporaryDir dir;
        hostapi::DatabaseConfig config;
        config.SqlitePath =
            parser.isSet("database") ? parser.value("database") : dir.filePath("bench.sqlite");
        hostapi::Database::Open(config);
        QElapsedTimer setup;
        setup.start();
        bench::AddRecipients(recipients);
        std::printf("recipients written: %d in %.1f s\n", recipients, setup.nsecsElapsed() / 1e9);

        const QString attachment = dir.filePath(QStringLiteral("Prospekt.pdf"));
        {
            QFile file(attachment);
            if (!file.open(QIODevice::WriteOnly))
                throw hostapi::EQVException(QStringLiteral("cannot write %1").arg(attachment));
            file.write(QByteArray(20 * 1024, 'x'));
        }
        auto* job = new BenchJob(nullptr, 1, bench::RecipientList(1000), esHTML);
        bench::SetTemplate(*job, parser.value("html-size").toInt(), attachment);
        job->SetTempDirectory(dir.path());

        bench::ResetPeak();
        const qint64 baseKiB = bench::StatusKiB("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        job->Prepare();
        qint64 discarded = 0;
        std::thread sender([&] { discarded = job->DiscardPackets(); });
        job->WaitForPreparationEnd();
        sender.join();
        const double seconds = timer.nsecsElapsed() / 1e9;
        const qint64 peakKiB = bench::StatusKiB("VmHWM:");
        QSqlQuery pending = hostapi::Database::Exec(
            QStringLiteral("SELECT COUNT(*) FROM emlsentlist WHERE emljobs_id = ?"), {job->JobDBID()});
        pending.next();
        const qint64 pendingRows = pending.value(0).toLongLong();
        pending.finish();

        const qint64 spillBytes = job->SpillFileSize();
        qint64 bodyBytes = 0;
        for (int i = 0; i < job->SendCount(); ++i) {
            const TEmailDocument* doc = job->GetSendMails(i);
            bodyBytes += (doc->Subject().size() + doc->PlainMailBody().size() + doc->HTMLMailBody().size()) *
                         qint64(sizeof(QChar));
        }
        const double jobMiB = (peakKiB - baseKiB) / 1024.0;
        const double bodyMiB = bodyBytes / 1048576.0;
        std::printf(
            "template: HTML %lld characters, %d field macros, 2 conditional list macros, 1 attachment\n",
            qint64(job->HTMLContent().size()), int(bench::FieldMacros.size()));
        std::printf("prepared: %d of %d documents in %.2f s = %.0f documents/s (state %s, %d dropped, "
                    "%lld taken by the discarding sender, %lld pending rows of job %d)\n",
                    job->SendCount(), job->PrepareCount(), seconds, job->SendCount() / seconds,
                    qPrintable(job->State().ToString()), job->DroppedCount(), discarded, pendingRows,
                    job->JobDBID());
        std::printf(
            "memory: job peak %.0f MiB (resident %.0f MiB before, %.0f MiB peak) for %.0f MiB of personalised "
            "texts (UTF-16), ratio %.2f x; spill file %.0f MiB\n",
            jobMiB, baseKiB / 1024.0, peakKiB / 1024.0, bodyMiB, jobMiB / bodyMiB, spillBytes / 1048576.0);
        TBaseEmailSender::FreeJob(job);
        hostapi::Database::Close();
    } catch (const std::exception& E) {
        std::fprintf(stderr, "bench_job_preparation: %s\n", E.what());
        return 1;
    }
    return 0;
}
