#pragma once

#include <QDateTime>

#include <mutex>

namespace emailmarketing {

// The counters of a job's send run, each change one step under their own lock (no other lock is
// taken inside); any thread may read and change them.
class TSendStatistics {
public:
    // Adds 1 to each counter whose flag is set and stamps the change with ANow.
    void Update(bool ASent, bool AUnit, bool AFailed, bool ARetry, const QDateTime& ANow);
    // Zeroes the counters (the retries too unless AKeepRetries) and stamps the change with ANow.
    void Clear(bool AKeepRetries, const QDateTime& ANow);

    // Messages with a final result (sent or failed).
    int SentCount() const;
    int SentFailedCount() const;
    int SentRetryCount() const;
    // Packets finished.
    int SentUnits() const;
    // Messages sent successfully.
    int SucceededCount() const;
    QDateTime LastUpdate() const;

private:
    mutable std::mutex FLock;
    int FSentCount = 0;
    int FSentUnits = 0;
    int FSentFailed = 0;
    int FSentRetry = 0;
    QDateTime FLastUpdate;
};

} // namespace emailmarketing
