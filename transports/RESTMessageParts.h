#pragma once

#include "MimeMessage.h"

#include <QString>

// Turning an HTML body received from a mailbox service into message parts.
namespace emailmarketing {

// In every <img> tag, a source written src="cid:<id>" loses the angle brackets around the id
// (src="cid:id"), so that the reference matches the part's Content-ID. Text outside <img> tags is
// left as it is.
QString FixInlineImageReferences(const QString& AHtml);

// Appends the containers of an HTML message with inline images: "multipart/related" (part 0 of an
// empty list) and "multipart/alternative" as its child (part 1).
void AddMultipartContainers(MimeMessageParts& AParts);

// Appends the body as children of part 1 (the "multipart/alternative" container): a "text/plain"
// part with the readable text of the HTML (markup stripped, character references decoded) and a
// "text/html" part with the HTML itself, its inline image references fixed; both "utf-8". The HTML
// keeps its markup and its character references.
void AddHTMLBodyParts(MimeMessageParts& AParts, const QString& AHtml);

} // namespace emailmarketing
