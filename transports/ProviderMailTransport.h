#pragma once

#include "MailAddress.h"
#include "VRNSMTP.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

namespace emailmarketing {

class TAuthProviderItem;
class TEnhancedOAuth2Authenticator;
class TRESTMessage;

// How a provider's protocol entry carries a message that does not travel over SMTP.
enum class TProviderTransportKind { HttpPost, MailClient };

// The sending side of an OAuth2 provider's protocol entries: the TLS use of its SMTP entry, the
// HTTP posting of the MIME text and the hand-off to the mail client. The access token travels only
// encrypted or to loopback; it is never logged nor put in an error text.
class TProviderMailTransport {
public:
    // The entry's "tls" text, compared exactly: "NoTLSSupport", "UseImplicitTLS", "UseRequireTLS",
    // "UseExplicitTLS". Any other text raises EQVException
    // 'Unknown tls type in provider configuration: "<text>"'.
    static TIdUseTLS UseTLSOf(const QString& ATls);
    // Sets AClient's TLS use from the "tls" text of AProvider's entry AProtocol; without an entry
    // or a "tls" text it stays.
    static void ConfigureIOHandler(const TAuthProviderItem& AProvider, TVRNSMTP& AClient,
                                   const QString& AProtocol);

    // Whether the token may go over a connection: encrypted, or to a loopback peer.
    static bool MaySendToken(bool AEncrypted, bool ALoopback);
    // Whether the token may go to AUrl: https, or http to a loopback host (127.0.0.0/8, ::1,
    // "localhost").
    static bool MaySendTokenTo(const QUrl& AUrl);

    // AProvider's entry AProtocol. Without one: EQVException
    // 'Wrong protocol type configuration in provider configuration: "<protocol>"'.
    static QJsonObject ProtocolEntry(const TAuthProviderItem& AProvider, const QString& AProtocol);
    // The entry's "transport": "rest", "http" post the MIME text; "ms-graph-sender",
    // "google-api-sender" go through the mail client. Any other: EQVException
    // 'Unknow transport type in provider configuration: "<text>"'.
    static TProviderTransportKind TransportKind(const QJsonObject& AEntry);
    // The body HTTP posting sends: "message-format" must be "MIME"; "message-encoding" "base64"
    // encodes AMime, empty keeps it. Other values raise EQVException naming them.
    static QByteArray PostBody(const QJsonObject& AEntry, const QByteArray& AMime);

    // Refreshes the token when needed; without one afterwards: EQVException
    // "Not properly authenticated."
    static QString RequireAccessToken(TEnhancedOAuth2Authenticator& AAuthenticator);

    // Sends the message AMime, with ABccList for the service to deliver, through AEntry (its
    // "transport" decides). The mail client's base address is the entry's "endpoint" when it names
    // one. Throws on every failure; an answer of 400 or more is one.
    static void Send(TEnhancedOAuth2Authenticator& AAuthenticator, const QJsonObject& AEntry,
                     const QByteArray& AMime, const QList<MailAddress>& ABccList);

private:
    static void Post(TEnhancedOAuth2Authenticator& AAuthenticator, const QJsonObject& AEntry,
                     TRESTMessage& AMessage);
    static void SendThroughMailClient(TEnhancedOAuth2Authenticator& AAuthenticator, const QJsonObject& AEntry,
                                      TRESTMessage& AMessage);
    // Raises when the token may not go to AUrl.
    static void RequireSafeDestination(const QUrl& AUrl);
};

} // namespace emailmarketing
