#include "DocumentPreparer.h"

#include "BaseEmailSender.h"
#include "DBFieldSchema.h"
#include "EmailAddressList.h"
#include "FileUtils.h"
#include "MessageSink.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "RegionalSettings.h"
#include "UserAccess.h"

#include <QFileInfo>

namespace emailmarketing {

namespace {

// Stand-ins for "*" and "?" that a recipient's value brings into a local file name: no file name
// pattern treats them as wildcards, and no file carries them, so such a path finds nothing.
constexpr char16_t LiteralStar = u'\uE000';
constexpr char16_t LiteralQuestionMark = u'\uE001';

QString WithLiteralWildcards(QString AValue) {
    AValue.replace(QLatin1Char('*'), QChar(LiteralStar));
    AValue.replace(QLatin1Char('?'), QChar(LiteralQuestionMark));
    return AValue;
}

std::shared_ptr<const TMacroList> ListMacrosOf(const TEmailListItem* AList) {
    return AList ? std::make_shared<const TMacroList>(AList->UserMacros()) : nullptr;
}

std::shared_ptr<const TMacroList> SchemaMacrosOf(const TEmailListItem* AList,
                                                 const QList<TUsedMakro>& AUsed) {
    if (!AList)
        return nullptr;
    for (const TUsedMakro& used : AUsed) {
        if (used.second == mkSchemaMacro) {
            const std::shared_ptr<TMacroList> macros = AList->GlobalTableMacros();
            return macros ? std::make_shared<const TMacroList>(*macros) : nullptr;
        }
    }
    return nullptr;
}

} // namespace

TDocumentPreparer::TDocumentPreparer(TJobData AJob)
    : FJob(std::move(AJob)), FEngine(FJob.UsedMakros, ListMacrosOf(FJob.List.get()),
                                     SchemaMacrosOf(FJob.List.get(), FJob.UsedMakros)) {
    if (!FJob.Now)
        FJob.Now = [] { return QDateTime::currentDateTime(); };
    FLocale = hostapi::RegionalSettings::Locale();
    FUserNumber = hostapi::UserAccess::UserNumber();
    for (const TUsedMakro& used : FJob.UsedMakros)
        FUsesPredefined = FUsesPredefined || used.second == mkPredefined;
    if (FJob.List) {
        FSenderName = FJob.List->SenderName();
        FSenderEmail = FJob.List->SenderEmail();
        FReplyToEmail = FJob.List->ReplyToEmail();
        FListName = FJob.List->Name();
    }
}

void TDocumentPreparer::ReplaceTemplateMacros(const TMacroSink& ASink, int RecNo,
                                              const hostapi::TQVRecordSet& ARecords) const {
    TPredefinedMacroContext context;
    // Reading the clock is not free (the time zone is checked); only date macros need it.
    if (FUsesPredefined)
        context.Now = FJob.Now();
    context.Locale = FLocale;
    context.UserNumber = FUserNumber;
    context.SenderName = FSenderName;
    context.SenderEmail = FSenderEmail;
    context.ReplyToEmail = FReplyToEmail;
    context.ListName = FListName;
    context.MailCount = FMailCount >= 0 ? FMailCount : ARecords.RecordCount();
    FEngine.ReplaceTemplateMacros(ASink, RecNo, ARecords, context);
}

QString TDocumentPreparer::RecipientAddress(int RecNo, const hostapi::TQVRecordSet& ARecords) const {
    if (!FJob.List)
        return {};
    const QStringList fields = FJob.List->GetEmailFields(FieldFlagOfEmailStyle(FJob.EmailStyle));
    for (const QString& field : fields) {
        const QString value =
            hostapi::RegionalSettings::ValueAsText(ARecords.FieldValueAt(RecNo, field), FLocale);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

QString TDocumentPreparer::UsableAddress(int RecNo, const hostapi::TQVRecordSet& ARecords) const {
    // A recipient without an address, or one whose address would break the header, gets nothing.
    const QString address = RecipientAddress(RecNo, ARecords);
    if (address.isEmpty() || address.contains(QLatin1Char('\r')) || address.contains(QLatin1Char('\n')))
        return {};
    if (FJob.EmailStyle != esSMS) {
        const qsizetype at = address.indexOf(QLatin1Char('@'));
        if (at < 0 || at == address.size() - 1)
            return {};
    }
    return address;
}

bool TDocumentPreparer::ReplacerAvailable(const QString& AFileName) {
    const QString ext = ExtractFileExt(AFileName);
    const auto known = FReplacerAvailable.constFind(ext);
    if (known != FReplacerAvailable.constEnd())
        return *known;
    const TCustomFileMacroReplacerClass* cls = TCustomFileMacroReplacer::ClassByFileExt(ext);
    const bool available = cls && cls->IsAvailable();
    FReplacerAvailable.insert(ext, available);
    if (cls && !available)
        hostapi::MessageSink::Current().AddMessage(cls->UnavailableNotice(), hostapi::MessageKind::Warning);
    return available;
}

bool TDocumentPreparer::ReplacerMissing(const QString& AFileName) {
    return TCustomFileMacroReplacer::ClassByFileExt(ExtractFileExt(AFileName)) != nullptr &&
           !ReplacerAvailable(AFileName);
}

void TDocumentPreparer::CopyAttachements(TAttachementList& ATarget, const TAttachementList& ASource) {
    for (int i = 0; i < ASource.Count(); ++i) {
        const TAttachement* source = ASource.Items(i);
        TAttachement* copy = ATarget.Add();
        // A file whose type needs a replacer that is missing (a PDF form without pdftk) goes out as
        // it is: its bytes through the text replacement would break it.
        const bool useMacros = source->UseMacros() && !ReplacerMissing(source->FileName());
        // Only a copy that personalises its content needs a replacer of its own.
        copy->SetFileName(source->FileName(), useMacros && ReplacerAvailable(source->FileName()));
        copy->SetUseMacros(useMacros);
        copy->SetIsOptionalFile(source->IsOptionalFile());
        TCustomFileMacroReplacer* replacer = copy->FileMacroReplacer();
        if (source->HasMacrosInLocalFileName()) {
            copy->SetLocalFileRef(source->LocalMacroFileName(), true);
            if (useMacros && replacer && source->FileMacroReplacer())
                replacer->SetSettings(source->FileMacroReplacer()->Settings());
        } else if (useMacros) {
            if (replacer && source->FileMacroReplacer())
                replacer->Assign(*source->FileMacroReplacer());
            else
                copy->SetPreparedData(source->PreparedData());
        } else {
            copy->SetLocalFile(source->LocalFile());
        }
    }
}

bool TDocumentPreparer::ResolveLocalFiles(TAttachementList& AList) const {
    for (int i = AList.Count() - 1; i >= 0; --i) {
        TAttachement* attachement = AList.Items(i);
        if (attachement->HasMacrosInLocalFileName()) {
            const QString pattern = attachement->LocalMacroFileName();
            if (HasWildcards(pattern)) {
                const QFileInfo info(pattern);
                const QStringList files = hostapi::ListFiles(info.path(), info.fileName());
                attachement->SetLocalMacroFileName(files.isEmpty() ? QString() : files.first());
            }
            if (!attachement->LoadFromMacroFile()) {
                if (!attachement->IsOptionalFile())
                    return false;
                AList.Delete(i);
                continue;
            }
            if (TCustomFileMacroReplacer* replacer = attachement->FileMacroReplacer();
                replacer && attachement->UseMacros()) {
                for (int f = 0; f < replacer->FieldCount(); ++f)
                    replacer->SetFieldValue(f, TBaseEmailSender::ReplaceFieldMacros(
                                                   replacer->GetFieldValue(f), false, FJob.List.get(),
                                                   hostapi::TDBFieldSchema::Instance()));
            }
        }
        attachement->ReplaceLocalFileNameMacroInFile();
    }
    return true;
}

void TDocumentPreparer::ReplaceInTexts(TEmailDocument& ADocument, const QList<TMacroReplacement>& AValues) const {
    // Each text in one pass: the plain body takes the values as they are, the HTML body field values
    // escaped, subject, CC and BCC the values without line breaks.
    QList<TMacroReplacement> html;
    QList<TMacroReplacement> oneLine;
    html.reserve(AValues.size());
    oneLine.reserve(AValues.size());
    for (const TMacroReplacement& value : AValues) {
        html.append({value.Macro, value.Literal ? HtmlEscaped(value.Value) : value.Value, value.Literal});
        oneLine.append({value.Macro, WithoutLineBreaks(value.Value), value.Literal});
    }
    ADocument.SetPlainMailBody(ReplaceMacros(ADocument.PlainMailBody(), AValues));
    ADocument.SetHTMLMailBody(ReplaceMacros(ADocument.HTMLMailBody(), html));
    ADocument.SetSubject(ReplaceMacros(ADocument.Subject(), oneLine));
    ADocument.SetCCList(ReplaceMacros(ADocument.CCList(), oneLine));
    ADocument.SetBCCList(ReplaceMacros(ADocument.BCCList(), oneLine));
    ADocument.NormalFileList()->ReplaceMacros(AValues);
}

bool TDocumentPreparer::PrepareDocument(TEmailDocument& ADocument, int RecNo,
                                        const hostapi::TQVRecordSet& ARecords,
                                        const TAttachementList& AAttachements) {
    FLastSkipReason = TDropReason::NoAddress;
    FLastCopyEntriesLeftOut = false;
    const QString address = UsableAddress(RecNo, ARecords);
    if (address.isEmpty())
        return false;
    ADocument.SetEmailAddress(address);

    TAttachementList& attachements = *ADocument.NormalFileList();
    CopyAttachements(attachements, AAttachements);

    // The recipient's macro values, computed once for the file names and the texts. A recipient's
    // value is inserted as it is, never read as macros itself.
    QList<TMacroReplacement> values;
    values.reserve(FEngine.UsedMakros().size());
    ReplaceTemplateMacros([&values](const QString& AMacro, const QString& AValue,
                                    bool AFromField) { values.append({AMacro, AValue, AFromField}); },
                          RecNo, ARecords);
    QList<TMacroReplacement> localFiles;
    localFiles.reserve(values.size());
    for (const TMacroReplacement& value : std::as_const(values))
        localFiles.append({value.Macro, WithLiteralWildcards(value.Value), value.Literal});
    attachements.ReplaceLocalFileMacros(localFiles);
    if (!ResolveLocalFiles(attachements)) {
        FLastSkipReason = TDropReason::MandatoryAttachement;
        return false;
    }

    ReplaceInTexts(ADocument, values);

    // A copy entry whose values gave no address is left out; the recipient is mailed all the same.
    bool ccLeftOut = false;
    bool bccLeftOut = false;
    ADocument.SetCCList(hostapi::CanonicalCopyList(ADocument.CCList(), ccLeftOut));
    ADocument.SetBCCList(hostapi::CanonicalCopyList(ADocument.BCCList(), bccLeftOut));
    FLastCopyEntriesLeftOut = ccLeftOut || bccLeftOut;

    const QString tempFolder = FJob.TempDirectory.isEmpty() ? hostapi::GetTempPath() : FJob.TempDirectory;
    for (int i = 0; i < attachements.Count(); ++i)
        attachements.Items(i)->FinalizePrepare(tempFolder);
    return true;
}

} // namespace emailmarketing
