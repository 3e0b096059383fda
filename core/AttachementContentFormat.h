#pragma once

#include <QByteArray>
#include <QString>

namespace emailmarketing {

// How the content of an attachment with macros is read as text, and in which form a replaced value
// is written into it: the form that the file's own format declares.
//
// - RTF ("{\rtf" at the start): the content is kept byte for byte; a value's characters beyond
//   ASCII become "\'xx" escapes of code page 1252 (when the file declares that code page or none)
//   or "\uN?" escapes.
// - HTML and XML (by their start, or a name ending in .htm, .html, .xhtml or .xml): the declared
//   charset ("<meta charset>", "<meta http-equiv=Content-Type>", the XML declaration's encoding).
//   A character the charset cannot hold becomes a character reference "&#N;". XML without an
//   encoding is UTF-8, as XML defines; HTML without a charset follows the rule for plain text.
// - Anything else (and HTML without a charset): a UTF-8 byte order mark or valid UTF-8 with
//   characters beyond ASCII means UTF-8; otherwise (also pure ASCII) Windows-1252, where a
//   character outside the code page becomes "?".
// Content that is not UTF-8 is read byte-transparently, so the bytes outside replaced values never
// change. Markup characters of a value ("<", "&", "{", "\") are written as they stand.
class TAttachementContentFormat {
public:
    enum TKind { cfText, cfRTF, cfHTML, cfXML };
    enum TCharset { csUtf8, csUtf8WithBom, csWindows1252, csLatin1, csAscii };

    TAttachementContentFormat() = default;
    // The format of AContent; AFileName (the attachment's name) marks HTML and XML fragments.
    // Raises EQVException for content that starts with a UTF-8 byte order mark but is not UTF-8.
    static TAttachementContentFormat Detect(const QByteArray& AContent, const QString& AFileName);

    TKind Kind() const { return FKind; }
    TCharset Charset() const { return FCharset; }

    QString Decode(const QByteArray& AContent) const;
    QByteArray Encode(const QString& AText) const;
    // AValue as text of the file: escapes or character references for what the file cannot hold.
    QString ValueInFile(const QString& AValue) const;

private:
    bool CanHold(char32_t ACodePoint) const;
    QString RtfEscaped(const QString& AValue) const;
    QString WithReferences(const QString& AValue) const;

    TKind FKind = cfText;
    TCharset FCharset = csUtf8;
    bool FRtfCodePage1252 = true;
};

} // namespace emailmarketing
