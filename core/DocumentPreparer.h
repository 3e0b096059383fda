#pragma once

#include "DroppedRecipients.h"
#include "EmailDocument.h"
#include "EmailListItem.h"
#include "MacroEngine.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QString>

#include <functional>
#include <memory>

namespace hostapi {
class TQVRecordSet;
}

namespace emailmarketing {

// Builds one job's personalised documents: the recipient's address, the copies of the template's
// attachments (local files found by the recipient's values, content personalised), and every used
// macro replaced in subject, bodies, CC, BCC and attachments.
//
// Recipient data never shapes the message beyond its place: field values lose their line breaks
// in subject, CC and BCC, are HTML-escaped in the HTML body, and a "*" or "?" in a value is never a
// wildcard in a local file name. Runs on the job's prepare thread; one object per preparation.
class TDocumentPreparer {
public:
    struct TJobData {
        TEmailStyle EmailStyle = esPlainText;
        std::shared_ptr<TEmailListItem> List;
        QList<TUsedMakro> UsedMakros;
        // Folder of the personalised attachment files; the system's temporary folder when empty.
        QString TempDirectory;
        std::function<QDateTime()> Now;
    };

    explicit TDocumentPreparer(TJobData AJob);

    // Fills ADocument for record RecNo of ARecords (whose record count is the recipient count).
    // False: the recipient is skipped (no usable address, or a mandatory attachment not found).
    // Failures (an unknown field, a replacer failure) raise.
    bool PrepareDocument(TEmailDocument& ADocument, int RecNo, const hostapi::TQVRecordSet& ARecords,
                         const TAttachementList& AAttachements);
    // The address a document for record RecNo would be sent to; empty when it has none that can be
    // used (PrepareDocument then skips the recipient).
    QString UsableAddress(int RecNo, const hostapi::TQVRecordSet& ARecords) const;
    // Why the last PrepareDocument answered False.
    TDropReason LastSkipReason() const { return FLastSkipReason; }
    // Whether the last prepared document's CC or BCC lost entries that gave no address.
    bool LastCopyEntriesLeftOut() const { return FLastCopyEntriesLeftOut; }

    // The recipient count of the job's macros; without it, the record count of the record set given.
    void SetMailCount(int ACount) { FMailCount = ACount; }

    // The macro engine for record RecNo of ARecords.
    void ReplaceTemplateMacros(const TMacroSink& ASink, int RecNo,
                               const hostapi::TQVRecordSet& ARecords) const;

private:
    QString RecipientAddress(int RecNo, const hostapi::TQVRecordSet& ARecords) const;
    void CopyAttachements(TAttachementList& ATarget, const TAttachementList& ASource);
    // Whether a file macro replacer is available for the extension of AFileName; asked once per
    // extension and preparation.
    // The first answer False for an extension whose class is registered gives the class's notice
    // (once per preparation).
    bool ReplacerAvailable(const QString& AFileName);
    // Whether a replacer class is registered for the extension of AFileName but not available.
    bool ReplacerMissing(const QString& AFileName);
    bool ResolveLocalFiles(TAttachementList& AList) const;
    // Replaces the recipient's macro values (as computed for the record, values from fields literal)
    // in subject, bodies, CC, BCC and attachments.
    void ReplaceInTexts(TEmailDocument& ADocument, const QList<TMacroReplacement>& AValues) const;

    TJobData FJob;
    TMacroEngine FEngine;
    QString FSenderName;
    QString FSenderEmail;
    QString FReplyToEmail;
    QString FListName;
    QLocale FLocale;
    qint64 FUserNumber = -1;
    bool FUsesPredefined = false;
    int FMailCount = -1;
    TDropReason FLastSkipReason = TDropReason::NoAddress;
    bool FLastCopyEntriesLeftOut = false;
    QHash<QString, bool> FReplacerAvailable; // by file extension
};

} // namespace emailmarketing
