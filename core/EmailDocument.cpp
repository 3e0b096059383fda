#include "EmailDocument.h"

namespace emailmarketing {

TEmailDocument::TEmailDocument() = default;

TEmailDocument::~TEmailDocument() = default;

QString TEmailDocument::SentErrorMessage() const {
    std::lock_guard lock(FProbSync);
    return FSentErrorMessage;
}

void TEmailDocument::SetSentErrorMessage(const QString& Value) {
    std::lock_guard lock(FProbSync);
    FSentErrorMessage = Value;
}

TEmailDocumentStatus TEmailDocument::Status() const {
    std::lock_guard lock(FProbSync);
    return FStatus;
}

void TEmailDocument::SetStatus(TEmailDocumentStatus Value) {
    std::lock_guard lock(FProbSync);
    FStatus = Value;
}

qint32 TEmailDocument::ErrorCode() const {
    std::lock_guard lock(FProbSync);
    return FErrorCode;
}

void TEmailDocument::SetErrorCode(qint32 Value) {
    std::lock_guard lock(FProbSync);
    FErrorCode = Value;
}

qint32 TEmailDocument::RetryCount() const {
    std::lock_guard lock(FProbSync);
    return FRetryCount;
}

void TEmailDocument::SetRetryCount(qint32 Value) {
    std::lock_guard lock(FProbSync);
    FRetryCount = Value;
}

QDateTime TEmailDocument::LastRetry() const {
    std::lock_guard lock(FProbSync);
    return FLastRetry;
}

void TEmailDocument::SetLastRetry(const QDateTime& Value) {
    std::lock_guard lock(FProbSync);
    FLastRetry = Value;
}

QString TEmailDocument::DomainCategory() const {
    const qsizetype at = FEmailAddress.indexOf(QLatin1Char('@'));
    return at < 0 ? QString() : FEmailAddress.mid(at + 1);
}

} // namespace emailmarketing
