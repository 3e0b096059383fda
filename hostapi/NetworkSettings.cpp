#include "NetworkSettings.h"
#include "QVException.h"

#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>

namespace hostapi {

NetworkSettings QueryNetworkSettings(const QString& resolvConfPath) {
    NetworkSettings settings;
    QFile file(resolvConfPath);
    if (!file.exists())
        return settings;
    if (!file.open(QIODevice::ReadOnly))
        throw EQVException(QStringLiteral("Cannot read the resolver configuration \"%1\": %2")
                               .arg(resolvConfPath, file.errorString()));

    static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
    const QString content = QString::fromUtf8(file.readAll());
    for (const QString& line : content.split(QLatin1Char('\n'))) {
        const QStringList words = line.trimmed().split(blanks, Qt::SkipEmptyParts);
        // The keyword must start the line: an indented line is not read by the resolver either.
        if (words.size() < 2 || words.first() != QLatin1String("nameserver") ||
            !line.startsWith(QLatin1String("nameserver")))
            continue;
        const QString& address = words.at(1);
        if (QHostAddress(address).isNull())
            continue;
        settings.DNSServers.append(address);
    }
    return settings;
}

} // namespace hostapi
