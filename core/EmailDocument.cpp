#include "EmailDocument.h"

namespace emailmarketing {

TEmailDocument::TEmailDocument() = default;

TEmailDocument::~TEmailDocument() = default;

QString TEmailDocument::SentErrorMessage() const {
    return Locked(FSentErrorMessage);
}

void TEmailDocument::SetSentErrorMessage(const QString& Value) {
    Assign(FSentErrorMessage, Value);
}

TEmailDocumentStatus TEmailDocument::Status() const {
    return Locked(FStatus);
}

void TEmailDocument::SetStatus(TEmailDocumentStatus Value) {
    Assign(FStatus, Value);
}

qint32 TEmailDocument::ErrorCode() const {
    return Locked(FErrorCode);
}

void TEmailDocument::SetErrorCode(qint32 Value) {
    Assign(FErrorCode, Value);
}

qint32 TEmailDocument::RetryCount() const {
    return Locked(FRetryCount);
}

void TEmailDocument::SetRetryCount(qint32 Value) {
    Assign(FRetryCount, Value);
}

QDateTime TEmailDocument::LastRetry() const {
    return Locked(FLastRetry);
}

void TEmailDocument::SetLastRetry(const QDateTime& Value) {
    Assign(FLastRetry, Value);
}

QString TEmailDocument::DomainCategory() const {
    const qsizetype at = FEmailAddress.indexOf(QLatin1Char('@'));
    return at < 0 ? QString() : FEmailAddress.mid(at + 1);
}

} // namespace emailmarketing
