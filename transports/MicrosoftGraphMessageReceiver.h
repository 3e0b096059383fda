#pragma once

#include "CustomRESTMessageReceiver.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <vector>

namespace emailmarketing {

// The mail client of the Microsoft Graph v1.0 mail interface of the signed-in user: sends a message
// as a draft with its attachments (small ones inline, large ones through upload sessions) and then
// sends the draft; receives a folder's messages page by page; resolves folder paths to ids; moves,
// deletes and writes the read state back. Every request carries the bearer token except the chunk
// uploads, which go to the upload address the service gives. The token is never logged nor put in
// an error text. Nothing is caught: HTTP, JSON, token and folder errors go to the caller.
class TMicrosoftGraphMessageReceiver : public TCustomRESTMailReceiver {
public:
    // Attachments go inline with the draft while their running total stays below this.
    static constexpr qint64 InlineAttachmentLimit = 2800001;
    static constexpr qint64 UploadChunkSize = 3800000;

    TMicrosoftGraphMessageReceiver();
    ~TMicrosoftGraphMessageReceiver() override;

    // The service's base address, without a trailing slash ("https://graph.microsoft.com").
    const QString& GraphEndpoint() const { return FGraphEndpoint; }
    void SetGraphEndpoint(const QString& AValue);
    // Most message pages one Receive follows; more raise.
    int MaxPages() const { return FMaxPages; }
    void SetMaxPages(int AValue) { FMaxPages = AValue; }
    // Chunk requests an upload may take beyond the chunks the file needs (re-sent ranges); more raise.
    int MaxExtraChunkRequests() const { return FMaxExtraChunkRequests; }
    void SetMaxExtraChunkRequests(int AValue) { FMaxExtraChunkRequests = AValue; }

    // The id of a folder given by name or by path ("Inbox/Projects/2024"), each level looked up
    // below the one before. EQVException 'MailFolder "<name>" not found' when a level is missing.
    QString GetMailFolderIDByFolderName(const QString& AFolderName) override;

protected:
    void PrepareHTTP(RESTHttpClient& AHTTP) override;
    void DoReceive(const QString& AMailFolderId, TMessageQueryFilters AQueryFilters) override;
    void DoUpdateMessage(TRESTMessage& AMessage) override;
    void DoSend(TRESTMessage& AMessage) override;
    void DoDelete(TRESTMessage& AMessage, bool APermanently) override;
    void DoMove(TRESTMessage& AMessage, const QString& ALocation) override;

private:
    // An attachment that goes through an upload session.
    struct LargeAttachment {
        nlohmann::ordered_json RequestItem; // {"AttachmentItem": {...}}
        QString FilePath;                   // the content's file, or empty
        QByteArray Content;                 // the content when no file is named
    };

    QUrl Url(const QString& APath) const;
    static QString MessagePath(const QString& AId);

    QUrl GetMessagesURL(const QString& AMailFolderId, TMessageQueryFilters AQueryFilters) const;
    static QString BuildQueryFilter(const QString& ACondition);
    void ParseMessagePage(const nlohmann::json& APage);
    void LoadInternetHeaders(TRESTMessage& AMessage);
    bool LoadAttachments(TRESTMessage& AMessage, const QString& AFolder);
    static void LoadMessageFromBytes(TRESTMessage& AMessage, const QByteArray& AMime);

    nlohmann::ordered_json MessageToJSON(const TRESTMessage& AMessage,
                                         std::vector<LargeAttachment>& ALarge) const;
    static nlohmann::ordered_json AttachmentMembers(const MimeMessagePart& APart);
    static nlohmann::ordered_json EmailAddressToJSON(const MailAddress& AAddress);
    static nlohmann::ordered_json EmailAddressListToJSON(const QList<MailAddress>& AAddresses);
    static MailAddress JSONToEmailAddress(const nlohmann::json& AValue);
    static QList<MailAddress> JSONToEmailAddressList(const nlohmann::json& AValue);

    QUrl CreateUploadSession(const QString& ADraftId, const LargeAttachment& AAttachment);
    void UploadLargeAttachment(const QString& ADraftId, const LargeAttachment& AAttachment);
    nlohmann::json PostJSON(const QUrl& AUrl, const QByteArray& ABody);
    hostapi::HttpResponse Request(const QByteArray& AMethod, const QUrl& AUrl, const QByteArray& ABody = {});

    QString FindMailFolderID(const QString& AUrl, const QString& AName);
    void MoveMessageByID(const QString& AId, const QString& ADestination);
    void DeleteMessageByID(const QString& AId);

    QString FGraphEndpoint = QStringLiteral("https://graph.microsoft.com");
    int FMaxPages = 1000;
    int FMaxExtraChunkRequests = 10;
};

} // namespace emailmarketing
