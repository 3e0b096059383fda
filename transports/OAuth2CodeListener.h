#pragma once

#include "QVException.h"

#include <QByteArray>
#include <QList>
#include <QPair>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace emailmarketing {

// The listener's port could not be bound; the text is the system's.
class ECouldNotBindSocket : public hostapi::EQVException {
public:
    using EQVException::EQVException;
    ~ECouldNotBindSocket() override;
};

// A request that reached the listener: "GET" and the request target ("/?code=...&state=...").
struct CodeListenerRequest {
    QByteArray Method;
    QByteArray Target;
};

struct CodeListenerResponse {
    int Status = 200;
    QByteArray Reason = "OK";
    QList<QPair<QByteArray, QByteArray>> Headers;
    QByteArray Body;
    // The request ended the flow: OnFlowEnd runs once its connection is closed.
    bool EndsFlow = false;
};

// The loopback HTTP listener that receives the browser's redirect with the authorization code. It
// binds 127.0.0.1 and ::1 (the latter only where the machine has IPv6) on one port. An accept
// thread hands each connection to a handler thread of its own, which reads one request (at most
// MaxRequestBytes, within RequestTimeoutMs), answers it through OnRequest and closes the
// connection. Stop() ends every thread, also handlers waiting for an idle connection, and joins
// them. OnRequest runs on handler threads, possibly several at once; OnFlowEnd too. Neither may
// call Stop().
class OAuth2CodeListener {
public:
    using RequestHandler = std::function<CodeListenerResponse(const CodeListenerRequest&)>;
    static constexpr int RequestTimeoutMs = 15000;
    static constexpr int MaxRequestBytes = 16384;
    static constexpr int MaxConnections = 32;
    static constexpr int LingerMs = 2000; // after the answer, the client's close is awaited this long

    OAuth2CodeListener(RequestHandler AOnRequest, std::function<void()> AOnFlowEnd);
    ~OAuth2CodeListener();
    OAuth2CodeListener(const OAuth2CodeListener&) = delete;
    OAuth2CodeListener& operator=(const OAuth2CodeListener&) = delete;

    // Stops a running listener, then binds APort and starts accepting. Throws ECouldNotBindSocket
    // when the port cannot be bound.
    void Start(quint16 APort);
    // Idempotent; may be called from any thread but the listener's own.
    void Stop();
    // From a successful Start until a Stop has closed the port (so a new Start can bind it).
    bool IsActive() const { return FStarted.load(); }
    quint16 Port() const { return FPort; }

private:
    struct Handler {
        std::thread Thread;
        std::atomic<bool> Done{false};
    };

    void StopLocked();
    void AcceptLoop();
    void Serve(int ASocket);
    // Waits until ASocket is readable (AWrite: writable) or the deadline passes or Stop() wakes the
    // threads; false for the latter two.
    bool WaitFor(int ASocket, bool AWrite, qint64 ADeadlineMs) const;
    void ReapFinishedHandlers();
    void CloseListenSockets();
    void CloseSockets();

    RequestHandler FOnRequest;
    std::function<void()> FOnFlowEnd;
    std::mutex FControl; // serialises Start and Stop
    std::atomic<bool> FActive{false};  // the accept loop goes on
    std::atomic<bool> FStarted{false}; // started and not yet stopped: the port is bound
    quint16 FPort = 0;
    int FListenSockets[2] = {-1, -1};
    int FWakePipe[2] = {-1, -1};
    std::thread FAcceptThread;
    std::list<Handler> FHandlers; // touched by the accept thread, and by Stop after joining it
};

} // namespace emailmarketing
