#pragma once

#include "MailAddress.h"

#include <QByteArray>
#include <QDateTime>
#include <QFlags>
#include <QList>
#include <QPair>
#include <QString>

namespace emailmarketing {

// One part of a message in the flat part list of MimeMessage. A text part holds text, or, with a
// "multipart/..." content type, is the container of the parts whose ParentPart names it. An
// attachment holds a file: the content of StoredPathName, or Content when no file is named.
struct MimeMessagePart {
    enum class Kind { Text, Attachment };

    Kind PartKind = Kind::Text;
    QString ContentType;        // "text/plain", "multipart/related", "image/png", ...
    QString CharSet;            // text parts; the text is written in it ("utf-8" when empty)
    QString Body;               // text parts
    QString ContentDisposition; // "inline", "attachment" or empty
    QString FileName;           // the file name the message shows
    QString ContentID;          // as in the header, in angle brackets
    QString StoredPathName;     // attachments: the local file with the content
    QByteArray Content;         // attachments read from a message (no file)
    int ParentPart = -1;        // index of the container part; -1: the message itself

    bool IsContainer() const;

    static MimeMessagePart Text(const QString& AContentType, const QString& ABody, const QString& ACharSet,
                                int AParentPart);
    static MimeMessagePart Container(const QString& AContentType, int AParentPart);
};

using MimeMessageParts = QList<MimeMessagePart>;

enum class MessageFlag { Seen = 0x1 };
Q_DECLARE_FLAGS(MessageFlags, MessageFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(MessageFlags)

// A mail message as a mailbox client handles it: the header fields, the parts in a flat list with
// parent indexes, the mailbox's id and flags. It is written as MIME and read from MIME with GMime
// (hostapi::HostLibraries::Initialize must have run).
//
// Writing: the parts whose ParentPart is -1 form the body; one such part alone is the body itself
// unless ContentType names a multipart type, otherwise they are put into a multipart of
// ContentType ("multipart/mixed" when ContentType is no multipart type). Reading gives the same
// list back: a multipart body becomes ContentType, its descendants the parts; text is converted to
// Unicode (CharSet "utf-8"), attachment content is kept in Content.
class MimeMessage {
public:
    MimeMessage();
    virtual ~MimeMessage();
    MimeMessage(const MimeMessage&) = delete;
    MimeMessage& operator=(const MimeMessage&) = delete;

    MailAddress From;
    MailAddress Sender;
    QList<MailAddress> ReplyTo;
    QList<MailAddress> Recipients; // To
    QList<MailAddress> CCList;
    QList<MailAddress> BccList; // written only with GenerateBccListInHeader
    QString Subject;
    QString MsgId;  // as in the header, in angle brackets; empty: none
    QDateTime Date; // invalid: no Date header
    // Further header fields in their order (name, value), e.g. the headers a mailbox reports.
    QList<QPair<QString, QString>> ExtraHeaders;
    QString ContentType; // of the message as a whole; see above
    MimeMessageParts MessageParts;

    // Mailbox state, not part of the MIME text.
    QString UID;
    MessageFlags Flags;

    // A Bcc header is written (for a message that is stored or handed to a service that delivers
    // to the Bcc recipients itself, rather than sent over SMTP).
    bool GenerateBccListInHeader = false;

    // Empties the header fields, the parts, UID and Flags (not the options).
    void Clear();

    // The message as MIME text (CRLF line ends). EQVException when a part's file cannot be read,
    // a part names no container as its parent, or a text cannot be written in its charset.
    QByteArray SaveToBytes();
    // Replaces the message by the MIME text; only the header fields with AHeadersOnly.
    // EQVException when the text holds no message; the message is then empty.
    void LoadFromBytes(const QByteArray& AMime, bool AHeadersOnly);

protected:
    // Called before the header fields are written.
    virtual void GenerateHeader();
};

} // namespace emailmarketing
