#include "IdOAuth2Bearer.h"

#include "IdSASLXOAUTH.h"

namespace emailmarketing {

QString TIdOAuth2Bearer::ServiceName() const {
    return QStringLiteral("OAUTHBEARER");
}

QByteArray TIdOAuth2Bearer::InitialResponse() const {
    RefuseControlCharacters(FUser, ServiceName(), QStringLiteral("user name"));
    RefuseControlCharacters(FHost, ServiceName(), QStringLiteral("host"));
    RefuseControlCharacters(FToken, ServiceName(), QStringLiteral("access token"));
    QByteArray user = FUser.toUtf8();
    user.replace('=', "=3D").replace(',', "=2C");
    return "n,a=" + user + ',' + '\x01' + "host=" + FHost.toUtf8() + '\x01' +
           "port=" + QByteArray::number(FPort) + '\x01' + "auth=Bearer " + FToken.toUtf8() + '\x01' + '\x01';
}

bool TIdOAuth2Bearer::TryStartAuthenticate(const QString&, const QString&, QByteArray& VInitialResponse) {
    VInitialResponse = InitialResponse();
    return true;
}

QByteArray TIdOAuth2Bearer::StartAuthenticate(const QByteArray&, const QString&, const QString&) {
    return InitialResponse();
}

QByteArray TIdOAuth2Bearer::ContinueAuthenticate(const QByteArray&, const QString&, const QString&) {
    return {};
}

} // namespace emailmarketing
