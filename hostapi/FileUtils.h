#pragma once

#include "HostApiExport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace hostapi {

// File routines of the host. Folder paths that these routines answer end with "/"; every failure
// throws EQVException with the path and the system's reason.

// The system's temporary folder, with a trailing separator.
HOSTAPI_EXPORT QString GetTempPath();

// Creates a new, empty file readable and writable by the owner only (0600) and answers its full
// path: `folder` (the system's temporary folder when empty) + `prefix` + a unique part +
// `extension` (with or without its leading dot; empty for none). The file exists when the name is
// answered, so no other caller can take the same name; the caller deletes it.
HOSTAPI_EXPORT QString GetTempFileName(const QString& folder = QString(),
                                       const QString& prefix = QStringLiteral("qv"),
                                       const QString& extension = QStringLiteral(".tmp"));

// Creates a new, empty folder accessible by the owner only (0700) inside `parent` (the system's
// temporary folder when empty) and answers its path with a trailing separator.
HOSTAPI_EXPORT QString CreateTempFolder(const QString& parent = QString(),
                                        const QString& prefix = QStringLiteral("qv"));

// Deletes everything inside `folder`, and the folder itself when `removeFolder` is True. Symbolic
// links are deleted, never followed. Only a non-empty absolute path is accepted; the root folder, a
// relative path, a file and a link in place of the folder are refused. A folder that does not exist
// is already clear. Throws on the first entry that cannot be deleted.
HOSTAPI_EXPORT void ClearFolder(const QString& folder, bool removeFolder);

// Full paths of the files (no folders, no hidden files) directly in `folder` whose names match
// `nameFilter`: "*" stands for any run of characters, "?" for one character, letter case is
// ignored, and "*.*" matches every file as on Windows. Sorted by file name ignoring case, names
// that differ only in case in code-point order ("A.txt" before "a.txt" before "b.txt"). A folder
// that does not exist has no files; one that cannot be read throws.
HOSTAPI_EXPORT QStringList ListFiles(const QString& folder, const QString& nameFilter = QStringLiteral("*"));

// True when `name` matches the wildcard pattern as ListFiles matches file names.
HOSTAPI_EXPORT bool MatchesWildcard(const QString& name, const QString& pattern);

enum class TextFileEncoding { Utf8, Windows1252 };

// Reads a text file: UTF-8 when the file starts with a UTF-8 byte order mark (which is dropped) or
// is valid UTF-8, UTF-16 when it starts with a UTF-16 byte order mark, else Windows-1252.
HOSTAPI_EXPORT QString LoadTextFile(const QString& path);

// Writes a text file (UTF-8 without byte order mark by default) atomically, like SaveBinaryFile.
// Windows-1252 writes "?" for a character outside the code page.
HOSTAPI_EXPORT void SaveTextFile(const QString& path, const QString& text,
                                 TextFileEncoding encoding = TextFileEncoding::Utf8);

HOSTAPI_EXPORT QByteArray LoadBinaryFile(const QString& path);

// Replaces or creates the file atomically: the data goes to a temporary file in the same folder
// that is renamed over the target only when everything was written. An existing file keeps its
// permissions.
HOSTAPI_EXPORT void SaveBinaryFile(const QString& path, const QByteArray& data);

// Folder of the running executable, with a trailing separator. Needs the application object.
HOSTAPI_EXPORT QString ApplicationFolder();

// True when `name` names a file inside a folder and nothing else: not empty, not "." or "..", no
// "/" or "\\", no control character. Names that come from imported data are checked so before
// they become a path.
HOSTAPI_EXPORT bool IsPlainFileName(const QString& name);

} // namespace hostapi
