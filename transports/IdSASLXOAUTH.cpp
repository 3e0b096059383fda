#include "IdSASLXOAUTH.h"

#include "QVException.h"

namespace emailmarketing {

void RefuseControlCharacters(const QString& AText, const QString& AMechanism, const QString& AWhat) {
    for (const QChar c : AText)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            throw hostapi::EQVException(
                QStringLiteral("The %1 %2 contains a control character.").arg(AMechanism, AWhat));
}

QString TIdSASLXOAuth::ServiceName() const {
    return QStringLiteral("XOAUTH2");
}

QByteArray TIdSASLXOAuth::InitialResponse() const {
    RefuseControlCharacters(FUser, ServiceName(), QStringLiteral("user name"));
    RefuseControlCharacters(FToken, ServiceName(), QStringLiteral("access token"));
    return "user=" + FUser.toUtf8() + '\x01' + "auth=Bearer " + FToken.toUtf8() + '\x01' + '\x01';
}

bool TIdSASLXOAuth::TryStartAuthenticate(const QString&, const QString&, QByteArray& VInitialResponse) {
    VInitialResponse = InitialResponse();
    return true;
}

QByteArray TIdSASLXOAuth::StartAuthenticate(const QByteArray&, const QString&, const QString&) {
    return InitialResponse();
}

QByteArray TIdSASLXOAuth::ContinueAuthenticate(const QByteArray&, const QString&, const QString&) {
    return {};
}

} // namespace emailmarketing
