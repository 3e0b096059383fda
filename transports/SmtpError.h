#pragma once

#include "QVException.h"

namespace emailmarketing {

// A failure of the mail platform's network layer (socket, TLS, DNS, time-out, protocol).
class ESmtpError : public hostapi::EQVException {
public:
    using EQVException::EQVException;
};

// The server answered a command with a failure reply; the message is the reply's text.
class ESmtpReplyError : public ESmtpError {
public:
    ESmtpReplyError(int ACode, const QString& AText) : ESmtpError(AText), FCode(ACode) {}
    int Code() const { return FCode; }

private:
    int FCode;
};

// The other side closed the connection.
class ESmtpConnectionClosed : public ESmtpError {
public:
    ESmtpConnectionClosed() : ESmtpError(QStringLiteral("connection aborted by server")) {}
};

// A reused connection that the server had closed while it was idle (end of stream, close_notify,
// a "421 ... timeout"); no command of the failed transaction was accepted.
class ESmtpStaleConnection : public ESmtpError {
public:
    using ESmtpError::ESmtpError;
};

// No connection could be opened to any address of a host.
class ESmtpConnectError : public ESmtpError {
public:
    using ESmtpError::ESmtpError;
};

// The server's TLS certificate failed verification (or the CA file could not be read).
class ESmtpCertificateError : public ESmtpError {
public:
    using ESmtpError::ESmtpError;
};

// The call ended because its cancel signal fired.
class ESmtpCancelled : public ESmtpError {
public:
    ESmtpCancelled() : ESmtpError(QStringLiteral("The connection was cancelled.")) {}
};

} // namespace emailmarketing
