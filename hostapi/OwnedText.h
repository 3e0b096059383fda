#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

// A copy of AText in memory of its own. A QString made from a literal points into the code of the
// library that holds the literal, and every copy of it shares that pointer; text that the host keeps
// beyond the life of a module (cache keys, log entries, menus, first-start steps) is taken through
// this, so that the module's library can be closed while the host runs on.
HOSTAPI_EXPORT QString OwnedCopy(const QString& AText);

} // namespace hostapi
