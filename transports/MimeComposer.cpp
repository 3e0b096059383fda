#include "GMimeSupport.h"

#include "MimeComposer.h"

#include "QVException.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

#include <algorithm>
#include <limits>

#include <memory>

namespace emailmarketing {

namespace {

using gmime::GPtr;
using gmime::HeaderValue;
using gmime::NewTextPart;

void AddMailboxes(GMimeMessage* AMessage, GMimeAddressType AType, const QList<MailAddress>& AAddresses) {
    gmime::AddMailboxes(g_mime_message_get_addresses(AMessage, AType), AAddresses);
}

bool IsAscii(const QString& AText) {
    return std::all_of(AText.begin(), AText.end(), [](QChar c) { return c.unicode() < 128; });
}

// "name*=UTF-8''..." or, when long, its RFC 2231 continuations "name*0*=UTF-8''...;" "name*1*=..."
// on lines of their own; a segment never ends inside the octets of one character.
QByteArray ExtendedParameter(const QByteArray& AName, const QString& AValue) {
    constexpr qsizetype MaxSegment = 60;
    QList<QByteArray> segments{QByteArray()};
    for (qsizetype i = 0; i < AValue.size();) {
        const qsizetype length = AValue[i].isHighSurrogate() && i + 1 < AValue.size() ? 2 : 1;
        const QByteArray encoded = QUrl::toPercentEncoding(AValue.mid(i, length));
        i += length;
        if (!segments.last().isEmpty() && segments.last().size() + encoded.size() > MaxSegment)
            segments.append(QByteArray());
        segments.last() += encoded;
    }
    if (segments.size() == 1)
        return AName + "*=UTF-8''" + segments.first();
    QByteArray result;
    for (qsizetype i = 0; i < segments.size(); ++i)
        result += (i > 0 ? ";\n\t" : "") + AName + '*' + QByteArray::number(i) +
                  "*=" + (i == 0 ? "UTF-8''" : "") + segments[i];
    return result;
}

// Gives the part's Content-Type and Content-Disposition a non-ASCII file name in RFC 2231 form
// (GMime's own continuations may cut a UTF-8 character in two).
void SetExtendedFileName(GMimePart* APart, const QByteArray& AMimeType, const char* ADisposition,
                         const QString& AName) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(APart));
    const auto setRaw = [headers](const char* AHeader, const QByteArray& AValue) {
        GMimeHeader* header = g_mime_header_list_get_header(headers, AHeader);
        if (header == nullptr)
            throw hostapi::EQVException(
                QStringLiteral("The part has no %1 header.").arg(QLatin1String(AHeader)));
        g_mime_header_set_raw_value(header, (' ' + AValue + '\n').constData());
    };
    setRaw("Content-Type", AMimeType + ";\n\t" + ExtendedParameter("name", AName));
    setRaw("Content-Disposition", QByteArray(ADisposition) + ";\n\t" + ExtendedParameter("filename", AName));
}

// A base64 part with the file's content; ADisposition "attachment" or "inline".
GMimePart* NewFilePart(const QString& ALocalFile, const QString& AName, const char* ADisposition) {
    const QByteArray content = gmime::ReadPartFile(ALocalFile);
    static const QMimeDatabase mimeTypes;
    const QString mimeType = mimeTypes.mimeTypeForFile(AName, QMimeDatabase::MatchExtension).name();
    const qsizetype slash = mimeType.indexOf(QLatin1Char('/'));
    const QByteArray type = slash > 0 ? mimeType.left(slash).toLatin1() : QByteArray("application");
    const QByteArray subtype = slash > 0 ? mimeType.mid(slash + 1).toLatin1() : QByteArray("octet-stream");

    GMimePart* part = g_mime_part_new_with_type(type.constData(), subtype.constData());
    gmime::SetContent(part, content);
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
    g_mime_object_set_disposition(GMIME_OBJECT(part), ADisposition);
    g_mime_part_set_filename(part, HeaderValue(AName).constData());
    if (!IsAscii(AName))
        SetExtendedFileName(part, type + '/' + subtype, ADisposition, QString::fromUtf8(HeaderValue(AName)));
    return part;
}

// The Content-ID of an inline file: its name percent-encoded as a cid URL carries it (RFC 2392),
// so that the header stays ASCII and the HTML's reference is the same text.
QString ContentIdOf(const QString& AFileName) {
    return QString::fromLatin1(QUrl::toPercentEncoding(AFileName));
}

// AHtml with each "cid:<file name>" reference of an inline file rewritten to its Content-ID.
QString WithContentIds(QString AHtml, const QStringList& AInlineFiles) {
    const auto endsReference = [](QChar c) {
        return c.isSpace() || c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char(')') ||
               c == QLatin1Char('>');
    };
    for (const QString& file : AInlineFiles) {
        const QString name = QFileInfo(file).fileName();
        const QString id = ContentIdOf(name);
        if (id == name)
            continue;
        const QString reference = QStringLiteral("cid:") + name;
        for (qsizetype at = AHtml.indexOf(reference); at >= 0; at = AHtml.indexOf(reference, at)) {
            const qsizetype end = at + reference.size();
            if (end < AHtml.size() && !endsReference(AHtml[end])) {
                at = end;
                continue;
            }
            AHtml.replace(at + 4, name.size(), id);
            at += 4 + id.size();
        }
    }
    return AHtml;
}

// The local zone's offset from UTC at ASecs, kept for the last second asked on this thread: each
// reading of the local clock looks at the zone file under a lock of Qt's.
int LocalOffsetAt(qint64 ASecs) {
    thread_local qint64 cachedSecs = std::numeric_limits<qint64>::min();
    thread_local int cachedOffset = 0;
    if (ASecs != cachedSecs) {
        const QDateTime local = QDateTime::fromSecsSinceEpoch(ASecs, Qt::LocalTime);
        cachedOffset = int(QDateTime(local.date(), local.time(), Qt::UTC).toSecsSinceEpoch() - ASecs);
        cachedSecs = ASecs;
    }
    return cachedOffset;
}

// ASecs in the local zone's offset of that moment. (GLib's own local zone reads the zone file
// anew each time, under a process-wide lock.)
GDateTime* LocalDate(qint64 ASecs) {
    return gmime::NewDateTime(ASecs, LocalOffsetAt(ASecs));
}

using ObjectPtr = GPtr<GMimeObject>;

ObjectPtr NewMultipart(const char* ASubtype) {
    return ObjectPtr(GMIME_OBJECT(g_mime_multipart_new_with_subtype(ASubtype)));
}

// Adds APart to AMultipart, which takes its own reference.
void AddPart(const ObjectPtr& AMultipart, ObjectPtr APart) {
    g_mime_multipart_add(GMIME_MULTIPART(AMultipart.get()), APart.get());
}

ObjectPtr FilePart(const QString& ALocalFile, const QString& AName, const char* ADisposition) {
    return ObjectPtr(GMIME_OBJECT(NewFilePart(ALocalFile, AName, ADisposition)));
}

ObjectPtr BuildBody(const MailMessage& AMessage) {
    ObjectPtr plain(GMIME_OBJECT(NewTextPart("plain", AMessage.PlainBody)));
    if (AMessage.HtmlBody.isEmpty())
        return plain;
    ObjectPtr html(
        GMIME_OBJECT(NewTextPart("html", WithContentIds(AMessage.HtmlBody, AMessage.InlineFiles))));
    if (!AMessage.InlineFiles.isEmpty()) {
        ObjectPtr related = NewMultipart("related");
        g_mime_object_set_content_type_parameter(related.get(), "type", "text/html");
        AddPart(related, std::move(html));
        for (const QString& file : AMessage.InlineFiles) {
            const QString name = QFileInfo(file).fileName();
            ObjectPtr part = FilePart(file, name, GMIME_DISPOSITION_INLINE);
            g_mime_part_set_content_id(
                GMIME_PART(part.get()),
                ContentIdOf(QString::fromUtf8(HeaderValue(name))).toLatin1().constData());
            AddPart(related, std::move(part));
        }
        html = std::move(related);
    }
    ObjectPtr alternative = NewMultipart("alternative");
    AddPart(alternative, std::move(plain));
    AddPart(alternative, std::move(html));
    return alternative;
}

const char* PriorityHeader(MailPriority APriority) {
    switch (APriority) {
    case MailPriority::Highest:
        return "1 (Highest)";
    case MailPriority::High:
        return "2 (High)";
    case MailPriority::Low:
        return "4 (Low)";
    case MailPriority::Lowest:
        return "5 (Lowest)";
    case MailPriority::Normal:
        break;
    }
    return nullptr;
}

void SetHeader(GMimeMessage* AMessage, const char* AName, const QString& AValue) {
    if (!AValue.isEmpty())
        g_mime_object_set_header(GMIME_OBJECT(AMessage), AName, HeaderValue(AValue).constData(), "utf-8");
}

QString WithoutNul(const QString& AText) {
    return AText.contains(QChar(0)) ? QString(AText).remove(QChar(0)) : AText;
}

// Without NUL, and the domains in ASCII form (a header carries no raw UTF-8 domain).
QList<MailAddress> WithoutNul(QList<MailAddress> AAddresses) {
    for (MailAddress& address : AAddresses)
        address = {WithoutNul(address.Name), WithAsciiDomain(WithoutNul(address.Address))};
    return AAddresses;
}

QStringList WithoutNul(QStringList ATexts) {
    for (QString& text : ATexts)
        text = WithoutNul(text);
    return ATexts;
}

// The message without NUL characters, which have no meaning in mail and cut C strings short, and
// with the domains of its addresses and Message-ID in ASCII form.
MailMessage WithoutNul(const MailMessage& AMessage) {
    MailMessage result = AMessage;
    result.From = WithoutNul(QList<MailAddress>{AMessage.From}).first();
    result.To = WithoutNul(AMessage.To);
    result.Cc = WithoutNul(AMessage.Cc);
    result.ReplyTo = WithoutNul(AMessage.ReplyTo);
    result.Subject = WithoutNul(AMessage.Subject);
    result.MessageId = WithAsciiDomain(WithoutNul(AMessage.MessageId));
    result.DispositionNotificationTo = WithoutNul(AMessage.DispositionNotificationTo);
    result.Mailer = WithoutNul(AMessage.Mailer);
    result.AutoResponseSuppress = WithoutNul(AMessage.AutoResponseSuppress);
    result.PlainBody = WithoutNul(AMessage.PlainBody);
    result.HtmlBody = WithoutNul(AMessage.HtmlBody);
    result.InlineFiles = WithoutNul(AMessage.InlineFiles);
    for (MailAttachment& attachment : result.Attachments)
        attachment.FileName = WithoutNul(attachment.FileName);
    return result;
}

} // namespace

QByteArray MimeComposer::Compose(const MailMessage& AMessage) {
    const MailMessage clean = WithoutNul(AMessage);
    GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    GMimeMessage* msg = message.get();

    AddMailboxes(msg, GMIME_ADDRESS_TYPE_FROM, {clean.From});
    AddMailboxes(msg, GMIME_ADDRESS_TYPE_REPLY_TO, clean.ReplyTo);
    AddMailboxes(msg, GMIME_ADDRESS_TYPE_TO, clean.To);
    AddMailboxes(msg, GMIME_ADDRESS_TYPE_CC, clean.Cc);
    g_mime_message_set_subject(msg, HeaderValue(clean.Subject).constData(), "utf-8");

    GDateTime* gdate =
        LocalDate(clean.Date.isValid() ? clean.Date.toSecsSinceEpoch() : QDateTime::currentSecsSinceEpoch());
    g_mime_message_set_date(msg, gdate);
    g_date_time_unref(gdate);

    if (!clean.MessageId.isEmpty())
        g_mime_message_set_message_id(msg, HeaderValue(clean.MessageId).constData());
    if (const char* priority = PriorityHeader(clean.Priority)) {
        g_mime_object_set_header(GMIME_OBJECT(msg), "X-Priority", priority, nullptr);
        g_mime_object_set_header(GMIME_OBJECT(msg), "Importance",
                                 clean.Priority < MailPriority::Normal ? "high" : "low", nullptr);
    }
    if (const QList<MailAddress> addresses = WithoutNul(ParseAddressList(clean.DispositionNotificationTo));
        !addresses.isEmpty()) {
        GPtr<InternetAddressList> receipt(internet_address_list_new());
        gmime::AddMailboxes(receipt.get(), addresses);
        char* text = internet_address_list_to_string(receipt.get(), nullptr, TRUE);
        g_mime_object_set_header(GMIME_OBJECT(msg), "Disposition-Notification-To", text, nullptr);
        g_free(text);
    }
    SetHeader(msg, "X-Mailer", clean.Mailer);
    SetHeader(msg, "X-Auto-Response-Suppress", clean.AutoResponseSuppress);

    ObjectPtr root = BuildBody(clean);
    const bool inlineAsAttachments = clean.HtmlBody.isEmpty() && !clean.InlineFiles.isEmpty();
    if (!clean.Attachments.isEmpty() || inlineAsAttachments) {
        ObjectPtr mixed = NewMultipart("mixed");
        AddPart(mixed, std::move(root));
        if (inlineAsAttachments)
            for (const QString& file : clean.InlineFiles)
                AddPart(mixed, FilePart(file, QFileInfo(file).fileName(), GMIME_DISPOSITION_ATTACHMENT));
        for (const MailAttachment& attachment : clean.Attachments)
            AddPart(mixed, FilePart(attachment.LocalFile, attachment.FileName, GMIME_DISPOSITION_ATTACHMENT));
        root = std::move(mixed);
    }
    g_mime_message_set_mime_part(msg, root.get());

    return gmime::WriteToBytes(GMIME_OBJECT(msg));
}

} // namespace emailmarketing
