#pragma once

#include "BaseEmailSender.h"
#include "VRNLang.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace emailmarketing {

class TdmPluginEmailMarketingMain;

// What the mailing window's editors hold for the template to send, in the form the editors show
// (macros as "[Caption]").
struct TSendJobTemplate {
    qint32 TemplateID = -1;
    TEmailStyle Style = esPlainText;
    // "mailinglist" of the template; -1: none.
    qint32 ListID = -1;
    QString Subject;
    QString CC;
    QString BCC;
    // The text memo.
    QString Text;
    // esRTFText: the RTF editor's document.
    QString Rtf;
    // esHTML: the HTML editor's body (pictures named "%IMAGEPATH%" + file name), its image folder
    // and the file names of the pictures the body shows.
    QString Html;
    QString HtmlImageFolder;
    QStringList HtmlImages;
    // esHTMLSource: the HTML source editor's text.
    QString HtmlSource;
};

// The content of a job in the stored macro form.
struct TMailContent {
    QString Text;
    QString Html;
    QString Subject;
    QString CC;
    QString BCC;
};

// Turns the template shown in the mailing window into an initialised send job of the data module's
// job list: the checks in their order, the job's temporary folder with the content for the style,
// text blocks expanded, inline files, attachments and used macros. Runs on the main thread; holds
// no widget.
//
// Refusals: no list ("IDS_NoDistList") and an unknown data source ("IDS_NoDSonList") are error
// dialogs, after which CreateSendJob answers nullptr; a missing SMS account ("IDS_NOSMSCNF"), an
// empty text ("IDS_NoText") and a missing attachment ("IDS_ATFNF") raise EQVUserMessageException.
// After any failure no job and no temporary folder is left.
class TSendJobBuilder {
public:
    // Whether an attachment path holds a macro of the template's macro lists (stored form).
    using TPathHasMacro = std::function<bool(const QString& APath)>;
    // Fills the job's UsedMakros from its content and attachments.
    using TCollectUsedMacros = std::function<void(TBaseEmailSender& AJob)>;

    TSendJobBuilder(TdmPluginEmailMarketingMain& ADataModule, TPathHasMacro APathHasMacro,
                    TCollectUsedMacros ACollectUsedMacros);

    QString Language() const { return FLang.Language(); }
    void SetLanguage(const QString& ALangName) { FLang.SetLanguage(ALangName); }
    // The folder "$APP$" stands for (default: the host program's folder), with a trailing "/".
    QString ApplicationFolder() const;
    void SetApplicationFolder(const QString& AValue) { FApplicationFolder = AValue; }
    // The folder the job folders are made in (default: the system's temporary folder). A job
    // clears its folder when it ends only when it lies inside the system's temporary folder.
    QString TempParent() const { return FTempParent; }
    void SetTempParent(const QString& AValue) { FTempParent = AValue; }

    // The checks, the job's creation in the job list and its data (see the class comment);
    // AReSendJobID and AReSendJobState are -1 for an ordinary send.
    TBaseEmailSender* CreateSendJob(const TSendJobTemplate& ATemplate, qint64 AReSendJobID,
                                    qint64 AReSendJobState);

    // The content for the template's style in the stored macro form; files the style needs
    // ("_index.html", "_textbody.txt", pictures, text-block pictures) are written into AFolder.
    // AList converts the shown macro form (none: the texts stay as they are).
    TMailContent BuildMailContent(const TSendJobTemplate& ATemplate, const QString& AFolder,
                                  const TEmailListItem* AList) const;

    // "[TEXTBLOCK:" + ADescription + "]" (found ignoring letter case).
    static QString TextBlockTag(const QString& ADescription);
    // AName as a file name inside a folder: its last path segment without control characters, at
    // most 255 bytes in UTF-8 (the extension kept); empty when nothing usable is left.
    static QString SafeBaseName(const QString& AName);

private:
    void CheckSMSAccount(const TEmailListItem& AList) const;
    void FillJob(TBaseEmailSender& AJob, const TMailContent& AContent, const QString& AFolder,
                 qint64 AReSendJobID, qint64 AReSendJobState);
    void AddAttachements(TBaseEmailSender& AJob, const TSendJobTemplate& ATemplate, const QString& AFolder,
                         const TEmailListItem* AList);
    void ExpandTextBlocks(const TSendJobTemplate& ATemplate, const QString& AFolder,
                          const TEmailListItem* AList, TMailContent& AContent) const;
    QString ConvertMacroCaptions(const QString& AText, const TEmailListItem* AList) const;
    [[noreturn]] void RaiseFileNotFound(const QString& APath) const;

    TdmPluginEmailMarketingMain& FDataModule;
    TPathHasMacro FPathHasMacro;
    TCollectUsedMacros FCollectUsedMacros;
    QString FApplicationFolder;
    QString FTempParent;
    hostapi::TVRNLang FLang;
};

} // namespace emailmarketing
