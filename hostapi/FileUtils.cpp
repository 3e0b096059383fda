#include "FileUtils.h"
#include "QVException.h"
#include "Windows1252Codec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>

namespace hostapi {

namespace {

QString WithTrailingSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// The folder that temporary names go into: `folder`, or the system's temporary folder when empty.
QString TempParent(const QString& folder) {
    return folder.isEmpty() ? GetTempPath() : WithTrailingSeparator(QFileInfo(folder).absoluteFilePath());
}

void CheckNamePart(const QString& part, const char* what) {
    if (part.contains(QLatin1Char('/')) || part.contains(QLatin1Char('\\')))
        throw EQVException(QStringLiteral("The temporary name's %1 \"%2\" must not contain a path separator.")
                               .arg(QLatin1String(what), part));
}

void CheckReadableFolder(const QFileInfo& info) {
    if (!info.isReadable() || !info.isExecutable())
        throw EQVException(
            QStringLiteral("Cannot read the folder \"%1\": permission denied.").arg(info.filePath()));
}

void RemoveEntry(const QFileInfo& entry);

void RemoveContents(const QString& folder) {
    const QFileInfo info(folder);
    CheckReadableFolder(info);
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries)
        RemoveEntry(entry);
}

void RemoveFolder(const QString& folder) {
    if (!QDir().rmdir(folder))
        throw EQVException(
            QStringLiteral("Cannot delete the folder \"%1\": %2").arg(folder, qt_error_string()));
}

void RemoveEntry(const QFileInfo& entry) {
    const QString path = entry.absoluteFilePath();
    // A link is removed as it is, whatever it points to.
    if (entry.isDir() && !entry.isSymLink()) {
        RemoveContents(path);
        RemoveFolder(path);
        return;
    }
    QFile file(path);
    if (!file.remove())
        throw EQVException(QStringLiteral("Cannot delete the file \"%1\": %2").arg(path, file.errorString()));
}

bool SameLetter(uint a, uint b) {
    return a == b || QChar::toCaseFolded(a) == QChar::toCaseFolded(b);
}

[[noreturn]] void ThrowUndecodable(const QString& path, const char* encoding) {
    throw EQVException(
        QStringLiteral("The text file \"%1\" is not valid %2.").arg(path, QLatin1String(encoding)));
}

QString Decode(QStringConverter::Encoding encoding, const QByteArray& bytes, const QString& path,
               const char* encodingName) {
    // Stateless: a sequence cut off at the end of the file is an error, not dropped.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        ThrowUndecodable(path, encodingName);
    return text;
}

} // namespace

QString GetTempPath() {
    return WithTrailingSeparator(QDir::tempPath());
}

QString GetTempFileName(const QString& folder, const QString& prefix, const QString& extension) {
    CheckNamePart(prefix, "prefix");
    CheckNamePart(extension, "extension");
    QString suffix = extension;
    if (!suffix.isEmpty() && !suffix.startsWith(QLatin1Char('.')))
        suffix.prepend(QLatin1Char('.'));

    const QString parent = TempParent(folder);
    QTemporaryFile file(parent + prefix + QStringLiteral("XXXXXX") + suffix);
    file.setAutoRemove(false);
    if (!file.open())
        throw EQVException(
            QStringLiteral("Cannot create a temporary file in \"%1\": %2").arg(parent, file.errorString()));
    return file.fileName();
}

QString CreateTempFolder(const QString& parent, const QString& prefix) {
    CheckNamePart(prefix, "prefix");
    const QString base = TempParent(parent);
    QTemporaryDir dir(base + prefix + QStringLiteral("XXXXXX"));
    dir.setAutoRemove(false);
    if (!dir.isValid())
        throw EQVException(
            QStringLiteral("Cannot create a temporary folder in \"%1\": %2").arg(base, dir.errorString()));
    return WithTrailingSeparator(dir.path());
}

void ClearFolder(const QString& folder, bool removeFolder) {
    if (folder.isEmpty())
        throw EQVException(QStringLiteral("Cannot clear a folder: no path was given."));
    if (!QDir::isAbsolutePath(folder))
        throw EQVException(
            QStringLiteral("Cannot clear the folder \"%1\": the path is not absolute.").arg(folder));
    const QString path = QDir::cleanPath(folder);
    if (QDir(path).isRoot())
        throw EQVException(QStringLiteral("Cannot clear the root folder \"%1\".").arg(folder));

    const QFileInfo info(path);
    if (info.isSymLink())
        throw EQVException(QStringLiteral("Cannot clear the folder \"%1\": it is a link.").arg(folder));
    if (!info.exists())
        return;
    if (!info.isDir())
        throw EQVException(QStringLiteral("Cannot clear the folder \"%1\": it is not a folder.").arg(folder));

    RemoveContents(path);
    if (removeFolder)
        RemoveFolder(path);
}

bool MatchesWildcard(const QString& name, const QString& pattern) {
    if (pattern == QLatin1String("*.*"))
        return true;
    const QList<uint> n = name.toUcs4();
    const QList<uint> p = pattern.toUcs4();
    qsizetype ni = 0;
    qsizetype pi = 0;
    qsizetype starAt = -1; // pattern position after the last "*" seen
    qsizetype starMatch = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == U'*') {
            starAt = ++pi;
            starMatch = ni;
        } else if (pi < p.size() && (p[pi] == U'?' || SameLetter(p[pi], n[ni]))) {
            ++pi;
            ++ni;
        } else if (starAt >= 0) {
            // Let the last "*" take one more character and try again.
            pi = starAt;
            ni = ++starMatch;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*')
        ++pi;
    return pi == p.size();
}

QStringList ListFiles(const QString& folder, const QString& nameFilter) {
    const QFileInfo info(folder);
    if (!info.exists())
        return {};
    if (!info.isDir())
        throw EQVException(
            QStringLiteral("Cannot list the files of \"%1\": it is not a folder.").arg(folder));
    CheckReadableFolder(info);

    QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    files.erase(
        std::remove_if(files.begin(), files.end(),
                       [&](const QFileInfo& f) { return !MatchesWildcard(f.fileName(), nameFilter); }),
        files.end());
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int byLetters = QString::compare(a.fileName(), b.fileName(), Qt::CaseInsensitive);
        return byLetters != 0 ? byLetters < 0 : a.fileName() < b.fileName();
    });
    QStringList paths;
    paths.reserve(files.size());
    for (const QFileInfo& f : files)
        paths.append(f.absoluteFilePath());
    return paths;
}

QString LoadTextFile(const QString& path) {
    const QByteArray bytes = LoadBinaryFile(path);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return Decode(QStringConverter::Utf8, bytes, path, "UTF-8");
    if (bytes.startsWith("\xFF\xFE"))
        return Decode(QStringConverter::Utf16LE, bytes, path, "UTF-16");
    if (bytes.startsWith("\xFE\xFF"))
        return Decode(QStringConverter::Utf16BE, bytes, path, "UTF-16");

    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? Windows1252Codec::Decode(bytes) : text;
}

void SaveTextFile(const QString& path, const QString& text, TextFileEncoding encoding) {
    SaveBinaryFile(path, encoding == TextFileEncoding::Utf8 ? text.toUtf8() : Windows1252Codec::Encode(text));
}

QByteArray LoadBinaryFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EQVException(QStringLiteral("Cannot read the file \"%1\": %2").arg(path, file.errorString()));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EQVException(QStringLiteral("Cannot read the file \"%1\": %2").arg(path, file.errorString()));
    return data;
}

void SaveBinaryFile(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EQVException(QStringLiteral("Cannot write the file \"%1\": %2").arg(path, file.errorString()));
    if (file.write(data) != data.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw EQVException(QStringLiteral("Cannot write the file \"%1\": %2").arg(path, reason));
    }
    if (!file.commit())
        throw EQVException(QStringLiteral("Cannot write the file \"%1\": %2").arg(path, file.errorString()));
}

QString ApplicationFolder() {
    QV_ASSERT(QCoreApplication::instance() != nullptr);
    return WithTrailingSeparator(QCoreApplication::applicationDirPath());
}

bool IsPlainFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    return true;
}

} // namespace hostapi
