#pragma once

#include "CancelSignal.h"
#include "SaslMechanism.h"
#include "SmtpProtocol.h"
#include "TlsSocket.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace emailmarketing {

// How the client uses TLS (ordinals as stored: no TLS 0, implicit 1, required 2, explicit 3).
enum class TIdUseTLS : int {
    utNoTLSSupport = 0,
    utUseImplicitTLS = 1,
    utUseRequireTLS = 2,
    utUseExplicitTLS = 3
};

// Sender and recipients of one SMTP transaction. A refused required recipient fails the
// message; a refused optional one is reported in SmtpSendResult and the message goes on.
struct SmtpEnvelope {
    QString From;
    QStringList Recipients;
    QStringList OptionalRecipients;
};

struct SmtpRefusedRecipient {
    QString Address;
    SmtpReply Reply;
};

struct SmtpSendResult {
    QList<SmtpRefusedRecipient> RefusedOptional;
};

// A blocking SMTP client (RFC 5321) for one thread: greeting, EHLO with HELO fallback, implicit
// TLS or STARTTLS, AUTH through SASL mechanism objects, PIPELINING when offered, dot-stuffed DATA,
// RSET after a failed transaction. Each command group goes out in one write. Every reply has one
// deadline (ReadTimeout; DataEndTimeout for the answer to the end of DATA), however slowly it
// arrives. Every failure throws an ESmtpError: ESmtpReplyError with the reply's code and text,
// ESmtpConnectionClosed when the server closed, ESmtpStaleConnection when a reused connection
// turned out closed by the server before the transaction got any answer, ESmtpCancelled when the
// cancel signal fired. LastReply() holds the last reply.
class TVRNSMTP {
public:
    explicit TVRNSMTP(std::shared_ptr<CancelSignal> ACancel);
    ~TVRNSMTP();
    TVRNSMTP(const TVRNSMTP&) = delete;
    TVRNSMTP& operator=(const TVRNSMTP&) = delete;

    QString Host() const { return FHost; }
    void SetHost(const QString& Value) { FHost = Value; }
    quint16 Port() const { return FPort; }
    void SetPort(quint16 Value) { FPort = Value; }
    TIdUseTLS UseTLS() const { return FUseTLS; }
    void SetUseTLS(TIdUseTLS Value) { FUseTLS = Value; }
    int ConnectTimeout() const { return FConnectTimeout; }
    void SetConnectTimeout(int Value) { FConnectTimeout = Value; }
    // Milliseconds for a whole reply (and for sending a command group).
    int ReadTimeout() const { return FReadTimeout; }
    void SetReadTimeout(int Value) { FReadTimeout = Value; }
    // Milliseconds for sending the message and the reply to the end of DATA (RFC 5321 4.5.3.2).
    int DataEndTimeout() const { return FDataEndTimeout; }
    void SetDataEndTimeout(int Value) { FDataEndTimeout = Value; }
    // Whether TLS verifies the server's certificate (system trust store plus CAFile, and Host).
    bool VerifyCertificate() const { return FSocket.VerifyPeer(); }
    void SetVerifyCertificate(bool Value) { FSocket.SetVerifyPeer(Value); }
    QString CAFile() const { return FSocket.CAFile(); }
    void SetCAFile(const QString& Value) { FSocket.SetCAFile(Value); }
    // Name given in EHLO/HELO; empty: the machine's fully qualified name, else an address literal.
    QString HeloName() const { return FHeloName; }
    void SetHeloName(const QString& Value) { FHeloName = Value; }
    // The mechanisms Authenticate may use, in the order of preference.
    std::vector<std::shared_ptr<SaslMechanism>>& SASLMechanisms() { return FSASLMechanisms; }

    // Opens the connection: TCP, implicit TLS, greeting, EHLO (HELO when refused), STARTTLS as
    // UseTLS asks (explicit: when offered; required: refused when not offered).
    void Connect();
    // Authenticates with the first mechanism of SASLMechanisms that the server offers. False when
    // none is offered or the server refuses (LastReply holds its answer).
    bool Authenticate();
    // One transaction; throws on failure after resetting the transaction (RSET). On a connection
    // that already carried a transaction, a server that closed it meanwhile (found before the
    // transaction, or by a write error, end of stream or 421 before its first reply) gives
    // ESmtpStaleConnection with the connection closed: nothing of the message was accepted, and
    // the caller connects anew and sends it once more.
    SmtpSendResult Send(const SmtpEnvelope& AEnvelope, const QByteArray& AMessage);
    // QUIT when connected (its failure ignored), then closes.
    void Disconnect();
    // Closes without QUIT.
    void Abort();

    // Whether the connection is open and idle (what the server sent meanwhile is read: an end of
    // stream, close_notify or unsolicited reply closes it).
    bool Connected() { return FSocket.IsAlive(); }
    bool IsEncrypted() const { return FSocket.IsEncrypted(); }
    bool PeerIsLoopback() const { return FSocket.PeerIsLoopback(); }
    // Whether the last Connect failed at STARTTLS: refused (other than 421) or a failed handshake.
    bool StartTlsFailed() const { return FStartTlsFailed; }
    const SmtpCapabilities& Capabilities() const { return FCapabilities; }
    const SmtpReply& LastReply() const { return FLastReply; }

private:
    void Write(const QByteArray& ACommands, int ATimeoutMs);
    void Write(const QByteArray& ACommands) { Write(ACommands, FReadTimeout); }
    // Reads one whole reply within ATimeoutMs (ReadTimeout when negative).
    SmtpReply ReadReply(int ATimeoutMs = -1);
    // Reads a reply and throws ESmtpReplyError unless its code is AExpected (a class: 2 = 2xx).
    SmtpReply Expect(int AExpectedClass);
    void Ehlo();
    QString EffectiveHeloName() const;
    // Sends RSET after a failed transaction; a failure of it is ignored.
    void ResetTransaction();

    std::shared_ptr<CancelSignal> FCancel;
    TlsSocket FSocket;
    SmtpReplyParser FParser;
    SmtpReply FLastReply;
    SmtpCapabilities FCapabilities;
    std::vector<std::shared_ptr<SaslMechanism>> FSASLMechanisms;
    QString FHost;
    quint16 FPort = 25;
    TIdUseTLS FUseTLS = TIdUseTLS::utUseExplicitTLS;
    int FConnectTimeout = 60000;
    int FReadTimeout = 60000;
    int FDataEndTimeout = 10 * 60000;
    QString FHeloName;
    // Transactions that got an answer on this connection.
    int FTransactions = 0;
    bool FStartTlsFailed = false;
};

} // namespace emailmarketing
