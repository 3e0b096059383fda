#pragma once

#include "HostApiExport.h"

#include <QByteArray>
#include <QString>

namespace hostapi {

// Text of an HTML file from its bytes, read as a browser reads it:
// 1. a byte order mark (UTF-8, UTF-16LE, UTF-16BE) decides, and is dropped;
// 2. else a charset named by a <meta> tag in the first 1024 bytes ("<meta charset=...>" or
//    "<meta http-equiv=... content="text/html; charset=...">"); "iso-8859-1", "latin1" and
//    "us-ascii" mean Windows-1252, as in browsers;
// 3. else UTF-8 when the bytes are valid UTF-8, Windows-1252 otherwise.
// A declared charset that is unknown, or UTF-8 declared for bytes that are not UTF-8, raises
// EQVException with the charset's name.
HOSTAPI_EXPORT QString DecodeHtmlBytes(const QByteArray& ABytes);

// The charset that a <meta> tag in the first 1024 bytes declares, lower-cased; empty without one.
HOSTAPI_EXPORT QString DeclaredHtmlCharset(const QByteArray& ABytes);

// DecodeHtmlBytes of the file's bytes; a file that cannot be read raises EQVException.
HOSTAPI_EXPORT QString LoadHtmlFile(const QString& APath);

// The picture file that the image source ASource of an HTML file in AFolder names, when it lies
// below that folder: a relative path without a scheme that stays inside the folder (subfolders
// allowed) and names a file (not a link) that is a picture. Empty for a URL, an absolute path, a
// path leaving the folder, a missing file and a file that is no picture.
HOSTAPI_EXPORT QString LocalHtmlImage(const QString& AFolder, const QString& ASource);

} // namespace hostapi
