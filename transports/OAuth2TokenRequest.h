#pragma once

#include "OAuth2Authenticator.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace hostapi {
class HttpClient;
}

namespace emailmarketing {

// The values of a token endpoint's answer (RFC 6749, 5.1), each only when the answer holds it.
struct TOAuth2TokenResponse {
    std::optional<QString> AccessToken;
    std::optional<QString> RefreshToken;
    std::optional<QString> IDToken;
    std::optional<QString> TokenType;
    // "expires_in" as whole seconds; -1 when it is no whole number.
    std::optional<int> ExpiresIn;

    // The answer's top-level values. Throws EOAuth2Exception when the body is no JSON object.
    static TOAuth2TokenResponse Parse(const QByteArray& ABody);
};

// One POST of a grant to a token endpoint. Cancel() may be called from another thread; it ends the
// running request, and a request that has not started yet fails at once.
class TOAuth2TokenRequest {
public:
    TOAuth2TokenRequest();
    ~TOAuth2TokenRequest();
    TOAuth2TokenRequest(const TOAuth2TokenRequest&) = delete;
    TOAuth2TokenRequest& operator=(const TOAuth2TokenRequest&) = delete;

    // Posts the parameters as form text. An answer of 400 or more raises EOAuth2Exception with
    // ErrorText; a failure without an answer raises the HTTP client's exception.
    TOAuth2TokenResponse Post(const QString& AEndpoint, const OAuth2Parameters& AParameters);
    void Cancel();

    // "<reason>: <error_description or error>" of a refused grant (RFC 6749, 5.2). Without a reason
    // "HTTP <status>" stands in its place; without either error member, "HTTP status <status>".
    // The body's other content never goes into the text (it may echo what was sent).
    static QString ErrorText(int AStatus, const QByteArray& AReason, const QByteArray& ABody);

private:
    std::unique_ptr<hostapi::HttpClient> FHttp;
};

} // namespace emailmarketing
