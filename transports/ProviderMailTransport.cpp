#include "ProviderMailTransport.h"

#include "AuthProviderItem.h"
#include "EnhancedOAuth2Authenticator.h"
#include "HttpClient.h"
#include "MicrosoftGraphMessageReceiver.h"
#include "QVException.h"
#include "RESTMessage.h"
#include "TransportsLog.h"

#include <QHostAddress>

namespace emailmarketing {

using hostapi::EQVException;

namespace {

QString Member(const QJsonObject& AEntry, const char* AName) {
    return AEntry.value(QLatin1String(AName)).toString();
}

EQVException ConfigurationError(const QString& AText, const QString& AValue) {
    return EQVException(AText + QLatin1Char('"') + AValue + QLatin1Char('"'));
}

} // namespace

TIdUseTLS TProviderMailTransport::UseTLSOf(const QString& ATls) {
    static const QStringList names{QStringLiteral("NoTLSSupport"), QStringLiteral("UseImplicitTLS"),
                                   QStringLiteral("UseRequireTLS"), QStringLiteral("UseExplicitTLS")};
    const qsizetype position = names.indexOf(ATls);
    // Reading an unknown text as "no TLS" would put the token on the line in clear.
    if (position < 0)
        throw ConfigurationError(QStringLiteral("Unknown tls type in provider configuration: "), ATls);
    return static_cast<TIdUseTLS>(position);
}

void TProviderMailTransport::ConfigureIOHandler(const TAuthProviderItem& AProvider, TVRNSMTP& AClient,
                                                const QString& AProtocol) {
    const std::optional<QJsonObject> entry = AProvider.Protocol(AProtocol);
    if (entry && !Member(*entry, "tls").isEmpty())
        AClient.SetUseTLS(UseTLSOf(Member(*entry, "tls")));
}

bool TProviderMailTransport::MaySendToken(bool AEncrypted, bool ALoopback) {
    return AEncrypted || ALoopback;
}

bool TProviderMailTransport::MaySendTokenTo(const QUrl& AUrl) {
    const QString scheme = AUrl.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = AUrl.host();
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

QJsonObject TProviderMailTransport::ProtocolEntry(const TAuthProviderItem& AProvider,
                                                  const QString& AProtocol) {
    const std::optional<QJsonObject> entry = AProvider.Protocol(AProtocol);
    if (!entry)
        throw ConfigurationError(
            QStringLiteral("Wrong protocol type configuration in provider configuration: "), AProtocol);
    return *entry;
}

TProviderTransportKind TProviderMailTransport::TransportKind(const QJsonObject& AEntry) {
    const QString transport = Member(AEntry, "transport");
    if (transport == QLatin1String("rest") || transport == QLatin1String("http"))
        return TProviderTransportKind::HttpPost;
    if (transport == QLatin1String("ms-graph-sender") || transport == QLatin1String("google-api-sender"))
        return TProviderTransportKind::MailClient;
    throw ConfigurationError(QStringLiteral("Unknow transport type in provider configuration: "), transport);
}

QByteArray TProviderMailTransport::PostBody(const QJsonObject& AEntry, const QByteArray& AMime) {
    const QString format = Member(AEntry, "message-format");
    if (format != QLatin1String("MIME"))
        throw ConfigurationError(QStringLiteral("Unknown message-format in provider configuration: "),
                                 format);
    const QString encoding = Member(AEntry, "message-encoding");
    if (encoding == QLatin1String("base64"))
        return AMime.toBase64();
    if (encoding.isEmpty())
        return AMime;
    throw ConfigurationError(QStringLiteral("Unknown message-encoding in provider configuration: "),
                             encoding);
}

QString TProviderMailTransport::RequireAccessToken(TEnhancedOAuth2Authenticator& AAuthenticator) {
    AAuthenticator.RefreshAccessTokenIfRequired();
    const QString token = AAuthenticator.AccessToken();
    if (token.isEmpty())
        throw EQVException(QStringLiteral("Not properly authenticated."));
    return token;
}

void TProviderMailTransport::RequireSafeDestination(const QUrl& AUrl) {
    if (!MaySendTokenTo(AUrl))
        throw EQVException(
            QStringLiteral("The access token is sent only over https (or http to this machine); "
                           "the provider configuration names %1.")
                .arg(hostapi::HttpClient::DisplayUrl(AUrl)));
}

void TProviderMailTransport::Send(TEnhancedOAuth2Authenticator& AAuthenticator, const QJsonObject& AEntry,
                                  const QByteArray& AMime, const QList<MailAddress>& ABccList) {
    const TProviderTransportKind kind = TransportKind(AEntry);
    TRESTMessage message;
    message.LoadFromBytes(AMime, false);
    message.BccList = ABccList;
    switch (kind) {
    case TProviderTransportKind::HttpPost:
        Post(AAuthenticator, AEntry, message);
        return;
    case TProviderTransportKind::MailClient:
        SendThroughMailClient(AAuthenticator, AEntry, message);
        return;
    }
}

void TProviderMailTransport::Post(TEnhancedOAuth2Authenticator& AAuthenticator, const QJsonObject& AEntry,
                                  TRESTMessage& AMessage) {
    const QByteArray body = PostBody(AEntry, AMessage.SaveToBytes());
    const QUrl endpoint(Member(AEntry, "endpoint"));
    RequireSafeDestination(endpoint);
    const QString token = RequireAccessToken(AAuthenticator);
    hostapi::HttpClient http;
    hostapi::HttpRequest request;
    request.Method = "POST";
    request.Url = endpoint;
    request.Body = body;
    // The bare token, no scheme word: the provider's endpoint expects it so.
    request.Headers = {{"Authorization", token.toUtf8()},
                       {"Content-Type", Member(AEntry, "content-type").toUtf8()}};
    http.Execute(request); // a status of 400 or more raises
    qCDebug(lcTransports) << "message posted to" << hostapi::HttpClient::DisplayUrl(endpoint);
}

void TProviderMailTransport::SendThroughMailClient(TEnhancedOAuth2Authenticator& AAuthenticator,
                                                   const QJsonObject& AEntry, TRESTMessage& AMessage) {
    TMicrosoftGraphMessageReceiver client;
    client.SetOAuth2Authenticator(&AAuthenticator);
    const QString endpoint = Member(AEntry, "endpoint");
    if (!endpoint.isEmpty())
        client.SetGraphEndpoint(endpoint);
    RequireSafeDestination(QUrl(client.GraphEndpoint()));
    client.Send(AMessage);
}

} // namespace emailmarketing
