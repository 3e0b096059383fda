#include "SendJobBuilder.h"

#include "AttachementContentFormat.h"
#include "DBFieldSchema.h"
#include "DialogService.h"
#include "EmailSenderUtils.h"
#include "FileUtils.h"
#include "HtmlText.h"
#include "MacroForms.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "QVRecordSet.h"
#include "RichTextConverter.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "WindowsLog.h"
#include "dmPluginEmailMarketingMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <optional>

namespace emailmarketing {

namespace {

const QString ImagePathMacro = QStringLiteral("%IMAGEPATH%");
const QString TextBlockStart = QStringLiteral("[TEXTBLOCK:");
constexpr int MaxNameBytes = 255;

QString WithSeparator(const QString& AFolder) {
    return AFolder.endsWith(QLatin1Char('/')) ? AFolder : AFolder + QLatin1Char('/');
}

// Copies ASource over ATarget; raises with both paths and the reason when it cannot.
void CopyOver(const QString& ASource, const QString& ATarget) {
    QFile::remove(ATarget);
    QFile source(ASource);
    if (!source.copy(ATarget))
        throw hostapi::EQVException(QStringLiteral("'%1' could not be copied to '%2': %3")
                                        .arg(ASource, ATarget, source.errorString()));
}

// Removes a job folder after a failure without hiding the failure that is being passed on.
void RemoveFolderAfterFailure(const QString& AFolder) {
    try {
        hostapi::ClearFolder(AFolder, true);
    } catch (const hostapi::EQVException& e) {
        qCWarning(lcWindows, "the job folder %s could not be removed: %s", qPrintable(AFolder),
                  qPrintable(e.Message()));
    }
}

// The name=value lines of a replacer's stored settings (any line break; empty lines dropped).
QStringList SettingsLines(const QString& AText) {
    QStringList lines = AText.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    lines.removeAll(QString());
    return lines;
}

// The rows of ASchema that belong to the template, in the order they were made.
std::unique_ptr<hostapi::TQVRecordSet> TemplateRows(const QString& ASchema, const QString& ATemplateField,
                                                    qint32 ATemplateID) {
    auto rows = std::make_unique<hostapi::TQVRecordSet>(ASchema);
    rows->Filters().Add(ATemplateField, ATemplateID);
    rows->AddOrder(QStringLiteral("id"));
    rows->Open();
    return rows;
}

} // namespace

TSendJobBuilder::TSendJobBuilder(TdmPluginEmailMarketingMain& ADataModule, TPathHasMacro APathHasMacro,
                                 TCollectUsedMacros ACollectUsedMacros)
    : FDataModule(ADataModule), FPathHasMacro(std::move(APathHasMacro)),
      FCollectUsedMacros(std::move(ACollectUsedMacros)), FLang(QStringLiteral("SendJobBuilder")) {
    if (!FPathHasMacro || !FCollectUsedMacros)
        throw hostapi::EQVAssertion(
            QStringLiteral("TSendJobBuilder needs PathHasMacro and CollectUsedMacros"), __FILE__, __LINE__);
}

QString TSendJobBuilder::ApplicationFolder() const {
    return FApplicationFolder.isEmpty() ? hostapi::ApplicationFolder() : FApplicationFolder;
}

QString TSendJobBuilder::TextBlockTag(const QString& ADescription) {
    return TextBlockStart + ADescription + QLatin1Char(']');
}

QString TSendJobBuilder::SafeBaseName(const QString& AName) {
    QString name = AName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    name.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    if (name.trimmed().isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    if (name.toUtf8().size() <= MaxNameBytes)
        return name;
    // Shortened before the extension, whole characters only.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
    QString stem = name.left(name.size() - ext.size());
    while (!stem.isEmpty() && (stem + ext).toUtf8().size() > MaxNameBytes) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return stem.isEmpty() ? QString() : stem + ext;
}

QString TSendJobBuilder::ConvertMacroCaptions(const QString& AText, const TEmailListItem* AList) const {
    return TMacroForms::ReplaceFieldMacros(AText, false, AList,
                                           hostapi::TQVMainInterface::GetDBFieldSchema());
}

void TSendJobBuilder::RaiseFileNotFound(const QString& APath) const {
    throw hostapi::EQVUserMessageException(
        FLang.Text(QStringLiteral("IDS_ATFNF")).replace(QLatin1String("%s"), APath));
}

void TSendJobBuilder::CheckSMSAccount(const TEmailListItem& AList) const {
    const TSMSMessageSenderDevice device = AList.UseGlobalSMSProvider()
                                               ? FDataModule.GlobalSMSMessageSenderDevice()
                                               : AList.SMSMessageSenderDevice();
    QString key;
    switch (device) {
    case smsdASPSMS:
        key = QStringLiteral("ASPSMSUser");
        break;
    case smsdLOX24:
        key = QStringLiteral("LOX24ACC");
        break;
    }
    if (key.isEmpty())
        return;
    const QString account = hostapi::StringDataToStr(
        hostapi::TQVMainInterface::GetSaveSettings().ReadString(QStringLiteral("EMLMARK"), key), true);
    if (account.isEmpty())
        throw hostapi::EQVUserMessageException(FLang.Text(QStringLiteral("IDS_NOSMSCNF")));
}

TBaseEmailSender* TSendJobBuilder::CreateSendJob(const TSendJobTemplate& ATemplate, qint64 AReSendJobID,
                                                 qint64 AReSendJobState) {
    const std::shared_ptr<TEmailListItem> list = FDataModule.ByID(ATemplate.ListID);
    if (!list) {
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_NoDistList")), hostapi::mtError, hostapi::mbOK);
        return nullptr;
    }
    if (ATemplate.Style == esSMS)
        CheckSMSAccount(*list);
    if (!hostapi::TQVMainInterface::GetDBFieldSchema().SchemaByName(list->SectionName())) {
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_NoDSonList")), hostapi::mtError, hostapi::mbOK);
        return nullptr;
    }

    const QString folder = hostapi::CreateTempFolder(FTempParent);
    TEmailSenderJobList& jobs = FDataModule.Jobs();
    TBaseEmailSender* job = nullptr;
    try {
        const TMailContent content = BuildMailContent(ATemplate, folder, list.get());
        if (content.Text.isEmpty())
            throw hostapi::EQVUserMessageException(FLang.Text(QStringLiteral("IDS_NoText")));
        job = jobs.CreateJob(tjLocal, ATemplate.TemplateID, list, ATemplate.Style);
        FillJob(*job, content, folder, AReSendJobID, AReSendJobState);
        AddAttachements(*job, ATemplate, folder, list.get());
        FCollectUsedMacros(*job);
        job->InitializeData();
        return job;
    } catch (...) {
        if (job && jobs.IndexOf(job) >= 0)
            jobs.Delete(job);
        RemoveFolderAfterFailure(folder);
        throw;
    }
}

void TSendJobBuilder::FillJob(TBaseEmailSender& AJob, const TMailContent& AContent, const QString& AFolder,
                              qint64 AReSendJobID, qint64 AReSendJobState) {
    AJob.SetSubject(AContent.Subject);
    AJob.SetCCList(AContent.CC);
    AJob.SetBCCList(AContent.BCC);
    AJob.SetContent(AContent.Text);
    AJob.SetHTMLContent(AContent.Html);
    AJob.SetTempDirectory(AFolder);
    AJob.SetDNSServer(FDataModule.DNSServer());
    AJob.SetSuccessTemplateStateID(FDataModule.StateID_AfterSuccSend());
    AJob.SetReSendJobID(AReSendJobID);
    AJob.SetReSendJobState(AReSendJobState);

    // The pictures of the body and of the text blocks; the inline attachments follow.
    QStringList& inlineFiles = AJob.InlineFileList();
    inlineFiles.clear();
    for (const QString& file : hostapi::ListFiles(AFolder, QStringLiteral("*.*"))) {
        const QString name = QFileInfo(file).fileName().toLower();
        if (name != hostapi::RichTextConverter::TextBodyFileName.toLower() &&
            name != hostapi::RichTextConverter::IndexHtmlFileName.toLower())
            inlineFiles.append(file);
    }
    inlineFiles.sort();
    inlineFiles.removeDuplicates();
}

void TSendJobBuilder::AddAttachements(TBaseEmailSender& AJob, const TSendJobTemplate& ATemplate,
                                      const QString& AFolder, const TEmailListItem* AList) {
    TAttachementList& attachements = AJob.Attachements();
    attachements.Clear();
    const auto rows = TemplateRows(QStringLiteral("emlattachements"), QStringLiteral("emltemplateid"),
                                   ATemplate.TemplateID);
    const QString appMarker = QStringLiteral("$APP$");
    for (int i = 0; i < rows->RecordCount(); ++i) {
        const auto value = [&](const char* AField) { return rows->FieldValueAt(i, QLatin1String(AField)); };
        QString path = value("filesource").toString();
        if (path.startsWith(appMarker))
            path = WithSeparator(ApplicationFolder()) + path.mid(appMarker.size());
        const QString fileName = value("filename").toString();
        const bool mustExist = value("fileoptions").toInt() == 0;
        const bool dynamic = FPathHasMacro(path) || HasWildcards(path);
        const bool present = QFileInfo(path).isFile();

        if (value("isinline").toInt() == 1) {
            // The body refers to it by name: sent without it, the message would show a broken picture.
            if (!present)
                RaiseFileNotFound(path);
            QString name = SafeBaseName(fileName);
            if (name.isEmpty())
                name = SafeBaseName(QFileInfo(path).fileName());
            const QString target = AFolder + name;
            QFile::remove(target);
            if (name.isEmpty() || !QFile::copy(path, target))
                RaiseFileNotFound(path);
            AJob.InlineFileList().append(target);
            continue;
        }

        if (mustExist && !dynamic && !present)
            RaiseFileNotFound(path);
        TAttachement* attachement = attachements.Add();
        attachement->SetFileName(fileName);
        // An optional file that is missing is dropped by the preparation; its content is not read.
        attachement->SetUseMacros(value("usemacros").toInt() == 2 && (dynamic || present));
        attachement->SetIsOptionalFile(!mustExist);
        attachement->SetLocalFileRef(path, dynamic);
        if (!attachement->UseMacros())
            continue;
        if (TCustomFileMacroReplacer* replacer = attachement->FileMacroReplacer()) {
            replacer->SetSettings(SettingsLines(value("filemrsettings").toString()));
            if (!dynamic)
                for (int f = 0; f < replacer->FieldCount(); ++f)
                    replacer->SetFieldValue(f, ConvertMacroCaptions(replacer->GetFieldValue(f), AList));
        } else if (!attachement->PreparedData().isEmpty()) {
            const QByteArray data = attachement->PreparedData();
            const TAttachementContentFormat format = TAttachementContentFormat::Detect(data, fileName);
            const QString text = format.Decode(data);
            const QString converted = ConvertMacroCaptions(text, AList);
            if (converted != text)
                attachement->SetPreparedData(format.Encode(converted));
        }
    }
    QStringList& inlineFiles = AJob.InlineFileList();
    inlineFiles.sort();
    inlineFiles.removeDuplicates();
}

TMailContent TSendJobBuilder::BuildMailContent(const TSendJobTemplate& ATemplate, const QString& AFolder,
                                               const TEmailListItem* AList) const {
    const QString folder = WithSeparator(AFolder);
    TMailContent content;
    QString text = ATemplate.Text;
    switch (ATemplate.Style) {
    case esRTFText: {
        const QString html = hostapi::RichTextConverter::RtfToHtmlFolder(ATemplate.Rtf, folder);
        const QString plain = hostapi::RichTextConverter::RtfToTextFile(ATemplate.Rtf, folder);
        content.Html = ConvertMacroCaptions(
            hostapi::TEmailSenderUtils::CreateHTMLEmailContentIDBody(html, folder), AList);
        if (text.isEmpty())
            text = plain;
        break;
    }
    case esHTML: {
        for (const QString& image : ATemplate.HtmlImages) {
            const QString name = SafeBaseName(image);
            if (name != image)
                throw hostapi::EQVException(
                    QStringLiteral("The picture name '%1' is not a file name.").arg(image));
            CopyOver(WithSeparator(ATemplate.HtmlImageFolder) + name, folder + name);
        }
        QString html = ATemplate.Html;
        html.remove(ImagePathMacro);
        content.Html = ConvertMacroCaptions(
            hostapi::TEmailSenderUtils::CreateHTMLEmailContentIDBody(html, folder), AList);
        if (text.isEmpty())
            text = hostapi::StripHtmlMarkup(html);
        break;
    }
    case esHTMLSource:
        content.Html = ConvertMacroCaptions(ATemplate.HtmlSource, AList);
        if (text.isEmpty())
            text = hostapi::StripHtmlMarkup(ATemplate.HtmlSource);
        break;
    case esPlainText:
    case esSMS:
        break;
    }
    content.Subject = ConvertMacroCaptions(ATemplate.Subject, AList);
    content.CC = ConvertMacroCaptions(ATemplate.CC, AList);
    content.BCC = ConvertMacroCaptions(ATemplate.BCC, AList);
    content.Text = ConvertMacroCaptions(text, AList);
    ExpandTextBlocks(ATemplate, folder, AList, content);
    return content;
}

void TSendJobBuilder::ExpandTextBlocks(const TSendJobTemplate& ATemplate, const QString& AFolder,
                                       const TEmailListItem* AList, TMailContent& AContent) const {
    if (!AContent.Html.contains(TextBlockStart, Qt::CaseInsensitive) &&
        !AContent.Text.contains(TextBlockStart, Qt::CaseInsensitive))
        return;
    const auto blocks =
        TemplateRows(QStringLiteral("emltextblocks"), QStringLiteral("emtemplateid"), ATemplate.TemplateID);
    for (int i = 0; i < blocks->RecordCount(); ++i) {
        const QString descr = blocks->FieldValueAt(i, QStringLiteral("descr")).toString();
        if (descr.isEmpty())
            continue;
        const QString tag = TextBlockTag(descr);
        const QString rtf = blocks->FieldValueAt(i, QStringLiteral("bodyhtml")).toString();
        std::optional<hostapi::RichTextConverter::TextBlock> converted;
        const auto convert = [&]() -> const hostapi::RichTextConverter::TextBlock& {
            if (!converted)
                converted = rtf.isEmpty()
                                ? hostapi::RichTextConverter::TextBlock{}
                                : hostapi::RichTextConverter::ConvertTextBlockRTF(rtf, descr, AFolder);
            return *converted;
        };
        if (AContent.Html.contains(tag, Qt::CaseInsensitive)) {
            const QString html = ConvertMacroCaptions(
                hostapi::TEmailSenderUtils::CreateHTMLEmailContentIDBody(convert().Html, AFolder), AList);
            AContent.Html.replace(tag, html, Qt::CaseInsensitive);
        }
        if (AContent.Text.contains(tag, Qt::CaseInsensitive)) {
            const QString body = blocks->FieldValueAt(i, QStringLiteral("body")).toString();
            const QString text = ConvertMacroCaptions(body.isEmpty() ? convert().Text : body, AList);
            AContent.Text.replace(tag, text, Qt::CaseInsensitive);
        }
    }
}

} // namespace emailmarketing
