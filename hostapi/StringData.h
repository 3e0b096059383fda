#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

// The host's string data: the form in which text values are kept in the settings store and handed
// across the host's interfaces. Any text survives the round trip StrToStringData ->
// StringDataToStr(data, true) unchanged, and its string data is one line of text without leading
// or trailing blanks, so it also survives carriers that split lines or trim values.
//
// Only what needs it is escaped, with a backslash; everything else (all printable characters, "=",
// blanks inside the text, any non-ASCII letter) stays as it is, so plain text and numbers read the
// same in both forms:
//   "\\"     the backslash itself
//   "\n"     line feed            "\r"  carriage return         "\t"  tab
//   "\s"     a blank at the start or the end of the text
//   "\uXXXX" any other control character (U+0000-U+001F, U+007F), any other white space at the
//            start or the end of the text, and a UTF-16 surrogate without its partner (4 hex digits)
HOSTAPI_EXPORT QString StrToStringData(const QString& value);

// With decode True, answers the text of string data made by StrToStringData and throws
// EQVException for a malformed escape; with decode False, answers `data` unchanged.
HOSTAPI_EXPORT QString StringDataToStr(const QString& data, bool decode);

} // namespace hostapi
