#include "MailAddress.h"

#include "EmailAddressList.h"
#include "QVException.h"

#include <QUrl>

#include <algorithm>

namespace emailmarketing {

QString MailAddress::Domain() const {
    const qsizetype at = Address.indexOf(QLatin1Char('@'));
    return at < 0 ? Address : Address.mid(at + 1);
}

namespace {

bool IsAscii(const QString& AText) {
    return std::all_of(AText.begin(), AText.end(), [](QChar c) { return c.unicode() < 128; });
}

} // namespace

QString AsciiDomain(const QString& ADomain) {
    if (IsAscii(ADomain))
        return ADomain;
    const QString ace = QUrl::toAce(ADomain);
    if (ace.isEmpty())
        throw hostapi::EQVException(
            QStringLiteral("\"%1\" is no valid internationalised domain name.").arg(ADomain));
    return ace;
}

QString WithAsciiDomain(const QString& AAddress) {
    const qsizetype at = AAddress.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return AAddress;
    return AAddress.left(at + 1) + AsciiDomain(AAddress.mid(at + 1));
}

QList<MailAddress> ParseAddressList(const QString& AText) {
    QList<MailAddress> result;
    for (const hostapi::TEmailMailbox& mailbox : hostapi::EmailMailboxes(AText))
        result.append({mailbox.Name, mailbox.Address});
    return result;
}

} // namespace emailmarketing
