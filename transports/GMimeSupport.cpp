#include "GMimeSupport.h"

#include "QVException.h"

#include <QFile>

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
