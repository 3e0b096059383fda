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

// The mailboxes of an address list ("Anna <a@x.de>; b@y.de"; groups are flattened) under the
// system's one rule (hostapi::EmailMailboxes): entries without a domain are left out. Parsing
// never fails: text that names no address gives no entry.
QList<MailAddress> ParseAddressList(const QString& AText);

} // namespace emailmarketing
