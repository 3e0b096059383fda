#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace emailmarketing {

class TFDFWriter;

// Reading pdftk's field dump ("dump_data_fields" on standard output).
//
// The dump is a run of fields, each starting with a line "---" and made of "Key: text" lines.
// pdftk writes line breaks of a value as they are, so a value continues over the following lines
// up to the next line that starts with one of pdftk's keys or is "---"; only LF ends a line (a CR
// inside a value stays). Names and values carry XML entities (&amp; &lt; &gt; &quot; &apos; and
// numeric character references), which are decoded. Password prompts that pdftk prints before the
// dump (keyword PROMPT) are skipped.

// Refills AWriter from the dump AOutput. A line before the first "---" that is not a password
// prompt, or a malformed character reference, throws "pdftk.exe Output seems to be invalid!" with
// the reason (never the output, which holds field values). An empty dump leaves the writer empty.
void ParseDumpDataFields(const QByteArray& AOutput, TFDFWriter& AWriter);

// DecodeEntities with ACRToCRLF set unless AText holds "&#10;".
QString DecodeFieldText(const QString& AText);

// Replaces every entity "&name;" that DecodeEntity knows by its text, left to right; the replaced
// text is not decoded again. An "&" without a later ";", an empty entity and an unknown name stay
// as they are.
QString DecodeEntities(const QString& AText, bool ACRToCRLF);

// The text of the entity AEntity (the part between "&" and ";"): "#" and a decimal number or "#x"
// and a hexadecimal number give that character (code 13 gives CR LF when ACRToCRLF is set); gt, lt,
// amp, quot and apos their characters; any other name nullopt. A malformed or out-of-range number
// throws.
std::optional<QString> DecodeEntity(const QString& AEntity, bool ACRToCRLF);

} // namespace emailmarketing
