#pragma once

#include <QByteArray>

namespace emailmarketing {

class TFDFWriter;

// Reads the form fields of a PDF file as pdftk writes it (objects in the file itself, not in object
// streams; streams skipped by their length): the terminal fields of the form's field tree, in tree
// order, each with its full name (partial names joined by "."), its value or, without a value, its
// default (both inherited from the parent fields as in any PDF), and its type as pdftk's field dump
// names it ("Text", "Button", "Choice", "Signature"). Values are read from the PDF's own strings and
// names, so no value can be taken for a field of its own.
//
// A text string is decoded from UTF-16BE or UTF-8 (with byte-order mark) or PDFDocEncoding; a name
// (a check box's state) gives its text; of an array of values (a list with several selected) the
// first counts; a rich-text stream gives an empty value.
//
// Refills AWriter. A PDF without form fields leaves it empty; a file that is not a PDF (no
// catalog), nesting deeper than 64 levels or a field tree that refers to itself throws with the
// reason.
void ReadPDFFormFields(const QByteArray& APDF, TFDFWriter& AWriter);

} // namespace emailmarketing
