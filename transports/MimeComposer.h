#pragma once

#include "MailAddress.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace emailmarketing {

// Priority of a message, in the order of the stored ordinals (normal = 2).
enum class MailPriority : int { Highest = 0, High = 1, Normal = 2, Low = 3, Lowest = 4 };

// A file attached to a message: the name shown in the message and the local file sent.
struct MailAttachment {
    QString FileName;
    QString LocalFile;
};

// What a message consists of. Bcc addresses are no part of it: they travel in the envelope only.
struct MailMessage {
    MailAddress From;
    QList<MailAddress> To;
    QList<MailAddress> Cc;
    QList<MailAddress> ReplyTo;
    QString Subject;
    // Without angle brackets ("guid@domain"); empty: no Message-ID header.
    QString MessageId;
    MailPriority Priority = MailPriority::Normal;
    // Address that a read receipt goes to (Disposition-Notification-To); empty: none asked.
    QString DispositionNotificationTo;
    QString Mailer;               // X-Mailer
    QString AutoResponseSuppress; // X-Auto-Response-Suppress; empty: no header
    QDateTime Date;               // invalid: now
    QString PlainBody;
    QString HtmlBody;
    // Files the HTML refers to as "cid:" + file name.
    QStringList InlineFiles;
    QList<MailAttachment> Attachments;
};

// Builds the RFC 5322 text of a message with GMime, lines ending in CRLF:
//   [multipart/mixed: body, attachments...]
//   body = text/plain | multipart/alternative(text/plain, html)
//   html = text/html | multipart/related(text/html, inline files...)
// Inline files carry Content-ID = their file name; without an HTML body they are attached.
// Header texts are encoded per RFC 2047, file names per RFC 2231; line breaks in header values
// become blanks, NUL characters are dropped everywhere, and the domains of the addresses and of
// the Message-ID go out in ASCII form (IDNA). Throws EQVException naming the file when an attachment or inline file cannot be
// read. GMime must be initialised (hostapi::HostLibraries::Initialize).
class MimeComposer {
public:
    static QByteArray Compose(const MailMessage& AMessage);
};

} // namespace emailmarketing
