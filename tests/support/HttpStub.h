#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace testsupport {

// The scripted HTTP(S) endpoint tests/peers/http-stub, started on 127.0.0.1 and a free port for one
// test and stopped by the destructor. The script format is described in that file. Throws
// std::runtime_error when the stub does not start.
class HttpStub {
public:
    struct Options {
        QString User;     // "name:password": requests without that basic authentication get 401
        bool Tls = false; // HTTPS with a certificate of a test CA made for this stub (CaFile())
        // The peer under tests/peers that serves the script: "http-stub", or "graph-stub" (a
        // mailbox; its script format is described in that file).
        QString Program = QStringLiteral("http-stub");
    };

    explicit HttpStub(const QJsonObject& AScript, const Options& AOptions);
    explicit HttpStub(const QJsonObject& AScript);
    ~HttpStub();

    int Port() const { return FPort; }
    // "http(s)://127.0.0.1:<port>" + APathAndQuery.
    QUrl Url(const QString& APathAndQuery) const;
    // The test CA's certificate (TLS only).
    QString CaFile() const;

    // The requests received so far, in order: "method", "path" (with query), "headers" (object),
    // "body".
    QList<QJsonObject> Requests() const;
    // Waits until at least ACount requests have arrived; false when the deadline passes first.
    bool WaitForRequests(int ACount, int ADeadlineMs = 10000) const;

    // A script of one route with the given responses.
    static QJsonObject Route(const QString& APath, const QJsonArray& AResponses);
    static QJsonObject Script(const QJsonArray& ARoutes);

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QProcess FProcess;
    int FPort = 0;
    bool FTls = false;
};

} // namespace testsupport
