#pragma once

#include <QDir>
#include <QFile>
#include <QString>

namespace testsupport {

// The path that opens a file this process holds open after its name was removed
// ("/proc/self/fd/N"); empty when no descriptor of this process holds a file of that former name.
inline QString RemovedFileOpenPath(const QString& AFileName) {
    const QString removed = AFileName + QStringLiteral(" (deleted)");
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString path = fds.filePath(fd);
        if (QFile::symLinkTarget(path) == removed)
            return path;
    }
    return QString();
}

} // namespace testsupport
