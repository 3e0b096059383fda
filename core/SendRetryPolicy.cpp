#include "SendRetryPolicy.h"

namespace emailmarketing {

TSendVerdict TSendRetryPolicy::Verdict(bool ASuccess, qint32 AErrorCode, qint32 ARetryCount) {
    if (ASuccess)
        return TSendVerdict::Sent;
    if (AErrorCode == RetryReplyCode && ARetryCount < MaxRetries)
        return TSendVerdict::Retry;
    return TSendVerdict::Failed;
}

int TSendRetryPolicy::DelayMinutes(qint32 ARetryCount) {
    switch (ARetryCount) {
    case 2:
        return 60;
    case 3:
        return 300;
    default:
        return 5;
    }
}

QDateTime TSendRetryPolicy::DueAt(qint32 ARetryCount, const QDateTime& ALastRetry) {
    if (!ALastRetry.isValid())
        return {};
    // Strictly more than the delay: one millisecond after it.
    return ALastRetry.addMSecs(qint64(DelayMinutes(ARetryCount)) * 60000 + 1);
}

bool TSendRetryPolicy::IsDue(qint32 ARetryCount, const QDateTime& ALastRetry, const QDateTime& ANow) {
    const QDateTime due = DueAt(ARetryCount, ALastRetry);
    return !due.isValid() || ANow >= due;
}

QString SentListErrorMessage(qint32 AErrorCode, const QString& AErrorText) {
    return QString::number(AErrorCode) + QStringLiteral(": ") + AErrorText;
}

} // namespace emailmarketing
