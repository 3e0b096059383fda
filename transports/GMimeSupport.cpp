#include "GMimeSupport.h"

#include "QVException.h"

#include <QFile>

#include <algorithm>
#include <utility>

namespace emailmarketing::gmime {

QByteArray HeaderValue(const QString& AText) {
    QString text = AText;
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.toUtf8();
}

void AddMailboxes(InternetAddressList* AList, const QList<MailAddress>& AAddresses) {
    for (const MailAddress& address : AAddresses) {
        InternetAddress* mailbox = internet_address_mailbox_new(HeaderValue(address.Name).constData(),
                                                                HeaderValue(address.Address).constData());
        internet_address_list_add(AList, mailbox);
        g_object_unref(mailbox);
    }
}

QList<MailAddress> Mailboxes(InternetAddressList* AList) {
    QList<MailAddress> result;
    const int count = AList != nullptr ? internet_address_list_length(AList) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(AList, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            result += Mailboxes(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
            continue;
        }
        const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
        if (addr == nullptr || *addr == '\0')
            continue;
        const char* name = internet_address_get_name(address);
        result.append({name != nullptr ? QString::fromUtf8(name) : QString(), QString::fromUtf8(addr)});
    }
    return result;
}

QByteArray ReadPartFile(const QString& ALocalFile) {
    QFile file(ALocalFile);
    if (!file.open(QIODevice::ReadOnly))
        throw hostapi::EQVException(QStringLiteral("The file \"%1\" of the message cannot be read: %2")
                                        .arg(ALocalFile, file.errorString()));
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw hostapi::EQVException(QStringLiteral("The file \"%1\" of the message cannot be read: %2")
                                        .arg(ALocalFile, file.errorString()));
    return content;
}

void SetContent(GMimePart* APart, const QByteArray& AContent) {
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(AContent.constData(), AContent.size()));
    GPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(APart, wrapper.get());
}

GMimeTextPart* NewTextPart(const char* ASubtype, const QString& AText) {
    QByteArray bytes = AText.toUtf8();
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);
    // In valid UTF-8 (all that toUtf8 gives) a character from U+0100 on has a lead byte from 0xC4
    // on; U+0080 to U+00FF are 0xC2 or 0xC3 and a continuation byte.
    uchar highest = 0;
    for (const char c : std::as_const(bytes))
        highest = std::max(highest, uchar(c));
    const char* charset = highest >= 0xC4 ? "utf-8" : highest >= 0x80 ? "iso-8859-1" : "us-ascii";
    if (highest >= 0x80 && highest < 0xC4) {
        qsizetype out = 0;
        for (qsizetype in = 0; in < bytes.size(); ++in) {
            const uchar c = uchar(bytes[in]);
            bytes[out++] = c < 0x80 ? char(c) : char(((c & 0x03) << 6) | (uchar(bytes[++in]) & 0x3F));
        }
        bytes.truncate(out);
    }
    GMimeTextPart* part = g_mime_text_part_new_with_subtype(ASubtype);
    g_mime_text_part_set_charset(part, charset);
    SetContent(GMIME_PART(part), bytes);
    g_mime_part_set_content_encoding(GMIME_PART(part), g_mime_part_get_best_content_encoding(
                                                           GMIME_PART(part), GMIME_ENCODING_CONSTRAINT_7BIT));
    return part;
}

GDateTime* NewDateTime(qint64 ASecs, int AOffsetSeconds) {
    GTimeZone* zone = g_time_zone_new_offset(AOffsetSeconds);
    GDateTime* utc = g_date_time_new_from_unix_utc(ASecs);
    GDateTime* date = g_date_time_to_timezone(utc, zone);
    g_date_time_unref(utc);
    g_time_zone_unref(zone);
    return date;
}

QByteArray WriteToBytes(GMimeObject* AObject) {
    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    const gssize written = g_mime_object_write_to_stream(AObject, options, out.get());
    g_mime_format_options_free(options);
    if (written < 0)
        throw hostapi::EQVException(QStringLiteral("The message could not be composed."));
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data), static_cast<qsizetype>(bytes->len));
}

} // namespace emailmarketing::gmime
