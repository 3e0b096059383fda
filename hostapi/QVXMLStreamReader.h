#pragma once

#include "HostApiExport.h"
#include "QVXMLElement.h"

#include <QBuffer>
#include <QByteArray>
#include <QXmlStreamReader>

namespace hostapi {

// Reads an exchanged XML document as a stream, one element at a time: the caller walks the
// elements it wants (NextElement, Head) and reads the small ones whole (ReadElement), so a large
// document is never held as a tree. Refuses document type declarations (and with them every entity
// definition), undeclared entities, elements nested deeper than TQVXMLElement::MaxDepth and
// malformed XML; the EQVException's text names line and column.
class HOSTAPI_EXPORT TQVXMLStreamReader {
public:
    // AData must outlive the reader.
    explicit TQVXMLStreamReader(const QByteArray& AData);

    // Moves to the start of the next element inside the one being read (at the top: the root
    // element); False at the end of that element (at the top: the document's end).
    bool NextElement();
    // The element whose start NextElement found: its name, attributes and position, without
    // children and text.
    TQVXMLElement Head() const;
    // Reads the element whose start NextElement found up to its end and answers it whole.
    TQVXMLElement ReadElement();
    // Reads the rest of the document, checking it.
    void Finish();

    // Checks the whole document without keeping any of it.
    static void Check(const QByteArray& AData);

private:
    QXmlStreamReader::TokenType Next();
    [[noreturn]] void Fail(const QString& AText) const;

    QByteArray FData;
    QBuffer FBuffer; // a device makes the reader decode in small chunks, not the whole document at once
    QXmlStreamReader FReader;
    int FDepth = 0; // elements open
};

} // namespace hostapi
