// The host's XML import of a large document of small items into SQLite: items per second and the
// peak resident memory against the document's size.

#include "Database.h"
#include "ProcessMemory.h"
#include "HostLibraries.h"
#include "QVException.h"
#include "QVXMLImport.h"
#include "QVXMLImportContainer.h"
#include "QVXMLImportProcessor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// A document of ABytes (at most) of registrations, one small element each.
QByteArray Document(qint64 ABytes, int& AItems) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qvdata><bench>\n";
    const QByteArray tail = "</bench></qvdata>\n";
    AItems = 0;
    for (;;) {
        const QByteArray item = "<r s=\"B\" i=\"" + QByteArray::number(AItems) + "\" email=\"a" +
                                QByteArray::number(AItems) + "@x.de\"/>\n";
        if (xml.size() + item.size() + tail.size() > ABytes)
            break;
        xml += item;
        ++AItems;
    }
    return xml + tail;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"mib", "Size of the document in MiB (default 64).", "N", "64"});
    parser.addOption({"database", "SQLite file (default: in a temporary folder).", "FILE"});
    parser.process(app);

    try {
        hostapi::HostLibraries::Initialize();
        QTemporaryDir dir;
        hostapi::DatabaseConfig config;
        config.SqlitePath = parser.isSet("database") ? parser.value("database") : dir.filePath("bench.sqlite");
        hostapi::Database::Open(config);

        const hostapi::TQVXMLRecordTarget target{QStringLiteral("r"), QStringLiteral("qvregistrations"),
                                                 QStringLiteral("s"), QStringLiteral("i"),
                                                 QStringLiteral("email")};
        hostapi::TQVXMLImportContainer container;
        container.AddPart(QStringLiteral("bench"), QStringLiteral("Bench"), false, false);
        hostapi::TQVXMLImportProcessor* processor = nullptr;
        container.OnBeginPart = [&](auto*, const auto&, hostapi::TQVXMLImportProcessor& AProcessor,
                                    const auto&, auto&) { processor = &AProcessor; };
        container.OnImportData = [&](auto*, const auto&, const QString&, const hostapi::TQVXMLElement& AItem,
                                     auto&) { processor->ImportRecord(AItem, target); };
        container.AfterStartup();

        int items = 0;
        const QByteArray xml = Document(parser.value("mib").toLongLong() << 20, items);
        bench::ResetPeak();
        const qint64 baseKiB = bench::StatusKiB("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        QString error;
        const bool ok = hostapi::TQVXMLImport::Import(xml, error);
        const double seconds = timer.nsecsElapsed() / 1e9;
        const qint64 peakKiB = bench::StatusKiB("VmHWM:");
        if (!ok)
            throw hostapi::EQVException(error);
        const double inputMiB = xml.size() / 1048576.0;
        const double importMiB = (peakKiB - baseKiB) / 1024.0;
        std::printf("imported: %d items (%.1f MiB) in %.1f s = %.0f items/s\n", items, inputMiB, seconds,
                    items / seconds);
        std::printf("memory: import peak %.0f MiB above the %.0f MiB resident before (the document among it), "
                    "%.0f MiB peak; %.2f x the document\n",
                    importMiB, baseKiB / 1024.0, peakKiB / 1024.0, importMiB / inputMiB);
        container.BeforeUnInit();
        hostapi::Database::Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_xml_import: %s\n", e.what());
        return 1;
    }
    return 0;
}
