#include "MicrosoftGraphMessageReceiver.h"

#include "EnhancedOAuth2Authenticator.h"
#include "HttpClient.h"
#include "QVException.h"
#include "RESTMessageParts.h"
#include "TransportsLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>

namespace emailmarketing {

using hostapi::EQVException;
using ordered_json = nlohmann::ordered_json;

namespace {

QString Text(const nlohmann::json& AObject, const char* AName) {
    if (!AObject.is_object())
        return QString();
    const auto it = AObject.find(AName);
    return it != AObject.end() && it->is_string() ? QString::fromStdString(it->get<std::string>())
                                                  : QString();
}

std::string Utf8(const QString& AText) {
    return AText.toStdString();
}

nlohmann::json ParseJSON(const QByteArray& ABody, const QUrl& AUrl) {
    try {
        return nlohmann::json::parse(ABody.cbegin(), ABody.cend());
    } catch (const nlohmann::json::parse_error& error) {
        throw EQVException(QStringLiteral("The answer of %1 is no JSON: %2")
                               .arg(hostapi::HttpClient::DisplayUrl(AUrl), QString::fromUtf8(error.what())));
    }
}

// The extension of a received attachment's name when it is a plain one (letters and digits), else
// none: the name comes from the mailbox and must not steer where the file goes.
QString PlainExtension(const QString& AName) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9]{1,16}$"));
    const QString suffix = QFileInfo(AName).suffix();
    return plain.match(suffix).hasMatch() ? QLatin1Char('.') + suffix : QString();
}

QByteArray ReadFile(const QString& APath) {
    QFile file(APath);
    if (!file.open(QIODevice::ReadOnly))
        throw EQVException(
            QStringLiteral("The attachment file %1 cannot be read: %2").arg(APath, file.errorString()));
    return file.readAll();
}

// An upload address as shown in errors: without its query, which may hold the session's credential.
QString ShownUploadUrl(const QUrl& AUrl) {
    return hostapi::HttpClient::DisplayUrl(AUrl.adjusted(QUrl::RemoveQuery));
}

} // namespace

TMicrosoftGraphMessageReceiver::TMicrosoftGraphMessageReceiver() = default;
TMicrosoftGraphMessageReceiver::~TMicrosoftGraphMessageReceiver() = default;

void TMicrosoftGraphMessageReceiver::SetGraphEndpoint(const QString& AValue) {
    FGraphEndpoint = AValue;
    while (FGraphEndpoint.endsWith(QLatin1Char('/')))
        FGraphEndpoint.chop(1);
}

QUrl TMicrosoftGraphMessageReceiver::Url(const QString& APath) const {
    return QUrl(FGraphEndpoint + APath);
}

QString TMicrosoftGraphMessageReceiver::MessagePath(const QString& AId) {
    if (AId.isEmpty())
        throw EQVException(QStringLiteral("The message has no mailbox id"));
    return QStringLiteral("/v1.0/me/messages/") + QString::fromLatin1(QUrl::toPercentEncoding(AId));
}

void TMicrosoftGraphMessageReceiver::PrepareHTTP(RESTHttpClient& AHTTP) {
    TCustomRESTMailReceiver::PrepareHTTP(AHTTP);
    if (OAuth2Authenticator() == nullptr)
        throw EQVException(QStringLiteral("The Microsoft Graph mail client has no OAuth2 authenticator"));
    AHTTP.SetHeader("Authorization", "Bearer " + OAuth2Authenticator()->AccessToken().toUtf8());
}

hostapi::HttpResponse TMicrosoftGraphMessageReceiver::Request(const QByteArray& AMethod, const QUrl& AUrl,
                                                              const QByteArray& ABody) {
    RESTHttpClient& http = GetHTTP();
    hostapi::HttpRequest request;
    request.Method = AMethod;
    request.Url = AUrl;
    request.Body = ABody;
    return http.Execute(request);
}

nlohmann::json TMicrosoftGraphMessageReceiver::PostJSON(const QUrl& AUrl, const QByteArray& ABody) {
    return ParseJSON(Request("POST", AUrl, ABody).Body, AUrl);
}

// --- Receive ---

QString TMicrosoftGraphMessageReceiver::BuildQueryFilter(const QString& ACondition) {
    return QStringLiteral("?$filter=") + QString::fromLatin1(QUrl::toPercentEncoding(ACondition));
}

QUrl TMicrosoftGraphMessageReceiver::GetMessagesURL(const QString& AMailFolderId,
                                                    TMessageQueryFilters AQueryFilters) const {
    QString path = AMailFolderId.isEmpty()
                       ? QStringLiteral("/v1.0/me/messages")
                       : QStringLiteral("/v1.0/me/mailFolders/%1/messages")
                             .arg(QString::fromLatin1(QUrl::toPercentEncoding(AMailFolderId)));
    if (AQueryFilters == TMessageQueryFilters(mqfReaded))
        path += BuildQueryFilter(QStringLiteral("isRead eq true"));
    else if (AQueryFilters == TMessageQueryFilters(mqfUnread))
        path += BuildQueryFilter(QStringLiteral("isRead eq false"));
    return Url(path);
}

void TMicrosoftGraphMessageReceiver::DoReceive(const QString& AMailFolderId,
                                               TMessageQueryFilters AQueryFilters) {
    TCustomRESTMailReceiver::DoReceive(AMailFolderId, AQueryFilters);
    QUrl url = GetMessagesURL(AMailFolderId, AQueryFilters);
    for (int page = 1;; ++page) {
        if (page > FMaxPages)
            throw EQVException(QStringLiteral("The message list has more than %1 pages").arg(FMaxPages));
        const nlohmann::json answer = GetJSON(url);
        ParseMessagePage(answer);
        const QString next = Text(answer, "@odata.nextLink");
        if (next.isEmpty())
            return;
        const QUrl nextUrl = url.resolved(QUrl(next));
        // The bearer token goes only to the service itself.
        if (!hostapi::HttpClient::SameOrigin(Url(QString()), nextUrl))
            throw EQVException(QStringLiteral("The next page of the message list is on another host (%1); "
                                              "it is not fetched")
                                   .arg(nextUrl
                                            .adjusted(QUrl::RemovePath | QUrl::RemoveQuery |
                                                      QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                                            .toDisplayString()));
        url = nextUrl;
    }
}

void TMicrosoftGraphMessageReceiver::ParseMessagePage(const nlohmann::json& APage) {
    if (!APage.is_object() || !APage.contains("value"))
        return;
    for (const nlohmann::json& item : APage.at("value")) {
        // Removed with its files when the message is done, also on failure.
        QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/qv-graph-XXXXXX"));
        if (!folder.isValid())
            throw EQVException(
                QStringLiteral("No temporary folder for a received message: %1").arg(folder.errorString()));
        TRESTMessage& message = MessageList().Add();
        message.UID = Text(item, "id");
        LoadInternetHeaders(message);
        const bool isSigned = LoadAttachments(message, folder.path());
        if (!isSigned)
            AddMultipartContainers(message.MessageParts);
        message.MsgId = Text(item, "internetMessageId");
        message.Subject = Text(item, "subject");
        const auto isRead = item.find("isRead");
        if (isRead != item.end() && isRead->is_boolean() && isRead->get<bool>())
            message.Flags |= MessageFlag::Seen;
        message.Sender = JSONToEmailAddress(item.value("sender", nlohmann::json()));
        message.From = JSONToEmailAddress(item.value("from", nlohmann::json()));
        message.Recipients = JSONToEmailAddressList(item.value("toRecipients", nlohmann::json()));
        message.CCList = JSONToEmailAddressList(item.value("ccRecipients", nlohmann::json()));
        message.BccList = JSONToEmailAddressList(item.value("bccRecipients", nlohmann::json()));
        message.ReplyTo = JSONToEmailAddressList(item.value("replyTo", nlohmann::json()));
        if (!isSigned)
            AddHTMLBodyParts(message.MessageParts, Text(item.value("body", nlohmann::json()), "content"));
        message.Save();
    }
}

void TMicrosoftGraphMessageReceiver::LoadInternetHeaders(TRESTMessage& AMessage) {
    const nlohmann::json answer =
        GetJSON(Url(MessagePath(AMessage.UID) + QStringLiteral("/?$select=internetMessageHeaders")));
    const auto headers = answer.find("internetMessageHeaders");
    if (headers == answer.end() || !headers->is_array())
        return;
    for (const nlohmann::json& header : *headers) {
        const QString name = Text(header, "name");
        if (name.compare(QLatin1String("Content-Type"), Qt::CaseInsensitive) != 0)
            AMessage.ExtraHeaders.append({name, Text(header, "value")});
    }
}

bool TMicrosoftGraphMessageReceiver::LoadAttachments(TRESTMessage& AMessage, const QString& AFolder) {
    const nlohmann::json answer = GetJSON(Url(MessagePath(AMessage.UID) + QStringLiteral("/attachments")));
    bool isSigned = false;
    if (!answer.is_object() || !answer.contains("value"))
        return isSigned;
    for (const nlohmann::json& item : answer.at("value")) {
        const QString contentBytes = Text(item, "contentBytes");
        if (contentBytes.isEmpty())
            continue;
        const auto decoded =
            QByteArray::fromBase64Encoding(contentBytes.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            throw EQVException(
                QStringLiteral("An attachment of message %1 has invalid Base64 content").arg(AMessage.UID));
        const QString contentType = Text(item, "contentType");
        isSigned = contentType == QLatin1String("multipart/signed");
        if (isSigned) {
            LoadMessageFromBytes(AMessage, decoded.decoded);
            continue;
        }
        const QString name = Text(item, "name");
        const QString path = AFolder + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                             PlainExtension(name);
        const auto isInline = item.find("isInline");
        TMessageAttachmentItem& attachment = AMessage.Attachments().Append(
            isInline != item.end() && isInline->is_boolean() && isInline->get<bool>());
        attachment.SetContentType(contentType);
        attachment.SetStoredPathName(path);
        attachment.SetDisplayName(name);
        if (item.contains("contentId"))
            attachment.SetContentID(Text(item, "contentId"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(decoded.decoded) != decoded.decoded.size() ||
            !file.flush())
            throw EQVException(QStringLiteral("The attachment %1 cannot be written to %2: %3")
                                   .arg(name, path, file.errorString()));
    }
    return isSigned;
}

void TMicrosoftGraphMessageReceiver::LoadMessageFromBytes(TRESTMessage& AMessage, const QByteArray& AMime) {
    const QString uid = AMessage.UID;
    const MessageFlags flags = AMessage.Flags;
    AMessage.LoadFromBytes(AMime, false);
    AMessage.UID = uid;
    AMessage.Flags = flags;
}

MailAddress TMicrosoftGraphMessageReceiver::JSONToEmailAddress(const nlohmann::json& AValue) {
    const nlohmann::json address =
        AValue.is_object() ? AValue.value("emailAddress", nlohmann::json()) : nlohmann::json();
    return MailAddress{Text(address, "name"), Text(address, "address")};
}

QList<MailAddress> TMicrosoftGraphMessageReceiver::JSONToEmailAddressList(const nlohmann::json& AValue) {
    QList<MailAddress> list;
    if (AValue.is_array())
        for (const nlohmann::json& item : AValue)
            list.append(JSONToEmailAddress(item));
    return list;
}

// --- Send ---

ordered_json TMicrosoftGraphMessageReceiver::EmailAddressToJSON(const MailAddress& AAddress) {
    ordered_json address;
    address["name"] = Utf8(AAddress.Name);
    address["address"] = Utf8(AAddress.Address);
    ordered_json result;
    result["emailAddress"] = std::move(address);
    return result;
}

ordered_json TMicrosoftGraphMessageReceiver::EmailAddressListToJSON(const QList<MailAddress>& AAddresses) {
    ordered_json list = ordered_json::array();
    for (const MailAddress& address : AAddresses)
        list.push_back(EmailAddressToJSON(address));
    return list;
}

ordered_json TMicrosoftGraphMessageReceiver::AttachmentMembers(const MimeMessagePart& APart) {
    ordered_json members;
    members["contentType"] = Utf8(APart.ContentType);
    if (APart.ContentDisposition.compare(QLatin1String("inline"), Qt::CaseInsensitive) == 0) {
        members["isInline"] = true;
        members["contentId"] = Utf8(APart.ContentID);
    }
    members["name"] =
        Utf8(QFileInfo(APart.FileName.isEmpty() ? APart.StoredPathName : APart.FileName).fileName());
    return members;
}

ordered_json TMicrosoftGraphMessageReceiver::MessageToJSON(const TRESTMessage& AMessage,
                                                           std::vector<LargeAttachment>& ALarge) const {
    ordered_json attachments = ordered_json::array();
    QString html;
    QString plain;
    bool hasHtml = false;
    bool hasPlain = false;
    qint64 total = 0;
    for (const MimeMessagePart& part : AMessage.MessageParts) {
        if (part.PartKind == MimeMessagePart::Kind::Text) {
            if (part.ContentType == QLatin1String("text/html") && !hasHtml) {
                html = part.Body;
                hasHtml = true;
            } else if (part.ContentType == QLatin1String("text/plain") && !hasPlain) {
                plain = part.Body;
                hasPlain = true;
            }
            continue;
        }
        qint64 size = part.Content.size();
        if (!part.StoredPathName.isEmpty()) {
            const QFileInfo info(part.StoredPathName);
            if (!info.isFile())
                throw EQVException(
                    QStringLiteral("The attachment file %1 does not exist").arg(part.StoredPathName));
            size = info.size();
        }
        total += size;
        if (total < InlineAttachmentLimit) {
            const QByteArray content =
                part.StoredPathName.isEmpty() ? part.Content : ReadFile(part.StoredPathName);
            ordered_json attachment;
            attachment["@odata.type"] = "#microsoft.graph.fileAttachment";
            attachment["contentBytes"] = content.toBase64().toStdString();
            attachment.update(AttachmentMembers(part));
            attachments.push_back(std::move(attachment));
        } else {
            total -= size;
            ordered_json item;
            item["attachmentType"] = "file";
            item["size"] = size;
            item.update(AttachmentMembers(part));
            LargeAttachment large;
            large.RequestItem["AttachmentItem"] = std::move(item);
            large.FilePath = part.StoredPathName;
            if (large.FilePath.isEmpty())
                large.Content = part.Content;
            ALarge.push_back(std::move(large));
        }
    }

    ordered_json message;
    message["subject"] = Utf8(AMessage.Subject);
    message["id"] = Utf8(AMessage.UID);
    message["internetMessageId"] = Utf8(AMessage.MsgId);
    message["from"] = EmailAddressToJSON(AMessage.From);
    message["sender"] = EmailAddressToJSON(AMessage.Sender);
    message["toRecipients"] = EmailAddressListToJSON(AMessage.Recipients);
    message["replyTo"] = EmailAddressListToJSON(AMessage.ReplyTo);
    message["ccRecipients"] = EmailAddressListToJSON(AMessage.CCList);
    message["bccRecipients"] = EmailAddressListToJSON(AMessage.BccList);
    message["attachments"] = std::move(attachments);
    ordered_json body = ordered_json::object();
    if (hasHtml || hasPlain) {
        body["contentType"] = hasHtml ? "html" : "text";
        body["content"] = Utf8(hasHtml ? html : plain);
    }
    message["body"] = std::move(body);
    return message;
}

void TMicrosoftGraphMessageReceiver::DoSend(TRESTMessage& AMessage) {
    std::vector<LargeAttachment> large;
    const ordered_json message = MessageToJSON(AMessage, large);
    const QUrl draftUrl = Url(QStringLiteral("/v1.0/me/messages"));
    const nlohmann::json draft = PostJSON(draftUrl, QByteArray::fromStdString(message.dump()));
    const QString draftId = Text(draft, "id");
    if (draftId.isEmpty())
        throw EQVException(
            QStringLiteral("The answer of %1 names no draft id").arg(draftUrl.toDisplayString()));
    try {
        for (const LargeAttachment& attachment : large)
            UploadLargeAttachment(draftId, attachment);
        Request("POST", Url(MessagePath(draftId) + QStringLiteral("/send")));
    } catch (...) {
        // No half-built draft is left in the mailbox.
        try {
            DeleteMessageByID(draftId);
        } catch (const std::exception& e) {
            qCWarning(lcTransports) << "The unsent draft could not be deleted:" << e.what();
        }
        throw;
    }
    qCDebug(lcTransports) << "Message sent through Microsoft Graph, draft" << draftId;
}

QUrl TMicrosoftGraphMessageReceiver::CreateUploadSession(const QString& ADraftId,
                                                         const LargeAttachment& AAttachment) {
    const QUrl url = Url(MessagePath(ADraftId) + QStringLiteral("/attachments/createUploadSession"));
    const nlohmann::json session = PostJSON(url, QByteArray::fromStdString(AAttachment.RequestItem.dump()));
    const QUrl uploadUrl(Text(session, "uploadUrl"));
    if (!uploadUrl.isValid() || uploadUrl.isRelative())
        throw EQVException(
            QStringLiteral("The answer of %1 names no upload address").arg(url.toDisplayString()));
    return uploadUrl;
}

void TMicrosoftGraphMessageReceiver::UploadLargeAttachment(const QString& ADraftId,
                                                           const LargeAttachment& AAttachment) {
    const QUrl uploadUrl = CreateUploadSession(ADraftId, AAttachment);
    const ordered_json& item = AAttachment.RequestItem.at("AttachmentItem");
    const QString name = QString::fromStdString(item.at("name").get<std::string>());
    const qint64 size = item.at("size").get<qint64>();
    const QByteArray content =
        AAttachment.FilePath.isEmpty() ? AAttachment.Content : ReadFile(AAttachment.FilePath);
    if (content.size() != size)
        throw EQVException(QStringLiteral("The attachment %1 changed its size during the upload").arg(name));

    const qint64 chunks = (size + UploadChunkSize - 1) / UploadChunkSize;
    const qint64 maxRequests = chunks + FMaxExtraChunkRequests;
    qint64 start = 0;
    for (qint64 requests = 0;; ++requests) {
        if (requests >= maxRequests)
            throw EQVException(
                QStringLiteral("The upload of attachment %1 to %2 did not finish within %3 requests")
                    .arg(name, ShownUploadUrl(uploadUrl))
                    .arg(maxRequests));
        const qint64 length = std::min(UploadChunkSize, size - start);
        // A client of its own for each chunk: the upload address takes no bearer token.
        hostapi::HttpClient client;
        hostapi::HttpRequest request;
        request.Method = "PUT";
        request.Url = uploadUrl;
        request.Headers = {{"Content-Type", "application/octet-stream"},
                           {"Content-Range", QByteArray("bytes ") + QByteArray::number(start) + '-' +
                                                 QByteArray::number(start + length - 1) + '/' +
                                                 QByteArray::number(size)}};
        request.Body = content.mid(start, length);
        hostapi::HttpResponse response;
        try {
            response = client.Execute(request);
        } catch (const hostapi::EHttpStatusException& e) {
            throw hostapi::EHttpStatusException(QStringLiteral("Upload of attachment %1 to %2 failed: %3 %4")
                                                    .arg(name, ShownUploadUrl(uploadUrl))
                                                    .arg(e.Status())
                                                    .arg(QString::fromLatin1(e.Reason()))
                                                    .trimmed(),
                                                e.Status(), e.Body(), e.Reason());
        } catch (const hostapi::EHttpException& e) {
            throw hostapi::EHttpException(
                QString(e.Message())
                    .replace(hostapi::HttpClient::DisplayUrl(uploadUrl), ShownUploadUrl(uploadUrl)));
        }
        if (response.Status == 201)
            return;
        const nlohmann::json answer = ParseJSON(response.Body, uploadUrl.adjusted(QUrl::RemoveQuery));
        QString range;
        const auto ranges = answer.is_object() ? answer.find("nextExpectedRanges") : answer.end();
        if (ranges != answer.end() && ranges->is_array() && !ranges->empty() && ranges->front().is_string())
            range = QString::fromStdString(ranges->front().get<std::string>());
        bool valid = false;
        const qint64 next = range.section(QLatin1Char('-'), 0, 0).toLongLong(&valid);
        if (!valid || next < 0 || next >= size)
            throw EQVException(
                QStringLiteral("The upload session of attachment %1 answered %2 with no valid next "
                               "range (\"%3\")")
                    .arg(name)
                    .arg(response.Status)
                    .arg(range));
        start = next;
    }
}

// --- Folders and message operations ---

QString TMicrosoftGraphMessageReceiver::FindMailFolderID(const QString& APath, const QString& AName) {
    QString name = AName;
    name.replace(QLatin1Char('\''), QLatin1String("''"));
    const nlohmann::json answer =
        GetJSON(Url(APath + BuildQueryFilter(QStringLiteral("displayName eq '") + name + QLatin1Char('\''))));
    const auto value = answer.is_object() ? answer.find("value") : answer.end();
    if (value == answer.end() || !value->is_array() || value->empty())
        return QString();
    return Text(value->front(), "id");
}

QString TMicrosoftGraphMessageReceiver::GetMailFolderIDByFolderName(const QString& AFolderName) {
    TCustomRESTMailReceiver::GetMailFolderIDByFolderName(AFolderName);
    QString id;
    for (const QString& level : AFolderName.split(QLatin1Char('/'))) {
        const QString path = id.isEmpty() ? QStringLiteral("/v1.0/me/mailFolders")
                                          : QStringLiteral("/v1.0/me/mailFolders/%1/childFolders")
                                                .arg(QString::fromLatin1(QUrl::toPercentEncoding(id)));
        id = FindMailFolderID(path, level);
        // A missing level ends the walk: its children must not be looked up at the top level.
        if (id.isEmpty())
            throw EQVException(QStringLiteral("MailFolder \"%1\" not found").arg(AFolderName));
    }
    return id;
}

void TMicrosoftGraphMessageReceiver::MoveMessageByID(const QString& AId, const QString& ADestination) {
    ordered_json body;
    body["destinationId"] = Utf8(ADestination);
    Request("POST", Url(MessagePath(AId) + QStringLiteral("/move")), QByteArray::fromStdString(body.dump()));
}

void TMicrosoftGraphMessageReceiver::DeleteMessageByID(const QString& AId) {
    Request("DELETE", Url(MessagePath(AId)));
}

void TMicrosoftGraphMessageReceiver::DoUpdateMessage(TRESTMessage& AMessage) {
    ordered_json body;
    body["isRead"] = AMessage.Flags.testFlag(MessageFlag::Seen);
    Request("PATCH", Url(MessagePath(AMessage.UID)), QByteArray::fromStdString(body.dump()));
}

void TMicrosoftGraphMessageReceiver::DoDelete(TRESTMessage& AMessage, bool APermanently) {
    if (APermanently)
        DeleteMessageByID(AMessage.UID);
    else
        MoveMessageByID(AMessage.UID, QStringLiteral("deleteditems"));
}

void TMicrosoftGraphMessageReceiver::DoMove(TRESTMessage& AMessage, const QString& ALocation) {
    MoveMessageByID(AMessage.UID, ALocation);
}

} // namespace emailmarketing
