#include "TlsSocket.h"

#include "SmtpError.h"
#include "TransportsLog.h"

#include <QHostAddress>
#include <QElapsedTimer>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <optional>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace emailmarketing {

namespace {

QString ErrnoText(int AError) {
    return QString::fromLocal8Bit(strerror(AError));
}

// Blocks SIGPIPE on this thread while a write to a closed peer may raise it, and swallows a
// SIGPIPE that the write left pending.
class SigPipeGuard {
public:
    SigPipeGuard() {
        sigemptyset(&FPipe);
        sigaddset(&FPipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        FWasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &FPipe, &FOld);
    }
    ~SigPipeGuard() {
        if (!FWasPending) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                const timespec zero{0, 0};
                sigtimedwait(&FPipe, nullptr, &zero);
            }
        }
        pthread_sigmask(SIG_SETMASK, &FOld, nullptr);
    }

private:
    sigset_t FPipe;
    sigset_t FOld;
    bool FWasPending = false;
};

QString AddressLiteral(const sockaddr_storage& AAddress) {
    char text[INET6_ADDRSTRLEN] = {};
    if (AAddress.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(AAddress).sin6_addr, text, sizeof text);
        return QStringLiteral("[IPv6:%1]").arg(QLatin1String(text));
    }
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(AAddress).sin_addr, text, sizeof text);
    return QStringLiteral("[%1]").arg(QLatin1String(text));
}

} // namespace

QString SmtpCAFileSettingsKey() {
    return QStringLiteral("SMTPCAFILE");
}

TlsSocket::TlsSocket(std::shared_ptr<CancelSignal> ACancel) : FCancel(std::move(ACancel)) {}

TlsSocket::~TlsSocket() {
    Close();
}

void TlsSocket::Wait(bool AWrite, qint64 ADeadline, const char* AWhat) {
    for (;;) {
        if (FCancel->IsFired())
            throw ESmtpCancelled();
        const qint64 left = ADeadline - MonotonicMs();
        if (left <= 0)
            throw ESmtpError(QStringLiteral("Timed out while %1.").arg(QLatin1String(AWhat)));
        pollfd fds[2] = {{FFd, short(AWrite ? POLLOUT : POLLIN), 0}, {FCancel->Fd(), POLLIN, 0}};
        const int n = poll(fds, 2, int(qMin<qint64>(left, 60 * 60 * 1000)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ESmtpError(QStringLiteral("Waiting on the connection failed: %1").arg(ErrnoText(errno)));
        }
        if (fds[1].revents != 0)
            throw ESmtpCancelled();
        if (fds[0].revents != 0)
            return; // ready, or an error that the next call reports
    }
}

void TlsSocket::Connect(const QString& AHost, quint16 APort, int ATimeoutMs) {
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray host = AHost.toUtf8();
    const QByteArray port = QByteArray::number(APort);
    const int rc = getaddrinfo(host.constData(), port.constData(), &hints, &found);
    if (rc != 0)
        throw ESmtpConnectError(QStringLiteral("The host \"%1\" cannot be resolved: %2")
                                    .arg(AHost, QString::fromLocal8Bit(gai_strerror(rc))));
    const qint64 deadline = MonotonicMs() + ATimeoutMs;
    QString lastError;
    for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) {
            lastError = ErrnoText(errno);
            continue;
        }
        FFd = fd;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0 && errno != EINPROGRESS) {
            lastError = ErrnoText(errno);
            Close();
            continue;
        }
        try {
            Wait(true, deadline, "connecting");
        } catch (...) {
            Close();
            freeaddrinfo(found);
            throw;
        }
        int error = 0;
        socklen_t len = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
        if (error != 0) {
            lastError = ErrnoText(error);
            Close();
            continue;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_storage local{};
        socklen_t localLen = sizeof local;
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen);
        FLocalLiteral = AddressLiteral(local);
        FPeerLoopback = QHostAddress(ai->ai_addr).isLoopback();
        freeaddrinfo(found);
        return;
    }
    freeaddrinfo(found);
    throw ESmtpConnectError(
        QStringLiteral("No connection to %1 on port %2: %3").arg(AHost).arg(APort).arg(lastError));
}

void TlsSocket::ThrowTlsError(const char* AWhat) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = "unknown error";
    if (code != 0)
        ERR_error_string_n(code, text, sizeof text);
    throw ESmtpError(QStringLiteral("TLS %1 failed: %2").arg(QLatin1String(AWhat), QLatin1String(text)));
}

void TlsSocket::StartTls(const QString& AServerName, int ATimeoutMs) {
    if (!IsOpen())
        throw ESmtpError(QStringLiteral("TLS needs an open connection."));
    ERR_clear_error();
    FCtx = SSL_CTX_new(TLS_client_method());
    if (FCtx == nullptr)
        ThrowTlsError("set-up");
    SSL_CTX_set_verify(FCtx, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(FCtx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A server that closes without close_notify has closed the connection (SMTP frames its own
    // data, so no truncation goes unnoticed).
    SSL_CTX_set_options(FCtx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    FSsl = SSL_new(FCtx);
    if (FSsl == nullptr || SSL_set_fd(FSsl, FFd) != 1)
        ThrowTlsError("set-up");
    if (QHostAddress(AServerName).isNull() && !AServerName.isEmpty())
        SSL_set_tlsext_host_name(FSsl, AServerName.toUtf8().constData());
    if (FVerifyPeer)
        SetUpVerification(AServerName);
    const qint64 deadline = MonotonicMs() + ATimeoutMs;
    const SigPipeGuard guard;
    for (;;) {
        const int rc = SSL_connect(FSsl);
        if (rc == 1)
            return;
        const int error = SSL_get_error(FSsl, rc);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            Wait(error == SSL_ERROR_WANT_WRITE, deadline, "negotiating TLS");
            continue;
        }
        if (FVerifyPeer && SSL_get_verify_result(FSsl) != X509_V_OK)
            ThrowHandshakeError(AServerName);
        if (error == SSL_ERROR_ZERO_RETURN || (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0))
            throw ESmtpConnectionClosed();
        ThrowTlsError("handshake");
    }
}

void TlsSocket::SetUpVerification(const QString& AServerName) {
    if (SSL_CTX_set_default_verify_paths(FCtx) != 1)
        ThrowTlsError("loading the system's trusted certificates");
    if (!FCAFile.isEmpty() &&
        SSL_CTX_load_verify_locations(FCtx, FCAFile.toLocal8Bit().constData(), nullptr) != 1) {
        const unsigned long code = ERR_get_error();
        ERR_clear_error();
        char text[256] = "unknown error";
        if (code != 0)
            ERR_error_string_n(code, text, sizeof text);
        throw ESmtpCertificateError(
            QStringLiteral("The CA file \"%1\" (setting \"EMLMARK\"/\"%2\") cannot be read as PEM "
                           "certificates: %3")
                .arg(FCAFile, SmtpCAFileSettingsKey(), QLatin1String(text)));
    }
    SSL_set_verify(FSsl, SSL_VERIFY_PEER, nullptr);
    X509_VERIFY_PARAM* param = SSL_get0_param(FSsl);
    const QHostAddress address(AServerName);
    const QByteArray name = AServerName.toUtf8();
    if (!address.isNull()) {
        const QByteArray ip = address.toString().toLatin1();
        if (X509_VERIFY_PARAM_set1_ip_asc(param, ip.constData()) != 1)
            ThrowTlsError("set-up");
    } else {
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (X509_VERIFY_PARAM_set1_host(param, name.constData(), size_t(name.size())) != 1)
            ThrowTlsError("set-up");
    }
}

void TlsSocket::ThrowHandshakeError(const QString& AServerName) {
    const long result = SSL_get_verify_result(FSsl);
    ERR_clear_error();
    throw ESmtpCertificateError(
        QStringLiteral("The TLS certificate of the server %1 was not accepted: %2. A server with a "
                       "certificate of a private or self-signed CA needs that certificate as a PEM file "
                       "named in the setting \"EMLMARK\"/\"%3\"%4.")
            .arg(AServerName, QLatin1String(X509_verify_cert_error_string(result)), SmtpCAFileSettingsKey(),
                 FCAFile.isEmpty() ? QString() : QStringLiteral(" (now \"%1\")").arg(FCAFile)));
}

void TlsSocket::Write(const QByteArray& AData, int ATimeoutMs) {
    if (!IsOpen())
        throw ESmtpConnectionClosed();
    const qint64 deadline = MonotonicMs() + ATimeoutMs;
    // Plain writes use MSG_NOSIGNAL; OpenSSL writes with write(2).
    std::optional<SigPipeGuard> guard;
    if (FSsl != nullptr)
        guard.emplace();
    qsizetype done = 0;
    while (done < AData.size()) {
        if (FCancel->IsFired())
            throw ESmtpCancelled();
        const char* data = AData.constData() + done;
        const int chunk = int(qMin<qsizetype>(AData.size() - done, 1 << 30));
        if (FSsl != nullptr) {
            ERR_clear_error();
            const int rc = SSL_write(FSsl, data, chunk);
            if (rc > 0) {
                done += rc;
                continue;
            }
            const int error = SSL_get_error(FSsl, rc);
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
                Wait(error == SSL_ERROR_WANT_WRITE, deadline, "sending");
                continue;
            }
            if (error == SSL_ERROR_ZERO_RETURN || error == SSL_ERROR_SYSCALL)
                throw ESmtpConnectionClosed();
            ThrowTlsError("write");
        }
        const ssize_t rc = ::send(FFd, data, size_t(chunk), MSG_NOSIGNAL);
        if (rc >= 0) {
            done += rc;
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            Wait(true, deadline, "sending");
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EPIPE || errno == ECONNRESET)
            throw ESmtpConnectionClosed();
        throw ESmtpError(QStringLiteral("Sending failed: %1").arg(ErrnoText(errno)));
    }
}

QByteArray TlsSocket::Read(int ATimeoutMs) {
    return ReadBy(MonotonicMs() + ATimeoutMs);
}

QByteArray TlsSocket::ReadBy(qint64 ADeadline) {
    if (!IsOpen())
        throw ESmtpConnectionClosed();
    const qint64 deadline = ADeadline;
    char buffer[16384];
    for (;;) {
        if (FCancel->IsFired())
            throw ESmtpCancelled();
        if (FSsl != nullptr) {
            ERR_clear_error();
            const int rc = SSL_read(FSsl, buffer, sizeof buffer);
            if (rc > 0)
                return QByteArray(buffer, rc);
            const int error = SSL_get_error(FSsl, rc);
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
                Wait(error == SSL_ERROR_WANT_WRITE, deadline, "waiting for the server's reply");
                continue;
            }
            if (error == SSL_ERROR_ZERO_RETURN || error == SSL_ERROR_SYSCALL)
                throw ESmtpConnectionClosed();
            ThrowTlsError("read");
        }
        // A reply is awaited: wait before reading rather than after a read that finds nothing.
        Wait(false, deadline, "waiting for the server's reply");
        const ssize_t rc = ::recv(FFd, buffer, sizeof buffer, 0);
        if (rc > 0)
            return QByteArray(buffer, qsizetype(rc));
        if (rc == 0)
            throw ESmtpConnectionClosed();
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            continue;
        if (errno == ECONNRESET)
            throw ESmtpConnectionClosed();
        throw ESmtpError(QStringLiteral("Receiving failed: %1").arg(ErrnoText(errno)));
    }
}

bool TlsSocket::IsAlive() {
    if (FFd < 0)
        return false;
    if (FSsl == nullptr || SSL_pending(FSsl) == 0) {
        pollfd fd{FFd, POLLIN, 0};
        if (poll(&fd, 1, 0) <= 0)
            return true;
    }
    char buffer[512];
    ssize_t rc = 0;
    bool idle = false;
    if (FSsl != nullptr) {
        // Session tickets and other TLS records without data leave SSL_read wanting more.
        ERR_clear_error();
        const SigPipeGuard guard;
        rc = SSL_read(FSsl, buffer, sizeof buffer);
        const int error = rc > 0 ? SSL_ERROR_NONE : SSL_get_error(FSsl, int(rc));
        idle = error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
        ERR_clear_error();
    } else {
        rc = ::recv(FFd, buffer, sizeof buffer, 0);
        idle = rc < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
    if (idle)
        return true;
    if (rc > 0)
        qCInfo(lcTransports) << "the idle connection got unsolicited data; it is closed:"
                             << QByteArray(buffer, int(qMin<ssize_t>(rc, 120))).trimmed();
    else
        qCInfo(lcTransports) << "the server closed the idle connection";
    Close();
    return false;
}

void TlsSocket::Close() {
    if (FSsl != nullptr) {
        if (FFd >= 0) {
            const SigPipeGuard guard;
            SSL_shutdown(FSsl); // non-blocking socket: sends close-notify, does not wait
        }
        SSL_free(FSsl);
        FSsl = nullptr;
        ERR_clear_error();
    }
    if (FCtx != nullptr) {
        SSL_CTX_free(FCtx);
        FCtx = nullptr;
    }
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
    FPeerLoopback = false;
}

} // namespace emailmarketing
