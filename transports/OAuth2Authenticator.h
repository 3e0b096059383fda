#pragma once

#include "QVException.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <mutex>

namespace emailmarketing {

// An OAuth2 failure: a missing credential, a refused grant, a provider that cannot be used. The
// text never holds a client secret or a token.
class EOAuth2Exception : public hostapi::EQVException {
public:
    using EQVException::EQVException;
    ~EOAuth2Exception() override;
};

using OAuth2Parameters = QList<QPair<QString, QString>>;

// AUrl with the parameters appended to its query ("?" or "&" as needed), each name and value
// percent-encoded as a URI query component (everything but letters, digits and "-._~").
QString AppendQueryParameters(const QString& AUrl, const OAuth2Parameters& AParameters);

// The parameters as form text (application/x-www-form-urlencoded): name=value pairs joined by "&",
// encoded as AppendQueryParameters does.
QByteArray FormEncode(const OAuth2Parameters& AParameters);

enum TOAuth2TokenType : int { ttNONE = 0, ttBEARER = 1 };

// "bearer" in any letter case gives ttBEARER, every other text ttNONE.
TOAuth2TokenType OAuth2TokenTypeFromString(const QString& AText);

// The state of an OAuth2 client: its endpoints, its credentials and the tokens it holds. Every
// property is read and written under one lock, so a listener thread may store tokens while the
// owner reads them; a caller that needs several values at once takes them with Snapshot().
class TOAuth2Authenticator {
public:
    struct Values {
        QString ClientID;
        QString ClientSecret;
        QString Scope;
        QString RedirectionEndpoint;
        QString AuthorizationEndpoint;
        QString AccessTokenEndpoint;
        QString AccessToken;
        QDateTime AccessTokenExpiry; // invalid: no expiry known, the token counts as expired
        QString RefreshToken;
        QString AuthCode;
        TOAuth2TokenType TokenType = ttNONE;
        QString State;
    };

    TOAuth2Authenticator();
    virtual ~TOAuth2Authenticator();
    TOAuth2Authenticator(const TOAuth2Authenticator&) = delete;
    TOAuth2Authenticator& operator=(const TOAuth2Authenticator&) = delete;

    QString ClientID() const;
    void SetClientID(const QString& Value);
    QString ClientSecret() const;
    void SetClientSecret(const QString& Value);
    QString Scope() const;
    void SetScope(const QString& Value);
    QString RedirectionEndpoint() const;
    void SetRedirectionEndpoint(const QString& Value);
    QString AuthorizationEndpoint() const;
    void SetAuthorizationEndpoint(const QString& Value);
    QString AccessTokenEndpoint() const;
    void SetAccessTokenEndpoint(const QString& Value);
    QString AccessToken() const;
    void SetAccessToken(const QString& Value);
    QDateTime AccessTokenExpiry() const;
    void SetAccessTokenExpiry(const QDateTime& Value);
    QString RefreshToken() const;
    void SetRefreshToken(const QString& Value);
    QString AuthCode() const;
    void SetAuthCode(const QString& Value);
    TOAuth2TokenType TokenType() const;
    void SetTokenType(TOAuth2TokenType Value);
    // The "state" value sent with the authorization request.
    QString State() const;
    void SetState(const QString& Value);

    Values Snapshot() const;

    // The standard authorization request (RFC 6749, 4.1.1): AuthorizationEndpoint with
    // response_type=code, then client_id, redirect_uri, scope and state, each only when not empty,
    // in this order, appended to a query the endpoint may already carry.
    QString AuthorizationRequestURI() const;

protected:
    // Guards FValues; a subclass takes it to change several values at once.
    mutable std::mutex FLock;
    Values FValues;
};

} // namespace emailmarketing
