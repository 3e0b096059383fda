#include "AttachmentPathRules.h"

#include "FileUtils.h"

namespace emailmarketing {

QString TAttachmentPathRules::WithSeparator(const QString& AFolder) {
    if (AFolder.isEmpty() || AFolder.endsWith(QLatin1Char('/')))
        return AFolder;
    return AFolder + QLatin1Char('/');
}

QString TAttachmentPathRules::ExpandAppFolder(const QString& APath, const QString& AAppFolder) {
    if (!APath.startsWith(AppMarker(), Qt::CaseSensitive))
        return APath;
    return WithSeparator(AAppFolder) + APath.mid(AppMarker().size());
}

QString TAttachmentPathRules::ContractAppFolder(const QString& APath, const QString& AAppFolder) {
    const QString folder = WithSeparator(AAppFolder);
    if (folder.isEmpty() || APath.size() <= folder.size() || !APath.startsWith(folder, Qt::CaseSensitive))
        return APath;
    return AppMarker() + APath.mid(folder.size());
}

QString TAttachmentPathRules::ApplicationFolder() {
    return hostapi::ApplicationFolder();
}

} // namespace emailmarketing
