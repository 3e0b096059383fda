#pragma once

#include "HostApiExport.h"

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace hostapi {

// Reads rich text (RTF, as Windows rich-edit controls and word processors write it) into a text
// document, replacing its content.
//
// Read: groups and control words; unknown destinations and those marked "\*" are skipped;
// "\'hh" bytes through Windows-1252 (another "\ansicpg" code page is read as Windows-1252, with one
// log line); "\uN" with its "\ucN" fallback characters; font and colour tables; bold, italic,
// underline, strike-through, font, size, text and highlight colours; paragraphs, line breaks, tabs,
// alignment and indents (twips become pixels at 96 dpi); HYPERLINK fields as anchors; simple
// tables; PNG and JPEG pictures (hex or "\bin") with their display size. Every other picture kind
// becomes a grey placeholder picture of its size. A picture's bytes are added unchanged to the
// document as an image resource named "rtfimage<N>.png" or ".jpg".
//
// Limits: groups nest at most MaxGroupDepth levels, one "\bin" run and one picture hold at most
// MaxBinaryBytes bytes; beyond that, or for text that does not begin with "{\rtf", EQVException
// says why. Nothing is loaded from outside the text.
class HOSTAPI_EXPORT RtfReader {
public:
    static constexpr int MaxGroupDepth = 200;
    static constexpr qsizetype MaxBinaryBytes = 32 * 1024 * 1024;

    // Stored rich text: characters beyond ASCII written as they are are taken as they are.
    static void Read(const QString& ARtf, QTextDocument& ADocument);
    // A file's bytes: bytes beyond ASCII written as they are belong to the document's code page
    // (read as Windows-1252).
    static void ReadBytes(const QByteArray& ARtf, QTextDocument& ADocument);
};

} // namespace hostapi
