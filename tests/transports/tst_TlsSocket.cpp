#include "CancelSignal.h"
#include "SmtpError.h"
#include "TlsSocket.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace emailmarketing;

namespace {

// A loopback listener that never accepts: the kernel completes connects into its backlog, and
// nothing is ever sent, so every read blocks until cancelled.
class SilentListener {
public:
    SilentListener() {
        FFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(FFd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(FFd, 512) != 0 ||
            getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            qFatal("no loopback listener");
        FPort = ntohs(address.sin_port);
    }
    ~SilentListener() { close(FFd); }
    quint16 Port() const { return FPort; }

private:
    int FFd = -1;
    quint16 FPort = 0;
};

} // namespace

// The socket's waits end on their cancel signal from another thread, whenever it fires.
class tst_TlsSocket : public QObject {
    Q_OBJECT

private slots:
    void CancelEndsBlockedRead();
    void CancelFromOtherThreadsStress();
    void ConnectRefusedNamesTheTarget();
};

void tst_TlsSocket::CancelEndsBlockedRead() {
    SilentListener listener;
    auto cancel = std::make_shared<CancelSignal>();
    TlsSocket socket(cancel);
    socket.Connect(QStringLiteral("127.0.0.1"), listener.Port(), 5000);
    QVERIFY(socket.IsOpen());
    QVERIFY(socket.PeerIsLoopback());
    QVERIFY(socket.LocalAddressLiteral().startsWith(QStringLiteral("[127.")));
    std::thread canceller([&] { cancel->Fire(); });
    QVERIFY_THROWS_EXCEPTION(ESmtpCancelled, socket.Read(600000));
    canceller.join();
    // Once fired, every later wait fails at once.
    QVERIFY_THROWS_EXCEPTION(ESmtpCancelled, socket.Read(600000));
    QVERIFY(cancel->IsFired());
}

void tst_TlsSocket::CancelFromOtherThreadsStress() {
    SilentListener listener;
    constexpr int Rounds = 200;
    std::atomic<int> cancelled{0};
    for (int round = 0; round < Rounds; ++round) {
        auto cancel = std::make_shared<CancelSignal>();
        std::vector<std::thread> cancellers;
        std::thread reader([&, cancel] {
            TlsSocket socket(cancel);
            try {
                socket.Connect(QStringLiteral("127.0.0.1"), listener.Port(), 600000);
                socket.Read(600000);
            } catch (const ESmtpCancelled&) {
                ++cancelled;
            } catch (const ESmtpError&) {
                // A connect refused when the backlog is full counts as a failure below.
            }
        });
        for (int i = 0; i < 3; ++i)
            cancellers.emplace_back([cancel] { cancel->Fire(); });
        for (std::thread& t : cancellers)
            t.join();
        reader.join();
    }
    QCOMPARE(cancelled.load(), Rounds);
}

void tst_TlsSocket::ConnectRefusedNamesTheTarget() {
    quint16 port = 0;
    {
        SilentListener listener;
        port = listener.Port();
    }
    TlsSocket socket(std::make_shared<CancelSignal>());
    try {
        socket.Connect(QStringLiteral("127.0.0.1"), port, 5000);
        QFAIL("connected to a closed port");
    } catch (const ESmtpConnectError& e) {
        QVERIFY2(e.Message().contains(QStringLiteral("127.0.0.1")) &&
                     e.Message().contains(QString::number(port)),
                 qPrintable(e.Message()));
    }
    QVERIFY(!socket.IsOpen());
}

QTEST_GUILESS_MAIN(tst_TlsSocket)
#include "tst_TlsSocket.moc"
