#include "RESTMessageParts.h"

#include "HtmlText.h"

namespace emailmarketing {

namespace {

bool IsImageTag(const QString& AHtml, qsizetype AAt) {
    const qsizetype after = AAt + 4;
    return after >= AHtml.size() || AHtml.at(after).isSpace() || AHtml.at(after) == QLatin1Char('/') ||
           AHtml.at(after) == QLatin1Char('>');
}

} // namespace

QString FixInlineImageReferences(const QString& AHtml) {
    static const QLatin1StringView kImage("<img");
    static const QLatin1StringView kSource("src=\"cid:");
    QString html = AHtml;
    qsizetype pos = 0;
    while ((pos = html.indexOf(kImage, pos, Qt::CaseInsensitive)) >= 0) {
        if (!IsImageTag(html, pos)) {
            pos += kImage.size();
            continue;
        }
        qsizetype tagEnd = hostapi::HtmlTagEnd(html, pos);
        const qsizetype found =
            QStringView(html).mid(pos, tagEnd - pos).indexOf(kSource, 0, Qt::CaseInsensitive);
        if (found < 0) {
            pos = tagEnd;
            continue;
        }
        const qsizetype id = pos + found + kSource.size();
        if (id < html.size() && html.at(id) == QLatin1Char('<')) {
            html.remove(id, 1);
            --tagEnd;
        }
        const qsizetype quote = html.indexOf(QLatin1Char('"'), id);
        if (quote < 0)
            break;
        if (quote > id && html.at(quote - 1) == QLatin1Char('>')) {
            html.remove(quote - 1, 1);
            --tagEnd;
        }
        pos = tagEnd;
    }
    return html;
}

void AddMultipartContainers(MimeMessageParts& AParts) {
    AParts.append(MimeMessagePart::Container(QStringLiteral("multipart/related"), -1));
    AParts.append(
        MimeMessagePart::Container(QStringLiteral("multipart/alternative"), int(AParts.size()) - 1));
}

void AddHTMLBodyParts(MimeMessageParts& AParts, const QString& AHtml) {
    const QString utf8 = QStringLiteral("utf-8");
    AParts.append(
        MimeMessagePart::Text(QStringLiteral("text/plain"), hostapi::StripHtmlMarkup(AHtml), utf8, 1));
    AParts.append(
        MimeMessagePart::Text(QStringLiteral("text/html"), FixInlineImageReferences(AHtml), utf8, 1));
}

} // namespace emailmarketing
