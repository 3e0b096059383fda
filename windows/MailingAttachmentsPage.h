#pragma once

#include "DialogService.h"
#include "EmailListItem.h"
#include "QVRecordSet.h"
#include "VRNLang.h"

#include <QVariant>
#include <QWidget>

#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace hostapi {
class QVDBGrid;
class QVRecordSetModel;
} // namespace hostapi

namespace emailmarketing {

struct TCustomFileMacroReplacerConfigFormClass;
class TCustomFileMacroReplacerConfigForm;

// The mailing window's tab "Datei-Anlagen": the file attachments ("emlattachements") of the loaded
// template. The grid and the field editors show a memory mirror of the stored rows in which macros
// read in their editor form ("[Caption]") and a leading "$APP$" as the program's folder; every edit
// of the mirror is written back to the stored row at once. For a personalised file whose replacer
// has a settings frame, that frame is shown for the selected row and writes into "filemrsettings".
//
// The window owns the page, places it on its tab and calls LoadTemplate on every change of the
// loaded template, ApplyEmailStyle after a style change, SetTemplateEditable with its editability,
// SaveChanges before it stores or leaves a template, CloseTemplate when it closes and SetLanguage
// when the language changes. TabVisibleChanged tells it when the tab is to be shown or hidden.
class TMailingAttachmentsPage : public QWidget {
    Q_OBJECT

public:
    explicit TMailingAttachmentsPage(QWidget* AParent = nullptr);
    ~TMailingAttachmentsPage() override;

    // Shows the attachments of template ATemplateDBID with the macro captions of list AListID (-1:
    // no list, macros shown as stored); a template id below 0 closes the record sets. Edits still
    // open are stored first. Called again with the same template it reads the rows anew.
    void LoadTemplate(qint64 ATemplateDBID, qint32 AListID);
    qint64 TemplateDBID() const { return FTemplateDBID; }
    // The inline column for the HTML styles; the tab for every style but SMS.
    void ApplyEmailStyle(TEmailStyle AStyle);
    // Whether the window shows the tab: a template is loaded and its style is not SMS.
    bool TabVisible() const;
    // Grid, tool bar and personalisation group enabled = AEditable (False while a job exists).
    void SetTemplateEditable(bool AEditable);
    bool TemplateEditable() const { return FTemplateEditable; }
    // Stores an edit still open in the grid or in a field editor.
    void SaveChanges();
    // SaveChanges, then closes the record sets and frees the settings frame.
    void CloseTemplate();
    void SetLanguage(const QString& ALangName);
    QString Language() const { return siLang.Language(); }
    // The tab's caption in the current language.
    QString Caption() const;

    TCustomFileMacroReplacerConfigForm* CurrentFilePSConfigForm() const {
        return FCurrentFilePSConfigForm.get();
    }
    hostapi::QVRecordSetModel& AttachementsDisplay() const { return *qvrsAttachementsDisplay; }

    void QVButton1Click();
    void QVButton2Click();
    void Dateiffnen1Click();
    // The ellipsis of the "filesource" cell; True when a file was chosen.
    bool cxQVGrid1QVTableView1QVColumn2PropertiesButtonClick();

signals:
    void TabVisibleChanged(bool AVisible);

private:
    void CreateControls();
    void ApplyTexts();
    void ApplyColumnVisibility();
    void SetPickLists();
    void FillFieldEditors();
    void SelectMirrorRow(int ARow);
    void NotifyTabVisible(bool AWasVisible);

    void qvrsAttachementsCustomFilter();
    void qvrsAttachementsAfterRefreshed();
    void qvrsAttachementsDisplayFieldChanged(int ARow, const QString& AFieldName, const QVariant& AValue);
    // The stored set follows the mirror's current row, then the editors and the frame show it.
    void qvrsAttachementsDisplayBeforeRecordChange(int ARow);
    void qvrsAttachementsDisplayAfterRecordChange(int ARow);
    void UpdateFilePersonalizer();
    void FreeFilePersonalizer();
    void FileMacroReplacerSettingsChanged();
    void cxQVFieldEdit1InitEditPropertiesEvent();
    void cxQVFieldEdit1Change();
    void cxQVFieldEdit2Change();
    void cxQVFieldEdit3Change();
    // The mirror's current row, -1 when there is none.
    int CurrentRow() const;
    // The list of the loaded template; nullptr without one.
    std::shared_ptr<TEmailListItem> EmailList() const;
    // Stored form <-> editor form of the macros of AList (AText unchanged without a list).
    static QString ConvertMacroCaptions(const TEmailListItem* AList, const QString& AText, bool AToCaption);

    hostapi::TVRNLang siLang;
    hostapi::TQVRecordSet qvrsAttachements;
    hostapi::QVRecordSetModel* qvrsAttachementsDisplay;
    hostapi::TFileDialogOptions OpenDialogAttachement;
    // True while the mirror is rebuilt or a change is written back: the two sets do not echo.
    bool FAttachementsDisplayUpdate = false;
    // True while the field editors are filled from the mirror.
    bool FFillingEditors = false;
    std::unique_ptr<TCustomFileMacroReplacerConfigForm> FCurrentFilePSConfigForm;
    const TCustomFileMacroReplacerConfigFormClass* FCurrentFilePSConfigFormClass = nullptr;
    qint64 FTemplateDBID = -1;
    qint32 FListID = -1;
    TEmailStyle FEmailStyle = esRTFText;
    bool FTemplateEditable = true;

    QWidget* tlbAttachements;
    QPushButton* QVButton1;
    QPushButton* QVButton2;
    QPushButton* QVButton3;
    hostapi::QVDBGrid* cxQVGrid1;
    QMenu* pmAttachements;
    QAction* Dateiffnen1;
    QGroupBox* grpAttachementSettings;
    QLabel* lblUseMacros;
    QComboBox* cxQVFieldEdit1;
    QLabel* lblFileName;
    QLineEdit* cxQVFieldEdit2;
    QLabel* lblFileOptions;
    QComboBox* cxQVFieldEdit3;
    QScrollArea* sbFilePersonalizer;
    QVBoxLayout* FPersonalizerLayout;
};

} // namespace emailmarketing
