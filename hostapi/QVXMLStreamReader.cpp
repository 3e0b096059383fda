#include "QVXMLStreamReader.h"

#include "QVException.h"

#include <vector>

namespace hostapi {

TQVXMLStreamReader::TQVXMLStreamReader(const QByteArray& AData) : FData(AData), FBuffer(&FData) {
    FBuffer.open(QIODevice::ReadOnly);
    FReader.setDevice(&FBuffer);
}

void TQVXMLStreamReader::Fail(const QString& AText) const {
    throw EQVException(QStringLiteral("XML error in line %1, column %2: %3")
                           .arg(FReader.lineNumber())
                           .arg(FReader.columnNumber())
                           .arg(AText));
}

QXmlStreamReader::TokenType TQVXMLStreamReader::Next() {
    const QXmlStreamReader::TokenType token = FReader.readNext();
    switch (token) {
    case QXmlStreamReader::DTD:
        Fail(QStringLiteral("document type declarations are not accepted"));
    case QXmlStreamReader::EntityReference:
        Fail(QStringLiteral("undeclared entity '%1'").arg(FReader.name().toString()));
    case QXmlStreamReader::Invalid:
        Fail(FReader.hasError() ? FReader.errorString() : QStringLiteral("unreadable document"));
    case QXmlStreamReader::StartElement:
        if (FDepth >= TQVXMLElement::MaxDepth)
            Fail(QStringLiteral("elements nested deeper than %1 levels").arg(TQVXMLElement::MaxDepth));
        ++FDepth;
        break;
    case QXmlStreamReader::EndElement:
        --FDepth;
        break;
    default:
        break;
    }
    return token;
}

bool TQVXMLStreamReader::NextElement() {
    for (;;) {
        switch (Next()) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
            return false;
        case QXmlStreamReader::EndDocument:
            return false;
        default:
            break;
        }
    }
}

TQVXMLElement TQVXMLStreamReader::Head() const {
    TQVXMLElement element;
    element.Name = FReader.qualifiedName().toString();
    element.Line = FReader.lineNumber();
    element.Column = FReader.columnNumber();
    const QXmlStreamAttributes attributes = FReader.attributes();
    element.Attributes.reserve(attributes.size());
    for (const QXmlStreamAttribute& attribute : attributes)
        element.Attributes.append({attribute.qualifiedName().toString(), attribute.value().toString()});
    return element;
}

TQVXMLElement TQVXMLStreamReader::ReadElement() {
    std::vector<TQVXMLElement> open; // the path from the element read to the current one
    open.push_back(Head());
    for (;;) {
        switch (Next()) {
        case QXmlStreamReader::StartElement:
            open.push_back(Head());
            break;
        case QXmlStreamReader::EndElement: {
            TQVXMLElement done = std::move(open.back());
            open.pop_back();
            if (open.empty())
                return done;
            open.back().Children.append(std::move(done));
            break;
        }
        case QXmlStreamReader::Characters:
            open.back().Text += FReader.text();
            break;
        case QXmlStreamReader::EndDocument:
            Fail(QStringLiteral("the document ends inside the element '%1'").arg(open.front().Name));
        default:
            break;
        }
    }
}

void TQVXMLStreamReader::Finish() {
    while (Next() != QXmlStreamReader::EndDocument) {
    }
}

void TQVXMLStreamReader::Check(const QByteArray& AData) {
    TQVXMLStreamReader reader(AData);
    if (!reader.NextElement())
        reader.Fail(QStringLiteral("the document has no root element"));
    reader.Finish();
}

} // namespace hostapi
