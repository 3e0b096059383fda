#include "CustomRESTMessageReceiver.h"

#include "EnhancedOAuth2Authenticator.h"
#include "QVException.h"

namespace emailmarketing {

TCustomRESTMailReceiver::TCustomRESTMailReceiver() = default;
TCustomRESTMailReceiver::~TCustomRESTMailReceiver() = default;

void TCustomRESTMailReceiver::Receive(const QString& AMailFolderId, TMessageQueryFilters AQueryFilters) {
    if (!AQueryFilters)
        return;
    RefreshTokenIfNeeded();
    DoReceive(AMailFolderId, AQueryFilters);
}

void TCustomRESTMailReceiver::Send(TRESTMessage& AMessage) {
    RefreshTokenIfNeeded();
    DoSend(AMessage);
}

void TCustomRESTMailReceiver::Delete(TRESTMessage& AMessage, bool APermanently) {
    RefreshTokenIfNeeded();
    DoDelete(AMessage, APermanently);
}

void TCustomRESTMailReceiver::Move(TRESTMessage& AMessage, const QString& ALocation) {
    RefreshTokenIfNeeded();
    DoMove(AMessage, ALocation);
}

void TCustomRESTMailReceiver::UpdateMessage(TRESTMessage& AMessage) {
    DoUpdateMessage(AMessage);
}

void TCustomRESTMailReceiver::UpdateMessages() {
    for (int i = 0; i < FMessageList.Count(); ++i)
        UpdateMessage(FMessageList.Items(i));
}

std::unique_ptr<TRESTMessage> TCustomRESTMailReceiver::CreateMessage() const {
    return std::make_unique<TRESTMessage>();
}

QString TCustomRESTMailReceiver::GetMailFolderIDByFolderName(const QString& AFolderName) {
    Q_UNUSED(AFolderName);
    RefreshTokenIfNeeded();
    return QString();
}

void TCustomRESTMailReceiver::PrepareHTTP(RESTHttpClient& AHTTP) {
    AHTTP.SetHeader("Content-Type", "application/json");
}

void TCustomRESTMailReceiver::DoReceive(const QString& AMailFolderId, TMessageQueryFilters AQueryFilters) {
    Q_UNUSED(AMailFolderId);
    Q_UNUSED(AQueryFilters);
    FMessageList.Clear();
}

void TCustomRESTMailReceiver::RefreshTokenIfNeeded() {
    if (FOAuth2Authenticator != nullptr)
        FOAuth2Authenticator->RefreshAccessTokenIfRequired();
}

RESTHttpClient& TCustomRESTMailReceiver::GetHTTP() {
    if (!FHTTP)
        FHTTP = std::make_unique<RESTHttpClient>();
    PrepareHTTP(*FHTTP);
    return *FHTTP;
}

nlohmann::json TCustomRESTMailReceiver::GetJSON(const QUrl& AURL) {
    const hostapi::HttpResponse response = GetHTTP().Get(AURL);
    try {
        return nlohmann::json::parse(response.Body.cbegin(), response.Body.cend());
    } catch (const nlohmann::json::parse_error& error) {
        throw hostapi::EQVException(
            QStringLiteral("The answer of %1 is no JSON: %2")
                .arg(hostapi::HttpClient::DisplayUrl(AURL), QString::fromUtf8(error.what())));
    }
}

} // namespace emailmarketing
