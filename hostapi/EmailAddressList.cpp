// GLib's headers (through GMime) name struct members "signals", a keyword macro of Qt's object
// headers: they come before any Qt header that defines it.
#include <gmime/gmime.h>

#include "EmailAddressList.h"

#include "HostLibraries.h"
#include "QVException.h"

namespace hostapi {

QString CanonicalAddressList(const QString& AText) {
    QString text = AText;
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char(';'), QLatin1Char(','));
    if (text.trimmed().isEmpty())
        return {};
    HostLibraries::Initialize();
    const QByteArray utf8 = text.toUtf8();
    InternetAddressList* list = internet_address_list_parse(nullptr, utf8.constData());
    if (!list || internet_address_list_length(list) == 0) {
        if (list)
            g_object_unref(list);
        throw EQVException(QStringLiteral("\"%1\" holds no e-mail address").arg(AText));
    }
    char* formatted = internet_address_list_to_string(list, nullptr, FALSE);
    const QString result = QString::fromUtf8(formatted);
    g_free(formatted);
    g_object_unref(list);
    return result;
}

} // namespace hostapi
