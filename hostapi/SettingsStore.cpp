#include "SettingsStore.h"
#include "Database.h"
#include "QVException.h"

#include <QRegularExpression>

namespace hostapi {

namespace {

QString CanonicalName(const QString& name, const char* what) {
    if (name.isEmpty())
        throw EQVException(QStringLiteral("A settings %1 must not be empty.").arg(QLatin1String(what)));
    return name.toUpper();
}

QString PurposeText(const QString& section, const QString& key) {
    return QStringLiteral("settings value %1/%2").arg(section, key);
}

} // namespace

ISettingsStore::~ISettingsStore() = default;

SettingsStore& SettingsStore::Instance() {
    static SettingsStore store;
    return store;
}

QString SettingsStore::ReadString(const QString& section, const QString& key) {
    const QString s = CanonicalName(section, "section");
    const QString k = CanonicalName(key, "key");
    QSqlQuery query =
        Database::Exec(QStringLiteral(R"(SELECT "value" FROM qvsettings WHERE "section" = ? AND "key" = ?)"),
                       {s, k}, QStringLiteral("Read ") + PurposeText(s, k));
    if (!query.next())
        return QStringLiteral("");
    const QString value = query.value(0).toString();
    return value.isNull() ? QStringLiteral("") : value;
}

void SettingsStore::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString s = CanonicalName(section, "section");
    const QString k = CanonicalName(key, "key");
    // An empty text is stored as such, never as NULL.
    const QString text = value.isNull() ? QStringLiteral("") : value;
    Database::Exec(
        QStringLiteral(R"(INSERT INTO qvsettings ("section", "key", "value") VALUES (?, ?, ?) )"
                       R"(ON CONFLICT ("section", "key") DO UPDATE SET "value" = excluded."value")"),
        {s, k, text}, QStringLiteral("Write ") + PurposeText(s, k));
}

int SettingsStore::ReadInteger(const QString& section, const QString& key, int defaultValue) {
    static const QRegularExpression decimal(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    const QString text = ReadString(section, key);
    if (!decimal.match(text).hasMatch())
        return defaultValue;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

void SettingsStore::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void SettingsStore::Flush() {
    // Writes are stored as they happen.
}

} // namespace hostapi
