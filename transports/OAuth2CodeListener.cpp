#include "OAuth2CodeListener.h"
#include "LoopbackAddress.h"

#include "TransportsLog.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace emailmarketing {

ECouldNotBindSocket::~ECouldNotBindSocket() = default;

namespace {

qint64 NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString SystemMessage(int AError) {
    return QString::fromStdString(std::error_code(AError, std::generic_category()).message());
}

void SetNonBlocking(int ASocket) {
    const int flags = fcntl(ASocket, F_GETFL, 0);
    fcntl(ASocket, F_SETFL, flags | O_NONBLOCK);
}

// A listening socket on the loopback address of AFamily; -1 when the machine has no such address
// (IPv6 switched off). Throws ECouldNotBindSocket for every other failure.
int ListenOn(int AFamily, quint16 APort) {
    const int fd = socket(AFamily, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        const int error = errno;
        if (AFamily == AF_INET6 && error == EAFNOSUPPORT)
            return -1;
        throw ECouldNotBindSocket(SystemMessage(error));
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (AFamily == AF_INET6)
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    const TLoopbackAddress address = LoopbackAddress(AFamily, APort);
    int result = bind(fd, address.Address(), address.Length);
    if (result == 0)
        result = listen(fd, 16);
    if (result != 0) {
        const int error = errno;
        close(fd);
        if (AFamily == AF_INET6 && error == EADDRNOTAVAIL)
            return -1;
        throw ECouldNotBindSocket(SystemMessage(error));
    }
    SetNonBlocking(fd);
    return fd;
}

QByteArray FormatResponse(const CodeListenerResponse& AResponse) {
    QByteArray text = "HTTP/1.1 " + QByteArray::number(AResponse.Status) + ' ' + AResponse.Reason + "\r\n";
    for (const auto& [name, value] : AResponse.Headers)
        text += name + ": " + value + "\r\n";
    text += "Content-Length: " + QByteArray::number(AResponse.Body.size()) + "\r\n";
    text += "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
    return text + AResponse.Body;
}

CodeListenerResponse PlainResponse(int AStatus, const QByteArray& AReason) {
    CodeListenerResponse response;
    response.Status = AStatus;
    response.Reason = AReason;
    response.Headers = {{"Content-Type", "text/plain; charset=utf-8"}};
    response.Body = AReason;
    return response;
}

} // namespace

OAuth2CodeListener::OAuth2CodeListener(RequestHandler AOnRequest, std::function<void()> AOnFlowEnd)
    : FOnRequest(std::move(AOnRequest)), FOnFlowEnd(std::move(AOnFlowEnd)) {}

OAuth2CodeListener::~OAuth2CodeListener() {
    Stop();
}

void OAuth2CodeListener::Start(quint16 APort) {
    std::lock_guard lock(FControl);
    StopLocked();
    if (pipe2(FWakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw hostapi::EQVException(
            QStringLiteral("The sign-in listener could not be set up: %1").arg(SystemMessage(errno)));
    try {
        FListenSockets[0] = ListenOn(AF_INET, APort);
        FListenSockets[1] = ListenOn(AF_INET6, APort);
    } catch (...) {
        CloseSockets();
        throw;
    }
    FPort = APort;
    FActive = true;
    try {
        FAcceptThread = std::thread([this] { AcceptLoop(); });
    } catch (const std::system_error& e) {
        FActive = false;
        CloseSockets();
        throw hostapi::EQVException(QStringLiteral("The sign-in listener could not be started: %1")
                                        .arg(QString::fromLocal8Bit(e.what())));
    }
    FStarted = true;
}

void OAuth2CodeListener::Stop() {
    std::lock_guard lock(FControl);
    StopLocked();
}

void OAuth2CodeListener::StopLocked() {
    if (!FAcceptThread.joinable())
        return;
    QV_ASSERT(std::this_thread::get_id() != FAcceptThread.get_id());
    FActive = false;
    const char wake = 'x';
    if (write(FWakePipe[1], &wake, 1) != 1)
        qCWarning(lcTransports) << "Waking the sign-in listener failed:" << SystemMessage(errno);
    FAcceptThread.join();
    // New connections are refused from here on; the handlers still watch the wake pipe.
    CloseListenSockets();
    for (Handler& handler : FHandlers) {
        QV_ASSERT(std::this_thread::get_id() != handler.Thread.get_id());
        handler.Thread.join();
    }
    FHandlers.clear();
    CloseSockets();
    FStarted = false;
}

void OAuth2CodeListener::CloseListenSockets() {
    for (int& fd : FListenSockets) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

void OAuth2CodeListener::CloseSockets() {
    CloseListenSockets();
    for (int& fd : FWakePipe) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

void OAuth2CodeListener::ReapFinishedHandlers() {
    for (auto it = FHandlers.begin(); it != FHandlers.end();) {
        if (it->Done.load()) {
            it->Thread.join();
            it = FHandlers.erase(it);
        } else {
            ++it;
        }
    }
}

void OAuth2CodeListener::AcceptLoop() {
    pollfd fds[3] = {
        {FWakePipe[0], POLLIN, 0}, {FListenSockets[0], POLLIN, 0}, {FListenSockets[1], POLLIN, 0}};
    for (;;) {
        for (pollfd& fd : fds)
            fd.revents = 0;
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(lcTransports) << "The sign-in listener stopped:" << SystemMessage(errno);
            FActive = false;
            return;
        }
        if (fds[0].revents != 0)
            return;
        for (int i = 1; i < 3; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            // Clients that keep connecting do not hold off a stop.
            while (FActive.load()) {
                const int connection = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (connection < 0)
                    break;
                ReapFinishedHandlers();
                if (FHandlers.size() >= std::size_t(MaxConnections)) {
                    close(connection);
                    continue;
                }
                Handler& handler = FHandlers.emplace_back();
                try {
                    handler.Thread = std::thread([this, &handler, connection] {
                        Serve(connection);
                        handler.Done = true;
                    });
                } catch (const std::system_error& e) {
                    qCWarning(lcTransports)
                        << "The sign-in listener could not take a connection:" << e.what();
                    FHandlers.pop_back();
                    close(connection);
                }
            }
        }
    }
}

bool OAuth2CodeListener::WaitFor(int ASocket, bool AWrite, qint64 ADeadlineMs) const {
    pollfd fds[2] = {{ASocket, short(AWrite ? POLLOUT : POLLIN), 0}, {FWakePipe[0], POLLIN, 0}};
    for (;;) {
        const qint64 remaining = ADeadlineMs - NowMs();
        if (remaining <= 0)
            return false;
        const int result = poll(fds, 2, int(remaining));
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0 || fds[1].revents != 0)
            return false;
        return true;
    }
}

void OAuth2CodeListener::Serve(int ASocket) {
    const qint64 deadline = NowMs() + RequestTimeoutMs;
    QByteArray head;
    CodeListenerResponse response;
    bool answer = true;
    for (;;) {
        if (!WaitFor(ASocket, false, deadline)) {
            answer = false; // idle until the deadline or stopped: close without an answer
            break;
        }
        char buffer[4096];
        const ssize_t received = recv(ASocket, buffer, sizeof buffer, 0);
        if (received < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (received <= 0) {
            answer = false; // the client closed (a speculative connection) or the connection broke
            break;
        }
        head.append(buffer, received);
        const qsizetype end = head.indexOf("\r\n\r\n");
        if (end >= 0 && end <= MaxRequestBytes)
            break;
        if (end > MaxRequestBytes || head.size() > MaxRequestBytes) {
            response = PlainResponse(431, "Request Header Fields Too Large");
            head.clear();
            break;
        }
    }
    if (answer && !head.isEmpty()) {
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/")) {
            response = PlainResponse(400, "Bad Request");
        } else {
            try {
                response = FOnRequest({requestLine[0], requestLine[1]});
            } catch (const std::exception& e) {
                qCWarning(lcTransports) << "The sign-in listener could not answer a request:" << e.what();
                response = PlainResponse(500, "Internal Server Error");
            }
        }
    }
    if (answer) {
        const QByteArray text = FormatResponse(response);
        qsizetype sent = 0;
        // Written also while the listener stops, as far as the socket takes it without waiting.
        while (sent < text.size()) {
            const ssize_t written =
                send(ASocket, text.constData() + sent, std::size_t(text.size() - sent), MSG_NOSIGNAL);
            if (written > 0)
                sent += written;
            else if (written == 0 || (errno != EAGAIN && errno != EINTR) || !WaitFor(ASocket, true, deadline))
                break;
        }
        shutdown(ASocket, SHUT_WR);
        // Read what the client still sends until it closes, so that closing does not reset the
        // connection before the client has read the answer.
        const qint64 lingerEnd = std::min(deadline, NowMs() + LingerMs);
        char discard[4096];
        while (WaitFor(ASocket, false, lingerEnd)) {
            const ssize_t received = recv(ASocket, discard, sizeof discard, 0);
            if (received == 0 || (received < 0 && errno != EAGAIN && errno != EINTR))
                break;
        }
    }
    close(ASocket);
    if (answer && response.EndsFlow && FOnFlowEnd)
        FOnFlowEnd();
}

} // namespace emailmarketing
