#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

// An RFC 5322 address list in its canonical one-line form: the addresses separated by ", ", each
// "addr@domain" or "Display Name <addr@domain>" (the name quoted where it needs quotes), e.g.
// "a@b.de, Name <c@d.de>". Commas and semicolons separate addresses. Line breaks are dropped
// before parsing, so the result never holds one. Blank text stays empty; text that holds no
// address raises EQVException naming it.
HOSTAPI_EXPORT QString CanonicalAddressList(const QString& AText);

} // namespace hostapi
