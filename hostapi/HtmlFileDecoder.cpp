#include "HtmlFileDecoder.h"

#include "FileUtils.h"
#include "QVException.h"
#include "Windows1252Codec.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QUrl>
#include <QStringDecoder>

namespace hostapi {

namespace {

constexpr qsizetype PrescanBytes = 1024;

bool IsWindows1252Label(const QString& ALabel) {
    static const QStringList labels{QStringLiteral("windows-1252"), QStringLiteral("cp1252"),
                                    QStringLiteral("x-cp1252"),     QStringLiteral("iso-8859-1"),
                                    QStringLiteral("iso8859-1"),    QStringLiteral("iso_8859-1"),
                                    QStringLiteral("latin1"),       QStringLiteral("l1"),
                                    QStringLiteral("us-ascii"),     QStringLiteral("ascii")};
    return labels.contains(ALabel);
}

QString DecodeStrict(QStringDecoder& ADecoder, const QByteArrayView& ABytes, const QString& ALabel) {
    QString text = ADecoder.decode(ABytes);
    if (ADecoder.hasError())
        throw EQVException(
            QStringLiteral(
                "The HTML file declares the character set \"%1\", but its text is not written in it.")
                .arg(ALabel));
    return text;
}

} // namespace

QString DeclaredHtmlCharset(const QByteArray& ABytes) {
    static const QRegularExpression meta(
        QStringLiteral(R"(<meta\b[^>]*?charset\s*=\s*["']?\s*([A-Za-z0-9._:\-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(ABytes.left(PrescanBytes));
    const QRegularExpressionMatch match = meta.match(head);
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

QString DecodeHtmlBytes(const QByteArray& ABytes) {
    if (ABytes.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        return DecodeStrict(decoder, QByteArrayView(ABytes).sliced(3), QStringLiteral("utf-8"));
    }
    if (ABytes.startsWith("\xFF\xFE") || ABytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(ABytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                             : QStringConverter::Utf16BE,
                               QStringConverter::Flag::Stateless);
        return DecodeStrict(decoder, QByteArrayView(ABytes).sliced(2), QStringLiteral("utf-16"));
    }
    QString label = DeclaredHtmlCharset(ABytes);
    // A file read as bytes cannot be UTF-16 without its byte order mark.
    if (label == QLatin1String("utf-16") || label == QLatin1String("utf-16le") ||
        label == QLatin1String("utf-16be") || label == QLatin1String("utf8"))
        label = QStringLiteral("utf-8");
    if (label.isEmpty()) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString text = utf8.decode(ABytes);
        return utf8.hasError() ? Windows1252Codec::Decode(ABytes) : text;
    }
    if (IsWindows1252Label(label))
        return Windows1252Codec::Decode(ABytes);
    QStringDecoder decoder(label.toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        throw EQVException(
            QStringLiteral("The character set \"%1\" of the HTML file is not supported.").arg(label));
    return DecodeStrict(decoder, ABytes, label);
}

QString LoadHtmlFile(const QString& APath) {
    const QByteArray bytes = LoadBinaryFile(APath);
    try {
        return DecodeHtmlBytes(bytes);
    } catch (const EQVException& e) {
        throw EQVException(QStringLiteral("%1: %2").arg(APath, e.Message()));
    }
}

QString LocalHtmlImage(const QString& AFolder, const QString& ASource) {
    const QUrl url(ASource);
    if (ASource.isEmpty() || !url.scheme().isEmpty() || !url.host().isEmpty())
        return {};
    const QString relative = url.path(QUrl::FullyDecoded);
    if (relative.isEmpty() || QDir::isAbsolutePath(relative) || relative.contains(QLatin1Char('\\')))
        return {};
    const QString clean = QDir::cleanPath(relative);
    if (clean == QLatin1String("..") || clean.startsWith(QLatin1String("../")))
        return {};
    const QFileInfo file(QDir(AFolder).filePath(clean));
    const QString root = QFileInfo(AFolder).canonicalFilePath() + QLatin1Char('/');
    if (!file.isFile() || file.isSymLink() || !file.canonicalFilePath().startsWith(root))
        return {};
    return QImageReader(file.filePath()).canRead() ? file.filePath() : QString();
}

} // namespace hostapi
