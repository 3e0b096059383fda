#pragma once

#include "CancelSignal.h"

#include <QByteArray>
#include <QString>

#include <memory>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace emailmarketing {

// A blocking TCP connection with optional TLS (OpenSSL) for one thread. Every wait has a deadline
// and returns at once when the cancel signal fires (ESmtpCancelled). Nagle's algorithm is off:
// callers write each command group in one Write. Failures throw ESmtpError (ESmtpConnectError,
// ESmtpConnectionClosed, ESmtpCancelled). Certificates are not verified (opportunistic TLS).
class TlsSocket {
public:
    explicit TlsSocket(std::shared_ptr<CancelSignal> ACancel);
    ~TlsSocket();
    TlsSocket(const TlsSocket&) = delete;
    TlsSocket& operator=(const TlsSocket&) = delete;

    // Tries every address of AHost (a name or an address literal) until one connects.
    void Connect(const QString& AHost, quint16 APort, int ATimeoutMs);
    // TLS handshake on the open connection; AServerName is sent as SNI unless it is an address.
    void StartTls(const QString& AServerName, int ATimeoutMs);
    void Write(const QByteArray& AData, int ATimeoutMs);
    // Waits for data and answers what arrived (at least one byte).
    QByteArray Read(int ATimeoutMs);
    // Closes at once (TLS close-notify sent when possible, no wait).
    void Close();

    bool IsOpen() const { return FFd >= 0; }
    // Whether the connection is open and the other side has not closed it (checked without
    // waiting); closes the socket when it finds it closed.
    bool IsAlive();
    bool IsEncrypted() const { return FSsl != nullptr; }
    bool PeerIsLoopback() const { return FPeerLoopback; }
    // "[a.b.c.d]" or "[IPv6:...]" of this side of the connection.
    QString LocalAddressLiteral() const { return FLocalLiteral; }

private:
    // Waits until the socket is readable (AWrite false) or writable; throws on cancel or time-out.
    void Wait(bool AWrite, qint64 ADeadline, const char* AWhat);
    [[noreturn]] void ThrowTlsError(const char* AWhat);

    std::shared_ptr<CancelSignal> FCancel;
    int FFd = -1;
    SSL_CTX* FCtx = nullptr;
    SSL* FSsl = nullptr;
    bool FPeerLoopback = false;
    QString FLocalLiteral;
};

} // namespace emailmarketing
