#include "QVXMLElement.h"

#include "QVException.h"

#include <QXmlStreamReader>

#include <vector>

namespace hostapi {

bool TQVXMLElement::HasAttribute(const QString& AName) const {
    for (const auto& attribute : Attributes)
        if (attribute.first == AName)
            return true;
    return false;
}

QString TQVXMLElement::Attribute(const QString& AName) const {
    for (const auto& attribute : Attributes)
        if (attribute.first == AName)
            return attribute.second;
    return {};
}

const TQVXMLElement* TQVXMLElement::Child(const QString& AName) const {
    for (const TQVXMLElement& child : Children)
        if (child.Name == AName)
            return &child;
    return nullptr;
}

namespace {

[[noreturn]] void Fail(const QXmlStreamReader& AReader, const QString& AText) {
    throw EQVException(QStringLiteral("XML error in line %1, column %2: %3")
                           .arg(AReader.lineNumber())
                           .arg(AReader.columnNumber())
                           .arg(AText));
}

} // namespace

TQVXMLElement TQVXMLElement::Parse(const QByteArray& AData) {
    QXmlStreamReader reader(AData);
    std::vector<TQVXMLElement> open; // the path from the root to the current element
    TQVXMLElement root;
    bool haveRoot = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            Fail(reader, QStringLiteral("document type declarations are not accepted"));
        case QXmlStreamReader::EntityReference:
            Fail(reader, QStringLiteral("undeclared entity '%1'").arg(reader.name().toString()));
        case QXmlStreamReader::StartElement: {
            if (open.size() >= size_t(MaxDepth))
                Fail(reader, QStringLiteral("elements nested deeper than %1 levels").arg(MaxDepth));
            TQVXMLElement element;
            element.Name = reader.qualifiedName().toString();
            element.Line = reader.lineNumber();
            element.Column = reader.columnNumber();
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                element.Attributes.append(
                    {attribute.qualifiedName().toString(), attribute.value().toString()});
            open.push_back(std::move(element));
            break;
        }
        case QXmlStreamReader::EndElement: {
            TQVXMLElement done = std::move(open.back());
            open.pop_back();
            if (open.empty()) {
                root = std::move(done);
                haveRoot = true;
            } else {
                open.back().Children.append(std::move(done));
            }
            break;
        }
        case QXmlStreamReader::Characters:
            if (!open.empty())
                open.back().Text += reader.text();
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        Fail(reader, reader.errorString());
    if (!haveRoot)
        Fail(reader, QStringLiteral("the document has no root element"));
    return root;
}

} // namespace hostapi
