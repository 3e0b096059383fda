#pragma once

#include <QDateTime>
#include <QString>

namespace emailmarketing {

// What the result step makes of one send attempt.
enum class TSendVerdict { Sent, Retry, Failed };

// Retries of an SMTP reply 421: up to three, each once more than 5, 60 and then 300 minutes have
// passed since the previous try. Every other failure, a code 0 (no reply) included, is final.
class TSendRetryPolicy {
public:
    static constexpr int MaxRetries = 3;
    static constexpr qint32 RetryReplyCode = 421;

    // The verdict of an attempt of a document that has been retried ARetryCount times.
    static TSendVerdict Verdict(bool ASuccess, qint32 AErrorCode, qint32 ARetryCount);
    // Minutes that must be exceeded after the try before retry number ARetryCount (1, 2, 3; any
    // other count: 5).
    static int DelayMinutes(qint32 ARetryCount);
    // A document never retried (ALastRetry invalid) is due; otherwise once ANow is more than the
    // delay after ALastRetry.
    static bool IsDue(qint32 ARetryCount, const QDateTime& ALastRetry, const QDateTime& ANow);
    // The first moment at which IsDue answers True; invalid when it is due at any time.
    static QDateTime DueAt(qint32 ARetryCount, const QDateTime& ALastRetry);
};

// The "errormessage" of a sent-list row: the code in decimal, ": " and the text ("0: " for a
// successful send).
QString SentListErrorMessage(qint32 AErrorCode, const QString& AErrorText);

} // namespace emailmarketing
