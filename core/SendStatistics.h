#pragma once

#include <QDateTime>

#include <mutex>

namespace emailmarketing {

// The counters of a job's send run, each change one step under their own lock (no other lock is
// taken inside); any thread may read and change them.
class TSendStatistics {
public:
    // Adds 1 to each counter whose flag is set and stamps the change with ANowMSecs (since the
    // epoch: a time stamp per message costs no reading of the local zone).
    void Update(bool ASent, bool AUnit, bool AFailed, bool ARetry, qint64 ANowMSecs);
    // Zeroes the counters (the retries too unless AKeepRetries) and stamps the change.
    void Clear(bool AKeepRetries, qint64 ANowMSecs);

    // Messages with a final result (sent or failed).
    int SentCount() const;
    int SentFailedCount() const;
    int SentRetryCount() const;
    // Packets finished.
    int SentUnits() const;
    // Messages sent successfully.
    int SucceededCount() const;
    // Local time; invalid before the first stamp.
    QDateTime LastUpdate() const;

private:
    mutable std::mutex FLock;
    int FSentCount = 0;
    int FSentUnits = 0;
    int FSentFailed = 0;
    int FSentRetry = 0;
    qint64 FLastUpdateMSecs = 0;
    bool FStamped = false;
};

} // namespace emailmarketing
