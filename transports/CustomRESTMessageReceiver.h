#pragma once

#include "RESTHttpClient.h"
#include "RESTMessage.h"

#include <QFlags>
#include <QString>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <memory>

namespace emailmarketing {

class TEnhancedOAuth2Authenticator;

enum TMessageQueryFilter { mqfReaded = 0x1, mqfUnread = 0x2 };
Q_DECLARE_FLAGS(TMessageQueryFilters, TMessageQueryFilter)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMessageQueryFilters)

// Base of the mail clients that reach a mailbox through a JSON web interface: owns the HTTPS
// client and the messages of the last Receive, refreshes the OAuth2 access token through the
// authenticator before each call, and leaves the service's calls to the subclass. Nothing is
// caught: HTTP, JSON and token errors go to the caller. One thread at a time uses a client.
class TCustomRESTMailReceiver {
public:
    TCustomRESTMailReceiver();
    virtual ~TCustomRESTMailReceiver();
    TCustomRESTMailReceiver(const TCustomRESTMailReceiver&) = delete;
    TCustomRESTMailReceiver& operator=(const TCustomRESTMailReceiver&) = delete;

    TMessageList& MessageList() { return FMessageList; }
    // Supplies the access token; not owned. Set before any call that sends a token.
    TEnhancedOAuth2Authenticator* OAuth2Authenticator() const { return FOAuth2Authenticator; }
    void SetOAuth2Authenticator(TEnhancedOAuth2Authenticator* Value) { FOAuth2Authenticator = Value; }

    // Token refresh, then DoReceive; with an empty filter set nothing happens at all.
    void Receive(const QString& AMailFolderId, TMessageQueryFilters AQueryFilters);
    void Send(TRESTMessage& AMessage);
    void Delete(TRESTMessage& AMessage, bool APermanently);
    void Move(TRESTMessage& AMessage, const QString& ALocation);
    // DoUpdateMessage, without token refresh.
    void UpdateMessage(TRESTMessage& AMessage);
    // UpdateMessage for every message of the list, in order.
    void UpdateMessages();
    // A new message that is not put into the list; the caller owns it.
    std::unique_ptr<TRESTMessage> CreateMessage() const;

    // The id of a mail folder given by name or path. The base refreshes the token and answers empty
    // text.
    virtual QString GetMailFolderIDByFolderName(const QString& AFolderName);

protected:
    // Sets up the client before every use. The base sets the content type "application/json".
    virtual void PrepareHTTP(RESTHttpClient& AHTTP);
    // The base empties the message list.
    virtual void DoReceive(const QString& AMailFolderId, TMessageQueryFilters AQueryFilters);
    virtual void DoUpdateMessage(TRESTMessage& AMessage) = 0;
    virtual void DoSend(TRESTMessage& AMessage) = 0;
    virtual void DoDelete(TRESTMessage& AMessage, bool APermanently) = 0;
    virtual void DoMove(TRESTMessage& AMessage, const QString& ALocation) = 0;

    // The authenticator's refresh when the token is empty or expired; nothing without one.
    void RefreshTokenIfNeeded();
    // The HTTPS client, made on first use and prepared (PrepareHTTP) on every use.
    RESTHttpClient& GetHTTP();
    // A GET of the URL with the prepared client, the answer parsed as JSON. EQVException naming the
    // URL when the answer is no JSON.
    nlohmann::json GetJSON(const QUrl& AURL);

private:
    std::unique_ptr<RESTHttpClient> FHTTP;
    TMessageList FMessageList;
    TEnhancedOAuth2Authenticator* FOAuth2Authenticator = nullptr;
};

} // namespace emailmarketing
