#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

// Decodes the character references of HTML text: the named entities of HTML 4 (and "&apos;"), each
// with its semicolon, and numeric references "&#169;" / "&#xA9;". A numeric reference to 128-159
// means the Windows-1252 character of that byte (as browsers read it). A reference that names no
// character (unknown name, missing semicolon, zero, a surrogate or a number beyond U+10FFFF) stays
// as it is written.
HOSTAPI_EXPORT QString HtmlDecode(const QString& AHtml);

// The readable text of an HTML document: comments, declarations and tags are removed; the head
// (up to "</head>", "<body" or the first text), the title, scripts and style sheets are dropped
// with their content; runs of white space become one blank (except inside <pre>); a line break
// (<br>) and the start and end of a block element (paragraph, division, heading, list item, table
// row, ...) end the line; table cells are separated by a tab; character references are decoded
// (HtmlDecode) in the text only, so "&lt;b&gt;" becomes the text "<b>". Lines are trimmed, at most
// one empty line separates two lines of text, and lines end with "\n".
HOSTAPI_EXPORT QString StripHtmlMarkup(const QString& AHtml);

// Index after the ">" that ends the tag starting with "<" at ATagStart; quoted attribute values may
// hold ">". A tag without its ">" reaches to the end of the text (the text's size).
HOSTAPI_EXPORT qsizetype HtmlTagEnd(const QString& AHtml, qsizetype ATagStart);

} // namespace hostapi
