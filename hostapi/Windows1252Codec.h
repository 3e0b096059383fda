#pragma once

#include "HostApiExport.h"

#include <QByteArray>
#include <QString>

namespace hostapi {

// Windows code page 1252 ("ANSI" text of legacy files and stored rows), with its own table: the
// result never depends on the locale or on ICU.
//
// Bytes 0x00-0x7F and 0xA0-0xFF are the same code points as in Latin-1; 0x80-0x9F carry the
// typographic characters of the code page (euro sign, quotes, dashes, ...). The five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) decode to the C1 control of the same value
// (U+0081, ...), as Windows itself does, and encode back to their byte: any byte string survives
// Decode followed by Encode unchanged.
class HOSTAPI_EXPORT Windows1252Codec {
public:
    static QString Decode(const QByteArray& bytes);
    // A character outside the code page becomes "?" (one "?" per character, also for a character
    // outside the Basic Multilingual Plane).
    static QByteArray Encode(const QString& text);
};

} // namespace hostapi
