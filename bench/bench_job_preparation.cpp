// Benchmark (not a test): one job's preparation of 100 000 recipients from SQLite, as the job's one
// prepare thread does it: a 5 KB HTML body with 10 field macros, 2 conditional list macros and
// 1 attachment without macros (a PDF, with the PDF replacer registered as the module does). Prints
// documents prepared per second and the job's peak resident memory beside the personalised bodies
// as they are held in memory (subject, plain and HTML body, UTF-16), and their ratio.
//
//   bench_job_preparation [--recipients N] [--database FILE] [--html-size N]
//
// The recipients are written first (not measured); the preparation runs with packets of 1000 and
// no sender thread, so every document stays in memory until the end.

#include "BaseEmailSender.h"
#include "Database.h"
#include "ProcessMemory.h"
#include "HostLibraries.h"
#include "PDFFileMacroReplacer.h"
#include "QVException.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using namespace emailmarketing;

namespace {

const char* const Cities[] = {"Köln", "Bonn", "Berlin", "München", "Hamburg", "Zürich", "Wien", "Basel"};
const char* const Countries[] = {"DE", "DE", "DE", "DE", "DE", "CH", "AT", "CH"};

void AddRecipients(int ACount) {
    hostapi::Transaction transaction;
    const QString sql =
        QStringLiteral("INSERT INTO \"pelm_addresses_ass\" (\"companyname\", \"name\", \"surname\", "
                       "\"street\", \"zipcode\", "
                       "\"city\", \"country\", \"phone\", \"email1\", \"salutation\", \"title\") "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (int i = 0; i < ACount; ++i) {
        const int c = i % 8;
        hostapi::Database::Exec(
            sql,
            {QStringLiteral("Firma %1 GmbH").arg(i / 3), QStringLiteral("Müller-%1").arg(i),
             QStringLiteral("Anna"), QStringLiteral("Hauptstraße %1").arg(i % 200 + 1),
             QStringLiteral("%1").arg(10000 + i % 89999), QString::fromUtf8(Cities[c]),
             QString::fromLatin1(Countries[c]), QStringLiteral("+49 221 %1").arg(i),
             QStringLiteral("kunde%1@beispiel%2.de").arg(i).arg(i % 50),
             i % 2 ? QStringLiteral("F") : QStringLiteral("M"), i % 5 ? QString() : QStringLiteral("Dr.")});
    }
    transaction.Commit();
}

// "Sehr geehrte Frau" / "Sehr geehrter Herr" by salutation; a greeting by country.
TMacroList ListMacros() {
    TMacroList macros;
    TMacroItem* salutation = macros.Add();
    salutation->SetMacroName(QStringLiteral("ANREDE"));
    TMacroConditionItem* woman = salutation->Add();
    woman->SetCondition(maEQ);
    woman->SetValue1IsField(true);
    woman->SetConditionValue1(QStringLiteral("salutation"));
    woman->SetConditionValue2(QStringLiteral("F"));
    woman->SetMacroValue(QStringLiteral("Sehr geehrte Frau"));
    salutation->Add()->SetMacroValue(QStringLiteral("Sehr geehrter Herr"));
    TMacroItem* greeting = macros.Add();
    greeting->SetMacroName(QStringLiteral("GRUSS"));
    TMacroConditionItem* swiss = greeting->Add();
    swiss->SetCondition(maEQ);
    swiss->SetValue1IsField(true);
    swiss->SetConditionValue1(QStringLiteral("country"));
    swiss->SetConditionValue2(QStringLiteral("CH"));
    swiss->SetMacroValue(QStringLiteral("Freundliche Grüsse"));
    greeting->Add()->SetMacroValue(QStringLiteral("Mit freundlichen Grüßen"));
    return macros;
}

const QStringList FieldMacros{"COMPANYNAME", "NAME",    "SURNAME", "STREET", "ZIPCODE",
                              "CITY",        "COUNTRY", "PHONE",   "EMAIL1", "TITLE"};

// About ASize characters of HTML: the 12 macros in the first paragraphs, then text to the size.
QString HtmlBody(int ASize) {
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>Angebot</title></head><body>"
                                  "<p>%ANREDE% %TITLE% %NAME%,</p><p>");
    for (const QString& field : FieldMacros)
        html += QStringLiteral("<span class=\"f\">%") + field + QStringLiteral("%</span> ");
    html += QStringLiteral("</p>");
    const QString paragraph = QStringLiteral(
        "<p>Wir freuen uns, Ihnen unser neues Angebot für das kommende Jahr vorzustellen. Unsere Beratung "
        "steht Ihnen jederzeit zur Verfügung; bitte wenden Sie sich an Ihre Ansprechpartnerin.</p>\n");
    while (html.size() < ASize)
        html += paragraph;
    html += QStringLiteral("<p>%GRUSS%</p></body></html>");
    return html;
}

// The machine's cost of the memory alone: allocates and writes ABytes of fresh memory in blocks of
// ABlock bytes (the bodies' average size), as the preparation must, and answers the seconds taken.
double FreshMemorySeconds(qint64 ABytes, qint64 ABlock) {
    std::vector<std::unique_ptr<char[]>> blocks;
    blocks.reserve(size_t(ABytes / ABlock + 1));
    QElapsedTimer timer;
    timer.start();
    for (qint64 done = 0; done < ABytes; done += ABlock) {
        blocks.emplace_back(new char[size_t(ABlock)]);
        std::memset(blocks.back().get(), 1, size_t(ABlock));
    }
    return timer.nsecsElapsed() / 1e9;
}

class BenchJob : public TLocalEmailSender {
public:
    using TLocalEmailSender::TLocalEmailSender;
    void WaitForPreparationEnd() {
        while (State().ContainsAny({jsPreparing, jsPreparingPreview}))
            WaitForStateChange(100);
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
        AddRecipients(recipients);
        std::printf("recipients written: %d in %.1f s\n", recipients, setup.nsecsElapsed() / 1e9);

        const QString attachment = dir.filePath(QStringLiteral("Prospekt.pdf"));
        {
            QFile file(attachment);
            if (!file.open(QIODevice::WriteOnly))
                throw hostapi::EQVException(QStringLiteral("cannot write %1").arg(attachment));
            file.write(QByteArray(20 * 1024, 'x'));
        }
        auto list = std::make_shared<TEmailListItem>();
        list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
        list->SetName(QStringLiteral("Kunden"));
        list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1")});
        list->SetUseGlobalSendSettings(false);
        list->SetSendPerUnits(true);
        list->SetMailsPerUnit(1000);
        list->SetUseGlobalRegisterService(false);
        list->SetUseGlobalAddress(false);
        list->SetSenderName(QStringLiteral("Muster AG"));
        list->SetUserMacros(ListMacros());

        auto* job = new BenchJob(nullptr, 1, list, esHTML);
        job->SetSubject(QStringLiteral("Ihr Angebot, %NAME%"));
        job->SetContent(QStringLiteral("%ANREDE% %NAME%,\r\nIhr Angebot finden Sie im Anhang.\r\n%GRUSS%"));
        job->SetHTMLContent(HtmlBody(parser.value("html-size").toInt()));
        for (const QString& field : FieldMacros)
            job->UsedMakros().append({QLatin1Char('%') + field + QLatin1Char('%'), mkField});
        job->UsedMakros().append({QStringLiteral("%ANREDE%"), mkListMacro});
        job->UsedMakros().append({QStringLiteral("%GRUSS%"), mkListMacro});
        TAttachement* brochure = job->Attachements().Add();
        brochure->SetFileName(QStringLiteral("Prospekt.pdf"));
        brochure->SetLocalFile(attachment);
        job->SetTempDirectory(dir.path());

        bench::ResetPeak();
        const qint64 baseKiB = bench::StatusKiB("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        job->Prepare();
        job->WaitForPreparationEnd();
        const double seconds = timer.nsecsElapsed() / 1e9;
        const qint64 peakKiB = bench::StatusKiB("VmHWM:");

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
            qint64(job->HTMLContent().size()), int(FieldMacros.size()));
        std::printf("prepared: %d of %d documents in %.2f s = %.0f documents/s (state %s, %d dropped)\n",
                    job->SendCount(), job->PrepareCount(), seconds, job->SendCount() / seconds,
                    qPrintable(job->State().ToString()), job->DroppedCount());
        std::printf(
            "memory: job peak %.0f MiB (resident %.0f MiB before, %.0f MiB peak), bodies held %.0f MiB, "
            "ratio %.2f x\n",
            jobMiB, baseKiB / 1024.0, peakKiB / 1024.0, bodyMiB, jobMiB / bodyMiB);
        const int documents = job->SendCount();
        TBaseEmailSender::FreeJob(job);
        hostapi::Database::Close();
        if (documents > 0) {
            const double floor = FreshMemorySeconds(bodyBytes, bodyBytes / documents);
            std::printf(
                "fresh memory: writing %.0f MiB of new memory in blocks of the bodies' size takes %.2f s "
                "on this machine; the preparation took %.2f x that\n",
                bodyMiB, floor, seconds / floor);
        }
    } catch (const std::exception& E) {
        std::fprintf(stderr, "bench_job_preparation: %s\n", E.what());
        return 1;
    }
    return 0;
}
