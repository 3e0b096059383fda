#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

// Replaces every occurrence of `from` in `text` by `to`, left to right and without overlap; the
// inserted text is not searched again. With caseSensitive False letter case is ignored (Unicode
// simple case folding, so "Ä" matches "ä"). An empty `from` leaves the text unchanged.
HOSTAPI_EXPORT QString FastReplace(const QString& text, const QString& from, const QString& to,
                                   bool caseSensitive);

// 1-based position of the first occurrence of `sub` in `text` at or after position `start`
// (case-sensitive); 0 when there is none. As Pascal's Pos with an offset: an empty `sub`, a `start`
// below 1 or beyond the end of the text answer 0.
HOSTAPI_EXPORT qsizetype PosStr(const QString& sub, const QString& text, qsizetype start = 1);

} // namespace hostapi
