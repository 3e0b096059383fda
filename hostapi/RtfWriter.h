#pragma once

#include "HostApiExport.h"

#include <QString>

class QTextDocument;

namespace hostapi {

// Writes a text document as rich text (RTF) of the subset RtfReader reads: fonts, sizes, bold,
// italic, underline, strike-through, text and highlight colours, alignment, indents, line breaks,
// tabs, links as HYPERLINK fields, tables and pictures. The text begins with "{\rtf1".
//
// Characters beyond ASCII are written as they are (the text is stored as Unicode), so a caption
// such as "[Straße]" stays one run of characters that a search and replace on the stored text
// finds; a run of text is never broken across lines. Pictures keep their own format: PNG and JPEG
// resources are written with their bytes unchanged ("\pngblip", "\jpegblip"), any other image
// becomes PNG. An image whose resource the document does not hold is left out, with a log line.
// Resources are asked of the document (a RichTextDocument answers only those added to it).
class HOSTAPI_EXPORT RtfWriter {
public:
    static QString Write(const QTextDocument& ADocument);
};

} // namespace hostapi
