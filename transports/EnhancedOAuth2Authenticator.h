#pragma once

#include "AuthProviderItem.h"
#include "AuthProviderList.h"
#include "OAuth2Authenticator.h"
#include "ProviderMacros.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <set>

namespace hostapi {
class IUrlOpener;
}

namespace emailmarketing {

class AuthTimeoutWatcher;
class OAuth2CodeListener;
class TOAuth2TokenRequest;
struct CodeListenerRequest;
struct CodeListenerResponse;
struct TOAuth2TokenResponse;

// The OAuth2 client of the provider mode and the mailbox clients: loads a provider definition,
// refreshes the access token with the refresh token, runs the authorization-code flow through the
// user's browser and a loopback listener, and makes the SASL mechanisms that carry the token to an
// SMTP server.
//
// Threads: the owner's thread calls the operations; the code flow's listener threads store the
// tokens of the code grant (under the base class's lock) and fire OnNewRefreshToken there. Set
// OnNewRefreshToken, Language and ProviderPath before Authenticate. Destruction ends a running flow
// and joins its threads.
class TEnhancedOAuth2Authenticator : public TOAuth2Authenticator {
public:
    TEnhancedOAuth2Authenticator();
    ~TEnhancedOAuth2Authenticator() override;

    // The last "id_token" received.
    QString IDToken() const;
    void SetIDToken(const QString& Value);
    std::shared_ptr<TAuthProviderItem> ActiveProvider() const;
    bool IsProviderActive() const { return ActiveProvider() != nullptr; }
    // The providers of ProviderPath, loaded on first use. A file that fails to load raises its error
    // on that use; the list then holds the providers loaded before it.
    TAuthProviderList& AuthProviders();
    QString ProviderPath() const { return FProviderPath; }
    // Stores the folder; a provider list already loaded is cleared and loaded from the new folder.
    void SetProviderPath(const QString& Value);
    // Seconds the code flow's listener waits (default 120).
    int AuthTimeOut() const { return FAuthTimeOut; }
    void SetAuthTimeOut(int Value) { FAuthTimeOut = Value; }
    QString Language() const { return FLanguage; }
    // Lower-cased; "german" and "english" are kept, any other value becomes "english".
    void SetLanguage(const QString& Value);
    // The browser of Authenticate(true); the desktop's by default.
    void SetUrlOpener(std::shared_ptr<hostapi::IUrlOpener> AOpener);

    // Fired when a grant brought a new refresh token (the code grant: whenever it brought an access
    // token).
    std::function<void()> OnNewRefreshToken;

    // Ends a running flow and drops the provider.
    void Clear();
    // Loads ProviderPath/<AAuthName>.authprovider.json and makes it the active provider. A file
    // holding no JSON object: EOAuth2Exception "Provider not defined."
    void LoadProvider(const QString& AAuthName, const QString& ARefreshToken, const QString& AClientID,
                      const QString& AClientSecret);
    // Makes the item the active provider: client id and secret (the file's when empty), scope,
    // endpoints and redirect URI from the provider; the access token emptied and the refresh token
    // set. No item: EOAuth2Exception "Provider not defined."
    void LoadProvider(std::shared_ptr<TAuthProviderItem> AProviderItem, const QString& ARefreshToken,
                      const QString& AClientID, const QString& AClientSecret);
    // Refreshes the access token when it is empty or expired.
    void RefreshAccessTokenIfRequired();
    // The authorization-code grant with AuthCode.
    void ChangeAuthCodeToAccesToken();
    // The provider's SASL mechanism carrying a current access token. Without one after refreshing:
    // EOAuth2Exception "Not properly authenticated. An access_token is required!"
    std::shared_ptr<SaslMechanism> CreateSASL(TAuthProviderItem& AProvider, const QString& AUserName,
                                              const QString& AHost, int APort);
    // Starts the authorization-code flow and answers the authorization URL; with AOpenURL the
    // browser is asked to open it. Returns at once; the tokens arrive on a listener thread.
    QString Authenticate(bool AOpenURL);
    // Whether the flow's listener is running.
    bool IsAuthenticating() const;
    // Stops the flow's listener; with WaitForThread also waits until the flow's threads have ended.
    void CancelAuthentication(bool WaitForThread);
    // Applies the active provider again with its file's credentials and no tokens.
    void ClearAuthentication();
    // The provider's "Caption" and the text of its "DescriptionFile" (empty when it names none),
    // macros expanded.
    void FillProviderCaption(const TAuthProviderItem& AProvider, QString& ACaption,
                             QString& ADescription) const;
    // Why the last code flow did not bring a token (empty when it did or is still running).
    QString AuthenticationError() const;

private:
    void ClearProvider();
    void RefreshAccessToken();
    void ChangeAuthCodeToAccesToken(TOAuth2TokenRequest& ARequest);
    // Stores a token response; answers whether a new refresh token came (ACodeGrant: a refresh
    // token is taken whenever present). A non-empty access token empties AuthCode.
    bool ApplyTokenResponse(const TOAuth2TokenResponse& AResponse, bool ACodeGrant);
    CodeListenerResponse AnswerBrowser(const CodeListenerRequest& ARequest);
    CodeListenerResponse SuccessAnswer(const TAuthProviderItem& AProvider,
                                       const ProviderMacroContext& AContext) const;
    void EndFlow();
    void StopListening();
    void SetFlowError(const QString& AError, bool AOnlyWithoutAnswer);
    ProviderMacroContext MacroContext() const;

    mutable std::mutex FProviderLock; // guards FActiveProvider
    std::shared_ptr<TAuthProviderItem> FActiveProvider;
    QString FIDToken; // under the base class's lock
    std::unique_ptr<TAuthProviderList> FAuthProviders;
    QString FProviderPath;
    int FAuthTimeOut = 120;
    QString FLanguage = QStringLiteral("english");
    std::shared_ptr<hostapi::IUrlOpener> FUrlOpener;

    // The code flow.
    struct Flow;
    mutable std::mutex FFlowLock; // guards FFlow's members that listener threads touch
    std::unique_ptr<Flow> FFlow;
    std::unique_ptr<OAuth2CodeListener> FAuthHTTPServer;
    std::unique_ptr<AuthTimeoutWatcher> FAuthTimeoutTask;
};

} // namespace emailmarketing
