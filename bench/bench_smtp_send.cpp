// Benchmark (not a test): messages per second over one SMTP connection to Postfix's smtp-sink on
// loopback, 10 000 messages of 5 KB, beside Postfix's smtp-source (one reused connection, -d) and
// Python's smtplib (one connection) against the same sink, in one run; prints the figures and
// the ratios. Our figure includes composing each message (GMime) as the sender does.
//
//   bench_smtp_send [--messages N] [--size BYTES]
//
// Needs postfix (smtp-sink, smtp-source) and /usr/bin/python3. Run as root, smtp-sink drops to
// the user nobody after opening its socket.

#include "HostLibraries.h"
#include "SendPath.h"
#include "SmtpSinkPeers.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("messages"), QStringLiteral("Messages per run."), QStringLiteral("N"),
                      QStringLiteral("10000")});
    parser.addOption({QStringLiteral("size"), QStringLiteral("Body bytes per message."),
                      QStringLiteral("BYTES"), QStringLiteral("5120")});
    parser.process(app);
    const int messages = parser.value(QStringLiteral("messages")).toInt();
    const int size = parser.value(QStringLiteral("size")).toInt();
    hostapi::HostLibraries::Initialize();

    bench::SmtpSink sink;
    if (!sink.Start()) {
        std::fprintf(stderr, "smtp-sink did not start\n");
        return 1;
    }
    const quint16 port = sink.Port();

    const QString body = bench::Body(size);
    const double ours = bench::SendPathRate(sink.Server(), messages, {QStringLiteral("Angebot %1"), body, {}});
    const double source = bench::SmtpSource(port, messages, size);
    const double python = bench::PythonSmtplib(port, messages, body);

    std::printf("%d messages of %d bytes over one connection to smtp-sink on loopback:\n", messages, size);
    std::printf("  TDNSEmailSender (compose + send): %8.0f messages/s\n", ours);
    std::printf("  smtp-source -d (Postfix):          %8.0f messages/s  (ours: %.2f x)\n", source,
                source > 0 ? ours / source : 0.0);
    std::printf("  Python smtplib:                    %8.0f messages/s  (ours: %.2f x)\n", python,
                python > 0 ? ours / python : 0.0);
    return ours > 0 && source > 0 && python > 0 ? 0 : 1;
}
