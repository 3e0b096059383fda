#pragma once

#include "HostApiExport.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace hostapi {

// One element of an exchanged XML document, read completely: name, attributes in document order,
// child elements and the character data directly inside it.
struct HOSTAPI_EXPORT TQVXMLElement {
    QString Name;
    QList<QPair<QString, QString>> Attributes;
    QList<TQVXMLElement> Children;
    QString Text; // character data and CDATA directly inside, concatenated
    qint64 Line = 0;
    qint64 Column = 0;

    bool HasAttribute(const QString& AName) const;
    // The attribute's value; empty when absent. Names compare exactly.
    QString Attribute(const QString& AName) const;
    // The first child of that name, or nullptr.
    const TQVXMLElement* Child(const QString& AName) const;

    static constexpr int MaxDepth = 256;

    // Reads a whole document and answers its root element. Refuses document type declarations (and
    // with them every entity definition), elements nested deeper than MaxDepth, and malformed XML;
    // the EQVException's text names line and column.
    static TQVXMLElement Parse(const QByteArray& AData);
};

} // namespace hostapi
