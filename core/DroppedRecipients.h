#pragma once

#include <QString>

#include <atomic>
#include <mutex>

namespace emailmarketing {

// Why a preparation drops a recipient (no document, no sent-list row).
enum class TDropReason : int {
    NoAddress = 0,            // no usable address (e-mail without domain, line break, empty)
    MandatoryAttachement = 1, // a mandatory attachment could not be loaded
    PreparationFailed = 2,    // the preparation of the recipient raised
    LeftSelection = 3         // deleted, or no longer selected, while the job was prepared
};

// The recipients one preparation dropped: counted (any thread may read the count), each logged with
// its address id and reason, never with a field value, and summed up once at the end with the text
// of the first failure (which names the cause, a corrupt PDF form say, that usually drops them all).
class TDroppedRecipients {
public:
    void Reset();
    // AFailure: the text of the failure that dropped the recipient, if any.
    void Drop(qint64 AAddressID, TDropReason AReason, const QString& AFailure = QString());
    int Count() const { return FCount.load(); }
    // A recipient who is mailed, but whose copy list (CC, BCC) lost entries that gave no address.
    void CopyEntriesLeftOut() { ++FCopyEntriesLeftOut; }
    int CopyEntriesLeftOutCount() const { return FCopyEntriesLeftOut.load(); }
    // "N of M recipients were dropped", followed by ". The first failure: " and its text when one
    // was given, and by the recipients whose copy lists lost entries; empty when neither happened.
    QString Summary(int ARecipientCount) const;

    static QString ReasonText(TDropReason AReason);

private:
    std::atomic<int> FCount{0};
    std::atomic<int> FCopyEntriesLeftOut{0};
    mutable std::mutex FLock;
    QString FFirstFailure; // guarded by FLock
};

} // namespace emailmarketing
