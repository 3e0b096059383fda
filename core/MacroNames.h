#pragma once

#include <QString>

namespace emailmarketing {

// The one upper-casing of macro names and text-block tags, for the window and the engine alike:
// character by character (simple case mapping), so a name keeps its length: "Straße" becomes
// "STRAßE" (what stored templates hold), never "STRASSE". ASCII letters map as usual.
QString MacroUpperCase(const QString& AName);

// "%" + upper-cased name + "%".
QString StoredMacroForm(const QString& AName);

// "[TEXTBLOCK:" + upper-cased description + "]".
QString TextBlockTag(const QString& ADescription);

} // namespace emailmarketing
