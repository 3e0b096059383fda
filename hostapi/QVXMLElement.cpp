#include "QVXMLElement.h"

#include "QVException.h"

#include "QVXMLStreamReader.h"

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

TQVXMLElement TQVXMLElement::Parse(const QByteArray& AData) {
    TQVXMLStreamReader reader(AData);
    if (!reader.NextElement())
        throw EQVException(QStringLiteral("XML error in line 1, column 1: the document has no root element"));
    TQVXMLElement root = reader.ReadElement();
    reader.Finish();
    return root;
}

} // namespace hostapi
