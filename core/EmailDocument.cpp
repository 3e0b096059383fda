#include "EmailDocument.h"

#include "QVException.h"

#include <QtEndian>

#include <utility>

namespace emailmarketing {

namespace {

// A record of the texts: each as its UTF-8 byte count (8 bytes, little endian) and its bytes.
constexpr qsizetype LengthBytes = 8;

void AppendText(QByteArray& ARecord, const QString& AText) {
    const QByteArray utf8 = AText.toUtf8();
    char length[LengthBytes];
    qToLittleEndian<qint64>(utf8.size(), length);
    ARecord.append(length, LengthBytes);
    ARecord.append(utf8);
}

QString TakeText(const QByteArray& ARecord, qsizetype& APos, const QString& AFileName) {
    const auto damaged = [&] {
        return hostapi::EQVException(
            QStringLiteral("A record of the message texts in \"%1\" is damaged.").arg(AFileName));
    };
    if (ARecord.size() - APos < LengthBytes)
        throw damaged();
    const qint64 length = qFromLittleEndian<qint64>(ARecord.constData() + APos);
    APos += LengthBytes;
    if (length < 0 || length > ARecord.size() - APos)
        throw damaged();
    const QString text = QString::fromUtf8(ARecord.constData() + APos, qsizetype(length));
    APos += qsizetype(length);
    return text;
}

} // namespace

TEmailDocument::TEmailDocument() = default;

TEmailDocument::~TEmailDocument() = default;

QString TEmailDocument::Subject() const {
    std::lock_guard lock(FProbSync);
    return FSpill ? TextsLocked().Subject : FSubject;
}

void TEmailDocument::SetSubject(const QString& Value) {
    std::lock_guard lock(FProbSync);
    UnspillLocked();
    FSubject = Value;
}

QString TEmailDocument::PlainMailBody() const {
    std::lock_guard lock(FProbSync);
    return FSpill ? TextsLocked().PlainMailBody : FPlainMailBody;
}

void TEmailDocument::SetPlainMailBody(const QString& Value) {
    std::lock_guard lock(FProbSync);
    UnspillLocked();
    FPlainMailBody = Value;
}

QString TEmailDocument::HTMLMailBody() const {
    std::lock_guard lock(FProbSync);
    return FSpill ? TextsLocked().HTMLMailBody : FHTMLMailBody;
}

void TEmailDocument::SetHTMLMailBody(const QString& Value) {
    std::lock_guard lock(FProbSync);
    UnspillLocked();
    FHTMLMailBody = Value;
}

TEmailDocument::TTexts TEmailDocument::Texts() const {
    std::lock_guard lock(FProbSync);
    return TextsLocked();
}

TEmailDocument::TTexts TEmailDocument::SpillTexts(std::shared_ptr<TBodySpill> ASpill) {
    QV_ASSERT(ASpill != nullptr);
    std::lock_guard lock(FProbSync);
    if (FSpill || (FSubject.isEmpty() && FPlainMailBody.isEmpty() && FHTMLMailBody.isEmpty()))
        return {};
    QByteArray record;
    AppendText(record, FSubject);
    AppendText(record, FPlainMailBody);
    AppendText(record, FHTMLMailBody);
    FSpillRecord = ASpill->Append(record);
    FSpill = std::move(ASpill);
    // Moved out, the members are empty strings without memory (clear() would keep the capacity).
    return {std::exchange(FSubject, QString()), std::exchange(FPlainMailBody, QString()),
            std::exchange(FHTMLMailBody, QString())};
}

bool TEmailDocument::TextsSpilled() const {
    std::lock_guard lock(FProbSync);
    return FSpill != nullptr;
}

TEmailDocument::TTexts TEmailDocument::TextsLocked() const {
    if (!FSpill)
        return {FSubject, FPlainMailBody, FHTMLMailBody};
    const QByteArray record = FSpill->Read(FSpillRecord);
    qsizetype pos = 0;
    TTexts texts;
    texts.Subject = TakeText(record, pos, FSpill->FileName());
    texts.PlainMailBody = TakeText(record, pos, FSpill->FileName());
    texts.HTMLMailBody = TakeText(record, pos, FSpill->FileName());
    if (pos != record.size())
        throw hostapi::EQVException(
            QStringLiteral("A record of the message texts in \"%1\" is damaged.").arg(FSpill->FileName()));
    return texts;
}

void TEmailDocument::UnspillLocked() {
    if (!FSpill)
        return;
    TTexts texts = TextsLocked();
    FSubject = std::move(texts.Subject);
    FPlainMailBody = std::move(texts.PlainMailBody);
    FHTMLMailBody = std::move(texts.HTMLMailBody);
    FSpill.reset();
    FSpillRecord = {};
}

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
