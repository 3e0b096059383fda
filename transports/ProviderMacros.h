#pragma once

#include <QString>

namespace emailmarketing {

class TAuthProviderItem;

// Where provider texts and paths are expanded: the provider folder and the language.
struct ProviderMacroContext {
    QString ProviderPath; // folder of the provider definition files
    QString Language;     // "german" or "english"
};

// APath with "/" separators and a trailing "/"; empty stays empty.
QString ProviderFolder(const QString& APath);

// Replaces, in this order and every occurrence (letter case counts): ".\" by the provider folder
// with a trailing "/", "%language%" by the language, and, when a provider is given,
// "%provider.caption%" by its "Caption".
QString ExpandProviderMacros(const QString& AText, const ProviderMacroContext& AContext,
                             const TAuthProviderItem* AProvider);

// A file path from a provider file: macros expanded, "\" read as "/", a relative path taken from
// the provider folder.
QString ResolveProviderPath(const QString& APath, const ProviderMacroContext& AContext,
                            const TAuthProviderItem* AProvider);

} // namespace emailmarketing
