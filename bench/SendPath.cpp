#include "SendPath.h"

#include "DNSEmailSender.h"
#include "SmtpSinkPeers.h"

#include <QElapsedTimer>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace emailmarketing;

namespace bench {

namespace {

// Every connection is open before the clock starts; the threads start sending together.
class StartLine {
public:
    explicit StartLine(int AThreads) : FWaiting(AThreads) {}
    // Called once by each thread; answers once all have arrived and Release was called.
    void ArriveAndWait() {
        std::unique_lock lock(FLock);
        --FWaiting;
        FChanged.notify_all();
        FChanged.wait(lock, [this] { return FReleased; });
    }
    void WaitForAll() {
        std::unique_lock lock(FLock);
        FChanged.wait(lock, [this] { return FWaiting == 0; });
    }
    void Release() {
        std::lock_guard lock(FLock);
        FReleased = true;
        FChanged.notify_all();
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    int FWaiting;
    bool FReleased = false;
};

// Connects, waits at the start line and sends ACount messages; false on a failure.
bool SendOnConnection(const QString& AServer, int AFirst, int ACount, const SendPathTexts& ATexts,
                      StartLine& AStart) {
    TDNSEmailSender sender;
    sender.SetUseExternalSMTP(true);
    sender.SetExternalSMTP(AServer);
    sender.SetAuthentication(false);
    const bool connected = sender.ConnectToServer(true);
    if (!connected)
        std::fprintf(stderr, "connect failed: %s\n", qPrintable(sender.LastError()));
    AStart.ArriveAndWait();
    if (!connected)
        return false;
    const bool html = !ATexts.HtmlBody.isEmpty();
    for (int i = AFirst; i < AFirst + ACount; ++i)
        if (!sender.SendMessage({}, To, QStringLiteral("Shop"), From, ATexts.Subject.arg(i), ATexts.PlainBody,
                                ATexts.HtmlBody, html, {}, {}, {}, {}, {}, {})) {
            std::fprintf(stderr, "send %d failed: %s\n", i, qPrintable(sender.LastError()));
            return false;
        }
    sender.DisconnectFromServer();
    return true;
}

} // namespace

double SendPathRate(const QString& AServer, int AMessages, const SendPathTexts& ATexts, int AConnections) {
    StartLine start(AConnections);
    std::atomic<bool> ok{true};
    std::vector<std::thread> threads;
    int first = 0;
    for (int c = 0; c < AConnections; ++c) {
        const int count = AMessages / AConnections + (c < AMessages % AConnections ? 1 : 0);
        threads.emplace_back([&, first, count] {
            if (!SendOnConnection(AServer, first, count, ATexts, start))
                ok = false;
        });
        first += count;
    }
    start.WaitForAll();
    QElapsedTimer timer;
    timer.start();
    start.Release();
    for (std::thread& thread : threads)
        thread.join();
    const double seconds = timer.nsecsElapsed() / 1e9;
    return ok ? AMessages / seconds : 0;
}

} // namespace bench
