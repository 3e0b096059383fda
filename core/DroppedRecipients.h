#pragma once

#include <QString>

#include <atomic>

namespace emailmarketing {

// Why a preparation drops a recipient (no document, no sent-list row).
enum class TDropReason : int {
    NoAddress = 0,            // no usable address (e-mail without domain, line break, empty)
    MandatoryAttachement = 1, // a mandatory attachment could not be loaded
    PreparationFailed = 2     // the preparation of the recipient raised
};

// The recipients one preparation dropped: counted (any thread may read the count), each logged with
// its address id and reason, never with a field value, and summed up once at the end.
class TDroppedRecipients {
public:
    void Reset() { FCount = 0; }
    void Drop(qint64 AAddressID, TDropReason AReason);
    int Count() const { return FCount.load(); }
    // "N of M recipients were dropped"; empty when none was dropped.
    QString Summary(int ARecipientCount) const;

    static QString ReasonText(TDropReason AReason);

private:
    std::atomic<int> FCount{0};
};

} // namespace emailmarketing
