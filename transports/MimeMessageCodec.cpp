#include "GMimeSupport.h"

#include "MimeMessageCodec.h"

#include "MimeMessage.h"
#include "QVException.h"

#include <algorithm>

namespace emailmarketing {

namespace {

using gmime::GPtr;
using gmime::HeaderValue;
using ObjectPtr = GPtr<GMimeObject>;

// Header fields that the message's own fields and parts write.
bool IsGeneratedHeader(const QString& AName) {
    static const char* const kNames[] = {"From", "Sender",  "Reply-To", "To",         "Cc",
                                         "Bcc",  "Subject", "Date",     "Message-ID", "MIME-Version"};
    return AName.startsWith(QLatin1String("Content-"), Qt::CaseInsensitive) ||
           std::any_of(std::begin(kNames), std::end(kNames), [&](const char* AKnown) {
               return AName.compare(QLatin1StringView(AKnown), Qt::CaseInsensitive) == 0;
           });
}

// RFC 5322 field name: printable ASCII without blank and colon.
bool IsValidHeaderName(const QString& AName) {
    return !AName.isEmpty() && std::all_of(AName.begin(), AName.end(), [](QChar c) {
        return c.unicode() > 32 && c.unicode() < 127 && c != QLatin1Char(':');
    });
}

GMimeContentType* ParseContentType(const QString& AContentType, const char* ADefault) {
    const QByteArray text =
        AContentType.trimmed().isEmpty() ? QByteArray(ADefault) : HeaderValue(AContentType);
    return g_mime_content_type_parse(nullptr, text.constData());
}

bool IsUtf8(const char* ACharSet) {
    return ACharSet == nullptr || *ACharSet == '\0' || g_ascii_strcasecmp(ACharSet, "utf-8") == 0 ||
           g_ascii_strcasecmp(ACharSet, "us-ascii") == 0;
}

// The bytes converted between two character sets (iconv through GMime, which knows the names mail
// uses). EQVException when a set is not known or a character cannot be converted.
QByteArray ConvertCharSet(const QByteArray& ABytes, const char* ATo, const char* AFrom,
                          const char* ACharSet) {
    iconv_t converter = g_mime_iconv_open(ATo, AFrom);
    if (converter == (iconv_t)-1)
        throw hostapi::EQVException(QStringLiteral("The character set \"%1\" of a message part is not known.")
                                        .arg(QString::fromUtf8(ACharSet)));
    char* converted = g_mime_iconv_strndup(converter, ABytes.constData(), size_t(ABytes.size()));
    g_mime_iconv_close(converter);
    if (converted == nullptr)
        throw hostapi::EQVException(
            QStringLiteral(
                "The text of a message part cannot be converted from or to the character set \"%1\".")
                .arg(QString::fromUtf8(ACharSet)));
    const QByteArray result(converted);
    g_free(converted);
    return result;
}

QByteArray EncodeText(const QString& AText, const QByteArray& ACharSet) {
    if (IsUtf8(ACharSet.constData()))
        return AText.toUtf8();
    return ConvertCharSet(AText.toUtf8(), ACharSet.constData(), "utf-8", ACharSet.constData());
}

class PartWriter {
public:
    explicit PartWriter(const MimeMessageParts& AParts) : FParts(AParts), FChildren(AParts.size()) {
        for (int i = 0; i < FParts.size(); ++i) {
            const int parent = FParts.at(i).ParentPart;
            if (parent == -1)
                continue;
            if (parent < 0 || parent >= i || !FParts.at(parent).IsContainer())
                throw hostapi::EQVException(
                    QStringLiteral(
                        "Part %1 of the message names no earlier multipart part as its parent (%2).")
                        .arg(i)
                        .arg(parent));
            FChildren[parent].append(i);
        }
    }

    QList<int> TopLevel() const {
        QList<int> result;
        for (int i = 0; i < FParts.size(); ++i)
            if (FParts.at(i).ParentPart == -1)
                result.append(i);
        return result;
    }

    ObjectPtr Multipart(const QString& AContentType, const QList<int>& AChildren) const {
        GPtr<GMimeContentType> type(ParseContentType(AContentType, "multipart/mixed"));
        ObjectPtr multipart(GMIME_OBJECT(
            g_mime_multipart_new_with_subtype(g_mime_content_type_get_media_subtype(type.get()))));
        for (const int child : AChildren) {
            ObjectPtr part = Build(child);
            g_mime_multipart_add(GMIME_MULTIPART(multipart.get()), part.get());
        }
        return multipart;
    }

    ObjectPtr Build(int AIndex) const {
        const MimeMessagePart& part = FParts.at(AIndex);
        if (part.IsContainer())
            return Multipart(part.ContentType, FChildren.at(AIndex));
        const bool text = part.PartKind == MimeMessagePart::Kind::Text;
        GMimePart* mimePart = text ? GMIME_PART(g_mime_text_part_new()) : g_mime_part_new();
        ObjectPtr object(GMIME_OBJECT(mimePart));
        GPtr<GMimeContentType> type(
            ParseContentType(part.ContentType, text ? "text/plain" : "application/octet-stream"));
        g_mime_object_set_content_type(object.get(), type.get());
        if (text) {
            const QString charset = part.CharSet.isEmpty() ? QStringLiteral("utf-8") : part.CharSet;
            g_mime_object_set_content_type_parameter(object.get(), "charset", charset.toLatin1().constData());
            gmime::SetContent(mimePart, EncodeText(part.Body, charset.toLatin1()));
            g_mime_part_set_content_encoding(
                mimePart, g_mime_part_get_best_content_encoding(mimePart, GMIME_ENCODING_CONSTRAINT_7BIT));
        } else {
            gmime::SetContent(mimePart, part.StoredPathName.isEmpty()
                                            ? part.Content
                                            : gmime::ReadPartFile(part.StoredPathName));
            g_mime_part_set_content_encoding(mimePart, GMIME_CONTENT_ENCODING_BASE64);
        }
        if (!part.ContentDisposition.isEmpty())
            g_mime_object_set_disposition(object.get(), HeaderValue(part.ContentDisposition).constData());
        if (!part.FileName.isEmpty())
            g_mime_part_set_filename(mimePart, HeaderValue(part.FileName).constData());
        QString contentId = part.ContentID.trimmed();
        if (contentId.startsWith(QLatin1Char('<')) && contentId.endsWith(QLatin1Char('>')))
            contentId = contentId.mid(1, contentId.size() - 2);
        if (!contentId.isEmpty())
            g_mime_object_set_content_id(object.get(), HeaderValue(contentId).constData());
        return object;
    }

private:
    const MimeMessageParts& FParts;
    QList<QList<int>> FChildren;
};

GDateTime* ToGDateTime(const QDateTime& ADate) {
    return gmime::NewDateTime(ADate.toSecsSinceEpoch(), ADate.offsetFromUtc());
}

QDateTime FromGDateTime(GDateTime* ADate) {
    const int offset = int(g_date_time_get_utc_offset(ADate) / G_TIME_SPAN_SECOND);
    return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(ADate), Qt::OffsetFromUTC, offset);
}

void WriteHeaders(const MimeMessage& AMessage, GMimeMessage* AMime) {
    GMimeObject* object = GMIME_OBJECT(AMime);
    if (!AMessage.From.Address.isEmpty())
        gmime::AddMailboxes(g_mime_message_get_from(AMime), {AMessage.From});
    if (!AMessage.Sender.Address.isEmpty())
        gmime::AddMailboxes(g_mime_message_get_sender(AMime), {AMessage.Sender});
    gmime::AddMailboxes(g_mime_message_get_reply_to(AMime), AMessage.ReplyTo);
    gmime::AddMailboxes(g_mime_message_get_to(AMime), AMessage.Recipients);
    gmime::AddMailboxes(g_mime_message_get_cc(AMime), AMessage.CCList);
    if (AMessage.GenerateBccListInHeader)
        gmime::AddMailboxes(g_mime_message_get_bcc(AMime), AMessage.BccList);
    if (!AMessage.Subject.isEmpty())
        g_mime_message_set_subject(AMime, HeaderValue(AMessage.Subject).constData(), "utf-8");
    if (AMessage.Date.isValid()) {
        GDateTime* date = ToGDateTime(AMessage.Date);
        g_mime_message_set_date(AMime, date);
        g_date_time_unref(date);
    }
    if (!AMessage.MsgId.trimmed().isEmpty()) {
        QString id = AMessage.MsgId.trimmed();
        if (!id.startsWith(QLatin1Char('<')))
            id.prepend(QLatin1Char('<'));
        if (!id.endsWith(QLatin1Char('>')))
            id.append(QLatin1Char('>'));
        g_mime_object_set_header(object, "Message-ID", HeaderValue(id).constData(), nullptr);
    }
    for (const auto& [name, value] : AMessage.ExtraHeaders) {
        if (!IsValidHeaderName(name))
            throw hostapi::EQVException(QStringLiteral("\"%1\" is no valid header name.").arg(name));
        if (!IsGeneratedHeader(name))
            g_mime_object_append_header(object, name.toLatin1().constData(), HeaderValue(value).constData(),
                                        "utf-8");
    }
}

MailAddress FirstMailbox(InternetAddressList* AList) {
    const QList<MailAddress> mailboxes = gmime::Mailboxes(AList);
    return mailboxes.isEmpty() ? MailAddress() : mailboxes.first();
}

void ReadHeaders(GMimeMessage* AMime, MimeMessage& AMessage) {
    GMimeObject* object = GMIME_OBJECT(AMime);
    AMessage.From = FirstMailbox(g_mime_message_get_from(AMime));
    AMessage.Sender = FirstMailbox(g_mime_message_get_sender(AMime));
    AMessage.ReplyTo = gmime::Mailboxes(g_mime_message_get_reply_to(AMime));
    AMessage.Recipients = gmime::Mailboxes(g_mime_message_get_to(AMime));
    AMessage.CCList = gmime::Mailboxes(g_mime_message_get_cc(AMime));
    AMessage.BccList = gmime::Mailboxes(g_mime_message_get_bcc(AMime));
    AMessage.Subject = QString::fromUtf8(g_mime_message_get_subject(AMime));
    if (GDateTime* date = g_mime_message_get_date(AMime))
        AMessage.Date = FromGDateTime(date);
    AMessage.MsgId = QString::fromUtf8(g_mime_object_get_header(object, "Message-ID")).trimmed();
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    const int count = g_mime_header_list_get_count(headers);
    for (int i = 0; i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        const QString name = QString::fromUtf8(g_mime_header_get_name(header));
        if (!IsGeneratedHeader(name))
            AMessage.ExtraHeaders.append(
                {name, QString::fromUtf8(g_mime_header_get_value(header)).trimmed()});
    }
}

QString MimeType(GMimeObject* AObject) {
    char* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(AObject));
    const QString result = QString::fromUtf8(type).toLower();
    g_free(type);
    return result;
}

QByteArray DecodedContent(GMimePart* APart) {
    GMimeDataWrapper* wrapper = g_mime_part_get_content(APart);
    if (wrapper == nullptr)
        return {};
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(wrapper, out.get()) < 0)
        throw hostapi::EQVException(QStringLiteral("A part of the message cannot be decoded."));
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data), static_cast<qsizetype>(bytes->len));
}

// The text of a text part as Unicode with "\n" line ends.
QString DecodedText(GMimePart* APart) {
    const QByteArray bytes = DecodedContent(APart);
    const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(APart), "charset");
    QString text =
        QString::fromUtf8(IsUtf8(charset) ? bytes : ConvertCharSet(bytes, "utf-8", charset, charset));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

void AddParts(GMimeObject* AObject, int AParent, MimeMessageParts& AParts) {
    MimeMessagePart part;
    part.ParentPart = AParent;
    part.ContentType = MimeType(AObject);
    if (GMIME_IS_MULTIPART(AObject)) {
        AParts.append(part);
        const int index = int(AParts.size()) - 1;
        const int count = g_mime_multipart_get_count(GMIME_MULTIPART(AObject));
        for (int i = 0; i < count; ++i)
            AddParts(g_mime_multipart_get_part(GMIME_MULTIPART(AObject), i), index, AParts);
        return;
    }
    if (const char* disposition = g_mime_object_get_disposition(AObject))
        part.ContentDisposition = QString::fromUtf8(disposition).toLower();
    if (const char* contentId = g_mime_object_get_content_id(AObject))
        part.ContentID = QLatin1Char('<') + QString::fromUtf8(contentId) + QLatin1Char('>');
    if (GMIME_IS_MESSAGE_PART(AObject)) {
        part.PartKind = MimeMessagePart::Kind::Attachment;
        GMimeMessage* embedded = g_mime_message_part_get_message(GMIME_MESSAGE_PART(AObject));
        part.Content = embedded != nullptr ? gmime::WriteToBytes(GMIME_OBJECT(embedded)) : QByteArray();
        AParts.append(part);
        return;
    }
    if (!GMIME_IS_PART(AObject))
        throw hostapi::EQVException(
            QStringLiteral("A part of the message of type \"%1\" cannot be read.").arg(part.ContentType));
    GMimePart* mimePart = GMIME_PART(AObject);
    if (const char* fileName = g_mime_part_get_filename(mimePart))
        part.FileName = QString::fromUtf8(fileName);
    const bool text = GMIME_IS_TEXT_PART(AObject) && part.FileName.isEmpty() &&
                      part.ContentDisposition != QLatin1String("attachment");
    if (text) {
        part.CharSet = QStringLiteral("utf-8");
        part.Body = DecodedText(mimePart);
    } else {
        part.PartKind = MimeMessagePart::Kind::Attachment;
        part.Content = DecodedContent(mimePart);
    }
    AParts.append(part);
}

} // namespace

QByteArray MimeMessageCodec::Write(const MimeMessage& AMessage) {
    GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    WriteHeaders(AMessage, message.get());
    const PartWriter parts(AMessage.MessageParts);
    const QList<int> topLevel = parts.TopLevel();
    const bool multipart =
        AMessage.ContentType.trimmed().startsWith(QLatin1String("multipart/"), Qt::CaseInsensitive);
    ObjectPtr root;
    if (topLevel.size() == 1 && !multipart)
        root = parts.Build(topLevel.first());
    else if (!topLevel.isEmpty() || multipart)
        root =
            parts.Multipart(multipart ? AMessage.ContentType : QStringLiteral("multipart/mixed"), topLevel);
    if (root)
        g_mime_message_set_mime_part(message.get(), root.get());
    return gmime::WriteToBytes(GMIME_OBJECT(message.get()));
}

void MimeMessageCodec::Read(const QByteArray& AMime, bool AHeadersOnly, MimeMessage& AMessage) {
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(AMime.constData(), AMime.size()));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message)
        throw hostapi::EQVException(QStringLiteral("The text holds no MIME message."));
    ReadHeaders(message.get(), AMessage);
    GMimeObject* root = g_mime_message_get_mime_part(message.get());
    if (root == nullptr)
        return;
    AMessage.ContentType = MimeType(root);
    if (AHeadersOnly)
        return;
    if (!GMIME_IS_MULTIPART(root)) {
        AddParts(root, -1, AMessage.MessageParts);
        return;
    }
    const int count = g_mime_multipart_get_count(GMIME_MULTIPART(root));
    for (int i = 0; i < count; ++i)
        AddParts(g_mime_multipart_get_part(GMIME_MULTIPART(root), i), -1, AMessage.MessageParts);
}

} // namespace emailmarketing
