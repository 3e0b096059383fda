#include "OAuth2Authenticator.h"

#include <QUrl>

namespace emailmarketing {

EOAuth2Exception::~EOAuth2Exception() = default;

QByteArray FormEncode(const OAuth2Parameters& AParameters) {
    QByteArray text;
    for (const auto& [name, value] : AParameters) {
        if (!text.isEmpty())
            text += '&';
        text += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return text;
}

QString AppendQueryParameters(const QString& AUrl, const OAuth2Parameters& AParameters) {
    if (AParameters.isEmpty())
        return AUrl;
    QString url = AUrl;
    const qsizetype hash = url.indexOf(QLatin1Char('#'));
    const QString fragment = hash >= 0 ? url.mid(hash) : QString();
    if (hash >= 0)
        url.truncate(hash);
    if (!url.contains(QLatin1Char('?')))
        url += QLatin1Char('?');
    else if (!url.endsWith(QLatin1Char('?')) && !url.endsWith(QLatin1Char('&')))
        url += QLatin1Char('&');
    return url + QString::fromLatin1(FormEncode(AParameters)) + fragment;
}

TOAuth2TokenType OAuth2TokenTypeFromString(const QString& AText) {
    return AText.compare(QLatin1String("bearer"), Qt::CaseInsensitive) == 0 ? ttBEARER : ttNONE;
}

TOAuth2Authenticator::TOAuth2Authenticator() = default;
TOAuth2Authenticator::~TOAuth2Authenticator() = default;

#define QV_OAUTH2_PROPERTY(Type, Name)                                                                       \
    Type TOAuth2Authenticator::Name() const {                                                                \
        std::lock_guard lock(FLock);                                                                         \
        return FValues.Name;                                                                                 \
    }                                                                                                        \
    void TOAuth2Authenticator::Set##Name(const Type& Value) {                                                \
        std::lock_guard lock(FLock);                                                                         \
        FValues.Name = Value;                                                                                \
    }

QV_OAUTH2_PROPERTY(QString, ClientID)
QV_OAUTH2_PROPERTY(QString, ClientSecret)
QV_OAUTH2_PROPERTY(QString, Scope)
QV_OAUTH2_PROPERTY(QString, RedirectionEndpoint)
QV_OAUTH2_PROPERTY(QString, AuthorizationEndpoint)
QV_OAUTH2_PROPERTY(QString, AccessTokenEndpoint)
QV_OAUTH2_PROPERTY(QString, AccessToken)
QV_OAUTH2_PROPERTY(QDateTime, AccessTokenExpiry)
QV_OAUTH2_PROPERTY(QString, RefreshToken)
QV_OAUTH2_PROPERTY(QString, AuthCode)
QV_OAUTH2_PROPERTY(QString, State)

#undef QV_OAUTH2_PROPERTY

TOAuth2TokenType TOAuth2Authenticator::TokenType() const {
    std::lock_guard lock(FLock);
    return FValues.TokenType;
}

void TOAuth2Authenticator::SetTokenType(TOAuth2TokenType Value) {
    std::lock_guard lock(FLock);
    FValues.TokenType = Value;
}

TOAuth2Authenticator::Values TOAuth2Authenticator::Snapshot() const {
    std::lock_guard lock(FLock);
    return FValues;
}

QString TOAuth2Authenticator::AuthorizationRequestURI() const {
    const Values values = Snapshot();
    OAuth2Parameters parameters{{QStringLiteral("response_type"), QStringLiteral("code")}};
    const auto add = [&parameters](const QString& AName, const QString& AValue) {
        if (!AValue.isEmpty())
            parameters.append({AName, AValue});
    };
    add(QStringLiteral("client_id"), values.ClientID);
    add(QStringLiteral("redirect_uri"), values.RedirectionEndpoint);
    add(QStringLiteral("scope"), values.Scope);
    add(QStringLiteral("state"), values.State);
    return AppendQueryParameters(values.AuthorizationEndpoint, parameters);
}

} // namespace emailmarketing
