#include "HttpStub.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <stdexcept>

namespace testsupport {

namespace {

QString PeerScript(const char* AName) {
    return QStringLiteral(QV_SOURCE_DIR "/tests/peers/") + QLatin1String(AName);
}

} // namespace

HttpStub::HttpStub(const QJsonObject& AScript) : HttpStub(AScript, Options{}) {}

HttpStub::HttpStub(const QJsonObject& AScript, const Options& AOptions)
    : FDir(std::make_unique<QTemporaryDir>()), FTls(AOptions.Tls) {
    if (!FDir->isValid())
        throw std::runtime_error("no temporary folder for the HTTP stub");
    QFile script(FDir->filePath(QStringLiteral("script.json")));
    if (!script.open(QIODevice::WriteOnly) || script.write(QJsonDocument(AScript).toJson()) < 0)
        throw std::runtime_error("the HTTP stub's script cannot be written");
    script.close();

    QStringList arguments{PeerScript(qPrintable(AOptions.Program)), QStringLiteral("--script"),
                          script.fileName(), QStringLiteral("--log"),
                          FDir->filePath(QStringLiteral("requests.jsonl"))};
    if (!AOptions.User.isEmpty())
        arguments << QStringLiteral("--user") << AOptions.User;
    if (FTls) {
        QProcess certs;
        certs.start(QStringLiteral("/bin/sh"), {PeerScript("make-test-certs"), FDir->path()});
        if (!certs.waitForFinished(60000) || certs.exitCode() != 0)
            throw std::runtime_error("make-test-certs failed: " + certs.readAllStandardError().toStdString());
        arguments << QStringLiteral("--cert") << FDir->filePath(QStringLiteral("server.pem"))
                  << QStringLiteral("--key") << FDir->filePath(QStringLiteral("server.key"));
    }
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess.start(QStringLiteral("/usr/bin/python3"), arguments);
    QElapsedTimer clock;
    clock.start();
    while (!FProcess.canReadLine() && clock.elapsed() < 15000 && FProcess.state() != QProcess::NotRunning)
        FProcess.waitForReadyRead(200);
    const QByteArray line = FProcess.readLine().trimmed();
    if (!line.startsWith("PORT "))
        throw std::runtime_error("the HTTP stub did not start");
    FPort = line.mid(5).toInt();
}

HttpStub::~HttpStub() {
    FProcess.kill();
    FProcess.waitForFinished(5000);
}

QUrl HttpStub::Url(const QString& APathAndQuery) const {
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                    .arg(FTls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(FPort)
                    .arg(APathAndQuery));
}

QString HttpStub::CaFile() const {
    return FTls ? FDir->filePath(QStringLiteral("ca.pem")) : QString();
}

QList<QJsonObject> HttpStub::Requests() const {
    QList<QJsonObject> requests;
    QFile log(FDir->filePath(QStringLiteral("requests.jsonl")));
    if (!log.open(QIODevice::ReadOnly))
        return requests;
    for (const QByteArray& line : log.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            requests.append(QJsonDocument::fromJson(line).object());
    return requests;
}

bool HttpStub::WaitForRequests(int ACount, int ADeadlineMs) const {
    QElapsedTimer clock;
    clock.start();
    while (Requests().size() < ACount) {
        if (clock.elapsed() > ADeadlineMs)
            return false;
        QThread::msleep(10);
    }
    return true;
}

QJsonObject HttpStub::Route(const QString& APath, const QJsonArray& AResponses) {
    return QJsonObject{{QStringLiteral("path"), APath}, {QStringLiteral("responses"), AResponses}};
}

QJsonObject HttpStub::Script(const QJsonArray& ARoutes) {
    return QJsonObject{{QStringLiteral("routes"), ARoutes}};
}

} // namespace testsupport
