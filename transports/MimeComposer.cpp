// GLib's headers (through GMime) name struct members "signals", a keyword macro of Qt's headers:
// GMime comes before any Qt header.
#include <gmime/gmime.h>

#include "MimeComposer.h"

#include "QVException.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <memory>

namespace emailmarketing {

namespace {

struct GObjectUnref {
    void operator()(gpointer AObject) const { g_object_unref(AObject); }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectUnref>;

// A header value on one line: CR and LF become blanks.
QByteArray HeaderValue(const QString& AText) {
    QString text = AText;
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.toUtf8();
}

void AddMailboxes(GMimeMessage* AMessage, GMimeAddressType AType, const QList<MailAddress>& AAddresses) {
    for (const MailAddress& address : AAddresses)
        g_mime_message_add_mailbox(AMessage, AType, HeaderValue(address.Name).constData(),
                                   HeaderValue(address.Address).constData());
}

GMimeTextPart* NewTextPart(const char* ASubtype, const QString& AText) {
    GMimeTextPart* part = g_mime_text_part_new_with_subtype(ASubtype);
    g_mime_text_part_set_text(part, AText.toUtf8().constData());
    g_mime_part_set_content_encoding(GMIME_PART(part), g_mime_part_get_best_content_encoding(
                                                           GMIME_PART(part), GMIME_ENCODING_CONSTRAINT_7BIT));
    return part;
}

// A base64 part with the file's content; ADisposition "attachment" or "inline".
GMimePart* NewFilePart(const QString& ALocalFile, const QString& AName, const char* ADisposition) {
    QFile file(ALocalFile);
    if (!file.open(QIODevice::ReadOnly))
        throw hostapi::EQVException(QStringLiteral("The file \"%1\" of the message cannot be read: %2")
                                        .arg(ALocalFile, file.errorString()));
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw hostapi::EQVException(QStringLiteral("The file \"%1\" of the message cannot be read: %2")
                                        .arg(ALocalFile, file.errorString()));
    static const QMimeDatabase mimeTypes;
    const QString mimeType = mimeTypes.mimeTypeForFile(AName, QMimeDatabase::MatchExtension).name();
    const qsizetype slash = mimeType.indexOf(QLatin1Char('/'));
    const QByteArray type = slash > 0 ? mimeType.left(slash).toLatin1() : QByteArray("application");
    const QByteArray subtype = slash > 0 ? mimeType.mid(slash + 1).toLatin1() : QByteArray("octet-stream");

    GMimePart* part = g_mime_part_new_with_type(type.constData(), subtype.constData());
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(content.constData(), content.size()));
    GPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, wrapper.get());
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
    g_mime_object_set_disposition(GMIME_OBJECT(part), ADisposition);
    g_mime_part_set_filename(part, HeaderValue(AName).constData());
    return part;
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
    ObjectPtr html(GMIME_OBJECT(NewTextPart("html", AMessage.HtmlBody)));
    if (!AMessage.InlineFiles.isEmpty()) {
        ObjectPtr related = NewMultipart("related");
        g_mime_object_set_content_type_parameter(related.get(), "type", "text/html");
        AddPart(related, std::move(html));
        for (const QString& file : AMessage.InlineFiles) {
            const QString name = QFileInfo(file).fileName();
            ObjectPtr part = FilePart(file, name, GMIME_DISPOSITION_INLINE);
            g_mime_part_set_content_id(GMIME_PART(part.get()), HeaderValue(name).constData());
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

} // namespace

QByteArray MimeComposer::Compose(const MailMessage& AMessage) {
    GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    GMimeMessage* msg = message.get();

    AddMailboxes(msg, GMIME_ADDRESS_TYPE_FROM, {AMessage.From});
    AddMailboxes(msg, GMIME_ADDRESS_TYPE_REPLY_TO, AMessage.ReplyTo);
    AddMailboxes(msg, GMIME_ADDRESS_TYPE_TO, AMessage.To);
    AddMailboxes(msg, GMIME_ADDRESS_TYPE_CC, AMessage.Cc);
    g_mime_message_set_subject(msg, HeaderValue(AMessage.Subject).constData(), "utf-8");

    const QDateTime date = AMessage.Date.isValid() ? AMessage.Date : QDateTime::currentDateTime();
    GDateTime* gdate = g_date_time_new_from_unix_local(date.toSecsSinceEpoch());
    g_mime_message_set_date(msg, gdate);
    g_date_time_unref(gdate);

    if (!AMessage.MessageId.isEmpty())
        g_mime_message_set_message_id(msg, HeaderValue(AMessage.MessageId).constData());
    if (const char* priority = PriorityHeader(AMessage.Priority)) {
        g_mime_object_set_header(GMIME_OBJECT(msg), "X-Priority", priority, nullptr);
        g_mime_object_set_header(GMIME_OBJECT(msg), "Importance",
                                 AMessage.Priority < MailPriority::Normal ? "high" : "low", nullptr);
    }
    if (!AMessage.DispositionNotificationTo.isEmpty()) {
        GPtr<InternetAddressList> receipt(internet_address_list_parse(
            nullptr, HeaderValue(AMessage.DispositionNotificationTo).constData()));
        if (receipt && internet_address_list_length(receipt.get()) > 0) {
            char* text = internet_address_list_to_string(receipt.get(), nullptr, TRUE);
            g_mime_object_set_header(GMIME_OBJECT(msg), "Disposition-Notification-To", text, nullptr);
            g_free(text);
        }
    }
    SetHeader(msg, "X-Mailer", AMessage.Mailer);
    SetHeader(msg, "X-Auto-Response-Suppress", AMessage.AutoResponseSuppress);

    ObjectPtr root = BuildBody(AMessage);
    const bool inlineAsAttachments = AMessage.HtmlBody.isEmpty() && !AMessage.InlineFiles.isEmpty();
    if (!AMessage.Attachments.isEmpty() || inlineAsAttachments) {
        ObjectPtr mixed = NewMultipart("mixed");
        AddPart(mixed, std::move(root));
        if (inlineAsAttachments)
            for (const QString& file : AMessage.InlineFiles)
                AddPart(mixed, FilePart(file, QFileInfo(file).fileName(), GMIME_DISPOSITION_ATTACHMENT));
        for (const MailAttachment& attachment : AMessage.Attachments)
            AddPart(mixed, FilePart(attachment.LocalFile, attachment.FileName, GMIME_DISPOSITION_ATTACHMENT));
        root = std::move(mixed);
    }
    g_mime_message_set_mime_part(msg, root.get());

    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    const gssize written = g_mime_object_write_to_stream(GMIME_OBJECT(msg), options, out.get());
    g_mime_format_options_free(options);
    if (written < 0)
        throw hostapi::EQVException(QStringLiteral("The message could not be composed."));
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data), static_cast<qsizetype>(bytes->len));
}

} // namespace emailmarketing
