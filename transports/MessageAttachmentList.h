#pragma once

#include <QString>

#include <memory>
#include <vector>

namespace emailmarketing {

// Description of one attachment of a message received from or sent to a mailbox service: its
// content lies in a local file.
class TMessageAttachmentItem {
public:
    const QString& ContentType() const { return FContentType; }
    void SetContentType(const QString& AValue) { FContentType = AValue; }
    const QString& StoredPathName() const { return FStoredPathName; }
    void SetStoredPathName(const QString& AValue) { FStoredPathName = AValue; }
    const QString& DisplayName() const { return FDisplayName; }
    void SetDisplayName(const QString& AValue) { FDisplayName = AValue; }
    // "inline" or "attachment".
    const QString& ContentDisposition() const { return FContentDisposition; }
    void SetContentDisposition(const QString& AValue) { FContentDisposition = AValue; }
    // In angle brackets. The setter decodes percent-encoding, then adds "<" and ">" where missing;
    // empty stays empty.
    const QString& ContentID() const { return FContentID; }
    void SetContentID(const QString& AValue);

private:
    QString FContentType;
    QString FStoredPathName;
    QString FDisplayName;
    QString FContentDisposition;
    QString FContentID;
};

// The attachment descriptions of a message; owns its items. Inline items come first.
class TMessageAttachmentList {
public:
    // A new item: an inline one is inserted at the front with disposition "inline", any other is
    // added at the end with disposition "attachment".
    TMessageAttachmentItem& Append(bool AIsInline);

    int Count() const { return int(FItems.size()); }
    TMessageAttachmentItem& Items(int AIndex) const { return *FItems.at(AIndex); }
    void Clear() { FItems.clear(); }

private:
    std::vector<std::unique_ptr<TMessageAttachmentItem>> FItems;
};

} // namespace emailmarketing
