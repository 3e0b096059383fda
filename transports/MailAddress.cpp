#include "MailAddress.h"

#include "EmailAddressList.h"

namespace emailmarketing {

QString MailAddress::Domain() const {
    const qsizetype at = Address.indexOf(QLatin1Char('@'));
    return at < 0 ? Address : Address.mid(at + 1);
}

QList<MailAddress> ParseAddressList(const QString& AText) {
    QList<MailAddress> result;
    for (const hostapi::TEmailMailbox& mailbox : hostapi::EmailMailboxes(AText))
        result.append({mailbox.Name, mailbox.Address});
    return result;
}

} // namespace emailmarketing
