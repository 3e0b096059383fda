#include "RichTextConverter.h"

#include "FileUtils.h"
#include "HtmlText.h"
#include "QVException.h"
#include "WPRichTextReportHelper.h"

#include <QDir>

namespace hostapi {

namespace {

QString WithSeparator(const QString& AFolder) {
    if (AFolder.isEmpty())
        throw EQVException(QStringLiteral("No folder is given for the converted text."));
    return AFolder.endsWith(QLatin1Char('/')) ? AFolder : AFolder + QLatin1Char('/');
}

// The content of the document's <body> element, or the whole text when it has none.
QString BodyContent(const QString& AHtml) {
    const qsizetype body = AHtml.indexOf(QLatin1String("<body"), 0, Qt::CaseInsensitive);
    if (body < 0)
        return AHtml;
    const qsizetype start = HtmlTagEnd(AHtml, body);
    const qsizetype end = AHtml.lastIndexOf(QLatin1String("</body>"), -1, Qt::CaseInsensitive);
    return AHtml.mid(start, end < start ? -1 : end - start);
}

void MakeFolder(const QString& AFolder) {
    if (!QDir().mkpath(AFolder))
        throw EQVException(QStringLiteral("The folder \"%1\" could not be created.").arg(AFolder));
}

} // namespace

const QString RichTextConverter::IndexHtmlFileName = QStringLiteral("_index.html");
const QString RichTextConverter::TextBodyFileName = QStringLiteral("_textbody.txt");

QString RichTextConverter::RtfToHtmlFolder(const QString& ARtf, const QString& AFolder) {
    const QString folder = WithSeparator(AFolder);
    MakeFolder(folder);
    TWPRichTextReportHelper helper;
    helper.LoadFromString(ARtf, QStringLiteral("RTF"));
    const QString html = helper.SaveToHTML(folder, QStringLiteral("image"), QString());
    SaveTextFile(folder + IndexHtmlFileName, html);
    return html;
}

QString RichTextConverter::RtfToTextFile(const QString& ARtf, const QString& AFolder) {
    const QString folder = WithSeparator(AFolder);
    MakeFolder(folder);
    TWPRichTextReportHelper helper;
    helper.LoadFromString(ARtf, QStringLiteral("RTF"));
    const QString text = helper.PlainText();
    SaveTextFile(folder + TextBodyFileName, text);
    return text;
}

QString RichTextConverter::HtmlToRtf(const QString& AHtml, const QString& AImageFolder) {
    TWPRichTextReportHelper helper;
    helper.LoadFromString(AHtml, QStringLiteral("HTML"), AImageFolder);
    return helper.SaveToString(QStringLiteral("RTF"));
}

RichTextConverter::TextBlock RichTextConverter::ConvertTextBlockRTF(const QString& ARtf,
                                                                    const QString& ADescription,
                                                                    const QString& AImageFolder) {
    TWPRichTextReportHelper helper;
    helper.LoadFromString(ARtf, QStringLiteral("RTF"));
    TextBlock block;
    block.Html = BodyContent(
        helper.SaveToHTML(WithSeparator(AImageFolder), SanitizedFileBaseName(ADescription), ADescription));
    block.Text = helper.PlainText();
    return block;
}

} // namespace hostapi
