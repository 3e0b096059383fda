// Benchmark (not a test): messages per second over one SMTP connection to Postfix's smtp-sink on
// loopback, 10 000 messages of 5 KB, beside Postfix's smtp-source (one reused connection, -d) and
// Python's smtplib (one connection) against the same sink, in one run; prints the figures and
// the ratios. Our figure includes composing each message (GMime) as the sender does.
//
//   bench_smtp_send [--messages N] [--size BYTES]
//
// Needs postfix (smtp-sink, smtp-source) and /usr/bin/python3. Run as root, smtp-sink drops to
// the user nobody after opening its socket.

#include "DNSEmailSender.h"
#include "HostLibraries.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

using namespace emailmarketing;

namespace {

const QString From = QStringLiteral("shop@sender.test");
const QString To = QStringLiteral("anna@example.test");

quint16 FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

bool Listening(quint16 APort) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(APort);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// A text body of about ASize bytes in lines of 76 characters.
QString Body(int ASize) {
    QString body;
    const QString line =
        QStringLiteral("Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod te\r\n");
    while (body.size() + line.size() <= ASize)
        body += line;
    return body;
}

double OurSender(quint16 APort, int AMessages, const QString& ABody) {
    TDNSEmailSender sender;
    sender.SetUseExternalSMTP(true);
    sender.SetExternalSMTP(QStringLiteral("127.0.0.1:%1").arg(APort));
    sender.SetAuthentication(false);
    if (!sender.ConnectToServer(true)) {
        std::fprintf(stderr, "connect failed: %s\n", qPrintable(sender.LastError()));
        return 0;
    }
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < AMessages; ++i)
        if (!sender.SendMessage({}, To, QStringLiteral("Shop"), From, QStringLiteral("Angebot %1").arg(i),
                                ABody, {}, false, {}, {}, {}, {}, {}, {})) {
            std::fprintf(stderr, "send %d failed: %s\n", i, qPrintable(sender.LastError()));
            return 0;
        }
    const double seconds = timer.nsecsElapsed() / 1e9;
    sender.DisconnectFromServer();
    return AMessages / seconds;
}

double SmtpSource(quint16 APort, int AMessages, int ASize) {
    QProcess source;
    source.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    source.start(QStringLiteral("smtp-source"),
                 {QStringLiteral("-d"), QStringLiteral("-s"), QStringLiteral("1"), QStringLiteral("-m"),
                  QString::number(AMessages), QStringLiteral("-l"), QString::number(ASize),
                  QStringLiteral("-f"), From, QStringLiteral("-t"), To,
                  QStringLiteral("127.0.0.1:%1").arg(APort)});
    if (!source.waitForFinished(-1) || source.exitCode() != 0) {
        std::fprintf(stderr, "smtp-source failed\n");
        return 0;
    }
    return AMessages / (timer.nsecsElapsed() / 1e9);
}

double PythonSmtplib(quint16 APort, int AMessages, const QString& ABody) {
    const QString script = QStringLiteral(R"(
import smtplib, sys, time
from email.message import EmailMessage
port, count, body = int(sys.argv[1]), int(sys.argv[2]), sys.stdin.read()
client = smtplib.SMTP("127.0.0.1", port)
client.ehlo()
start = time.perf_counter()
for i in range(count):
    m = EmailMessage()
    m["From"] = "Shop <%s>" % sys.argv[3]
    m["To"] = sys.argv[4]
    m["Subject"] = "Angebot %d" % i
    m.set_content(body)
    client.send_message(m)
print(count / (time.perf_counter() - start))
client.quit()
)");
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, QString::number(APort),
                                                      QString::number(AMessages), From, To});
    python.write(ABody.toUtf8());
    python.closeWriteChannel();
    if (!python.waitForFinished(-1) || python.exitCode() != 0) {
        std::fprintf(stderr, "smtplib run failed\n");
        return 0;
    }
    return python.readAllStandardOutput().trimmed().toDouble();
}

} // namespace

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

    const quint16 port = FreePort();
    QProcess sink;
    sink.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList sinkArguments;
    if (geteuid() == 0)
        sinkArguments << QStringLiteral("-u") << QStringLiteral("nobody");
    sinkArguments << QStringLiteral("127.0.0.1:%1").arg(port) << QStringLiteral("128");
    sink.start(QStringLiteral("smtp-sink"), sinkArguments);
    for (int i = 0; i < 500 && !Listening(port); ++i)
        QThread::msleep(10);
    if (!Listening(port)) {
        std::fprintf(stderr, "smtp-sink did not start\n");
        return 1;
    }

    const QString body = Body(size);
    const double ours = OurSender(port, messages, body);
    const double source = SmtpSource(port, messages, size);
    const double python = PythonSmtplib(port, messages, body);
    sink.terminate();
    sink.waitForFinished(5000);

    std::printf("%d messages of %d bytes over one connection to smtp-sink on loopback:\n", messages, size);
    std::printf("  TDNSEmailSender (compose + send): %8.0f messages/s\n", ours);
    std::printf("  smtp-source -d (Postfix):          %8.0f messages/s  (ours: %.2f x)\n", source,
                source > 0 ? ours / source : 0.0);
    std::printf("  Python smtplib:                    %8.0f messages/s  (ours: %.2f x)\n", python,
                python > 0 ? ours / python : 0.0);
    return ours > 0 && source > 0 && python > 0 ? 0 : 1;
}
