#pragma once

#include "HostApiExport.h"
#include "RichTextDocument.h"

#include <QString>

class QIODevice;

namespace hostapi {

// The host's rich-text converter: loads a text as RTF, HTML or plain text into one document and
// writes that document as RTF, HTML (with its pictures as files) or plain text. Formats are named
// "RTF", "HTML" and "TXT" (letter case ignored); another name throws EQVException. Streams carry
// UTF-8.
class HOSTAPI_EXPORT TWPRichTextReportHelper {
public:
    TWPRichTextReportHelper();
    ~TWPRichTextReportHelper();
    TWPRichTextReportHelper(const TWPRichTextReportHelper&) = delete;
    TWPRichTextReportHelper& operator=(const TWPRichTextReportHelper&) = delete;

    void Clear();

    // HTML: every "%IMAGEPATH%" is removed, and an image whose source is a plain file name of a
    // file in AImageFolder (not a link) is embedded with its bytes; other sources are kept as
    // references and nothing is loaded for them.
    void LoadFromString(const QString& AText, const QString& AFormat,
                        const QString& AImageFolder = QString());
    // "RTF" or "TXT"; "HTML" writes the pictures' names without writing their files.
    QString SaveToString(const QString& AFormat) const;
    void SaveToStream(QIODevice& AStream, const QString& AFormat) const;

    // HTML whose pictures are written as files into AImageFolder (created when missing) and
    // referenced by their file names in double quotes. The files are named after ABaseName
    // (SanitizedFileBaseName) as "<base>_<n>.png" or ".jpg", n counting from 1 past the names that
    // exist in the folder already, so no file there is overwritten. ATitle is the document's title.
    QString SaveToHTML(const QString& AImageFolder, const QString& ABaseName, const QString& ATitle) const;
    void SaveToHTMLStream(QIODevice& AStream, const QString& AImageFolder, const QString& ABaseName,
                          const QString& ATitle) const;

    // The document's plain text: paragraphs and line breaks end lines ("\n"), table cells are
    // separated by a tab and rows end lines, pictures are left out, trailing empty lines dropped.
    QString PlainText() const;

    RichTextDocument& Document() { return FDocument; }
    const RichTextDocument& Document() const { return FDocument; }

private:
    RichTextDocument FDocument;
};

// A base name for files made from AName (a description, a title): letters, digits, "-", "_" and
// "." of ASCII are kept, every other character becomes "_", leading dots are dropped and runs of
// dots become one, so the name holds no separator and no "..". At most AMaxBytes bytes; "image"
// when nothing is left.
HOSTAPI_EXPORT QString SanitizedFileBaseName(const QString& AName, int AMaxBytes = 200);

} // namespace hostapi
