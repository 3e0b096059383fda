#include "VRNSMTP.h"

#include "SmtpError.h"

#include <optional>

#include <unistd.h>

namespace emailmarketing {

namespace {

// The longest command line, CRLF included (RFC 5321 4.5.3.1.4).
constexpr qsizetype MaxCommandLine = 512;

} // namespace

TVRNSMTP::TVRNSMTP(std::shared_ptr<CancelSignal> ACancel) : FCancel(ACancel), FSocket(std::move(ACancel)) {}

TVRNSMTP::~TVRNSMTP() = default;

void TVRNSMTP::Write(const QByteArray& ACommands, int ATimeoutMs) {
    FSocket.Write(ACommands, ATimeoutMs);
}

SmtpReply TVRNSMTP::ReadReply(int ATimeoutMs) {
    // One deadline for the whole reply: a server that trickles it byte by byte gains no time.
    const qint64 deadline = MonotonicMs() + (ATimeoutMs < 0 ? FReadTimeout : ATimeoutMs);
    SmtpReply reply;
    while (!FParser.TakeReply(reply))
        FParser.Feed(FSocket.ReadBy(deadline));
    FLastReply = reply;
    return reply;
}

SmtpReply TVRNSMTP::Expect(int AExpectedClass) {
    SmtpReply reply = ReadReply();
    if (reply.Code / 100 != AExpectedClass)
        throw ESmtpReplyError(reply.Code, reply.Text());
    return reply;
}

QString TVRNSMTP::EffectiveHeloName() const {
    if (!FHeloName.isEmpty())
        return FHeloName;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0) {
        const QString host = QString::fromLocal8Bit(name);
        if (host.contains(QLatin1Char('.')) && !host.endsWith(QLatin1Char('.')))
            return host;
    }
    return FSocket.LocalAddressLiteral();
}

void TVRNSMTP::Ehlo() {
    const QByteArray name = EffectiveHeloName().toUtf8();
    Write("EHLO " + name + "\r\n");
    SmtpReply reply = ReadReply();
    if (reply.Code / 100 == 2) {
        FCapabilities = SmtpCapabilities::FromEhloReply(reply);
        return;
    }
    if (reply.Code == 421)
        throw ESmtpReplyError(reply.Code, reply.Text());
    Write("HELO " + name + "\r\n");
    Expect(2);
    FCapabilities = SmtpCapabilities();
}

void TVRNSMTP::Connect() {
    FParser = SmtpReplyParser();
    FLastReply = SmtpReply();
    FCapabilities = SmtpCapabilities();
    FTransactions = 0;
    FStartTlsFailed = false;
    try {
        FSocket.Connect(FHost, FPort, FConnectTimeout);
        if (FUseTLS == TIdUseTLS::utUseImplicitTLS)
            FSocket.StartTls(FHost, FConnectTimeout);
        Expect(2);
        Ehlo();
        const bool wantStartTls =
            FUseTLS == TIdUseTLS::utUseExplicitTLS || FUseTLS == TIdUseTLS::utUseRequireTLS;
        if (wantStartTls && !FSocket.IsEncrypted()) {
            if (FCapabilities.StartTls) {
                Write("STARTTLS\r\n");
                try {
                    Expect(2);
                    FSocket.StartTls(FHost, FConnectTimeout);
                } catch (const ESmtpCancelled&) {
                    throw;
                } catch (const ESmtpReplyError& e) {
                    FStartTlsFailed = e.Code() != 421;
                    throw;
                } catch (const ESmtpError&) {
                    FStartTlsFailed = true;
                    throw;
                }
                FParser = SmtpReplyParser();
                Ehlo();
            } else if (FUseTLS == TIdUseTLS::utUseRequireTLS) {
                throw ESmtpError(
                    QStringLiteral("The SMTP server %1 does not offer STARTTLS, which the TLS mode requires.")
                        .arg(FHost));
            }
        }
    } catch (...) {
        FSocket.Close();
        throw;
    }
}

bool TVRNSMTP::Authenticate() {
    for (const std::shared_ptr<SaslMechanism>& mechanism : FSASLMechanisms) {
        const QString name = mechanism->ServiceName();
        if (!FCapabilities.AuthMechanisms.contains(name.toUpper()))
            continue;
        const QString protocol = QStringLiteral("smtp");
        QByteArray initial;
        // An initial response too long for the command line follows the server's empty 334 on a
        // line of its own (RFC 4954 4).
        QByteArray deferredInitial;
        if (mechanism->TryStartAuthenticate(FHost, protocol, initial)) {
            const QByteArray encoded = initial.isEmpty() ? QByteArray("=") : initial.toBase64();
            const QByteArray command = "AUTH " + name.toLatin1() + ' ' + encoded + "\r\n";
            if (command.size() <= MaxCommandLine) {
                Write(command);
            } else {
                Write("AUTH " + name.toLatin1() + "\r\n");
                deferredInitial = encoded;
            }
        } else {
            Write("AUTH " + name.toLatin1() + "\r\n");
        }
        SmtpReply reply = ReadReply();
        if (reply.Code == 334 && !deferredInitial.isEmpty()) {
            Write(deferredInitial + "\r\n");
            reply = ReadReply();
        }
        bool started = !initial.isEmpty();
        while (reply.Code == 334) {
            const QByteArray challenge =
                QByteArray::fromBase64(reply.Lines.isEmpty() ? QByteArray() : reply.Lines.first().trimmed());
            const QByteArray response = started ? mechanism->ContinueAuthenticate(challenge, FHost, protocol)
                                                : mechanism->StartAuthenticate(challenge, FHost, protocol);
            started = true;
            Write(response.toBase64() + "\r\n");
            reply = ReadReply();
        }
        mechanism->FinishAuthenticate();
        return reply.Code == 235;
    }
    return false;
}

void TVRNSMTP::ResetTransaction() {
    if (!FSocket.IsOpen())
        return;
    try {
        Write("RSET\r\n");
        ReadReply();
    } catch (const ESmtpError&) {
        FSocket.Close(); // the connection is unusable; the next send reconnects
    }
}

SmtpSendResult TVRNSMTP::Send(const SmtpEnvelope& AEnvelope, const QByteArray& AMessage) {
    if (!FSocket.IsOpen())
        throw ESmtpConnectionClosed();
    // Whatever an idle server sent since its last reply belongs to no command of this transaction.
    if (!FSocket.IsAlive())
        throw ESmtpStaleConnection(QStringLiteral("The server closed the idle connection."));
    const bool reused = FTransactions > 0;
    bool sent = false;     // the first command group is out
    bool answered = false; // its first reply is in
    SmtpSendResult result;
    const QByteArray data = SmtpDataBlock(AMessage);
    QStringList all = AEnvelope.Recipients;
    all.append(AEnvelope.OptionalRecipients);
    if (all.isEmpty())
        throw ESmtpError(QStringLiteral("The message has no recipient."));
    QByteArray commands = "MAIL FROM:" + SmtpPath(AEnvelope.From) + "\r\n";
    for (const QString& recipient : all)
        commands += "RCPT TO:" + SmtpPath(recipient) + "\r\n";
    // DATA joins the group only when no refusal can leave a mix of accepted and refused recipients.
    const bool pipelineData = FCapabilities.Pipelining && all.size() == 1;
    if (pipelineData)
        commands += "DATA\r\n";
    std::optional<ESmtpReplyError> failure;
    try {
        if (FCapabilities.Pipelining) {
            Write(commands);
        } else {
            Write("MAIL FROM:" + SmtpPath(AEnvelope.From) + "\r\n");
        }
        sent = true;
        SmtpReply reply = ReadReply();
        answered = true;
        ++FTransactions;
        if (reused && reply.Code == 421) {
            FSocket.Close();
            throw ESmtpStaleConnection(
                QStringLiteral("The server closed the idle connection: %1").arg(reply.Text()));
        }
        if (reply.Code / 100 != 2)
            failure.emplace(reply.Code, reply.Text());
        int accepted = 0;
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (!FCapabilities.Pipelining) {
                if (failure)
                    break;
                Write("RCPT TO:" + SmtpPath(all[i]) + "\r\n");
            }
            reply = ReadReply();
            if (reply.Code / 100 == 2) {
                ++accepted;
            } else if (i >= AEnvelope.Recipients.size()) {
                result.RefusedOptional.append({all[i], reply});
            } else if (!failure) {
                failure.emplace(reply.Code, reply.Text());
            }
        }
        if (!failure && accepted == 0 && !result.RefusedOptional.isEmpty())
            failure.emplace(result.RefusedOptional.first().Reply.Code,
                            result.RefusedOptional.first().Reply.Text());
        if (pipelineData) {
            reply = ReadReply();
            if (reply.Code == 354 && failure) {
                // A refused sender or recipient with DATA accepted: end the empty transaction.
                Write(".\r\n");
                ReadReply();
            } else if (reply.Code != 354 && !failure) {
                failure.emplace(reply.Code, reply.Text());
            }
        } else if (!failure) {
            Write("DATA\r\n");
            reply = ReadReply();
            if (reply.Code != 354)
                failure.emplace(reply.Code, reply.Text());
        }
        if (failure)
            throw *failure;
        Write(data);
        reply = ReadReply(FDataEndTimeout);
        if (reply.Code / 100 != 2)
            throw ESmtpReplyError(reply.Code, reply.Text());
    } catch (const ESmtpReplyError&) {
        ResetTransaction();
        throw;
    } catch (const ESmtpCancelled&) {
        FSocket.Close();
        throw;
    } catch (const ESmtpStaleConnection&) {
        throw;
    } catch (const ESmtpError& e) {
        FSocket.Close(); // the stream's state is unknown: never reuse it
        // Nothing of this transaction was answered: the server had given up the idle connection.
        if (reused && !answered && (!sent || dynamic_cast<const ESmtpConnectionClosed*>(&e) != nullptr))
            throw ESmtpStaleConnection(
                QStringLiteral("The server closed the idle connection: %1").arg(e.Message()));
        // A server that refused and then closed (a 421 ends the session while pipelined commands
        // are still unanswered): the refusal is the result, not the closed connection.
        if (failure)
            throw *failure;
        throw;
    }
    return result;
}

void TVRNSMTP::Disconnect() {
    if (FSocket.IsOpen() && !FCancel->IsFired()) {
        try {
            Write("QUIT\r\n");
            ReadReply();
        } catch (const ESmtpError&) {
            // The connection ends either way.
        }
    }
    FSocket.Close();
}

void TVRNSMTP::Abort() {
    FSocket.Close();
}

} // namespace emailmarketing
