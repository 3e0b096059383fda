// GLib's headers (through GMime) name struct members "signals", a keyword macro of Qt's headers:
// GMime comes before any Qt header.
#include <gmime/gmime.h>

#include "MailAddress.h"

namespace emailmarketing {

QString MailAddress::Domain() const {
    const qsizetype at = Address.indexOf(QLatin1Char('@'));
    return at < 0 ? Address : Address.mid(at + 1);
}

namespace {

void AddMailboxes(InternetAddressList* AList, QList<MailAddress>& AResult) {
    const int count = internet_address_list_length(AList);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(AList, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            AddMailboxes(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), AResult);
            continue;
        }
        const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
        if (addr == nullptr || *addr == '\0')
            continue;
        const char* name = internet_address_get_name(address);
        AResult.append({name != nullptr ? QString::fromUtf8(name) : QString(), QString::fromUtf8(addr)});
    }
}

} // namespace

QList<MailAddress> ParseAddressList(const QString& AText) {
    QList<MailAddress> result;
    if (AText.trimmed().isEmpty())
        return result;
    const QByteArray utf8 = AText.toUtf8();
    InternetAddressList* list = internet_address_list_parse(nullptr, utf8.constData());
    if (list == nullptr)
        return result;
    AddMailboxes(list, result);
    g_object_unref(list);
    return result;
}

} // namespace emailmarketing
