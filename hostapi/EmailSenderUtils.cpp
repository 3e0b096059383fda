#include "EmailSenderUtils.h"

#include "FileUtils.h"
#include "HtmlText.h"

#include <QDir>
#include <QFileInfo>

namespace hostapi {

namespace {

bool IsAttributeNameChar(QChar AChar) {
    return !AChar.isSpace() && AChar != QLatin1Char('=') && AChar != QLatin1Char('>') &&
           AChar != QLatin1Char('/') && AChar != QLatin1Char('"') && AChar != QLatin1Char('\'') &&
           AChar != QLatin1Char('<');
}

// The full path of the file that AValue (an attribute value as written) names inside AFolder, or
// an empty string when it names none there.
QString LocalFile(const QString& AValue, const QDir& AFolder, const QString& ACanonicalFolder) {
    const QString name = HtmlDecode(AValue);
    if (!IsPlainFileName(name) || name.contains(QLatin1Char(':')) || name.trimmed() != name)
        return {};
    const QFileInfo file(AFolder.filePath(name));
    if (!file.isFile() || file.isSymLink() || file.canonicalPath() != ACanonicalFolder)
        return {};
    return file.absoluteFilePath();
}

} // namespace

QString TEmailSenderUtils::CreateHTMLEmailContentIDBody(const QString& AHtml, const QString& AFolder,
                                                        QStringList* AInlineFiles) {
    if (AFolder.isEmpty())
        return AHtml;
    const QDir folder(AFolder);
    const QString canonicalFolder = QFileInfo(AFolder).canonicalFilePath();
    if (canonicalFolder.isEmpty())
        return AHtml;

    QString result;
    result.reserve(AHtml.size() + 64);
    qsizetype copied = 0;
    qsizetype i = 0;
    const qsizetype size = AHtml.size();
    while (i < size) {
        const qsizetype open = AHtml.indexOf(QLatin1Char('<'), i);
        if (open < 0)
            break;
        if (QStringView(AHtml).mid(open).startsWith(QLatin1String("<!--"))) {
            const qsizetype close = AHtml.indexOf(QLatin1String("-->"), open + 4);
            i = close < 0 ? size : close + 3;
            continue;
        }
        if (open + 1 >= size || !AHtml.at(open + 1).isLetter()) {
            i = open + 1;
            continue;
        }
        const qsizetype end = HtmlTagEnd(AHtml, open);
        qsizetype p = open + 1;
        while (p < end && IsAttributeNameChar(AHtml.at(p)))
            ++p; // the tag name
        while (p < end) {
            while (p < end && (AHtml.at(p).isSpace() || AHtml.at(p) == QLatin1Char('/')))
                ++p;
            const qsizetype nameStart = p;
            while (p < end && IsAttributeNameChar(AHtml.at(p)))
                ++p;
            if (p == nameStart) {
                ++p;
                continue;
            }
            const QString attribute = AHtml.mid(nameStart, p - nameStart).toLower();
            qsizetype q = p;
            while (q < end && AHtml.at(q).isSpace())
                ++q;
            if (q >= end || AHtml.at(q) != QLatin1Char('='))
                continue;
            ++q;
            while (q < end && AHtml.at(q).isSpace())
                ++q;
            qsizetype valueStart = q, valueEnd = q;
            if (q < end && (AHtml.at(q) == QLatin1Char('"') || AHtml.at(q) == QLatin1Char('\''))) {
                const QChar quote = AHtml.at(q);
                valueStart = q + 1;
                const qsizetype close = AHtml.indexOf(quote, valueStart);
                valueEnd = close < 0 || close > end ? end : close;
                p = valueEnd < end ? valueEnd + 1 : end;
            } else {
                while (valueEnd < end && !AHtml.at(valueEnd).isSpace() &&
                       AHtml.at(valueEnd) != QLatin1Char('>'))
                    ++valueEnd;
                p = valueEnd;
            }
            if (attribute != QLatin1String("src") && attribute != QLatin1String("background"))
                continue;
            const QString value = AHtml.mid(valueStart, valueEnd - valueStart);
            const QString file = LocalFile(value, folder, canonicalFolder);
            if (file.isEmpty())
                continue;
            result += QStringView(AHtml).mid(copied, valueStart - copied);
            result += QLatin1String("cid:") + value;
            copied = valueEnd;
            if (AInlineFiles != nullptr && !AInlineFiles->contains(file))
                AInlineFiles->append(file);
        }
        i = end;
    }
    result += QStringView(AHtml).mid(copied);
    return result;
}

} // namespace hostapi
