#pragma once

#include "BodySpill.h"
#include "EmailAttachement.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <utility>

namespace emailmarketing {

enum TEmailDocumentStatus : int { esPrepared = 0, esSent = 1, esSentError = 2 };

// One prepared, personalised message for one recipient of a job, and its send outcome.
//
// The texts (Subject, PlainMailBody, HTMLMailBody) can be moved out of memory into the job's
// compressed file (SpillTexts); the accessors then read them back from there, and a setter takes
// them back into memory first.
//
// Threads: the prepare thread fills the message before it hands the document to the send stack;
// afterwards only the one sender thread that holds it writes it. The send outcome (Status,
// SentErrorMessage, ErrorCode, RetryCount, LastRetry) and the texts are also read by the job
// windows while a sender or the preparation works on the document, so each read, write and
// release of those takes the document's lock; every other property is a plain field access.
class TEmailDocument {
public:
    struct TTexts {
        QString Subject;
        QString PlainMailBody;
        QString HTMLMailBody;
    };

    TEmailDocument();
    ~TEmailDocument();
    TEmailDocument(const TEmailDocument&) = delete;
    TEmailDocument& operator=(const TEmailDocument&) = delete;

    QString Subject() const;
    void SetSubject(const QString& Value);
    // An e-mail address, or a mobile number for SMS.
    QString EmailAddress() const { return FEmailAddress; }
    void SetEmailAddress(const QString& Value) { FEmailAddress = Value; }
    QString PlainMailBody() const;
    void SetPlainMailBody(const QString& Value);
    QString HTMLMailBody() const;
    void SetHTMLMailBody(const QString& Value);
    // The three texts at once (one read of the file when they are spilled).
    TTexts Texts() const;
    // Stores the three texts as one record in ASpill and takes them out of memory: the answer holds
    // them, for the caller to free where it suits (the thread that allocated them frees them without
    // contending for its allocator). The document keeps ASpill alive. Nothing happens when they are
    // spilled already or all empty. A failure of the file raises and leaves the texts in memory.
    TTexts SpillTexts(std::shared_ptr<TBodySpill> ASpill);
    bool TextsSpilled() const;
    TAttachementList* NormalFileList() { return &FNormalFileList; }
    const TAttachementList* NormalFileList() const { return &FNormalFileList; }
    // Files embedded in the HTML body.
    QStringList& InlineFileList() { return FInlineFileList; }
    const QStringList& InlineFileList() const { return FInlineFileList; }

    QString SentErrorMessage() const;
    void SetSentErrorMessage(const QString& Value);
    TEmailDocumentStatus Status() const;
    void SetStatus(TEmailDocumentStatus Value);
    // SMTP reply code of the last failure; 0 when it was no reply.
    qint32 ErrorCode() const;
    void SetErrorCode(qint32 Value);
    qint32 RetryCount() const;
    void SetRetryCount(qint32 Value);
    // Time of the last try; invalid before the first.
    QDateTime LastRetry() const;
    void SetLastRetry(const QDateTime& Value);

    qint64 AddressID() const { return FAddressID; }
    void SetAddressID(qint64 Value) { FAddressID = Value; }
    // The recipient's pending "emlsentlist" row that the final result updates; -1: none (the
    // result becomes a new row).
    qint64 SentListRowID() const { return FSentListRowID; }
    void SetSentListRowID(qint64 Value) { FSentListRowID = Value; }
    QString CCList() const { return FCCList; }
    void SetCCList(const QString& Value) { FCCList = Value; }
    QString BCCList() const { return FBCCList; }
    void SetBCCList(const QString& Value) { FBCCList = Value; }

    // The text after the first "@" of EmailAddress, letter case kept; "" without an "@".
    QString DomainCategory() const;

private:
    QString FSubject;
    QString FEmailAddress;
    QString FPlainMailBody;
    QString FHTMLMailBody;
    TAttachementList FNormalFileList;
    QStringList FInlineFileList;
    QString FSentErrorMessage;
    TEmailDocumentStatus FStatus = esPrepared;
    // Guards the send outcome and the texts; no other lock is taken while it is held but the
    // spill file's own short append lock.
    mutable std::mutex FProbSync;
    // Where the texts are while they are spilled (FSpill set); under FProbSync.
    std::shared_ptr<TBodySpill> FSpill;
    TBodySpill::TRecord FSpillRecord;

    // The texts, from memory or from the spill file; FProbSync held.
    TTexts TextsLocked() const;
    // Takes spilled texts back into memory; FProbSync held.
    void UnspillLocked();

    // A copy of a field read under the document's lock; a field written under it.
    template <class T> T Locked(const T& field) const {
        std::lock_guard lock(FProbSync);
        return field;
    }
    template <class T, class V> void Assign(T& field, V&& value) {
        std::lock_guard lock(FProbSync);
        field = std::forward<V>(value);
    }
    qint32 FErrorCode = 0;
    qint32 FRetryCount = 0;
    QDateTime FLastRetry;
    qint64 FAddressID = 0;
    qint64 FSentListRowID = -1;
    QString FCCList;
    QString FBCCList;
};

} // namespace emailmarketing
