#pragma once

#include "HostApiExport.h"

#include <QList>
#include <QString>

namespace hostapi {

// The one rule for address lists, used by the mailing engine and the mail transports:
// - "," and ";" both separate entries; "name: a, b;" is a group, whose ";" ends it;
// - a line break separates entries too (and ends an open group), so a line of a field value can
//   never continue an address or turn into a header;
// - NUL characters are dropped;
// - an entry without a domain (no "@", or nothing after it) is no address: it is left out and
//   counted in the log without its text.

// One mailbox of an address list: the display name (may be empty) and the addr-spec.
struct TEmailMailbox {
    QString Name;
    QString Address;

    bool operator==(const TEmailMailbox&) const = default;
};

// The mailboxes of an address list, groups flattened, in order.
HOSTAPI_EXPORT QList<TEmailMailbox> EmailMailboxes(const QString& AText);

// An address list in its canonical one-line form: the entries separated by ", ", each
// "addr@domain", "Display Name <addr@domain>" (the name quoted where it needs quotes) or a group
// "Name: a@b.de, c@d.de;", e.g. "a@b.de, Name <c@d.de>". The result never holds a line break.
// Blank text stays empty, and so does text whose entries all lack a domain; text that holds no
// entry at all raises EQVException naming it.
HOSTAPI_EXPORT QString CanonicalAddressList(const QString& AText);
// A message's copy list (CC, BCC) in the same form, which never raises: entries without an address
// with a domain are left out, and so is the whole text when it holds no entry at all ("%EMAIL2%;"
// with an empty value). ALeftOut tells whether anything was left out.
HOSTAPI_EXPORT QString CanonicalCopyList(const QString& AText, bool& ALeftOut);

} // namespace hostapi
