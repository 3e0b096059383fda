#include "EnhancedOAuth2Authenticator.h"
#include "HostLibraries.h"
#include "HttpClient.h"
#include "HttpStub.h"
#include "MailPeers.h"
#include "OAuth2CodeListener.h"
#include "ThrownMessage.h"
#include "UrlOpener.h"
#include "VRNSMTP.h"

#include <QDir>
#include <QHostAddress>
#include <QTcpSocket>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>

using namespace emailmarketing;
using testsupport::HttpStub;
using testsupport::ThrownMessage;

namespace {

const QString ClientSecret = QStringLiteral("S3cr3t-client");
const QString RefreshTokenValue = QStringLiteral("R-refresh-1");

QJsonObject Answer(int AStatus, const QJsonObject& ABody) {
    return {{"status", AStatus},
            {"body", QString::fromUtf8(QJsonDocument(ABody).toJson(QJsonDocument::Compact))}};
}

QJsonObject Tokens(const QJsonObject& AExtra = {}) {
    QJsonObject body{{"access_token", "A-access-1"}, {"token_type", "Bearer"}, {"expires_in", 3600}};
    for (auto it = AExtra.begin(); it != AExtra.end(); ++it)
        body.insert(it.key(), it.value());
    return body;
}

// A token endpoint at "/token" that gives the answers one after another.
std::unique_ptr<HttpStub> TokenEndpoint(const QJsonArray& AAnswers) {
    return std::make_unique<HttpStub>(HttpStub::Script({HttpStub::Route("/token", AAnswers)}));
}

QString Body(const HttpStub& AStub, int AIndex) {
    return AStub.Requests().value(AIndex).value("body").toString();
}

// The test's browser: the URL handed to it, and GET requests without following redirects.
class RecordingBrowser : public hostapi::IUrlOpener {
public:
    void OpenUrl(const QString& AUrl) override {
        std::lock_guard lock(FLock);
        FOpened.append(AUrl);
    }
    QStringList Opened() const {
        std::lock_guard lock(FLock);
        return FOpened;
    }

private:
    mutable std::mutex FLock;
    QStringList FOpened;
};

struct BrowserAnswer {
    int Status = 0;
    QByteArray Body;
    QByteArray Location;
    QByteArray ContentType;
};

BrowserAnswer BrowserGet(const QString& AUrl) {
    hostapi::HttpClient http;
    hostapi::HttpRequest request;
    request.Url = QUrl(AUrl);
    request.MaxRedirects = 0;
    request.TimeoutMs = 30000;
    try {
        const hostapi::HttpResponse response = http.Execute(request);
        return {response.Status, response.Body, response.Header("Location"), response.Header("Content-Type")};
    } catch (const hostapi::EHttpStatusException& e) {
        return {e.Status(), e.Body(), {}, {}};
    } catch (const hostapi::EHttpException& e) {
        return {0, e.Message().toUtf8(), {}, {}};
    }
}

// Log lines written while it lives.
class LogRecorder {
public:
    LogRecorder() {
        Lines().clear();
        FPrevious = qInstallMessageHandler(&Record);
    }
    ~LogRecorder() { qInstallMessageHandler(FPrevious); }
    static QStringList Recorded() {
        std::lock_guard lock(Lock());
        return Lines();
    }

private:
    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    static QStringList& Lines() {
        static QStringList lines;
        return lines;
    }
    static void Record(QtMsgType, const QMessageLogContext&, const QString& AMessage) {
        std::lock_guard lock(Lock());
        Lines().append(AMessage);
    }
    QtMessageHandler FPrevious = nullptr;
};

// A provider folder with one provider "mail" whose token endpoint is the stub.
class ProviderFiles {
public:
    explicit ProviderFiles(const HttpStub* AStub, QJsonObject AValues = {}) {
        QJsonObject values{{"AuthName", "mail"},
                           {"Caption", "Example Mail"},
                           {"ClientID", "C"},
                           {"ClientSecret", ClientSecret},
                           {"Scopes", "https://mail.example.test/.default offline_access"},
                           {"localhost-authport", Port},
                           {"AuthorizationEndpoint", "https://login.example.test/authorize"},
                           {"AccessTokenEndpoint", AStub ? AStub->Url("/token").toString() : QString()},
                           {"AuthenticationType", "XOAUTH2"}};
        for (auto it = AValues.begin(); it != AValues.end(); ++it)
            values.insert(it.key(), it.value());
        Write("mail.authprovider.json", QJsonDocument(values).toJson());
    }
    void Write(const QString& AName, const QByteArray& AContent) const {
        QFile file(Dir.filePath(AName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(AContent);
    }
    QString Path() const { return Dir.path(); }

    QTemporaryDir Dir;
    const quint16 Port = testsupport::FreeLoopbackPort();
};

// An authenticator with the folder's provider "mail" loaded and the test as its browser.
std::unique_ptr<TEnhancedOAuth2Authenticator>
Authenticator(const ProviderFiles& AFolder, std::shared_ptr<RecordingBrowser> ABrowser = {},
              const QString& ARefreshToken = RefreshTokenValue) {
    auto authenticator = std::make_unique<TEnhancedOAuth2Authenticator>();
    authenticator->SetProviderPath(AFolder.Path());
    authenticator->SetUrlOpener(ABrowser ? ABrowser : std::make_shared<RecordingBrowser>());
    authenticator->LoadProvider("mail", ARefreshToken, QString(), QString());
    return authenticator;
}

QString RedirectUrl(const QString& AAuthorizationUrl, const QString& AHost, quint16 APort,
                    const QString& AQuery) {
    const QString state = QUrlQuery(QUrl(AAuthorizationUrl)).queryItemValue("state", QUrl::FullyEncoded);
    return QStringLiteral("http://%1:%2/?%3")
        .arg(AHost)
        .arg(APort)
        .arg(QString(AQuery).replace("<state>", state));
}

void VerifyNoSecret(const QString& AText) {
    for (const QString& secret :
         {ClientSecret, RefreshTokenValue, QStringLiteral("A-access-1"), QStringLiteral("CODE-4711")})
        QVERIFY2(!AText.contains(secret), qPrintable(QStringLiteral("\"%1\" shows a secret").arg(AText)));
}

} // namespace

class tst_OAuth2Authenticator : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void RefreshGrantBody_data();
    void RefreshGrantBody();
    void ExpiresIn_data();
    void ExpiresIn();
    void NewRefreshTokenEvent_data();
    void NewRefreshTokenEvent();
    void RefusedGrantRaisesProviderText_data();
    void RefusedGrantRaisesProviderText();
    void MissingCredentialsRefused_data();
    void MissingCredentialsRefused();
    void ProviderLoading();
    void ProviderNotDefined();
    void LanguageAndProviderPath();
    void SaslFromProviderAtSmtpPeer_data();
    void SaslFromProviderAtSmtpPeer();
    void CreateSASLTwice();
    void CreateSASLWithoutToken();
    void CodeFlow_data();
    void CodeFlow();
    void ForeignRequestsDoNotEndTheFlow();
    void SignInRefused_data();
    void SignInRefused();
    void TimeoutStopsListener();
    void PortTaken();
    void DestructionDuringFlow();
};

void tst_OAuth2Authenticator::initTestCase() {
    hostapi::HostLibraries::Initialize();
}

void tst_OAuth2Authenticator::RefreshGrantBody_data() {
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<QString>("clientSecret");
    QTest::addColumn<QString>("body");
    QTest::newRow("file's credentials")
        << ""
        << ""
        << "grant_type=refresh_token&refresh_token=R&client_id=C&client_secret=" + ClientSecret;
    QTest::newRow("caller's credentials")
        << "C 2"
        << "S&2"
        << "grant_type=refresh_token&refresh_token=R&client_id=C%202&client_secret=S%262";
}

void tst_OAuth2Authenticator::RefreshGrantBody() {
    QFETCH(QString, clientId);
    QFETCH(QString, clientSecret);
    QFETCH(QString, body);
    auto stub = TokenEndpoint({Answer(200, Tokens({{"id_token", "I-1"}}))});
    ProviderFiles folder(stub.get());
    TEnhancedOAuth2Authenticator authenticator;
    authenticator.SetProviderPath(folder.Path());
    authenticator.LoadProvider("mail", "R", clientId, clientSecret);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    authenticator.RefreshAccessTokenIfRequired();
    const QDateTime after = QDateTime::currentDateTimeUtc();

    const QList<QJsonObject> requests = stub->Requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(requests[0].value("path").toString(), QStringLiteral("/token"));
    QCOMPARE(requests[0].value("headers").toObject().value("Content-Type").toString(),
             QStringLiteral("application/x-www-form-urlencoded"));
    QCOMPARE(requests[0].value("body").toString(), body);
    QCOMPARE(authenticator.AccessToken(), QStringLiteral("A-access-1"));
    QCOMPARE(authenticator.TokenType(), ttBEARER);
    QCOMPARE(authenticator.IDToken(), QStringLiteral("I-1"));
    QCOMPARE(authenticator.RefreshToken(), QStringLiteral("R"));
    QVERIFY(authenticator.AccessTokenExpiry() >= before.addSecs(3600));
    QVERIFY(authenticator.AccessTokenExpiry() <= after.addSecs(3600));

    // The token is valid for an hour: no second request.
    authenticator.RefreshAccessTokenIfRequired();
    QCOMPARE(stub->Requests().size(), 1);
}

void tst_OAuth2Authenticator::ExpiresIn_data() {
    // The first answer gives an hour; the second answer's "expires_in" decides.
    QTest::addColumn<QJsonValue>("expiresIn"); // undefined: the member is left out
    QTest::addColumn<int>("seconds");          // -1: no expiry (every later check refreshes), -2: unchanged
    QTest::newRow("60") << QJsonValue(60) << 60;
    QTest::newRow("60 as text") << QJsonValue("60") << 60;
    QTest::newRow("negative") << QJsonValue(-5) << -1;
    QTest::newRow("no number") << QJsonValue("soon") << -1;
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << -2;
}

void tst_OAuth2Authenticator::ExpiresIn() {
    QFETCH(QJsonValue, expiresIn);
    QFETCH(int, seconds);
    QJsonObject second{{"access_token", "A-access-2"}};
    if (!expiresIn.isUndefined())
        second.insert("expires_in", expiresIn);
    auto stub = TokenEndpoint({Answer(200, Tokens()), Answer(200, second), Answer(200, Tokens())});
    ProviderFiles folder(stub.get());
    auto authenticator = Authenticator(folder);
    authenticator->RefreshAccessTokenIfRequired();
    const QDateTime first = authenticator->AccessTokenExpiry();
    authenticator->SetAccessToken(QString()); // forces the second refresh
    const QDateTime before = QDateTime::currentDateTimeUtc();
    authenticator->RefreshAccessTokenIfRequired();
    const QDateTime after = QDateTime::currentDateTimeUtc();
    QCOMPARE(authenticator->AccessToken(), QStringLiteral("A-access-2"));
    const QDateTime expiry = authenticator->AccessTokenExpiry();
    if (seconds >= 0) {
        QVERIFY(expiry >= before.addSecs(seconds) && expiry <= after.addSecs(seconds));
    } else if (seconds == -2) {
        QCOMPARE(expiry, first);
    } else {
        QVERIFY(!expiry.isValid());
    }
    authenticator->RefreshAccessTokenIfRequired();
    QCOMPARE(stub->Requests().size(), seconds == -1 ? 3 : 2);
}

void tst_OAuth2Authenticator::NewRefreshTokenEvent_data() {
    QTest::addColumn<bool>("codeGrant");
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<int>("events");
    QTest::addColumn<QString>("refreshToken");
    QTest::newRow("refresh: new token") << false << Tokens({{"refresh_token", "R-2"}}) << 1 << "R-2";
    QTest::newRow("refresh: same token")
        << false << Tokens({{"refresh_token", RefreshTokenValue}}) << 0 << RefreshTokenValue;
    QTest::newRow("refresh: no token") << false << Tokens() << 0 << RefreshTokenValue;
    QTest::newRow("refresh: new token but no access token")
        << false << QJsonObject{{"refresh_token", "R-2"}} << 0 << "R-2";
    QTest::newRow("code: new token") << true << Tokens({{"refresh_token", "R-2"}}) << 1 << "R-2";
    QTest::newRow("code: same token")
        << true << Tokens({{"refresh_token", RefreshTokenValue}}) << 1 << RefreshTokenValue;
    QTest::newRow("code: no refresh token") << true << Tokens() << 1 << RefreshTokenValue;
    QTest::newRow("code: no access token") << true << QJsonObject{{"refresh_token", "R-2"}} << 0 << "R-2";
}

void tst_OAuth2Authenticator::NewRefreshTokenEvent() {
    QFETCH(bool, codeGrant);
    QFETCH(QJsonObject, answer);
    QFETCH(int, events);
    QFETCH(QString, refreshToken);
    auto stub = TokenEndpoint({Answer(200, answer)});
    ProviderFiles folder(stub.get());
    auto authenticator = Authenticator(folder);
    std::atomic<int> fired{0};
    authenticator->OnNewRefreshToken = [&fired] { ++fired; };
    if (codeGrant) {
        authenticator->SetAuthCode("CODE-4711");
        authenticator->ChangeAuthCodeToAccesToken();
        QCOMPARE(Body(*stub, 0),
                 "grant_type=authorization_code&code=CODE-4711&client_id=C&client_secret=" + ClientSecret +
                     "&redirect_uri=http%3A%2F%2Flocalhost%3A" + QString::number(folder.Port) +
                     "&scope=https%3A%2F%2Fmail.example.test%2F.default%20offline_access");
    } else {
        authenticator->RefreshAccessTokenIfRequired();
    }
    QCOMPARE(fired.load(), events);
    QCOMPARE(authenticator->RefreshToken(), refreshToken);
    // An access token always leaves no authorization code behind.
    QCOMPARE(authenticator->AuthCode().isEmpty(), !authenticator->AccessToken().isEmpty() || !codeGrant);
}

void tst_OAuth2Authenticator::RefusedGrantRaisesProviderText_data() {
    QTest::addColumn<bool>("codeGrant");
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QString>("error");
    const QJsonObject revoked{{"error", "invalid_grant"},
                              {"error_description", "Token has been expired or revoked."}};
    QTest::newRow("refresh, description")
        << false << revoked << "Bad Request: Token has been expired or revoked.";
    QTest::newRow("refresh, error only")
        << false << QJsonObject{{"error", "invalid_client"}} << "Bad Request: invalid_client";
    QTest::newRow("code, description")
        << true << revoked << "Bad Request: Token has been expired or revoked.";
}

void tst_OAuth2Authenticator::RefusedGrantRaisesProviderText() {
    QFETCH(bool, codeGrant);
    QFETCH(QJsonObject, answer);
    QFETCH(QString, error);
    auto stub = TokenEndpoint({Answer(400, answer)});
    ProviderFiles folder(stub.get());
    auto authenticator = Authenticator(folder);
    std::atomic<int> fired{0};
    authenticator->OnNewRefreshToken = [&fired] { ++fired; };
    const QString message = ThrownMessage([&] {
        if (codeGrant) {
            authenticator->SetAuthCode("CODE-4711");
            authenticator->ChangeAuthCodeToAccesToken();
        } else {
            authenticator->RefreshAccessTokenIfRequired();
        }
    });
    QCOMPARE(message, error);
    VerifyNoSecret(message);
    QCOMPARE(authenticator->AccessToken(), QString());
    QCOMPARE(authenticator->RefreshToken(), RefreshTokenValue);
    QCOMPARE(fired.load(), 0);
}

void tst_OAuth2Authenticator::MissingCredentialsRefused_data() {
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<QString>("refreshToken");
    QTest::addColumn<bool>("codeGrant");
    QTest::addColumn<QString>("error");
    QTest::newRow("no client id") << ""
                                  << "R" << false << "An ClientID is needed before a token can be requested";
    QTest::newRow("no refresh token")
        << "C"
        << "" << false << "An Refresh Token is needed before an Access Token can be requested";
    QTest::newRow("no authorization code")
        << "C"
        << "R" << true << "An authorization code is needed before it can be changed into an access token.";
}

void tst_OAuth2Authenticator::MissingCredentialsRefused() {
    QFETCH(QString, clientId);
    QFETCH(QString, refreshToken);
    QFETCH(bool, codeGrant);
    QFETCH(QString, error);
    auto stub = TokenEndpoint({Answer(200, Tokens())});
    ProviderFiles folder(stub.get(), {{"ClientID", clientId}});
    auto authenticator = Authenticator(folder, {}, refreshToken);
    QCOMPARE(ThrownMessage([&] {
                 if (codeGrant)
                     authenticator->ChangeAuthCodeToAccesToken();
                 else
                     authenticator->RefreshAccessTokenIfRequired();
             }),
             error);
    QCOMPARE(stub->Requests().size(), 0);
}

void tst_OAuth2Authenticator::ProviderLoading() {
    ProviderFiles folder(nullptr, {{"AccessTokenEndpoint", "https://login.example.test/token"}});
    TEnhancedOAuth2Authenticator authenticator;
    QVERIFY(!authenticator.IsProviderActive());
    authenticator.SetProviderPath(folder.Path());
    authenticator.LoadProvider("mail", "R", "C-caller", QString());
    QVERIFY(authenticator.IsProviderActive());
    QCOMPARE(authenticator.ActiveProvider()->Caption(), QStringLiteral("Example Mail"));
    TOAuth2Authenticator::Values values = authenticator.Snapshot();
    QCOMPARE(values.ClientID, QStringLiteral("C-caller"));
    QCOMPARE(values.ClientSecret, ClientSecret);
    QCOMPARE(values.Scope, QStringLiteral("https://mail.example.test/.default offline_access"));
    QCOMPARE(values.RedirectionEndpoint, QStringLiteral("http://localhost:%1").arg(folder.Port));
    QCOMPARE(values.AuthorizationEndpoint, QStringLiteral("https://login.example.test/authorize"));
    QCOMPARE(values.AccessTokenEndpoint, QStringLiteral("https://login.example.test/token"));
    QCOMPARE(values.RefreshToken, QStringLiteral("R"));
    QCOMPARE(values.AccessToken, QString());

    // Applying it again takes the file's credentials and no tokens; the provider stays.
    authenticator.SetAccessToken("A");
    const auto provider = authenticator.ActiveProvider();
    authenticator.ClearAuthentication();
    values = authenticator.Snapshot();
    QCOMPARE(values.ClientID, QStringLiteral("C"));
    QCOMPARE(values.RefreshToken, QString());
    QCOMPARE(values.AccessToken, QString());
    QCOMPARE(authenticator.ActiveProvider(), provider);

    authenticator.Clear();
    QVERIFY(!authenticator.IsProviderActive());
    QCOMPARE(ThrownMessage([&] { authenticator.Authenticate(false); }),
             QStringLiteral("No auth provider active!"));
}

void tst_OAuth2Authenticator::ProviderNotDefined() {
    ProviderFiles folder(nullptr);
    folder.Write("array.authprovider.json", "[]");
    TEnhancedOAuth2Authenticator authenticator;
    authenticator.SetProviderPath(folder.Path());
    QCOMPARE(ThrownMessage([&] { authenticator.LoadProvider("array", "R", "C", "S"); }),
             QStringLiteral("Provider not defined."));
    QCOMPARE(ThrownMessage(
                 [&] { authenticator.LoadProvider(std::shared_ptr<TAuthProviderItem>(), "R", "C", "S"); }),
             QStringLiteral("Provider not defined."));
    QVERIFY(ThrownMessage([&] {
                authenticator.LoadProvider("missing", "R", "C", "S");
            }).startsWith(QStringLiteral("Cannot open file")));
    QCOMPARE(ThrownMessage([&] { authenticator.LoadProvider("../mail", "R", "C", "S"); }),
             QStringLiteral("Invalid provider name \"../mail\"."));
    QVERIFY(!authenticator.IsProviderActive());
}

void tst_OAuth2Authenticator::LanguageAndProviderPath() {
    TEnhancedOAuth2Authenticator authenticator;
    QCOMPARE(authenticator.Language(), QStringLiteral("english"));
    QCOMPARE(authenticator.AuthTimeOut(), 120);
    for (const auto& [given, stored] : {std::pair{"German", "german"}, std::pair{"GERMAN", "german"},
                                        std::pair{"French", "english"}, std::pair{"", "english"}}) {
        authenticator.SetLanguage(given);
        QCOMPARE(authenticator.Language(), QString::fromLatin1(stored));
    }

    // The list is read on first use and again when the folder changes afterwards.
    ProviderFiles first(nullptr, {{"DescriptionFile", ".\\texts\\%language%.txt"}});
    QVERIFY(QDir(first.Path()).mkdir("texts"));
    first.Write("texts/german.txt", "Anmeldung bei %provider.caption% (%language%)");
    ProviderFiles second(nullptr, {{"AuthName", "other"}});
    authenticator.SetProviderPath(first.Path());
    first.Write("late.authprovider.json", R"({"AuthName": "late"})");
    QCOMPARE(authenticator.AuthProviders().Names(), (QStringList{"late", "mail"}));
    authenticator.SetProviderPath(second.Path());
    QCOMPARE(authenticator.AuthProviders().Names(), QStringList{"other"});

    // A broken file: its error once, then the providers read before it.
    ProviderFiles broken(nullptr);
    broken.Write("x.authprovider.json", "{");
    TEnhancedOAuth2Authenticator fresh;
    fresh.SetProviderPath(broken.Path());
    QVERIFY(ThrownMessage([&] {
                fresh.AuthProviders();
            }).startsWith(QStringLiteral("Error on loading provider x.authprovider.json\r\nError: ")));
    QCOMPARE(fresh.AuthProviders().Names(), QStringList{"mail"});

    authenticator.SetProviderPath(first.Path());
    authenticator.SetLanguage("german");
    QString caption;
    QString description;
    authenticator.FillProviderCaption(*authenticator.AuthProviders().Item("mail"), caption, description);
    QCOMPARE(caption, QStringLiteral("Example Mail"));
    QCOMPARE(description, QStringLiteral("Anmeldung bei Example Mail (german)"));
    authenticator.FillProviderCaption(*authenticator.AuthProviders().Item("late"), caption, description);
    QCOMPARE(description, QString());
}

void tst_OAuth2Authenticator::SaslFromProviderAtSmtpPeer_data() {
    QTest::addColumn<QString>("type");
    QTest::newRow("XOAUTH2") << "XOAUTH2";
    QTest::newRow("OAUTHBEARER") << "OAUTHBEARER";
}

void tst_OAuth2Authenticator::SaslFromProviderAtSmtpPeer() {
    QFETCH(QString, type);
    auto stub = TokenEndpoint({Answer(200, Tokens())});
    ProviderFiles folder(stub.get(), {{"AuthenticationType", type}});
    auto authenticator = Authenticator(folder);

    const quint16 port = testsupport::FreeLoopbackPort();
    const QByteArray expected =
        type == QLatin1String("XOAUTH2")
            ? QByteArray("user=anna@example.test\x01"
                         "auth=Bearer A-access-1\x01\x01")
            : "n,a=anna@example.test,\x01host=127.0.0.1\x01port=" + QByteArray::number(port) +
                  "\x01"
                  "auth=Bearer A-access-1\x01\x01";
    testsupport::SmtpPeer peer({"--port", QString::number(port), "--expect-" + type.toLower(),
                                QString::fromLatin1(expected.toHex())});
    QString startError;
    QVERIFY2(peer.Start(startError), qPrintable(startError));
    QCOMPARE(peer.Port(), port);

    TVRNSMTP client(std::make_shared<CancelSignal>());
    client.SetHost("127.0.0.1");
    client.SetPort(port);
    client.SetUseTLS(TIdUseTLS::utNoTLSSupport);
    client.Connect();
    client.SASLMechanisms().push_back(
        authenticator->CreateSASL(*authenticator->ActiveProvider(), "anna@example.test", "127.0.0.1", port));
    QVERIFY(client.Authenticate());
    QCOMPARE(client.LastReply().Code, 235);
    const QList<QJsonObject> log = peer.AuthLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].value("mechanism").toString(), type);
    QCOMPARE(QByteArray::fromBase64(log[0].value("initial").toString().toLatin1()), expected);
    client.Disconnect();
}

void tst_OAuth2Authenticator::CreateSASLTwice() {
    auto stub = TokenEndpoint({Answer(200, Tokens()), Answer(200, Tokens({{"access_token", "A-access-2"}}))});
    ProviderFiles folder(stub.get(), {{"AuthenticationType", "OAUTHBEARER"}});
    auto authenticator = Authenticator(folder);
    TAuthProviderItem& provider = *authenticator->ActiveProvider();
    const auto first = authenticator->CreateSASL(provider, "u@x.test", "smtp.x.test", 587);
    const auto again = authenticator->CreateSASL(provider, "u@x.test", "smtp.x.test", 587);
    QCOMPARE(again, first);
    QCOMPARE(stub->Requests().size(), 1); // the token was still valid
    const auto otherPort = authenticator->CreateSASL(provider, "u@x.test", "smtp.x.test", 465);
    QVERIFY(otherPort != first);

    authenticator->SetAccessToken(QString());
    QCOMPARE(authenticator->CreateSASL(provider, "u@x.test", "smtp.x.test", 587), first);
    QCOMPARE(stub->Requests().size(), 2);
    QByteArray response;
    QVERIFY(first->TryStartAuthenticate({}, {}, response));
    QVERIFY(response.endsWith("auth=Bearer A-access-2\x01\x01"));
}

void tst_OAuth2Authenticator::CreateSASLWithoutToken() {
    auto stub = TokenEndpoint({Answer(200, QJsonObject{{"token_type", "Bearer"}})});
    ProviderFiles folder(stub.get());
    auto authenticator = Authenticator(folder);
    QCOMPARE(
        ThrownMessage([&] { authenticator->CreateSASL(*authenticator->ActiveProvider(), "u", "h", 25); }),
        QStringLiteral("Not properly authenticated. An access_token is required!"));
}

void tst_OAuth2Authenticator::CodeFlow_data() {
    QTest::addColumn<QJsonObject>("provider");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("location");
    QTest::newRow("success text") << QJsonObject() << "127.0.0.1" << 200
                                  << QByteArray(
                                         "Authentication successfully. You can close this browser tab.")
                                  << QByteArray();
    QTest::newRow("success text over IPv6") << QJsonObject() << "[::1]" << 200
                                            << QByteArray("Authentication successfully. You can close this "
                                                          "browser tab.")
                                            << QByteArray();
    QTest::newRow("success file") << QJsonObject{{"AuthSuccessServFile", ".\\pages\\%language%.html"},
                                                 {"AuthSuccessRedirectURL", "https://ignored.test/"}}
                                  << "localhost" << 200
                                  << QByteArray("<p>Angemeldet bei Example Mail \xc3\xa4</p>")
                                  << QByteArray();
    QTest::newRow("redirect") << QJsonObject{{"AuthSuccessRedirectURL", "https://example.test/done?x=1"}}
                              << "127.0.0.1" << 302 << QByteArray()
                              << QByteArray("https://example.test/done?x=1");
}

void tst_OAuth2Authenticator::CodeFlow() {
    QFETCH(QJsonObject, provider);
    QFETCH(QString, host);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, location);
    if (host == QLatin1String("[::1]") && !testsupport::HasIPv6Loopback())
        QSKIP("This machine has no IPv6 loopback address.");
    auto stub = TokenEndpoint({Answer(200, Tokens({{"refresh_token", "R-new"}}))});
    provider.insert("uri-params",
                    QJsonArray{QJsonObject{{"name", "prompt"}, {"value", "consent"}}, "skipped",
                               QJsonObject{{"name", "login_hint"}, {"value", "anna b@example.test"}}});
    ProviderFiles folder(stub.get(), provider);
    QVERIFY(QDir(folder.Path()).mkdir("pages"));
    folder.Write("pages/german.html", "<p>Angemeldet bei %provider.caption% \xc3\xa4</p>");
    auto browser = std::make_shared<RecordingBrowser>();
    auto authenticator = Authenticator(folder, browser, QString());
    authenticator->SetLanguage("german");
    std::atomic<int> fired{0};
    authenticator->OnNewRefreshToken = [&fired] { ++fired; };

    const QString url = authenticator->Authenticate(true);
    QCOMPARE(browser->Opened(), QStringList{url});
    QVERIFY(authenticator->IsAuthenticating());
    const QUrlQuery query{QUrl(url)};
    QStringList names;
    for (const auto& item : query.queryItems())
        names.append(item.first);
    QCOMPARE(names, (QStringList{"response_type", "client_id", "redirect_uri", "scope", "state", "prompt",
                                 "login_hint"}));
    QVERIFY(url.startsWith("https://login.example.test/authorize?response_type=code&client_id=C&redirect_uri="
                           "http%3A%2F%2Flocalhost%3A" +
                           QString::number(folder.Port) +
                           "&scope=https%3A%2F%2Fmail.example.test%2F.default%20offline_access&state="));
    QVERIFY(url.endsWith("&prompt=consent&login_hint=anna%20b%40example.test"));
    const QString state = query.queryItemValue("state");
    QVERIFY2(state.size() >= 43, qPrintable(state));
    QVERIFY(!url.contains(ClientSecret));

    const BrowserAnswer answer =
        BrowserGet(RedirectUrl(url, host, folder.Port, "code=CODE-4711&state=<state>"));
    QCOMPARE(answer.Status, status);
    QCOMPARE(answer.Body, body);
    QCOMPARE(answer.Location, location);
    QCOMPARE(Body(*stub, 0),
             "grant_type=authorization_code&code=CODE-4711&client_id=C&client_secret=" + ClientSecret +
                 "&redirect_uri=http%3A%2F%2Flocalhost%3A" + QString::number(folder.Port) +
                 "&scope=https%3A%2F%2Fmail.example.test%2F.default%20offline_access");
    QCOMPARE(authenticator->AccessToken(), QStringLiteral("A-access-1"));
    QCOMPARE(authenticator->RefreshToken(), QStringLiteral("R-new"));
    QCOMPARE(authenticator->AuthCode(), QString());
    QCOMPARE(fired.load(), 1);
    // The request that carried the code ends the flow.
    QTRY_VERIFY_WITH_TIMEOUT(!authenticator->IsAuthenticating(), 30000);
    QCOMPARE(authenticator->AuthenticationError(), QString());
}

void tst_OAuth2Authenticator::ForeignRequestsDoNotEndTheFlow() {
    auto stub = TokenEndpoint({Answer(200, Tokens())});
    ProviderFiles folder(stub.get());
    auto authenticator = Authenticator(folder);
    const QString url = authenticator->Authenticate(false);

    // A wrong state, a request without query and a speculative connection: refused, the flow goes on.
    const BrowserAnswer wrongState =
        BrowserGet(RedirectUrl(url, "127.0.0.1", folder.Port, "code=CODE-4711&state=x"));
    QCOMPARE(wrongState.Status, 400);
    QCOMPARE(wrongState.Body, QByteArray("This answer does not belong to the sign-in that was started."));
    const BrowserAnswer noState = BrowserGet(RedirectUrl(url, "127.0.0.1", folder.Port, "code=CODE-4711"));
    QCOMPARE(noState.Status, 400);
    QCOMPARE(BrowserGet(QStringLiteral("http://127.0.0.1:%1/favicon.ico").arg(folder.Port)).Status, 404);
    QTcpSocket speculative;
    speculative.connectToHost(QHostAddress::LocalHost, folder.Port);
    QVERIFY(speculative.waitForConnected(10000));
    speculative.close();
    QCOMPARE(stub->Requests().size(), 0);
    QCOMPARE(authenticator->AuthCode(), QString());
    QVERIFY(authenticator->IsAuthenticating());

    QCOMPARE(BrowserGet(RedirectUrl(url, "127.0.0.1", folder.Port, "state=<state>&code=CODE-4711")).Status,
             200);
    QCOMPARE(authenticator->AccessToken(), QStringLiteral("A-access-1"));
    QTRY_VERIFY_WITH_TIMEOUT(!authenticator->IsAuthenticating(), 30000);
}

void tst_OAuth2Authenticator::SignInRefused_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("exchanges");
    QTest::addColumn<QString>("error");
    QTest::newRow("token endpoint refuses the code")
        << "code=CODE-4711&state=<state>" << 1 << "Bad Request: invalid_grant";
    QTest::newRow("user refused, with description")
        << "error=access_denied&error_description=The+user%20declined%2B.&state=<state>" << 0
        << "The provider refused the sign-in: The user declined+.";
    QTest::newRow("user refused") << "state=<state>&error=access_denied" << 0
                                  << "The provider refused the sign-in: access_denied";
    QTest::newRow("no code")
        << "state=<state>" << 0
        << "An authorization code is needed before it can be changed into an access token.";
}

void tst_OAuth2Authenticator::SignInRefused() {
    QFETCH(QString, query);
    QFETCH(int, exchanges);
    QFETCH(QString, error);
    LogRecorder log;
    auto stub = TokenEndpoint({Answer(400, {{"error", "invalid_grant"}})});
    ProviderFiles folder(stub.get());
    auto authenticator = Authenticator(folder);
    std::atomic<int> fired{0};
    authenticator->OnNewRefreshToken = [&fired] { ++fired; };
    const QString url = authenticator->Authenticate(false);
    const BrowserAnswer answer = BrowserGet(RedirectUrl(url, "127.0.0.1", folder.Port, query));
    QCOMPARE(answer.Status, 400);
    QCOMPARE(QString::fromUtf8(answer.Body), QStringLiteral("Authentication failed: ") + error);
    QTRY_VERIFY_WITH_TIMEOUT(!authenticator->IsAuthenticating(), 30000);
    QCOMPARE(stub->Requests().size(), exchanges);
    QCOMPARE(authenticator->AuthenticationError(), error);
    QCOMPARE(authenticator->AccessToken(), QString());
    QCOMPARE(fired.load(), 0);
    const QStringList lines = LogRecorder::Recorded();
    QVERIFY(!lines.isEmpty());
    for (const QString& line : lines)
        VerifyNoSecret(line);
}

void tst_OAuth2Authenticator::TimeoutStopsListener() {
    ProviderFiles folder(nullptr);
    auto authenticator = Authenticator(folder);
    authenticator->SetAuthTimeOut(0);
    authenticator->Authenticate(false);
    QTRY_VERIFY_WITH_TIMEOUT(!authenticator->IsAuthenticating(), 30000);
    QCOMPARE(authenticator->AuthenticationError(),
             QStringLiteral("The sign-in was not completed within 0 seconds."));
    // The port is free again.
    OAuth2CodeListener other([](const CodeListenerRequest&) { return CodeListenerResponse(); }, [] {});
    other.Start(folder.Port);

    // A cancel ends a waiting flow at once, too.
    ProviderFiles second(nullptr);
    auto waiting = Authenticator(second);
    waiting->Authenticate(false);
    QVERIFY(waiting->IsAuthenticating());
    waiting->CancelAuthentication(true);
    QVERIFY(!waiting->IsAuthenticating());
    QCOMPARE(waiting->AuthenticationError(), QStringLiteral("The sign-in was cancelled."));
}

void tst_OAuth2Authenticator::PortTaken() {
    ProviderFiles folder(nullptr);
    OAuth2CodeListener other([](const CodeListenerRequest&) { return CodeListenerResponse(); }, [] {});
    other.Start(folder.Port);
    auto browser = std::make_shared<RecordingBrowser>();
    auto authenticator = Authenticator(folder, browser);
    QCOMPARE(
        ThrownMessage([&] { authenticator->Authenticate(true); }),
        QStringLiteral("Could not bind to TCP/IP Port %1. Maybe some other authentication is already in "
                       "progress and need to finish first (so you have to try later) or your firewall is "
                       "blocking this operation.\r\n\r\nSystem error message: %2")
            .arg(folder.Port)
            .arg(QString::fromStdString(std::error_code(EADDRINUSE, std::generic_category()).message())));
    QVERIFY(!authenticator->IsAuthenticating());
    QCOMPARE(browser->Opened(), QStringList());
}

void tst_OAuth2Authenticator::DestructionDuringFlow() {
    // The token endpoint never answers: destruction cancels the exchange and joins every thread.
    HttpStub stub(HttpStub::Script({HttpStub::Route("/token", QJsonArray{QJsonObject{{"hang", true}}})}));
    ProviderFiles folder(&stub);
    for (int round = 0; round < 3; ++round) {
        auto authenticator = Authenticator(folder);
        const QString url = authenticator->Authenticate(false);
        QTcpSocket idle;
        idle.connectToHost(QHostAddress::LocalHost, folder.Port);
        QVERIFY(idle.waitForConnected(10000));
        BrowserAnswer answer;
        std::thread browser([&] {
            answer = BrowserGet(RedirectUrl(url, "127.0.0.1", folder.Port, "code=CODE-4711&state=<state>"));
        });
        QVERIFY(stub.WaitForRequests(round + 1));
        authenticator.reset();
        browser.join();
        QCOMPARE(answer.Status, 400);
        QVERIFY2(answer.Body.startsWith("Authentication failed: "), answer.Body.constData());
        QVERIFY(idle.waitForDisconnected(10000) || idle.state() == QAbstractSocket::UnconnectedState);
    }
}

QTEST_GUILESS_MAIN(tst_OAuth2Authenticator)
#include "tst_OAuth2Authenticator.moc"
