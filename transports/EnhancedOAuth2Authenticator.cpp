#include "EnhancedOAuth2Authenticator.h"

#include "AuthTimeoutWatcher.h"
#include "OAuth2CodeListener.h"
#include "OAuth2TokenRequest.h"
#include "TransportsLog.h"
#include "UrlOpener.h"

#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <chrono>
#include <system_error>

namespace emailmarketing {

namespace {

const QString AuthSuccessText =
    QStringLiteral("Authentication successfully. You can close this browser tab.");

QString ReadUtf8File(const QString& AFileName) {
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EOAuth2Exception(
            QStringLiteral("Cannot open file \"%1\": %2").arg(AFileName, file.errorString()));
    QByteArray data = file.readAll();
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    return QString::fromUtf8(data);
}

// 32 random bytes, base64url without padding.
QString NewState() {
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words), sizeof words)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

CodeListenerResponse TextAnswer(int AStatus, const QByteArray& AReason, const QString& AText) {
    CodeListenerResponse response;
    response.Status = AStatus;
    response.Reason = AReason;
    response.Headers = {{"Content-Type", "text/plain; charset=utf-8"}};
    response.Body = AText.toUtf8();
    return response;
}

} // namespace

// One run of the authorization-code flow. Listener threads read it under FFlowLock.
struct TEnhancedOAuth2Authenticator::Flow {
    QString State;
    std::shared_ptr<TAuthProviderItem> Provider;
    ProviderMacroContext Context;
    bool Answered = false;  // a request with the right state arrived
    bool Ended = false;     // the flow's last request has been answered
    bool Cancelled = false; // the listener is stopping: no new code exchange
    std::set<TOAuth2TokenRequest*> Exchanges;
    QString Error;
};

TEnhancedOAuth2Authenticator::TEnhancedOAuth2Authenticator()
    : FUrlOpener(std::make_shared<hostapi::DesktopUrlOpener>()) {}

TEnhancedOAuth2Authenticator::~TEnhancedOAuth2Authenticator() {
    Clear();
}

QString TEnhancedOAuth2Authenticator::IDToken() const {
    std::lock_guard lock(FLock);
    return FIDToken;
}

void TEnhancedOAuth2Authenticator::SetIDToken(const QString& Value) {
    std::lock_guard lock(FLock);
    FIDToken = Value;
}

std::shared_ptr<TAuthProviderItem> TEnhancedOAuth2Authenticator::ActiveProvider() const {
    std::lock_guard lock(FProviderLock);
    return FActiveProvider;
}

TAuthProviderList& TEnhancedOAuth2Authenticator::AuthProviders() {
    if (!FAuthProviders) {
        // Kept also when a file fails to load: the error is raised once, the providers read before
        // it stay available.
        FAuthProviders = std::make_unique<TAuthProviderList>();
        FAuthProviders->LoadFromPath(FProviderPath);
    }
    return *FAuthProviders;
}

void TEnhancedOAuth2Authenticator::SetProviderPath(const QString& Value) {
    FProviderPath = Value;
    if (FAuthProviders) {
        FAuthProviders->Clear();
        FAuthProviders->LoadFromPath(FProviderPath);
    }
}

void TEnhancedOAuth2Authenticator::SetLanguage(const QString& Value) {
    const QString language = Value.toLower();
    FLanguage = language == QLatin1String("german") ? language : QStringLiteral("english");
}

void TEnhancedOAuth2Authenticator::SetUrlOpener(std::shared_ptr<hostapi::IUrlOpener> AOpener) {
    QV_ASSERT(AOpener != nullptr);
    FUrlOpener = std::move(AOpener);
}

ProviderMacroContext TEnhancedOAuth2Authenticator::MacroContext() const {
    return {FProviderPath, FLanguage};
}

void TEnhancedOAuth2Authenticator::Clear() {
    CancelAuthentication(true);
    ClearProvider();
}

void TEnhancedOAuth2Authenticator::ClearProvider() {
    std::lock_guard lock(FProviderLock);
    FActiveProvider.reset();
}

void TEnhancedOAuth2Authenticator::LoadProvider(const QString& AAuthName, const QString& ARefreshToken,
                                                const QString& AClientID, const QString& AClientSecret) {
    ClearProvider();
    LoadProvider(TAuthProviderList::LoadSingeFile(FProviderPath, AAuthName), ARefreshToken, AClientID,
                 AClientSecret);
}

void TEnhancedOAuth2Authenticator::LoadProvider(std::shared_ptr<TAuthProviderItem> AProviderItem,
                                                const QString& ARefreshToken, const QString& AClientID,
                                                const QString& AClientSecret) {
    ClearProvider();
    if (!AProviderItem)
        throw EOAuth2Exception(QStringLiteral("Provider not defined."));
    const TAuthProviderItem& item = *AProviderItem;
    {
        std::lock_guard lock(FProviderLock);
        FActiveProvider = AProviderItem;
    }
    std::lock_guard lock(FLock);
    FValues.ClientID = AClientID.isEmpty() ? item.Text(QStringLiteral("ClientID")) : AClientID;
    FValues.ClientSecret =
        AClientSecret.isEmpty() ? item.Text(QStringLiteral("ClientSecret")) : AClientSecret;
    FValues.Scope = item.Text(QStringLiteral("Scopes"));
    FValues.RedirectionEndpoint = QStringLiteral("http://localhost:") +
                                  QString::number(item.Integer(QStringLiteral("localhost-authport")));
    FValues.AuthorizationEndpoint = item.Text(QStringLiteral("AuthorizationEndpoint"));
    FValues.AccessTokenEndpoint = item.Text(QStringLiteral("AccessTokenEndpoint"));
    FValues.AccessToken.clear();
    FValues.RefreshToken = ARefreshToken;
}

void TEnhancedOAuth2Authenticator::ClearAuthentication() {
    LoadProvider(ActiveProvider(), QString(), QString(), QString());
}

void TEnhancedOAuth2Authenticator::RefreshAccessTokenIfRequired() {
    const Values values = Snapshot();
    if (values.AccessToken.isEmpty() || !values.AccessTokenExpiry.isValid() ||
        QDateTime::currentDateTimeUtc() > values.AccessTokenExpiry)
        RefreshAccessToken();
}

void TEnhancedOAuth2Authenticator::RefreshAccessToken() {
    const Values values = Snapshot();
    if (values.ClientID.isEmpty())
        throw EOAuth2Exception(QStringLiteral("An ClientID is needed before a token can be requested"));
    if (values.RefreshToken.isEmpty())
        throw EOAuth2Exception(
            QStringLiteral("An Refresh Token is needed before an Access Token can be requested"));
    TOAuth2TokenRequest request;
    const TOAuth2TokenResponse response = request.Post(
        values.AccessTokenEndpoint, {{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                     {QStringLiteral("refresh_token"), values.RefreshToken},
                                     {QStringLiteral("client_id"), values.ClientID},
                                     {QStringLiteral("client_secret"), values.ClientSecret}});
    if (ApplyTokenResponse(response, false) && OnNewRefreshToken)
        OnNewRefreshToken();
}

void TEnhancedOAuth2Authenticator::ChangeAuthCodeToAccesToken() {
    TOAuth2TokenRequest request;
    ChangeAuthCodeToAccesToken(request);
}

void TEnhancedOAuth2Authenticator::ChangeAuthCodeToAccesToken(TOAuth2TokenRequest& ARequest) {
    const Values values = Snapshot();
    if (values.AuthCode.isEmpty())
        throw EOAuth2Exception(
            QStringLiteral("An authorization code is needed before it can be changed into an access token."));
    const TOAuth2TokenResponse response = ARequest.Post(
        values.AccessTokenEndpoint, {{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                                     {QStringLiteral("code"), values.AuthCode},
                                     {QStringLiteral("client_id"), values.ClientID},
                                     {QStringLiteral("client_secret"), values.ClientSecret},
                                     {QStringLiteral("redirect_uri"), values.RedirectionEndpoint},
                                     {QStringLiteral("scope"), values.Scope}});
    if (ApplyTokenResponse(response, true) && OnNewRefreshToken)
        OnNewRefreshToken();
}

bool TEnhancedOAuth2Authenticator::ApplyTokenResponse(const TOAuth2TokenResponse& AResponse,
                                                      bool ACodeGrant) {
    std::lock_guard lock(FLock);
    bool newRefreshToken = false;
    if (AResponse.AccessToken)
        FValues.AccessToken = *AResponse.AccessToken;
    if (AResponse.RefreshToken && (ACodeGrant || *AResponse.RefreshToken != FValues.RefreshToken)) {
        FValues.RefreshToken = *AResponse.RefreshToken;
        newRefreshToken = true;
    }
    if (AResponse.IDToken)
        FIDToken = *AResponse.IDToken;
    if (AResponse.TokenType)
        FValues.TokenType = OAuth2TokenTypeFromString(*AResponse.TokenType);
    if (AResponse.ExpiresIn)
        FValues.AccessTokenExpiry = *AResponse.ExpiresIn >= 0
                                        ? QDateTime::currentDateTimeUtc().addSecs(*AResponse.ExpiresIn)
                                        : QDateTime();
    if (FValues.AccessToken.isEmpty())
        return false;
    FValues.AuthCode.clear();
    // The code grant reports every access token it brings as a new sign-in.
    return ACodeGrant || newRefreshToken;
}

std::shared_ptr<SaslMechanism> TEnhancedOAuth2Authenticator::CreateSASL(TAuthProviderItem& AProvider,
                                                                        const QString& AUserName,
                                                                        const QString& AHost, int APort) {
    RefreshAccessTokenIfRequired();
    const QString token = AccessToken();
    if (token.isEmpty())
        throw EOAuth2Exception(QStringLiteral("Not properly authenticated. An access_token is required!"));
    return AProvider.CreateSASL(token, AUserName, AHost, APort);
}

void TEnhancedOAuth2Authenticator::FillProviderCaption(const TAuthProviderItem& AProvider, QString& ACaption,
                                                       QString& ADescription) const {
    ACaption = AProvider.Caption();
    const QString file = AProvider.Text(QStringLiteral("DescriptionFile"));
    if (file.isEmpty()) {
        ADescription.clear();
        return;
    }
    const ProviderMacroContext context = MacroContext();
    ADescription = ExpandProviderMacros(ReadUtf8File(ResolveProviderPath(file, context, &AProvider)), context,
                                        &AProvider);
}

QString TEnhancedOAuth2Authenticator::Authenticate(bool AOpenURL) {
    const std::shared_ptr<TAuthProviderItem> provider = ActiveProvider();
    if (!provider)
        throw EOAuth2Exception(QStringLiteral("No auth provider active!"));
    SetAccessToken(QString());
    CancelAuthentication(true);

    const int port = provider->Integer(QStringLiteral("localhost-authport"));
    if (port <= 0 || port > 65535)
        throw EOAuth2Exception(QStringLiteral("The provider \"%1\" defines no valid \"localhost-authport\".")
                                   .arg(provider->AuthName()));
    auto flow = std::make_unique<Flow>();
    flow->State = NewState();
    flow->Provider = provider;
    flow->Context = MacroContext();
    SetState(flow->State);
    {
        std::lock_guard lock(FFlowLock);
        FFlow = std::move(flow);
    }

    if (!FAuthHTTPServer)
        FAuthHTTPServer = std::make_unique<OAuth2CodeListener>(
            [this](const CodeListenerRequest& ARequest) { return AnswerBrowser(ARequest); },
            [this] { EndFlow(); });
    try {
        FAuthHTTPServer->Start(quint16(port));
    } catch (const ECouldNotBindSocket& e) {
        throw ECouldNotBindSocket(
            QStringLiteral("Could not bind to TCP/IP Port %1. Maybe some other authentication is already in "
                           "progress and need to finish first (so you have to try later) or your firewall is "
                           "blocking this operation.\r\n\r\nSystem error message: %2")
                .arg(port)
                .arg(e.Message()));
    }

    OAuth2Parameters extra;
    const QJsonArray uriParams = provider->Values().value(QStringLiteral("uri-params")).toArray();
    for (const QJsonValue& entry : uriParams) {
        if (!entry.isObject())
            continue;
        const QJsonObject parameter = entry.toObject();
        extra.append({parameter.value(QStringLiteral("name")).toString(),
                      parameter.value(QStringLiteral("value")).toString()});
    }
    const QString url = AppendQueryParameters(AuthorizationRequestURI(), extra);

    try {
        std::lock_guard lock(FFlowLock);
        // A browser may already have answered: then the watcher ends the flow at once.
        const int seconds = FAuthTimeOut;
        const std::chrono::milliseconds timeout =
            FFlow->Ended ? std::chrono::milliseconds(0) : std::chrono::seconds(std::max(seconds, 0));
        FAuthTimeoutTask = std::make_unique<AuthTimeoutWatcher>(timeout, [this, seconds](bool ATimedOut) {
            if (ATimedOut)
                SetFlowError(QStringLiteral("The sign-in was not completed within %1 seconds.").arg(seconds),
                             true);
            StopListening();
        });
    } catch (const std::system_error& e) {
        StopListening();
        throw EOAuth2Exception(
            QStringLiteral("The sign-in could not be started: %1").arg(QString::fromLocal8Bit(e.what())));
    }
    if (AOpenURL) {
        try {
            FUrlOpener->OpenUrl(url);
        } catch (const hostapi::EQVException&) {
            CancelAuthentication(true);
            throw;
        }
    }
    return url;
}

bool TEnhancedOAuth2Authenticator::IsAuthenticating() const {
    return FAuthHTTPServer && FAuthHTTPServer->IsActive();
}

void TEnhancedOAuth2Authenticator::CancelAuthentication(bool WaitForThread) {
    SetFlowError(QStringLiteral("The sign-in was cancelled."), true);
    std::unique_ptr<AuthTimeoutWatcher> watcher;
    {
        std::lock_guard lock(FFlowLock);
        if (WaitForThread)
            watcher = std::move(FAuthTimeoutTask);
        else if (FAuthTimeoutTask)
            FAuthTimeoutTask->Stop();
    }
    if (watcher) {
        watcher->Stop();
        watcher->Join();
    }
    StopListening();
}

void TEnhancedOAuth2Authenticator::SetFlowError(const QString& AError, bool AOnlyWithoutAnswer) {
    std::lock_guard lock(FFlowLock);
    if (!FFlow || !FFlow->Error.isEmpty() || FFlow->Ended || (AOnlyWithoutAnswer && FFlow->Answered))
        return;
    FFlow->Error = AError;
}

void TEnhancedOAuth2Authenticator::StopListening() {
    {
        std::lock_guard lock(FFlowLock);
        if (FFlow) {
            FFlow->Cancelled = true;
            for (TOAuth2TokenRequest* request : FFlow->Exchanges)
                request->Cancel();
        }
    }
    if (FAuthHTTPServer)
        FAuthHTTPServer->Stop();
}

void TEnhancedOAuth2Authenticator::EndFlow() {
    std::lock_guard lock(FFlowLock);
    if (FFlow)
        FFlow->Ended = true;
    if (FAuthTimeoutTask)
        FAuthTimeoutTask->Stop();
}

QString TEnhancedOAuth2Authenticator::AuthenticationError() const {
    std::lock_guard lock(FFlowLock);
    return FFlow ? FFlow->Error : QString();
}

CodeListenerResponse TEnhancedOAuth2Authenticator::AnswerBrowser(const CodeListenerRequest& ARequest) {
    if (ARequest.Method != "GET")
        return TextAnswer(405, "Method Not Allowed", QStringLiteral("Method Not Allowed"));
    const QUrl target = QUrl::fromEncoded("http://localhost" + ARequest.Target);
    if (!target.hasQuery() || target.query().isEmpty())
        return TextAnswer(404, "Not Found", QStringLiteral("Not Found"));
    const QUrlQuery query(target);
    const QString state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);

    TOAuth2TokenRequest request;
    std::shared_ptr<TAuthProviderItem> provider;
    ProviderMacroContext context;
    {
        std::lock_guard lock(FFlowLock);
        if (!FFlow || FFlow->State != state)
            return TextAnswer(400, "Bad Request",
                              QStringLiteral("This answer does not belong to the sign-in that was started."));
        if (FFlow->Answered)
            return TextAnswer(409, "Conflict", QStringLiteral("The sign-in has already been answered."));
        FFlow->Answered = true;
        if (FFlow->Cancelled)
            return TextAnswer(503, "Service Unavailable", QStringLiteral("The sign-in was cancelled."));
        FFlow->Exchanges.insert(&request);
        provider = FFlow->Provider;
        context = FFlow->Context;
    }
    QString error;
    // Form encoding: "+" stands for a blank in the provider's texts.
    const QString refusal =
        QUrl::fromPercentEncoding(query
                                      .queryItemValue(query.hasQueryItem(QStringLiteral("error_description"))
                                                          ? QStringLiteral("error_description")
                                                          : QStringLiteral("error"),
                                                      QUrl::FullyEncoded)
                                      .replace(QLatin1Char('+'), QLatin1Char(' '))
                                      .toLatin1());
    if (code.isEmpty() && !refusal.isEmpty()) {
        error = QStringLiteral("The provider refused the sign-in: ") + refusal;
    } else {
        try {
            SetAuthCode(code);
            ChangeAuthCodeToAccesToken(request);
        } catch (const hostapi::EQVException& e) {
            error = e.Message();
        }
    }
    if (!error.isEmpty())
        qCWarning(lcTransports) << "The sign-in failed:" << error;
    {
        std::lock_guard lock(FFlowLock);
        FFlow->Exchanges.erase(&request);
        if (!error.isEmpty())
            FFlow->Error = error;
    }
    CodeListenerResponse response;
    if (!error.isEmpty()) {
        response = TextAnswer(400, "Bad Request", QStringLiteral("Authentication failed: ") + error);
    } else {
        try {
            response = SuccessAnswer(*provider, context);
        } catch (const hostapi::EQVException& e) {
            qCWarning(lcTransports) << "The sign-in's answer page could not be made:" << e.Message();
            response =
                TextAnswer(500, "Internal Server Error",
                           AuthSuccessText + QStringLiteral("\n\n(The answer page could not be shown: ") +
                               e.Message() + QLatin1Char(')'));
        }
    }
    response.EndsFlow = true;
    return response;
}

CodeListenerResponse TEnhancedOAuth2Authenticator::SuccessAnswer(const TAuthProviderItem& AProvider,
                                                                 const ProviderMacroContext& AContext) const {
    const QString file = AProvider.Text(QStringLiteral("AuthSuccessServFile"));
    if (!file.isEmpty()) {
        CodeListenerResponse response;
        response.Headers = {{"Content-Type", "text/html; charset=utf-8"}};
        response.Body = ExpandProviderMacros(ReadUtf8File(ResolveProviderPath(file, AContext, &AProvider)),
                                             AContext, &AProvider)
                            .toUtf8();
        return response;
    }
    const QString redirect = AProvider.Text(QStringLiteral("AuthSuccessRedirectURL"));
    if (!redirect.isEmpty()) {
        CodeListenerResponse response;
        response.Status = 302;
        response.Reason = "Found";
        response.Headers = {{"Location", QUrl(redirect).toEncoded()}};
        return response;
    }
    return TextAnswer(200, "OK", AuthSuccessText);
}

} // namespace emailmarketing
