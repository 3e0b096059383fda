#pragma once

#include <QList>
#include <QString>

namespace emailmarketing {

// One mailbox: a display name (may be empty) and the address (addr-spec).
struct MailAddress {
    QString Name;
    QString Address;

    bool operator==(const MailAddress&) const = default;

    // The part after the first "@"; the whole address when it has none.
    QString Domain() const;
};

// ADomain in its ASCII form (IDNA, UTS #46 non-transitional: "faß.test" gives "xn--fa-hia.test");
// an ASCII domain (also an address literal) as it is. Throws EQVException when a non-ASCII
// domain is no valid domain name.
QString AsciiDomain(const QString& ADomain);
// AAddress with its domain (after the last "@") in ASCII form; the local part as it is.
QString WithAsciiDomain(const QString& AAddress);

// The mailboxes of an address list ("Anna <a@x.de>; b@y.de"; groups are flattened) under the
// system's one rule (hostapi::EmailMailboxes): entries without a domain are left out. Parsing
// never fails: text that names no address gives no entry.
QList<MailAddress> ParseAddressList(const QString& AText);

} // namespace emailmarketing
