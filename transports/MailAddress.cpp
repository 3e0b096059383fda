#include "GMimeSupport.h"

#include "MailAddress.h"

namespace emailmarketing {

QString MailAddress::Domain() const {
    const qsizetype at = Address.indexOf(QLatin1Char('@'));
    return at < 0 ? Address : Address.mid(at + 1);
}

QList<MailAddress> ParseAddressList(const QString& AText) {
    QList<MailAddress> result;
    if (AText.trimmed().isEmpty())
        return result;
    const QByteArray utf8 = AText.toUtf8();
    InternetAddressList* list = internet_address_list_parse(nullptr, utf8.constData());
    if (list == nullptr)
        return result;
    result = gmime::Mailboxes(list);
    g_object_unref(list);
    return result;
}

} // namespace emailmarketing
