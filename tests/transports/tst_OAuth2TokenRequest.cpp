#include "OAuth2Authenticator.h"
#include "OAuth2TokenRequest.h"
#include "ThrownMessage.h"

#include <QtTest>

using namespace emailmarketing;

Q_DECLARE_METATYPE(OAuth2Parameters)

class tst_OAuth2TokenRequest : public QObject {
    Q_OBJECT

private slots:
    void FormBody_data();
    void FormBody();
    void QueryAppended_data();
    void QueryAppended();
    void AuthorizationRequestStandardParameters_data();
    void AuthorizationRequestStandardParameters();
    void TokenResponseValues_data();
    void TokenResponseValues();
    void TokenResponseNoObjectRefused_data();
    void TokenResponseNoObjectRefused();
    void RefusedGrantText_data();
    void RefusedGrantText();
    void TokenTypeFromText_data();
    void TokenTypeFromText();
};

void tst_OAuth2TokenRequest::FormBody_data() {
    QTest::addColumn<OAuth2Parameters>("parameters");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("refresh grant")
        << OAuth2Parameters{{"grant_type", "refresh_token"},
                            {"refresh_token", "R"},
                            {"client_id", "C"},
                            {"client_secret", "S"}}
        << QByteArray("grant_type=refresh_token&refresh_token=R&client_id=C&client_secret=S");
    QTest::newRow("reserved characters and UTF-8")
        << OAuth2Parameters{{"code", "a/b+c=d&e f"}, {"scope", QStringLiteral("mail.send offline_access ä")}}
        << QByteArray("code=a%2Fb%2Bc%3Dd%26e%20f&scope=mail.send%20offline_access%20%C3%A4");
    QTest::newRow("unreserved kept, empty value")
        << OAuth2Parameters{{"x", "A-z_0.9~"}, {"client_secret", ""}}
        << QByteArray("x=A-z_0.9~&client_secret=");
    QTest::newRow("none") << OAuth2Parameters{} << QByteArray();
}

void tst_OAuth2TokenRequest::FormBody() {
    QFETCH(OAuth2Parameters, parameters);
    QFETCH(QByteArray, body);
    QCOMPARE(FormEncode(parameters), body);
}

void tst_OAuth2TokenRequest::QueryAppended_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no query") << "https://login.test/authorize"
                              << "https://login.test/authorize?prompt=consent&login_hint=a%40b.test";
    QTest::newRow("query") << "https://login.test/authorize?tenant=x"
                           << "https://login.test/authorize?tenant=x&prompt=consent&login_hint=a%40b.test";
    QTest::newRow("empty query") << "https://login.test/authorize?"
                                 << "https://login.test/authorize?prompt=consent&login_hint=a%40b.test";
    QTest::newRow("fragment stays last")
        << "https://login.test/authorize#top"
        << "https://login.test/authorize?prompt=consent&login_hint=a%40b.test#top";
}

void tst_OAuth2TokenRequest::QueryAppended() {
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QCOMPARE(AppendQueryParameters(url, {{"prompt", "consent"}, {"login_hint", "a@b.test"}}), expected);
    QCOMPARE(AppendQueryParameters(url, {}), url);
}

void tst_OAuth2TokenRequest::AuthorizationRequestStandardParameters_data() {
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<QString>("scope");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all")
        << "C 1"
        << "openid email"
        << "https://login.test/auth?response_type=code&client_id=C%201&redirect_uri=http%3A%2F%2F"
           "localhost%3A8912&scope=openid%20email&state=S";
    QTest::newRow("empty ones left out")
        << ""
        << ""
        << "https://login.test/auth?response_type=code&redirect_uri=http%3A%2F%2Flocalhost%3A8912&state=S";
}

void tst_OAuth2TokenRequest::AuthorizationRequestStandardParameters() {
    QFETCH(QString, clientId);
    QFETCH(QString, scope);
    QFETCH(QString, expected);
    TOAuth2Authenticator authenticator;
    authenticator.SetAuthorizationEndpoint(QStringLiteral("https://login.test/auth"));
    authenticator.SetClientID(clientId);
    authenticator.SetClientSecret(QStringLiteral("never in the URL"));
    authenticator.SetRedirectionEndpoint(QStringLiteral("http://localhost:8912"));
    authenticator.SetScope(scope);
    authenticator.SetState(QStringLiteral("S"));
    QCOMPARE(authenticator.AuthorizationRequestURI(), expected);
}

void tst_OAuth2TokenRequest::TokenResponseValues_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("expected"); // access, refresh, id, type ("<none>" when absent)
    QTest::addColumn<int>("expiresIn");        // -2: absent
    QTest::newRow("full") << QByteArray(R"({"access_token":"A","refresh_token":"R2","id_token":"I",)"
                                        R"("token_type":"Bearer","expires_in":3599})")
                          << QStringList{"A", "R2", "I", "Bearer"} << 3599;
    QTest::newRow("expires_in as text") << QByteArray(R"({"access_token":"A","expires_in":"60"})")
                                        << QStringList{"A", "<none>", "<none>", "<none>"} << 60;
    QTest::newRow("expires_in negative") << QByteArray(R"({"access_token":"A","expires_in":-5})")
                                         << QStringList{"A", "<none>", "<none>", "<none>"} << -5;
    QTest::newRow("expires_in no number") << QByteArray(R"({"expires_in":"soon"})")
                                          << QStringList{"<none>", "<none>", "<none>", "<none>"} << -1;
    QTest::newRow("expires_in fraction")
        << QByteArray(R"({"expires_in":1.5})") << QStringList{"<none>", "<none>", "<none>", "<none>"} << -1;
    QTest::newRow("expires_in missing, null token")
        << QByteArray(R"({"access_token":null,"scope":"x"})")
        << QStringList{"<none>", "<none>", "<none>", "<none>"} << -2;
}

void tst_OAuth2TokenRequest::TokenResponseValues() {
    QFETCH(QByteArray, body);
    QFETCH(QStringList, expected);
    QFETCH(int, expiresIn);
    const TOAuth2TokenResponse response = TOAuth2TokenResponse::Parse(body);
    const auto shown = [](const std::optional<QString>& AValue) {
        return AValue.value_or(QStringLiteral("<none>"));
    };
    QCOMPARE((QStringList{shown(response.AccessToken), shown(response.RefreshToken), shown(response.IDToken),
                          shown(response.TokenType)}),
             expected);
    QCOMPARE(response.ExpiresIn.value_or(-2), expiresIn);
}

void tst_OAuth2TokenRequest::TokenResponseNoObjectRefused_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("HTML") << QByteArray("<html>access_token=secret</html>");
    QTest::newRow("array") << QByteArray(R"([{"access_token":"A"}])");
}

void tst_OAuth2TokenRequest::TokenResponseNoObjectRefused() {
    QFETCH(QByteArray, body);
    QCOMPARE(testsupport::ThrownMessage([&] { TOAuth2TokenResponse::Parse(body); }),
             QStringLiteral("The token endpoint's answer is no JSON object."));
}

void tst_OAuth2TokenRequest::RefusedGrantText_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    QTest::newRow("description wins")
        << 400 << QByteArray("Bad Request")
        << QByteArray(R"({"error":"invalid_grant","error_description":"Token has been expired or revoked."})")
        << "Bad Request: Token has been expired or revoked.";
    QTest::newRow("error only") << 401 << QByteArray("Unauthorized")
                                << QByteArray(R"({"error":"invalid_client"})")
                                << "Unauthorized: invalid_client";
    QTest::newRow("no JSON: the body is not shown")
        << 400 << QByteArray("Bad Request") << QByteArray("refresh_token=R&client_secret=S")
        << "Bad Request: HTTP status 400";
    QTest::newRow("no reason") << 400 << QByteArray() << QByteArray(R"({"error":"invalid_request"})")
                               << "HTTP 400: invalid_request";
}

void tst_OAuth2TokenRequest::RefusedGrantText() {
    QFETCH(int, status);
    QFETCH(QByteArray, reason);
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QCOMPARE(TOAuth2TokenRequest::ErrorText(status, reason, body), text);
}

void tst_OAuth2TokenRequest::TokenTypeFromText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::newRow("Bearer") << "Bearer" << int(ttBEARER);
    QTest::newRow("bearer") << "bearer" << int(ttBEARER);
    QTest::newRow("MAC") << "MAC" << int(ttNONE);
    QTest::newRow("empty") << "" << int(ttNONE);
}

void tst_OAuth2TokenRequest::TokenTypeFromText() {
    QFETCH(QString, text);
    QFETCH(int, type);
    QCOMPARE(int(OAuth2TokenTypeFromString(text)), type);
}

QTEST_GUILESS_MAIN(tst_OAuth2TokenRequest)
#include "tst_OAuth2TokenRequest.moc"
