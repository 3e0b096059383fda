#pragma once

#include "MessageAttachmentList.h"
#include "MimeMessage.h"

#include <QIODevice>
#include <QString>

#include <memory>
#include <vector>

namespace emailmarketing {

// A message of a mailbox service: UID is the service's message id; Attachments describe files that
// Save turns into parts. Bcc recipients are kept in the MIME text.
class TRESTMessage : public MimeMessage {
public:
    TRESTMessage();
    ~TRESTMessage() override;

    TMessageAttachmentList& Attachments() { return FAttachments; }
    const TMessageAttachmentList& Attachments() const { return FAttachments; }

    // Reads a MIME message from the stream into this message (only its header fields with
    // AHeadersOnly).
    void SaveStream(QIODevice& AStream, bool AHeadersOnly);
    // Rebuilds the message as MIME: the attachment parts are added, the message is written and read
    // back, so that its parts hold their content; UID and Flags are kept. On failure (a file that
    // cannot be read) the message is left as it was.
    void Save();

protected:
    void GenerateHeader() override;

private:
    void BuildAttachmentParts();

    TMessageAttachmentList FAttachments;
};

// The messages of a mailbox; owns them.
class TMessageList {
public:
    // A new empty message at the end of the list.
    TRESTMessage& Add();
    // The first message whose UID equals AUID exactly, or nullptr.
    TRESTMessage* ByUID(const QString& AUID) const;

    int Count() const { return int(FItems.size()); }
    TRESTMessage& Items(int AIndex) const { return *FItems.at(AIndex); }
    void Clear() { FItems.clear(); }

private:
    std::vector<std::unique_ptr<TRESTMessage>> FItems;
};

} // namespace emailmarketing
