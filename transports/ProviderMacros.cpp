#include "ProviderMacros.h"

#include "AuthProviderItem.h"

#include <QDir>

namespace emailmarketing {

QString ProviderFolder(const QString& APath) {
    if (APath.isEmpty())
        return {};
    QString folder = QDir::fromNativeSeparators(APath);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString ExpandProviderMacros(const QString& AText, const ProviderMacroContext& AContext,
                             const TAuthProviderItem* AProvider) {
    QString text = AText;
    text.replace(QLatin1String(".\\"), ProviderFolder(AContext.ProviderPath));
    text.replace(QLatin1String("%language%"), AContext.Language);
    if (AProvider)
        text.replace(QLatin1String("%provider.caption%"), AProvider->Caption());
    return text;
}

QString ResolveProviderPath(const QString& APath, const ProviderMacroContext& AContext,
                            const TAuthProviderItem* AProvider) {
    const QString path = QDir::fromNativeSeparators(QString(ExpandProviderMacros(APath, AContext, AProvider))
                                                        .replace(QLatin1Char('\\'), QLatin1Char('/')));
    if (QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    return QDir::cleanPath(ProviderFolder(AContext.ProviderPath) + path);
}

} // namespace emailmarketing
