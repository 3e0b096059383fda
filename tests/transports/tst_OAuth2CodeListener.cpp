#include "LoopbackAddress.h"
#include "MailPeers.h"
#include "OAuth2CodeListener.h"
#include "ThrownMessage.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace emailmarketing;

namespace {

// A blocking client socket for the tests; -1 when the connection was refused.
int Connect(int AFamily, quint16 APort) {
    const int fd = socket(AFamily, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const emailmarketing::TLoopbackAddress address = emailmarketing::LoopbackAddress(AFamily, APort);
    if (connect(fd, address.Address(), address.Length) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Everything the server sends until it closes (at most 10 s).
QByteArray ReadAll(int AFd) {
    QByteArray data;
    pollfd fd{AFd, POLLIN, 0};
    while (poll(&fd, 1, 10000) > 0) {
        char buffer[4096];
        const ssize_t received = recv(AFd, buffer, sizeof buffer, 0);
        if (received <= 0)
            break;
        data.append(buffer, received);
    }
    return data;
}

// Sends ARequest on a new connection and answers the server's whole reply ("<refused>" when the
// connection could not be made).
QByteArray Exchange(int AFamily, quint16 APort, const QByteArray& ARequest) {
    const int fd = Connect(AFamily, APort);
    if (fd < 0)
        return "<refused>";
    send(fd, ARequest.constData(), std::size_t(ARequest.size()), MSG_NOSIGNAL);
    const QByteArray answer = ReadAll(fd);
    close(fd);
    return answer;
}

// A listener that answers "200 <target>" and ends the flow on "/end".
struct EchoListener {
    std::atomic<int> Requests{0};
    std::atomic<int> FlowEnds{0};
    OAuth2CodeListener Listener{[this](const CodeListenerRequest& ARequest) {
                                    ++Requests;
                                    CodeListenerResponse response;
                                    response.Body = ARequest.Method + ' ' + ARequest.Target;
                                    response.EndsFlow = ARequest.Target == "/end";
                                    return response;
                                },
                                [this] { ++FlowEnds; }};
};

QByteArray Body(const QByteArray& AAnswer) {
    return AAnswer.mid(AAnswer.indexOf("\r\n\r\n") + 4);
}

} // namespace

class tst_OAuth2CodeListener : public QObject {
    Q_OBJECT

private slots:
    void AnswersOneRequestPerConnection_data();
    void AnswersOneRequestPerConnection();
    void FlowEndsOnlyAfterItsRequest();
    void PortTakenRefused();
    void StopEndsIdleConnections();
    void RestartOnTheSamePort();
    void PortFreeOnceInactive();
    void ConcurrentClientsStress();
};

void tst_OAuth2CodeListener::AnswersOneRequestPerConnection_data() {
    QTest::addColumn<int>("family");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("handled");
    const QByteArray get = "GET /?code=a%2Fb&state=s HTTP/1.1\r\nHost: localhost\r\n\r\n";
    QTest::newRow("IPv4") << AF_INET << get << QByteArray("HTTP/1.1 200 OK")
                          << QByteArray("GET /?code=a%2Fb&state=s") << 1;
    QTest::newRow("IPv6") << AF_INET6 << get << QByteArray("HTTP/1.1 200 OK")
                          << QByteArray("GET /?code=a%2Fb&state=s") << 1;
    QTest::newRow("request in pieces is read whole")
        << AF_INET << QByteArray("GET /x HTTP/1.1\r\nHost: localhost\r\nAccept: */*\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("GET /x") << 1;
    QTest::newRow("malformed request line")
        << AF_INET << QByteArray("HELLO\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request")
        << QByteArray("Bad Request") << 0;
    QTest::newRow("oversized head") << AF_INET << "GET /" + QByteArray(20000, 'a') + " HTTP/1.1\r\n\r\n"
                                    << QByteArray("HTTP/1.1 431 Request Header Fields Too Large")
                                    << QByteArray("Request Header Fields Too Large") << 0;
}

void tst_OAuth2CodeListener::AnswersOneRequestPerConnection() {
    QFETCH(int, family);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, body);
    QFETCH(int, handled);
    if (family == AF_INET6 && !testsupport::HasIPv6Loopback())
        QSKIP("This machine has no IPv6 loopback address.");
    EchoListener echo;
    echo.Listener.Start(testsupport::FreeLoopbackPort());
    QVERIFY(echo.Listener.IsActive());
    const QByteArray answer = Exchange(family, echo.Listener.Port(), request);
    QVERIFY2(answer.startsWith(statusLine + "\r\n"), answer.left(200).constData());
    QVERIFY(answer.contains("\r\nConnection: close\r\n"));
    QVERIFY(answer.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
    QCOMPARE(Body(answer), body);
    QCOMPARE(echo.Requests.load(), handled);
    QCOMPARE(echo.FlowEnds.load(), 0);
    echo.Listener.Stop();
    QVERIFY(!echo.Listener.IsActive());
}

void tst_OAuth2CodeListener::FlowEndsOnlyAfterItsRequest() {
    EchoListener echo;
    echo.Listener.Start(testsupport::FreeLoopbackPort());
    const quint16 port = echo.Listener.Port();
    // A speculative connection that closes without a request, and another request, end nothing.
    const int idle = Connect(AF_INET, port);
    QVERIFY(idle >= 0);
    close(idle);
    QCOMPARE(Body(Exchange(AF_INET, port, "GET /favicon.ico HTTP/1.1\r\n\r\n")),
             QByteArray("GET /favicon.ico"));
    QCOMPARE(Body(Exchange(AF_INET, port, "GET /end HTTP/1.1\r\n\r\n")), QByteArray("GET /end"));
    QTRY_COMPARE_WITH_TIMEOUT(echo.FlowEnds.load(), 1, 30000);
    QCOMPARE(echo.Requests.load(), 2);
    QVERIFY(echo.Listener.IsActive()); // the owner decides when to stop
}

void tst_OAuth2CodeListener::PortTakenRefused() {
    EchoListener first;
    first.Listener.Start(testsupport::FreeLoopbackPort());
    EchoListener second;
    const QString error = testsupport::ThrownMessage([&] { second.Listener.Start(first.Listener.Port()); });
    QCOMPARE(error, QString::fromStdString(std::error_code(EADDRINUSE, std::generic_category()).message()));
    QVERIFY(!second.Listener.IsActive());
    QCOMPARE(Body(Exchange(AF_INET, first.Listener.Port(), "GET /x HTTP/1.1\r\n\r\n")), QByteArray("GET /x"));
}

void tst_OAuth2CodeListener::StopEndsIdleConnections() {
    EchoListener echo;
    echo.Listener.Start(testsupport::FreeLoopbackPort());
    std::vector<int> idle;
    for (int i = 0; i < 5; ++i) {
        const int fd = Connect(AF_INET, echo.Listener.Port());
        QVERIFY(fd >= 0);
        idle.push_back(fd);
    }
    // Half a request: the handler waits for the rest.
    send(idle[0], "GET /x HTT", 10, MSG_NOSIGNAL);
    echo.Listener.Stop();
    for (int fd : idle) {
        QCOMPARE(ReadAll(fd), QByteArray()); // closed without an answer
        close(fd);
    }
    QCOMPARE(echo.Requests.load(), 0);
    QCOMPARE(Exchange(AF_INET, echo.Listener.Port(), "GET /x HTTP/1.1\r\n\r\n"), QByteArray("<refused>"));
}

void tst_OAuth2CodeListener::RestartOnTheSamePort() {
    EchoListener echo;
    const quint16 port = testsupport::FreeLoopbackPort();
    for (int round = 0; round < 20; ++round) {
        echo.Listener.Start(port);
        QCOMPARE(Body(Exchange(AF_INET, port, "GET /r HTTP/1.1\r\n\r\n")), QByteArray("GET /r"));
        if (round % 2 == 0)
            echo.Listener.Stop(); // otherwise Start stops the running listener itself
    }
    QCOMPARE(echo.Requests.load(), 20);
}

// A listener that another thread stops reads as active until its port can be bound again: a caller
// that waits for the end of a sign-in may start the next one on the same port at once.
void tst_OAuth2CodeListener::PortFreeOnceInactive() {
    const quint16 port = testsupport::FreeLoopbackPort();
    EchoListener first;
    EchoListener second;
    for (int round = 0; round < 50; ++round) {
        first.Listener.Start(port);
        QVERIFY(first.Listener.IsActive());
        std::thread stopper([&first] { first.Listener.Stop(); });
        while (first.Listener.IsActive())
            std::this_thread::yield();
        QString failure;
        try {
            second.Listener.Start(port);
            second.Listener.Stop();
        } catch (const ECouldNotBindSocket& e) {
            failure = e.Message();
        }
        stopper.join();
        QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(failure)));
    }
}

void tst_OAuth2CodeListener::ConcurrentClientsStress() {
    EchoListener echo;
    echo.Listener.Start(testsupport::FreeLoopbackPort());
    const quint16 port = echo.Listener.Port();
    const int families[2] = {AF_INET, testsupport::HasIPv6Loopback() ? AF_INET6 : AF_INET};

    // Phase 1: clients below the connection limit are all answered, each with its own target.
    constexpr int Clients = 24;
    std::vector<QByteArray> answers(Clients);
    {
        std::vector<std::thread> threads;
        for (int i = 0; i < Clients; ++i)
            threads.emplace_back([&, i] {
                answers[std::size_t(i)] =
                    Exchange(families[i % 2], port, "GET /c" + QByteArray::number(i) + " HTTP/1.1\r\n\r\n");
            });
        for (std::thread& thread : threads)
            thread.join();
    }
    for (int i = 0; i < Clients; ++i)
        QCOMPARE(Body(answers[std::size_t(i)]), "GET /c" + QByteArray::number(i));
    QCOMPARE(echo.Requests.load(), Clients);

    // Phase 2: idle connections, endless clients and ending requests while the listener stops.
    std::vector<int> idle;
    for (int i = 0; i < 8; ++i)
        idle.push_back(Connect(families[i % 2], port));
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 12; ++i)
        threads.emplace_back([&, i] {
            for (;;) {
                const QByteArray target = i % 3 == 0 ? "/end" : "/s" + QByteArray::number(i);
                const QByteArray answer =
                    Exchange(families[i % 2], port, "GET " + target + " HTTP/1.1\r\n\r\n");
                if (answer == "<refused>")
                    return;
                // Answered, or closed unanswered above the connection limit or while stopping.
                if (!answer.isEmpty() && Body(answer) != "GET " + target)
                    ++bad;
            }
        });
    QTRY_VERIFY_WITH_TIMEOUT(echo.FlowEnds.load() >= 3, 30000);
    echo.Listener.Stop();
    for (std::thread& thread : threads)
        thread.join();
    for (int fd : idle) {
        QCOMPARE(ReadAll(fd), QByteArray());
        close(fd);
    }
    QCOMPARE(bad.load(), 0);
    QVERIFY(!echo.Listener.IsActive());
}

QTEST_GUILESS_MAIN(tst_OAuth2CodeListener)
#include "tst_OAuth2CodeListener.moc"
