#include "RESTMessage.h"

#include "QVException.h"

namespace emailmarketing {

TRESTMessage::TRESTMessage() = default;
TRESTMessage::~TRESTMessage() = default;

void TRESTMessage::SaveStream(QIODevice& AStream, bool AHeadersOnly) {
    const QByteArray mime = AStream.readAll();
    if (AStream.isReadable() == false)
        throw hostapi::EQVException(
            QStringLiteral("The message cannot be read: %1").arg(AStream.errorString()));
    LoadFromBytes(mime, AHeadersOnly);
}

void TRESTMessage::Save() {
    const MimeMessageParts parts = MessageParts;
    QByteArray mime;
    try {
        BuildAttachmentParts();
        mime = SaveToBytes();
    } catch (...) {
        MessageParts = parts; // a failed Save leaves the message as it was
        throw;
    }
    const QString uid = UID;
    const MessageFlags flags = Flags;
    LoadFromBytes(mime, false);
    UID = uid;
    Flags = flags;
}

void TRESTMessage::GenerateHeader() {
    GenerateBccListInHeader = true;
}

void TRESTMessage::BuildAttachmentParts() {
    for (int i = 0; i < FAttachments.Count(); ++i) {
        const TMessageAttachmentItem& item = FAttachments.Items(i);
        MimeMessagePart part;
        part.PartKind = MimeMessagePart::Kind::Attachment;
        part.ContentType = item.ContentType();
        part.ContentDisposition = item.ContentDisposition();
        part.StoredPathName = item.StoredPathName();
        part.FileName = item.DisplayName();
        if (item.ContentDisposition() == QLatin1String("inline")) {
            part.ContentID = item.ContentID();
            part.ParentPart = 0;
        }
        MessageParts.append(part);
    }
}

TRESTMessage& TMessageList::Add() {
    FItems.push_back(std::make_unique<TRESTMessage>());
    return *FItems.back();
}

TRESTMessage* TMessageList::ByUID(const QString& AUID) const {
    for (const auto& message : FItems)
        if (message->UID == AUID)
            return message.get();
    return nullptr;
}

} // namespace emailmarketing
