#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace hostapi {
class TDBFieldSchema;
}

namespace emailmarketing {

class TEmailListItem;

// The two forms of a macro in a template's text: stored "%NAME%" and shown "[Caption]" (names and
// captions compared case-insensitively).
class TMacroForms {
public:
    // Stored form <-> editor form of the fields of SchemaName.
    static QString ReplaceFieldMacros(const QString& SchemaName, const QString& AText, bool FieldsToCaption,
                                      const hostapi::TDBFieldSchema& ADBFieldSchema);
    // The same for a list: its schema's fields, its own macros, its schema macros, then the
    // predefined macros. AText unchanged without a list; no field macros when the list's schema
    // is missing.
    static QString ReplaceFieldMacros(const QString& AText, bool FieldsToCaption,
                                      const TEmailListItem* AEmailList,
                                      const hostapi::TDBFieldSchema& ADBFieldSchema);
    // Predefined macros (name, editor caption) in their fixed order.
    static const QList<QPair<QString, QString>>& PredefinedMacros();
};

} // namespace emailmarketing
