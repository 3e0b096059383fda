#pragma once

// GLib's headers (through GMime) come before Qt's (Qt's keyword macro "signals").
#include <gmime/gmime.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testsupport {

// A MIME text parsed by GMime's parser.
class ParsedMimeMessage {
public:
    explicit ParsedMimeMessage(const QByteArray& AText) {
        GMimeStream* stream = g_mime_stream_mem_new_with_buffer(AText.constData(), AText.size());
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        FMessage = g_mime_parser_construct_message(parser, nullptr);
        g_object_unref(parser);
        g_object_unref(stream);
    }
    ~ParsedMimeMessage() {
        if (FMessage)
            g_object_unref(FMessage);
    }
    GMimeMessage* Message() const { return FMessage; }

    QString Header(const char* AName) const {
        const char* value = g_mime_object_get_header(GMIME_OBJECT(FMessage), AName);
        return value ? QString::fromUtf8(value) : QString();
    }
    // Content types of the MIME tree in document order, nested ones indented by "  ".
    QStringList Tree() const {
        QStringList result;
        Walk(g_mime_message_get_mime_part(FMessage), 0, result);
        return result;
    }
    // The leaf parts with a file name, as "disposition name content-id".
    QStringList Files() const {
        QStringList result;
        GMimePartIter* iter = g_mime_part_iter_new(GMIME_OBJECT(FMessage));
        do {
            GMimeObject* part = g_mime_part_iter_get_current(iter);
            if (part && GMIME_IS_PART(part) && g_mime_part_get_filename(GMIME_PART(part))) {
                const char* id = g_mime_object_get_content_id(part);
                result.append(QStringLiteral("%1 %2 %3")
                                  .arg(QString::fromUtf8(g_mime_object_get_disposition(part)),
                                       QString::fromUtf8(g_mime_part_get_filename(GMIME_PART(part))),
                                       id ? QString::fromUtf8(id) : QStringLiteral("-")));
            }
        } while (g_mime_part_iter_next(iter));
        g_mime_part_iter_free(iter);
        return result;
    }

    // The decoded content of the first leaf part of that MIME type (text parts: UTF-8 as sent).
    QByteArray Content(const char* AMimeType) const {
        QByteArray result;
        GMimePartIter* iter = g_mime_part_iter_new(GMIME_OBJECT(FMessage));
        do {
            GMimeObject* part = g_mime_part_iter_get_current(iter);
            if (part && GMIME_IS_PART(part)) {
                char* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(part));
                const bool match = g_ascii_strcasecmp(type, AMimeType) == 0;
                g_free(type);
                if (match) {
                    GMimeStream* out = g_mime_stream_mem_new();
                    g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(part)), out);
                    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
                    result = QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
                    g_object_unref(out);
                    break;
                }
            }
        } while (g_mime_part_iter_next(iter));
        g_mime_part_iter_free(iter);
        return result;
    }

private:
    static void Walk(GMimeObject* AObject, int ADepth, QStringList& AResult) {
        char* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(AObject));
        AResult.append(QString(ADepth * 2, QLatin1Char(' ')) + QString::fromUtf8(type));
        g_free(type);
        if (GMIME_IS_MULTIPART(AObject)) {
            const int count = g_mime_multipart_get_count(GMIME_MULTIPART(AObject));
            for (int i = 0; i < count; ++i)
                Walk(g_mime_multipart_get_part(GMIME_MULTIPART(AObject), i), ADepth + 1, AResult);
        }
    }

    GMimeMessage* FMessage = nullptr;
};

} // namespace testsupport
