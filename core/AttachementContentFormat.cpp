#include "AttachementContentFormat.h"

#include "QVException.h"
#include "Windows1252Codec.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace emailmarketing {

namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");

bool IsValidUtf8(QByteArrayView AContent) {
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8(AContent);
    return !utf8.hasError();
}

bool HasNonAscii(QByteArrayView AContent) {
    for (char c : AContent)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

// The head of the content as Latin-1 text, for looking at its ASCII markup.
QString Head(QByteArrayView AContent) {
    return QString::fromLatin1(AContent.first(qMin<qsizetype>(AContent.size(), 4096)));
}

bool HasExtension(const QString& AFileName, std::initializer_list<const char*> AExtensions) {
    for (const char* ext : AExtensions)
        if (AFileName.endsWith(QLatin1String(ext), Qt::CaseInsensitive))
            return true;
    return false;
}

// The charset a markup file declares; "" when it declares none.
QString DeclaredCharset(const QString& AHead, TAttachementContentFormat::TKind AKind) {
    static const QRegularExpression xml(QStringLiteral(R"(^\s*<\?xml[^>]*\bencoding\s*=\s*["']([^"']+)["'])"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression html(
        QStringLiteral(R"(<meta\b[^>]*\bcharset\s*=\s*["']?\s*([A-Za-z0-9._:-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match =
        (AKind == TAttachementContentFormat::cfXML ? xml : html).match(AHead);
    return match.hasMatch() ? match.captured(1).trimmed().toLower() : QString();
}

// The charset of a declared name; a charset this class cannot write is held to ASCII (references).
TAttachementContentFormat::TCharset CharsetNamed(const QString& AName, QByteArrayView AContent) {
    if (AName == QLatin1String("utf-8") || AName == QLatin1String("utf8"))
        return IsValidUtf8(AContent) ? TAttachementContentFormat::csUtf8 : TAttachementContentFormat::csAscii;
    if (AName == QLatin1String("windows-1252") || AName == QLatin1String("cp1252") ||
        AName == QLatin1String("x-cp1252"))
        return TAttachementContentFormat::csWindows1252;
    if (AName == QLatin1String("iso-8859-1") || AName == QLatin1String("iso_8859-1") ||
        AName == QLatin1String("iso8859-1") || AName == QLatin1String("latin1") ||
        AName == QLatin1String("latin-1") || AName == QLatin1String("l1"))
        return TAttachementContentFormat::csLatin1;
    return TAttachementContentFormat::csAscii;
}

// Plain text: UTF-8 when the content shows it, otherwise Windows-1252.
TAttachementContentFormat::TCharset TextCharset(QByteArrayView AContent) {
    return HasNonAscii(AContent) && IsValidUtf8(AContent) ? TAttachementContentFormat::csUtf8
                                                          : TAttachementContentFormat::csWindows1252;
}

} // namespace

TAttachementContentFormat TAttachementContentFormat::Detect(const QByteArray& AContent,
                                                            const QString& AFileName) {
    TAttachementContentFormat format;
    const bool bom = AContent.startsWith(Utf8Bom);
    const QByteArrayView body =
        bom ? QByteArrayView(AContent).sliced(Utf8Bom.size()) : QByteArrayView(AContent);
    if (bom && !IsValidUtf8(body))
        throw hostapi::EQVException(
            QStringLiteral(
                "The content of the attachment \"%1\" starts with a UTF-8 byte order mark but is not "
                "valid UTF-8.")
                .arg(AFileName));
    const QString head = Head(body);
    const QString start = head.trimmed();
    if (start.startsWith(QLatin1String("{\\rtf")))
        format.FKind = cfRTF;
    else if (start.startsWith(QLatin1String("<?xml"), Qt::CaseInsensitive))
        format.FKind = cfXML;
    else if (HasExtension(AFileName, {".htm", ".html", ".xhtml"}) ||
             head.contains(QLatin1String("<html"), Qt::CaseInsensitive) ||
             head.contains(QLatin1String("<!doctype html"), Qt::CaseInsensitive))
        format.FKind = cfHTML;
    else if (HasExtension(AFileName, {".xml"}))
        format.FKind = cfXML;

    if (bom) {
        format.FCharset = csUtf8WithBom;
        return format;
    }
    switch (format.FKind) {
    case cfRTF: {
        // RTF is read byte for byte; escapes carry everything beyond ASCII.
        static const QRegularExpression codePage(QStringLiteral(R"(\\ansicpg(\d+))"));
        const QRegularExpressionMatch match = codePage.match(head);
        format.FRtfCodePage1252 = !match.hasMatch() || match.captured(1) == QLatin1String("1252");
        format.FCharset = csWindows1252;
        break;
    }
    case cfXML: {
        const QString declared = DeclaredCharset(head, cfXML);
        format.FCharset = CharsetNamed(declared.isEmpty() ? QStringLiteral("utf-8") : declared, body);
        break;
    }
    case cfHTML: {
        const QString declared = DeclaredCharset(head, cfHTML);
        format.FCharset = declared.isEmpty() ? TextCharset(body) : CharsetNamed(declared, body);
        break;
    }
    case cfText:
        format.FCharset = TextCharset(body);
        break;
    }
    return format;
}

QString TAttachementContentFormat::Decode(const QByteArray& AContent) const {
    switch (FCharset) {
    case csUtf8:
        return QString::fromUtf8(AContent);
    case csUtf8WithBom:
        return QString::fromUtf8(QByteArrayView(AContent).sliced(qMin(Utf8Bom.size(), AContent.size())));
    case csWindows1252:
    case csLatin1:
    case csAscii:
        // Byte-transparent: Encode gives every byte back.
        return hostapi::Windows1252Codec::Decode(AContent);
    }
    throw hostapi::EQVAssertion(QStringLiteral("known charset"), __FILE__, __LINE__);
}

QByteArray TAttachementContentFormat::Encode(const QString& AText) const {
    switch (FCharset) {
    case csUtf8:
        return AText.toUtf8();
    case csUtf8WithBom:
        return Utf8Bom + AText.toUtf8();
    case csWindows1252:
    case csLatin1:
    case csAscii:
        return hostapi::Windows1252Codec::Encode(AText);
    }
    throw hostapi::EQVAssertion(QStringLiteral("known charset"), __FILE__, __LINE__);
}

bool TAttachementContentFormat::CanHold(char32_t ACodePoint) const {
    if (ACodePoint < 0x80)
        return true;
    switch (FCharset) {
    case csUtf8:
    case csUtf8WithBom:
        return true;
    case csWindows1252: {
        const QString c = QString::fromUcs4(&ACodePoint, 1);
        return hostapi::Windows1252Codec::Decode(hostapi::Windows1252Codec::Encode(c)) == c;
    }
    case csLatin1:
        return ACodePoint >= 0xA0 && ACodePoint <= 0xFF;
    case csAscii:
        return false;
    }
    return false;
}

QString TAttachementContentFormat::ValueInFile(const QString& AValue) const {
    switch (FKind) {
    case cfRTF:
        return RtfEscaped(AValue);
    case cfHTML:
    case cfXML:
        return WithReferences(AValue);
    case cfText:
        break;
    }
    return AValue;
}

QString TAttachementContentFormat::RtfEscaped(const QString& AValue) const {
    QString result;
    result.reserve(AValue.size());
    for (const QChar c : AValue) {
        if (c.unicode() < 0x80) {
            result += c;
            continue;
        }
        const QByteArray byte = hostapi::Windows1252Codec::Encode(QString(c));
        if (FRtfCodePage1252 && hostapi::Windows1252Codec::Decode(byte) == QString(c)) {
            result +=
                QStringLiteral("\\'%1").arg(static_cast<unsigned char>(byte.at(0)), 2, 16, QLatin1Char('0'));
        } else {
            // One escape per UTF-16 unit, as a signed 16-bit number, with "?" for readers without \u.
            result += QStringLiteral("\\u%1?").arg(static_cast<qint16>(c.unicode()));
        }
    }
    return result;
}

QString TAttachementContentFormat::WithReferences(const QString& AValue) const {
    QString result;
    result.reserve(AValue.size());
    for (const char32_t codePoint : AValue.toUcs4()) {
        if (CanHold(codePoint))
            result += QString::fromUcs4(&codePoint, 1);
        else
            result += QStringLiteral("&#%1;").arg(static_cast<quint32>(codePoint));
    }
    return result;
}

} // namespace emailmarketing
