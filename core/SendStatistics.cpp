#include "SendStatistics.h"

namespace emailmarketing {

void TSendStatistics::Update(bool ASent, bool AUnit, bool AFailed, bool ARetry, qint64 ANowMSecs) {
    std::lock_guard lock(FLock);
    FSentCount += ASent ? 1 : 0;
    FSentUnits += AUnit ? 1 : 0;
    FSentFailed += AFailed ? 1 : 0;
    FSentRetry += ARetry ? 1 : 0;
    FLastUpdateMSecs = ANowMSecs;
    FStamped = true;
}

void TSendStatistics::Clear(bool AKeepRetries, qint64 ANowMSecs) {
    std::lock_guard lock(FLock);
    FSentCount = 0;
    FSentFailed = 0;
    if (!AKeepRetries)
        FSentRetry = 0;
    FSentUnits = 0;
    FLastUpdateMSecs = ANowMSecs;
    FStamped = true;
}

int TSendStatistics::SentCount() const {
    std::lock_guard lock(FLock);
    return FSentCount;
}

int TSendStatistics::SentFailedCount() const {
    std::lock_guard lock(FLock);
    return FSentFailed;
}

int TSendStatistics::SentRetryCount() const {
    std::lock_guard lock(FLock);
    return FSentRetry;
}

int TSendStatistics::SentUnits() const {
    std::lock_guard lock(FLock);
    return FSentUnits;
}

int TSendStatistics::SucceededCount() const {
    std::lock_guard lock(FLock);
    return FSentCount - FSentFailed;
}

QDateTime TSendStatistics::LastUpdate() const {
    std::lock_guard lock(FLock);
    return FStamped ? QDateTime::fromMSecsSinceEpoch(FLastUpdateMSecs) : QDateTime();
}

} // namespace emailmarketing
