#include "MailPeers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace testsupport {

namespace {

QString PeerScript(const char* AName) {
    return QStringLiteral(QV_SOURCE_DIR "/tests/peers/") + QLatin1String(AName);
}

void Stop(QProcess& AProcess) {
    if (AProcess.state() == QProcess::NotRunning)
        return;
    AProcess.terminate();
    if (!AProcess.waitForFinished(5000)) {
        AProcess.kill();
        AProcess.waitForFinished(5000);
    }
}

QByteArray ReadFile(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Starts a peer script that prints its port as its first line; the port, or 0 with AError set.
quint16 StartPrintingPort(QProcess& AProcess, const char* AScript, const QStringList& AArguments,
                          QString& AError) {
    AProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    AProcess.start(QStringLiteral("/usr/bin/python3"), QStringList{PeerScript(AScript)} + AArguments);
    QDeadlineTimer deadline(20000);
    while (!AProcess.canReadLine()) {
        if (AProcess.state() == QProcess::NotRunning || deadline.hasExpired() ||
            !AProcess.waitForReadyRead(int(deadline.remainingTime()))) {
            if (AProcess.canReadLine())
                break;
            AError =
                QStringLiteral("%1 did not start: %2").arg(QLatin1String(AScript), AProcess.errorString());
            return 0;
        }
    }
    return quint16(AProcess.readLine().trimmed().toUInt());
}

QStringList MessageFiles(const QTemporaryDir& ADir) {
    QStringList files = QDir(ADir.filePath(QStringLiteral("messages"))).entryList({QStringLiteral("*.eml")});
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        return a.section(QLatin1Char('.'), 0, 0).toInt() < b.section(QLatin1Char('.'), 0, 0).toInt();
    });
    for (QString& file : files)
        file = ADir.filePath(QStringLiteral("messages/") + file);
    return files;
}

} // namespace

bool HasIPv6Loopback() {
    const int fd = socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const emailmarketing::TLoopbackAddress address = emailmarketing::LoopbackAddress(AF_INET6, 0);
    const bool ok = bind(fd, address.Address(), address.Length) == 0;
    close(fd);
    return ok;
}

SmtpPeer::SmtpPeer(const QStringList& AArguments) : FArguments(AArguments) {}

SmtpPeer::~SmtpPeer() {
    Stop(FProcess);
}

void SmtpPeer::SetRules(const QByteArray& AJson) {
    const QString path = FDir.filePath(QStringLiteral("rules.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(AJson) != AJson.size())
        qFatal("cannot write %s", qPrintable(path));
    FArguments << QStringLiteral("--rules") << path;
}

bool SmtpPeer::Start(QString& AError) {
    FPort = StartPrintingPort(FProcess, "smtp-server",
                              QStringList{QStringLiteral("--dir"), FDir.path()} + FArguments, AError);
    return FPort != 0;
}

QStringList SmtpPeer::Messages() const {
    return MessageFiles(FDir);
}

QJsonObject ParseMail(const QString& AMessageFile) {
    QProcess parser;
    parser.start(QStringLiteral("/usr/bin/python3"), {PeerScript("parse-mail"), AMessageFile});
    parser.waitForFinished(30000);
    return QJsonDocument::fromJson(parser.readAllStandardOutput()).object();
}

QJsonObject SmtpPeer::Parsed(const QString& AMessageFile) const {
    return ParseMail(AMessageFile);
}

QJsonObject SmtpPeer::Envelope(const QString& AMessageFile) const {
    QString path = AMessageFile;
    path.replace(QLatin1String(".eml"), QLatin1String(".json"));
    return QJsonDocument::fromJson(ReadFile(path)).object();
}

QList<QJsonObject> SmtpPeer::AuthLog() const {
    QList<QJsonObject> result;
    for (const QByteArray& line : ReadFile(FDir.filePath(QStringLiteral("auth.jsonl"))).split('\n'))
        if (!line.trimmed().isEmpty())
            result.append(QJsonDocument::fromJson(line).object());
    return result;
}

int SmtpPeer::RefusedSessions() const {
    QFile file(FDir.filePath(QStringLiteral("refused")));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count('\n'));
}

bool SmtpPeer::WaitForStall(int AMs) const {
    QDeadlineTimer deadline(AMs);
    while (!QFile::exists(FDir.filePath(QStringLiteral("stalled")))) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

HostileMxPeer::HostileMxPeer(const QString& AMode, const QString& AHost, quint16 APort)
    : FArguments{QStringLiteral("--mode"), AMode, QStringLiteral("--host"), AHost, QStringLiteral("--port"),
                 QString::number(APort)} {}

HostileMxPeer::~HostileMxPeer() {
    Stop(FProcess);
}

bool HostileMxPeer::Start(QString& AError) {
    return StartPrintingPort(FProcess, "hostile-mx",
                             FArguments + QStringList{QStringLiteral("--dir"), FDir.path()}, AError) != 0;
}

QStringList HostileMxPeer::Messages() const {
    return MessageFiles(FDir);
}

int HostileMxPeer::Connections() const {
    return int(ReadFile(FDir.filePath(QStringLiteral("connections"))).count('\n'));
}

DnsPeer::DnsPeer(const QStringList& ARecords) : FRecords(ARecords) {}

DnsPeer::~DnsPeer() {
    Stop(FProcess);
}

bool DnsPeer::Start(QString& AError) {
    FPort = FreeLoopbackPort();
    FProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    FProcess.start(QStringLiteral("/bin/bash"),
                   QStringList{PeerScript("dns-server"), FDir.path(), QStringLiteral("127.0.0.1"),
                               QString::number(FPort)} +
                       FRecords);
    QDeadlineTimer deadline(20000);
    while (!ReadFile(FDir.filePath(QStringLiteral("queries.log"))).contains("started,")) {
        if (FProcess.state() == QProcess::NotRunning || deadline.hasExpired()) {
            AError = QStringLiteral("dnsmasq did not start (port %1)").arg(FPort);
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

QString DnsPeer::Server() const {
    return QStringLiteral("127.0.0.1:%1").arg(FPort);
}

int DnsPeer::QueryCount(const QString& AType, const QString& AName) const {
    const QString needle = QStringLiteral("query[%1] %2 ").arg(AType, AName).toLower();
    return int(
        QString::fromUtf8(ReadFile(FDir.filePath(QStringLiteral("queries.log")))).toLower().count(needle));
}

bool TestCertificates::Make(QString& AError) {
    QProcess certs;
    certs.start(QStringLiteral("/bin/sh"), {PeerScript("make-test-certs"), FDir.path()});
    if (!certs.waitForFinished(60000) || certs.exitCode() != 0) {
        AError = QStringLiteral("make-test-certs failed: %1")
                     .arg(QString::fromLocal8Bit(certs.readAllStandardError()));
        return false;
    }
    return true;
}

ScriptedSmtpPeer::ScriptedSmtpPeer(const QByteArray& AScript, const TestCertificates* ACertificates) {
    const QString path = FDir.filePath(QStringLiteral("script.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(AScript) != AScript.size())
        qFatal("cannot write %s", qPrintable(path));
    FArguments << QStringLiteral("--script") << path;
    if (ACertificates != nullptr)
        FArguments << QStringLiteral("--cert") << ACertificates->CertFile() << QStringLiteral("--key")
                   << ACertificates->KeyFile();
}

ScriptedSmtpPeer::~ScriptedSmtpPeer() {
    Stop(FProcess);
}

bool ScriptedSmtpPeer::Start(QString& AError) {
    FPort = StartPrintingPort(FProcess, "smtp-script-server",
                              QStringList{QStringLiteral("--dir"), FDir.path()} + FArguments, AError);
    return FPort != 0;
}

QList<QJsonObject> ScriptedSmtpPeer::Log() const {
    QList<QJsonObject> result;
    for (const QByteArray& line : ReadFile(FDir.filePath(QStringLiteral("log.jsonl"))).split('\n'))
        if (!line.trimmed().isEmpty())
            result.append(QJsonDocument::fromJson(line).object());
    return result;
}

QStringList ScriptedSmtpPeer::Lines(int AConnection) const {
    QStringList result;
    for (const QJsonObject& entry : Log())
        if (entry[QStringLiteral("conn")].toInt() == AConnection && entry.contains(QStringLiteral("line")))
            result.append(entry[QStringLiteral("line")].toString());
    return result;
}

int ScriptedSmtpPeer::Connections() const {
    int result = 0;
    for (const QJsonObject& entry : Log())
        if (entry[QStringLiteral("event")].toString() == QLatin1String("open"))
            ++result;
    return result;
}

bool ScriptedSmtpPeer::WaitForMark(const QString& AName, int AMs) const {
    QDeadlineTimer deadline(AMs);
    while (!QFile::exists(FDir.filePath(AName))) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

} // namespace testsupport
