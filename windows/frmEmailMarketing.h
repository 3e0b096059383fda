#pragma once

#include "EmailSenderJobList.h"
#include "PluginForm.h"
#include "QVRecordSet.h"
#include "TemplateContentStore.h"
#include "VRNLang.h"

#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace hostapi {
class QVDBLookupComboBox;
class QVDBTreeModel;
class QVDBTreeView;
class TJvHLEditor;
class TQV2RichEdit;
class TQVGlobalMenuClient;
class TQVInfoBlock;
class TVRNHtmlEditor;
class TfrmVRNCustomHTMLEditorControl;
} // namespace hostapi

namespace emailmarketing {

class TMailingAttachmentsPage;
class TMailingEditorPopupMenu;
class TMailingHistoryPage;
class TMailingMacroPanel;
class TMailingTextBlocksPage;
class TTemplateTreeActions;
class TTemplateTreeJobMarks;
class TMailingJobActions;
class TSendJobBuilder;
class TfrmPluginEmailMarketingJobDetail;
struct TSendJobTemplate;

// The mailing window: the tree of templates above, the shown template's editors, text blocks,
// attachments, job status and history below. Edits are stored without a question when another
// template is chosen and when the window closes; while the template's job exists every editor is
// read-only and the job's status is shown.
class TfrmEmailMarketing : public hostapi::TPluginForm {
    Q_OBJECT

public:
    explicit TfrmEmailMarketing(QWidget* AParent = nullptr);
    ~TfrmEmailMarketing() override;

    void AfterShow() override;
    void SetLanguage(const QString& ALangName) override;
    void FormClose() override;

    // The template of CurrentTemplateDBID into the editors.
    void ShowTemplate();
    void LoadTemplateContent();
    void SaveTemplateContent();
    // Stores the shown template when it was edited; answers True.
    bool SaveChanges();
    bool IsTemplateModified() const;
    void SetTemplateChanged(bool AValue);
    TEmailStyle GetCurrentEmailStyle() const;
    // "mailinglist" of the shown template; -1 without one.
    qint64 GetCurrentListID() const;
    void ApplyEmailStyle();
    void UpdateTextInfo();
    void UpdateActions();
    void UpdateEditState();
    void ClearTemplateView();

    qint64 CurrentTemplateDBID() const { return FCurrentTemplateDBID; }
    bool CanEditTemplate() const { return FCanEditTemplate; }
    TTemplateContentStore& ContentStore() { return FContentStore; }
    // The shown template's attachments ("emlattachements") and text blocks ("emltextblocks").
    hostapi::TQVRecordSet& qvrsAttachements() { return FAttachements; }
    hostapi::TQVRecordSet& qvrsTextBlocks() { return FTextBlocks; }
    hostapi::QVDBTreeView& dblvTemplates() const { return *FTemplates; }
    TfrmPluginEmailMarketingJobDetail& JobDetForm() const { return *FJobDetForm; }
    TMailingAttachmentsPage& AttachementsPage() const { return *FAttachementsPage; }
    TMailingMacroPanel& MacroPanel() const { return *pnlMacros; }
    TMailingTextBlocksPage& TextBlocksPage() const { return *FTextBlocksPage; }
    TMailingHistoryPage& HistoryPage() const { return *FHistoryPage; }

    // Inserts a macro's or text block's shown form into the editor of the active editor page.
    void InsertMacro(const QString& AText);
    // "HTML-Datei...": the file into the editor of the template's style.
    void ractImportHTMLSourceExecute();

    void Vertrilerlistebearbeiten1Click();

    // The send actions on the shown template's job (resend target -1, -1: an ordinary send).
    void StartSending(qint64 AReSendJobID, qint64 AReSendJobState);
    void ScheduleSending(qint64 AReSendJobID, qint64 AReSendJobState);
    void PreviewSending(qint64 AReSendJobID, qint64 AReSendJobState);
    void AbortSending();
    // What the editors hold for a send job, in their shown form.
    TSendJobTemplate SendJobTemplate() const;
    TSendJobBuilder& JobBuilder() const { return *FJobBuilder; }

private:
    class TJobNotifier;

    void CreateControls();
    void CreateActions();
    void CreateTree();
    void CreateJobActions();
    // The send menu's entries ("Versand"), in AMenu.
    void FillSendingMenu(QMenu& AMenu);
    void FillPreviewMenu(QMenu& AMenu);
    void CreateTemplateActions();
    // The copy request of the tree's copy action.
    void CopyTemplate(qint64 AID);
    void ApplyTexts();
    void SetStylePickList();
    // The list and state columns of the tree show the names of the lists and states.
    void SetLookupPickLists();
    void SetTabVisible(QWidget* APage, bool AVisible);
    void SetTemplateEditable(bool AEditable);
    QVariant CurrentTemplateValue(const QString& AFieldName) const;
    void SetCurrentTemplateValue(const QString& AFieldName, const QVariant& AValue);
    void LoadSubject();
    // Writes the editors of the shown style; without ASubject only the body columns and images.
    void WriteTemplateContent(bool ASubject);
    void ShowHtmlBody(const QString& ABody, const QList<TEmbeddedImage>& AImages);
    void TemplatesChanged(qint64 AID);

    // Tree handlers.
    void dblvTemplatesBeforeRecordChanged();
    void dblvTemplatesRecordChanged();
    // Focuses the shown template in the tree again (its edits could not be stored).
    void ReturnToShownTemplate();
    void dblvTemplatesContentFieldChanged(qint64 AID, const QString& AFieldName);
    void dblvTemplatesContentAction(int AAction, qint64 AID, bool& AHandled);
    void JobListChanged(TBaseEmailSender* AJob, bool ARemoved);

    // Editor handlers.
    void edtToPropertiesEditValueChanged();
    void edtRcptCCPropertiesEditValueChanged();
    void edtRcptBCCPropertiesEditValueChanged();
    void MemoTextChange();
    void EditorChange();
    void PageControlChange();

    // Where the window's later parts plug in: the macro panel turns stored macro names into their
    // captions for the editors and back, and refreshes its lists for the shown template; the
    // attachments, text-block and history pages follow the shown template and its edit lock.
    QString ToDisplayText(const QString& AText) const;
    QString ToStoredText(const QString& AText) const;
    // The macro panel's text-block list follows the template's text blocks.
    void RefreshTextBlockMacros();
    void TemplateShown();
    void TemplateListChanged();
    void TemplateEditableChanged(bool AEditable) { Q_UNUSED(AEditable); }

    hostapi::TVRNLang FLang;
    bool FCanEditTemplate = false;
    int FLoadingCount = 0;
    qint64 FCurrentTemplateDBID = -2;
    bool FTemplateChanged = false;
    bool FSaveFailed = false;            // storing before the tree moved failed
    bool FDropImagesOnSave = false;      // an HTML body became RTF: its image rows go with the next store
    bool FConversionUnsaved = false;     // the body converted on showing could not be stored yet
    int FReturningToTemplate = 0;        // the tree goes back to the shown template
    bool FNoTemplatePage = true;         // the "no template" page is shown
    TEmailStyle FShownStyle = esRTFText; // the style whose editor holds the shown body
    TTemplateContentStore FContentStore;
    hostapi::TQVRecordSet FTemplateFolders{QStringLiteral("emltemplatefolders")};
    hostapi::TQVRecordSet FAttachements{QStringLiteral("emlattachements")};
    hostapi::TQVRecordSet FTextBlocks{QStringLiteral("emltextblocks")};
    std::shared_ptr<TJobNotifier> FJobNotifier;
    std::unique_ptr<TSendJobBuilder> FJobBuilder;
    std::unique_ptr<TMailingJobActions> FJobActions;
    std::unique_ptr<TTemplateTreeActions> FTreeActions;
    std::shared_ptr<TTemplateTreeJobMarks> FJobMarks;

    QSplitter* splTemplates;
    hostapi::QVDBTreeView* FTemplates;
    hostapi::QVDBTreeModel* FTemplateModel;
    QMenu* pmnuPreviewGrid;
    QMenu* pmnuSendingGrid;
    QMenu* pmnuSending;
    QMenu* pmnuPreview;
    QToolButton* btnPreview;
    QToolButton* btnSending;
    QMenu* PopupMenuTemplates;
    QAction* Vertrilerlistebearbeiten1;
    QTabWidget* PageControl;
    QWidget* tbsDesigner;
    QWidget* tbsTextBlocks;
    QWidget* rbsAttachements;
    QWidget* tbsJob;
    QWidget* tbsHistory;
    QWidget* tbsNoTemplate;
    QLabel* lblNoTemplate;
    QLabel* lblTo;
    hostapi::QVDBLookupComboBox* edtTo;
    QLabel* lblRcptCC;
    QLineEdit* edtRcptCC;
    QLabel* lblRcptBCC;
    QLineEdit* edtRcptBCC;
    QLabel* lblSubject;
    QLineEdit* edtSubject;
    QTabWidget* pgEditor;
    QWidget* tbsPlainText;
    QWidget* tbsRTF;
    QWidget* tbsHTMLSource;
    QWidget* tbsHTML;
    hostapi::TQVInfoBlock* ibkAutoText;
    QPlainTextEdit* MemoText;
    QWidget* pnlCharCount;
    QLabel* lblCharCount;
    QLabel* Label1;
    hostapi::TQV2RichEdit* FQV2RichEdit;
    hostapi::TJvHLEditor* edtHTMLSource;
    hostapi::TfrmVRNCustomHTMLEditorControl* FHTMLEditForm;
    TMailingMacroPanel* pnlMacros;
    TMailingEditorPopupMenu* PopupMenu;
    QWidget* pblJobDet;
    TMailingAttachmentsPage* FAttachementsPage;
    TMailingTextBlocksPage* FTextBlocksPage;
    TMailingHistoryPage* FHistoryPage;
    TfrmPluginEmailMarketingJobDetail* FJobDetForm;

    QAction* actSendingStart;
    QAction* actSchedSending;
    QAction* actSendingAbort;
    // The history page's actions on the successful and failed recipients of its job.
    QAction* actResendSuccess;
    QAction* actResendFailed;
    QAction* actSchedSuccess;
    QAction* actSchedFailed;
    QAction* actPreviewSelected;
    QAction* actPreviewSuccess;
    QAction* actPreviewFailed;
    QAction* actExportTemplate;
    QAction* actImportTemplate;
    QAction* actAddTemplate;
    QAction* ractImportHTMLSource;
    hostapi::TQVGlobalMenuClient* QVGlobalMenuClient;
};

} // namespace emailmarketing
