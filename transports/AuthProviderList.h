#pragma once

#include "AuthProviderItem.h"

#include <QJsonDocument>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>

namespace emailmarketing {

// The provider definition files of one folder, by "AuthName". Items are shared: a provider taken
// from the list stays valid when the list is cleared or loaded again.
class TAuthProviderList {
public:
    // Adds every "*.authprovider.json" file of the folder (none for an empty path), in file-name order, so
    // that of two files with the same "AuthName" the later one wins. Does not clear the list first. A file
    // that cannot be read or parsed ends the load with EOAuth2Exception "Error on loading provider <file
    // name>" CR LF "Error: <cause>"; the providers loaded before it stay. Files holding another JSON value
    // than an object are skipped.
    void LoadFromPath(const QString& APath);
    // The provider of APath + "/" + AuthName + ".authprovider.json", or none when the file holds no
    // JSON object. An empty APath, or an AuthName that is empty or holds "/", "\" or "..", is
    // refused with EOAuth2Exception; a file that cannot be read or parsed raises its cause.
    static std::shared_ptr<TAuthProviderItem> LoadSingeFile(const QString& APath, const QString& AuthName);

    // The folder last loaded, with a trailing "/" (empty for none).
    QString Path() const { return FPath; }
    std::shared_ptr<TAuthProviderItem> Item(const QString& AAuthName) const {
        return FItems.value(AAuthName);
    }
    QStringList Names() const { return FItems.keys(); }
    int Count() const { return int(FItems.size()); }
    void Clear() { FItems.clear(); }

    // A JSON file's document (UTF-8, a byte-order mark allowed). Throws EOAuth2Exception naming the
    // cause (never the file's content).
    static QJsonDocument ReadJsonFile(const QString& AFileName);

private:
    QMap<QString, std::shared_ptr<TAuthProviderItem>> FItems;
    QString FPath;
};

} // namespace emailmarketing
