// GLib's headers (through GMime) name struct members "signals", a keyword macro of Qt's object
// headers: they come before any Qt header that defines it.
#include <gmime/gmime.h>

#include "EmailAddressList.h"

#include "HostApiLog.h"
#include "HostLibraries.h"
#include "QVException.h"

#include <algorithm>
#include <memory>

namespace hostapi {

namespace {

struct ListUnref {
    void operator()(InternetAddressList* AList) const { g_object_unref(AList); }
};
using ListPtr = std::unique_ptr<InternetAddressList, ListUnref>;

// The text with the separators made plain for GMime: a ";" outside a group and a line break
// outside quotes and angle brackets become ","; a line break inside a group ends it; NUL goes.
// AEntries: how many non-blank entries the text holds at its top level (a group is one).
QString Separated(const QString& AText, int& AEntries) {
    QString result;
    result.reserve(AText.size() + 8);
    bool quoted = false;
    bool angle = false;
    bool group = false;
    int comment = 0;
    bool filled = false;
    AEntries = 0;
    const auto endEntry = [&] {
        AEntries += filled ? 1 : 0;
        filled = false;
    };
    for (qsizetype i = 0; i < AText.size(); ++i) {
        const QChar c = AText[i];
        if (c == QChar(0))
            continue;
        const bool lineBreak = c == QLatin1Char('\r') || c == QLatin1Char('\n');
        if (lineBreak && (quoted || angle || comment > 0)) {
            result.append(QLatin1Char(' '));
            continue;
        }
        if (quoted || comment > 0) {
            filled = true;
            result.append(c);
            if (c == QLatin1Char('\\') && i + 1 < AText.size() && AText[i + 1] != QChar(0) &&
                AText[i + 1] != QLatin1Char('\r') && AText[i + 1] != QLatin1Char('\n'))
                result.append(AText[++i]);
            else if (quoted && c == QLatin1Char('"'))
                quoted = false;
            else if (comment > 0 && c == QLatin1Char('('))
                ++comment;
            else if (comment > 0 && c == QLatin1Char(')'))
                --comment;
            continue;
        }
        if (lineBreak) {
            if (!group)
                endEntry();
            result.append(group ? QLatin1Char(';') : QLatin1Char(','));
            group = false;
            continue;
        }
        if (c == QLatin1Char('"'))
            quoted = true;
        else if (c == QLatin1Char('('))
            comment = 1;
        else if (c == QLatin1Char('<'))
            angle = true;
        else if (c == QLatin1Char('>'))
            angle = false;
        else if (c == QLatin1Char(':') && !angle)
            group = true;
        else if (c == QLatin1Char(';') && !angle) {
            if (!group) {
                endEntry();
                result.append(QLatin1Char(','));
                continue;
            }
            group = false;
        } else if (c == QLatin1Char(',') && !angle && !group) {
            endEntry();
            result.append(c);
            continue;
        }
        filled = filled || !c.isSpace();
        result.append(c);
    }
    endEntry();
    return result;
}

bool HasDomain(const char* AAddress) {
    const char* at = AAddress != nullptr ? strrchr(AAddress, '@') : nullptr;
    return at != nullptr && at[1] != '\0';
}

// A copy of AList without the mailboxes that have no domain (counted in ASkipped) and without
// groups left empty.
ListPtr WithDomains(InternetAddressList* AList, int& ASkipped) {
    ListPtr result(internet_address_list_new());
    const int count = internet_address_list_length(AList);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(AList, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            ListPtr members =
                WithDomains(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), ASkipped);
            if (internet_address_list_length(members.get()) == 0)
                continue;
            InternetAddress* group = internet_address_group_new(internet_address_get_name(address));
            internet_address_group_set_members(INTERNET_ADDRESS_GROUP(group), members.get());
            internet_address_list_add(result.get(), group);
            g_object_unref(group);
        } else if (HasDomain(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)))) {
            internet_address_list_add(result.get(), address);
        } else {
            ++ASkipped;
        }
    }
    return result;
}

// The parsed list under the rule; nullptr for blank text. AEntries: whether the text held any
// entry at all; ASkipped: how many entries had no address with a domain, or were not understood.
ListPtr Parse(const QString& AText, bool& AEntries, int& ASkipped) {
    AEntries = false;
    ASkipped = 0;
    int topLevelEntries = 0;
    const QString text = Separated(AText, topLevelEntries);
    if (text.trimmed().isEmpty())
        return nullptr;
    HostLibraries::Initialize();
    const QByteArray utf8 = text.toUtf8();
    ListPtr parsed(internet_address_list_parse(nullptr, utf8.constData()));
    if (!parsed)
        return nullptr;
    const int parsedEntries = internet_address_list_length(parsed.get());
    AEntries = parsedEntries > 0;
    // GMime passes over an entry it cannot read ("Name <>") without a word.
    ASkipped = std::max(0, topLevelEntries - parsedEntries);
    ListPtr result = WithDomains(parsed.get(), ASkipped);
    if (ASkipped > 0)
        qCWarning(lcHostApi) << ASkipped << "entries of an address list have no domain and were left out";
    return result;
}

void AppendMailboxes(InternetAddressList* AList, QList<TEmailMailbox>& AResult) {
    const int count = internet_address_list_length(AList);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(AList, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            AppendMailboxes(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), AResult);
            continue;
        }
        const char* name = internet_address_get_name(address);
        AResult.append(
            {name != nullptr ? QString::fromUtf8(name) : QString(),
             QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)))});
    }
}

bool IsBlank(QString AText) {
    AText.remove(QLatin1Char('\r')).remove(QLatin1Char('\n')).remove(QChar(0));
    return AText.trimmed().isEmpty();
}

QString Formatted(InternetAddressList* AList) {
    char* formatted = internet_address_list_to_string(AList, nullptr, FALSE);
    const QString result = QString::fromUtf8(formatted);
    g_free(formatted);
    return result;
}

} // namespace

QList<TEmailMailbox> EmailMailboxes(const QString& AText) {
    QList<TEmailMailbox> result;
    bool entries = false;
    int skipped = 0;
    if (ListPtr list = Parse(AText, entries, skipped))
        AppendMailboxes(list.get(), result);
    return result;
}

QString CanonicalAddressList(const QString& AText) {
    bool entries = false;
    int skipped = 0;
    ListPtr list = Parse(AText, entries, skipped);
    if (IsBlank(AText))
        return {};
    if (!entries)
        throw EQVException(QStringLiteral("\"%1\" holds no e-mail address").arg(AText));
    return Formatted(list.get());
}

QString CanonicalCopyList(const QString& AText, bool& ALeftOut) {
    bool entries = false;
    int skipped = 0;
    ListPtr list = Parse(AText, entries, skipped);
    ALeftOut = false;
    if (IsBlank(AText))
        return {};
    // Text of separators only (a macro that gave nothing, "%EMAIL2%;") stands for an entry too.
    ALeftOut = skipped > 0 || !entries;
    return list ? Formatted(list.get()) : QString();
}

} // namespace hostapi
