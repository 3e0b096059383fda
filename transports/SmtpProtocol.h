#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace emailmarketing {

// One SMTP reply: its code and the text of its lines (without code and separator).
struct SmtpReply {
    int Code = 0;
    QList<QByteArray> Lines;

    // The lines joined by blanks, as the failure text of a command.
    QString Text() const;
    bool IsSuccess() const { return Code >= 200 && Code < 400; }
};

// Splits the bytes a server sends into replies (RFC 5321 4.2: "250-..." continues, "250 ..."
// ends). Throws ESmtpError on a line that is no reply line and on a reply of more than 1 000 lines
// or 64 KB (a server that never ends its reply).
class SmtpReplyParser {
public:
    void Feed(const QByteArray& AData);
    // Takes the next complete reply; False when none is complete yet.
    bool TakeReply(SmtpReply& VReply);

private:
    QByteArray FBuffer;
    qsizetype FScanned = 0;
    SmtpReply FPending;
    qsizetype FPendingBytes = 0; // bytes of FPending's lines, line breaks included
    QList<SmtpReply> FReady;
};

// What a server offers in its EHLO reply.
struct SmtpCapabilities {
    bool Pipelining = false;
    bool StartTls = false;
    QStringList AuthMechanisms; // upper case

    static SmtpCapabilities FromEhloReply(const SmtpReply& AReply);
};

// The DATA block of a message: line ends made CRLF, lines starting with "." doubled (RFC 5321
// 4.5.2), and the terminating ".\r\n" appended.
QByteArray SmtpDataBlock(const QByteArray& AMessage);

// "<address>" for MAIL FROM and RCPT TO; throws ESmtpError when the address holds a line break,
// "<" or ">" (it would forge a command).
QByteArray SmtpPath(const QString& AAddress);

} // namespace emailmarketing
