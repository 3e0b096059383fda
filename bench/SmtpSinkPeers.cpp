#include "SmtpSinkPeers.h"

#include "LoopbackAddress.h"
#include "LoopbackPort.h"

#include <QElapsedTimer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace bench {

const QString From = QStringLiteral("shop@sender.test");
const QString To = QStringLiteral("anna@example.test");

namespace {

bool Listening(quint16 APort) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const emailmarketing::TLoopbackAddress address = emailmarketing::LoopbackAddress(AF_INET, APort);
    const bool ok = ::connect(fd, address.Address(), address.Length) == 0;
    close(fd);
    return ok;
}

} // namespace

QString Body(int ASize) {
    QString body;
    const QString line =
        QStringLiteral("Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod te\r\n");
    while (body.size() + line.size() <= ASize)
        body += line;
    return body;
}

SmtpSink::SmtpSink() : FPort(testsupport::FreeLoopbackPort()) {}

SmtpSink::~SmtpSink() {
    if (FProcess.state() != QProcess::NotRunning) {
        FProcess.terminate();
        FProcess.waitForFinished(5000);
    }
}

bool SmtpSink::Start() {
    FProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList arguments;
    if (geteuid() == 0)
        arguments << QStringLiteral("-u") << QStringLiteral("nobody");
    arguments << Server() << QStringLiteral("256");
    FProcess.start(QStringLiteral("smtp-sink"), arguments);
    for (int i = 0; i < 500 && !Listening(FPort); ++i)
        QThread::msleep(10);
    return Listening(FPort);
}

double SmtpSource(quint16 APort, int AMessages, int ASize, int ASessions) {
    QProcess source;
    source.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    source.start(QStringLiteral("smtp-source"),
                 {QStringLiteral("-d"), QStringLiteral("-s"), QString::number(ASessions),
                  QStringLiteral("-m"), QString::number(AMessages), QStringLiteral("-l"),
                  QString::number(ASize), QStringLiteral("-f"), From, QStringLiteral("-t"), To,
                  QStringLiteral("127.0.0.1:%1").arg(APort)});
    if (!source.waitForFinished(-1) || source.exitCode() != 0) {
        std::fprintf(stderr, "smtp-source failed\n");
        return 0;
    }
    return AMessages / (timer.nsecsElapsed() / 1e9);
}

double PythonSmtplib(quint16 APort, int AMessages, const QString& ABody, int AProcesses) {
    const QString script = QStringLiteral(R"(
import smtplib, sys, time
from email.message import EmailMessage
port, count, body = int(sys.argv[1]), int(sys.argv[2]), sys.stdin.read()
client = smtplib.SMTP("127.0.0.1", port)
client.ehlo()
for i in range(count):
    m = EmailMessage()
    m["From"] = "Shop <%s>" % sys.argv[3]
    m["To"] = sys.argv[4]
    m["Subject"] = "Angebot %d" % i
    m.set_content(body)
    client.send_message(m)
client.quit()
)");
    std::vector<std::unique_ptr<QProcess>> processes;
    QElapsedTimer timer;
    timer.start();
    for (int p = 0; p < AProcesses; ++p) {
        const int count = AMessages / AProcesses + (p < AMessages % AProcesses ? 1 : 0);
        auto python = std::make_unique<QProcess>();
        python->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        python->start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), script, QString::number(APort), QString::number(count), From, To});
        python->write(ABody.toUtf8());
        python->closeWriteChannel();
        processes.push_back(std::move(python));
    }
    for (const auto& python : processes)
        if (!python->waitForFinished(-1) || python->exitCode() != 0) {
            std::fprintf(stderr, "smtplib run failed\n");
            return 0;
        }
    return AMessages / (timer.nsecsElapsed() / 1e9);
}

} // namespace bench
