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
// ESmtpConnectionClosed, ESmtpCancelled, ESmtpCertificateError). Certificates are verified only
// when SetVerifyPeer asks for it (else TLS is opportunistic).
class TlsSocket {
public:
    explicit TlsSocket(std::shared_ptr<CancelSignal> ACancel);
    ~TlsSocket();
    TlsSocket(const TlsSocket&) = delete;
    TlsSocket& operator=(const TlsSocket&) = delete;

    // Tries every address of AHost (a name or an address literal) until one connects.
    void Connect(const QString& AHost, quint16 APort, int ATimeoutMs);
    // Whether StartTls verifies the server's certificate: against the system's trust store plus
    // CAFile (PEM, may hold a self-signed server certificate), and against the name or address.
    bool VerifyPeer() const { return FVerifyPeer; }
    void SetVerifyPeer(bool Value) { FVerifyPeer = Value; }
    QString CAFile() const { return FCAFile; }
    void SetCAFile(const QString& Value) { FCAFile = Value; }

    // TLS handshake on the open connection; AServerName is sent as SNI unless it is an address,
    // and is the name the certificate must hold when VerifyPeer.
    void StartTls(const QString& AServerName, int ATimeoutMs);
    void Write(const QByteArray& AData, int ATimeoutMs);
    // Waits for data and answers what arrived (at least one byte).
    QByteArray Read(int ATimeoutMs);
    // The same with a deadline on the monotonic clock (MonotonicMs).
    QByteArray ReadBy(qint64 ADeadline);
    // Closes at once (TLS close-notify sent when possible, no wait).
    void Close();

    bool IsOpen() const { return FFd >= 0; }
    // Whether the connection is open and idle: reads without waiting what the server sent since
    // its last reply. End of stream, a TLS close_notify or any unsolicited byte (an idle server's
    // "421 ... timeout") closes the socket and answers False.
    bool IsAlive();
    bool IsEncrypted() const { return FSsl != nullptr; }
    bool PeerIsLoopback() const { return FPeerLoopback; }
    // "[a.b.c.d]" or "[IPv6:...]" of this side of the connection.
    QString LocalAddressLiteral() const { return FLocalLiteral; }

private:
    // Waits until the socket is readable (AWrite false) or writable; throws on cancel or time-out.
    void Wait(bool AWrite, qint64 ADeadline, const char* AWhat);
    [[noreturn]] void ThrowTlsError(const char* AWhat);
    void SetUpVerification(const QString& AServerName);
    [[noreturn]] void ThrowHandshakeError(const QString& AServerName);

    std::shared_ptr<CancelSignal> FCancel;
    int FFd = -1;
    SSL_CTX* FCtx = nullptr;
    SSL* FSsl = nullptr;
    bool FPeerLoopback = false;
    bool FVerifyPeer = false;
    QString FCAFile;
    QString FLocalLiteral;
};

// The settings key (section "EMLMARK") of the CA file that certificate verification adds to the
// system's trust store.
QString SmtpCAFileSettingsKey();

} // namespace emailmarketing
