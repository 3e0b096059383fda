#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

// Conversions of template bodies and text blocks between RTF, HTML and plain text, on top of
// TWPRichTextReportHelper.
class HOSTAPI_EXPORT RichTextConverter {
public:
    static const QString IndexHtmlFileName; // "_index.html"
    static const QString TextBodyFileName;  // "_textbody.txt"

    // Writes ARtf as HTML into AFolder (created when missing): "_index.html" (UTF-8) beside its
    // pictures, which it references by their file names in double quotes. Answers the HTML.
    static QString RtfToHtmlFolder(const QString& ARtf, const QString& AFolder);
    // Writes the plain text of ARtf into AFolder as "_textbody.txt" (UTF-8). Answers the text.
    static QString RtfToTextFile(const QString& ARtf, const QString& AFolder);
    // HTML whose images read "%IMAGEPATH%" + file name (files of AImageFolder) as RTF with those
    // images embedded.
    static QString HtmlToRtf(const QString& AHtml, const QString& AImageFolder);

    struct TextBlock {
        QString Html;
        QString Text;
    };
    // A text block's RTF as HTML and plain text. The HTML is the content of the document's body,
    // ready to stand in a template's body; its pictures go into AImageFolder as files named after
    // the block's description.
    static TextBlock ConvertTextBlockRTF(const QString& ARtf, const QString& ADescription,
                                         const QString& AImageFolder);
};

} // namespace hostapi
