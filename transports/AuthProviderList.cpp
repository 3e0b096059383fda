#include "AuthProviderList.h"

#include "OAuth2Authenticator.h"
#include "ProviderMacros.h"

#include <QDir>
#include <QFile>
#include <QJsonParseError>

namespace emailmarketing {

namespace {

const QString ProviderFileSuffix = QStringLiteral(".authprovider.json");

} // namespace

QJsonDocument TAuthProviderList::ReadJsonFile(const QString& AFileName) {
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EOAuth2Exception(
            QStringLiteral("Cannot open file \"%1\": %2").arg(AFileName, file.errorString()));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EOAuth2Exception(
            QStringLiteral("Cannot read file \"%1\": %2").arg(AFileName, file.errorString()));
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        throw EOAuth2Exception(
            QStringLiteral("JSON error at offset %1: %2").arg(error.offset).arg(error.errorString()));
    return document;
}

void TAuthProviderList::LoadFromPath(const QString& APath) {
    FPath = ProviderFolder(APath);
    if (APath.isEmpty())
        return;
    const QStringList names = QDir(FPath).entryList({QStringLiteral("*") + ProviderFileSuffix},
                                                    QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        QJsonDocument document;
        try {
            document = ReadJsonFile(FPath + name);
        } catch (const hostapi::EQVException& e) {
            throw EOAuth2Exception(
                QStringLiteral("Error on loading provider %1\r\nError: %2").arg(name, e.Message()));
        }
        if (!document.isObject())
            continue;
        auto item = std::make_shared<TAuthProviderItem>(document.object());
        FItems.insert(item->AuthName(), item);
    }
}

std::shared_ptr<TAuthProviderItem> TAuthProviderList::LoadSingeFile(const QString& APath,
                                                                    const QString& AuthName) {
    if (AuthName.isEmpty() || AuthName.contains(QLatin1Char('/')) || AuthName.contains(QLatin1Char('\\')) ||
        AuthName.contains(QLatin1String("..")))
        throw EOAuth2Exception(QStringLiteral("Invalid provider name \"%1\".").arg(AuthName));
    if (APath.isEmpty())
        throw EOAuth2Exception(QStringLiteral("No provider folder is set."));
    const QJsonDocument document = ReadJsonFile(ProviderFolder(APath) + AuthName + ProviderFileSuffix);
    if (!document.isObject())
        return nullptr;
    return std::make_shared<TAuthProviderItem>(document.object());
}

} // namespace emailmarketing
