#pragma once

#include "EmailListFormModel.h"
#include "EmailSenderJobList.h"
#include "ListTestSend.h"
#include "MacroEditCopy.h"
#include "PluginForm.h"
#include "VRNLang.h"

#include <QDateTime>
#include <QHash>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QRadioButton;
class QSpinBox;
class QPushButton;
class QTabWidget;
class QFrame;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace hostapi {
class TfrmDBListViewSearch;
class TQVInfoBlock;
} // namespace hostapi

namespace emailmarketing {

class TEmailListItem;
class TfrmPluginEmailMarketingEditCondition;

// The distribution-lists window: the cached lists on the left, the shown list's data source, sender,
// server and send settings on the tabs, and on the tab "Makros" the list's macros and the general
// macros of its schema with their conditions. Edits stay in the window until the list is stored
// (another list chosen, or the window closed); closing writes the lists. Macros are edited on
// copies that storing publishes in one step each, so a job never reads a half-edited list.
class TfrmEmailMarketingLists : public hostapi::TPluginForm {
    Q_OBJECT

public:
    // The module's GUID of the register service, whose form 0 is its configuration window.
    static QString RegisterServiceGUID() { return QStringLiteral("{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10}"); }

    explicit TfrmEmailMarketingLists(QWidget* AParent = nullptr);
    ~TfrmEmailMarketingLists() override;

    void InitializeUIState(const hostapi::IScreenService& AScreen) override;
    void AfterShow() override;
    void FormClose() override;
    void SetLanguage(const QString& ALangName) override;

    void btnNewListClick();
    void btnDeleteListClick();
    // Sends a test message to an address the user enters, through the values on the screen.
    void btnCheckSentClick();
    bool TestSendRunning() const { return FTestSend != nullptr; }
    void VorlanaLinkLabel1Click();
    // A job started or ended: shows again whether the shown list is in use.
    void JobListChanged();

    // The macros tab.
    void btnAddMacroClick();
    void btnDeleteMacroClick();
    void btnAddTableMacroClick();
    void btnDeleteTableMacroClick();
    void btnAddConditionClick();
    void btnEditConditionClick();
    void btnDeleteConditionClick();
    TMacroItem* CurrentMacro() const { return FCurrentMacro; }
    TfrmPluginEmailMarketingEditCondition& ConEditForm() const { return *FConEditForm; }

    TEmailListItem* CurrentEmailList() const { return FCurrentEmailList.get(); }
    bool SettingsChanged() const { return FSettingsChanged; }
    hostapi::TfrmDBListViewSearch& FilterForm() const { return *FFilterForm; }

private:
    class TJobNotifier;

    void CreateControls();
    // A tool bar: a row of flat buttons, the window's own commands.
    QFrame* NewToolBar(const char* AName);
    QToolButton* AddToolButton(QFrame* ABar, const char* AName);
    void ApplyTexts();
    void FillPriorities(QComboBox* ACombo);
    void FillTableNames();
    void FillListView();
    std::shared_ptr<TEmailListItem> ListOf(QListWidgetItem* AItem) const;

    void cxLVListsSelectItem();
    void cxLVListsChange(QListWidgetItem* AItem);
    void cbTableNameChange();
    void EditChange();
    void UpdateEnabling();
    // The server combo's items: what the transport of ADevice offers (the mail program's accounts).
    void FillServerList(TMessageSenderDevice ADevice);
    void TestSendDone(TMessageSenderDevice ADevice, const TListTestSend::TResult& AResult);
    void UpdateCheckSent();

    void StoreList();
    void ShowList(const std::shared_ptr<TEmailListItem>& AList);
    // Settings pages or the reason they are hidden, and the delete button, for the shown list.
    void UpdateListState();
    void SetForm(const EmailListFormModel::TForm& AForm);
    // The form as the controls show it; a spin edit the user left alone keeps the shown list's value.
    EmailListFormModel::TForm ReadForm() const;
    int SelectedDevice() const;

    void CreateMacroControls(QWidget* APage);
    // Takes fresh copies of the shown list's macros and of its schema's general macros and shows them.
    void TakeListMacros();
    void TakeSchemaMacros(const QString& ASchemaName);
    // Publishes the edited copies (the list's macros into the list, the general macros into the store).
    void PublishMacros();
    void FillMacroView(QListWidget* AView, const TMacroList& AMacros);
    QListWidget* ActiveMacroView() const;
    TMacroEditCopy& ActiveMacros();
    void cxLVUserMacrosSelectItem();
    void edtMacroTitleChange(const QString& AText);
    void UpdateMacroButtons();
    void UpdateConditionButtons();
    void ShowConditionLine(QTreeWidgetItem* AItem, const TMacroConditionItem& ACondition);
    TMacroConditionItem* SelectedCondition() const;
    // Deletes the current macro of AView from ACopy after asking; the current macro and its view go first.
    void DeleteCurrentMacro(QListWidget* AView, TMacroEditCopy& ACopy);
    void AddMacro(QListWidget* AView, TMacroEditCopy& ACopy);

    hostapi::TVRNLang FLang;
    bool FSettingsChanged = false;
    bool FShowing = false; // controls are being set, not edited
    std::shared_ptr<TEmailListItem> FCurrentEmailList;
    EmailListFormModel::TForm FShownForm;
    QDateTime FLastLoaded;
    QHash<QListWidgetItem*, std::shared_ptr<TEmailListItem>> FItemLists;
    std::shared_ptr<TJobNotifier> FJobNotifier;
    TMacroItem* FCurrentMacro = nullptr;
    std::unique_ptr<TfrmPluginEmailMarketingEditCondition> FConEditForm;
    TMacroEditCopy FListMacros;
    TMacroEditCopy FSchemaMacros;
    QString FSchemaMacrosName;          // the schema FSchemaMacros belongs to; empty = none
    TListTestSend* FTestSend = nullptr; // the test send under way (a child); nullptr = none
    bool FToolBarsShown = true;         // the host lets the window show its own tool bars

    // tool bars
    QFrame* tbMenu;
    QFrame* tbListMacros;
    QFrame* tbGlobalMacros;
    QFrame* tbMacroSettings;
    QToolButton* btnNewList;
    QToolButton* btnDeleteList;
    QListWidget* cxLVLists;
    QLabel* lblNoCfg;
    QTabWidget* PageControl;
    // "Empfänger"
    QLabel* lblTableName;
    QComboBox* cbTableName;
    QLabel* lblEmailFields;
    QListWidget* cxCBEmailFields;
    QLabel* lblEmailFieldsMob;
    QListWidget* cxCBEmailFieldsMob;
    QGroupBox* grpRegisterService;
    QCheckBox* cbRegisterServiceFilter;
    QCheckBox* cbFetchRegisterServiceBeforeSent;
    QCheckBox* cbUseGlobalRegisterService;
    QLabel* VorlanaLinkLabel1;
    QGroupBox* grpSelection;
    hostapi::TfrmDBListViewSearch* FFilterForm;
    // "Absender"
    QLabel* lblSenderName;
    QLineEdit* edtSenderName;
    QLabel* lblSenderEmail;
    QLineEdit* edtSenderEmail;
    QLabel* lblReplyToEmail;
    QLineEdit* edtReplyToEmail;
    QCheckBox* cbUseGlobalAddress;
    // "Server"
    QCheckBox* cbUseGlobalMailServer;
    QRadioButton* rbtnUseRelay;
    QRadioButton* rbtnUseMailServer;
    QRadioButton* rbUseMAPI;
    QLabel* lblMailServer;
    QComboBox* edtMailServer;
    hostapi::TQVInfoBlock* nfoblgMAPI;
    QCheckBox* cbUseAuth;
    QLabel* lblUserName;
    QLineEdit* edtUserName;
    QLabel* lblPassword;
    QLineEdit* edtPassword;
    QPushButton* btnCheckSent;
    QLabel* lblTest; // shown while a test send runs
    QGroupBox* grpSMS;
    QCheckBox* cbUseGlobalSMSProvider;
    QRadioButton* rbAPSSMS;
    QRadioButton* rbLOX24;
    // "Versand"
    QGroupBox* grpSendSettings;
    QCheckBox* cbUseGlobalSendSettings;
    QCheckBox* cbUnitSend;
    QLabel* lblUnitCount;
    QSpinBox* spinUnitCount;
    QLabel* lblSendThreads;
    QSpinBox* spinSendThreads;
    QLabel* lblThreadsHint;
    QLabel* lblUnitDelay;
    QSpinBox* spinUnitDelay;
    QCheckBox* cbThrottle;
    QCheckBox* cbChaotic;
    QLabel* lblPreparePriority;
    QComboBox* cbPreparePriority;
    QLabel* lblSendPriority;
    QComboBox* cbSendPriority;
    // "Makros"
    QTabWidget* cxQVPCMacros;
    QListWidget* cxLVUserMacros;
    QListWidget* cxLVTableMacros;
    QToolButton* btnAddMacro;
    QToolButton* btnDeleteMacro;
    QToolButton* btnAddTableMacro;
    QToolButton* btnDeleteTableMacro;
    QLabel* lblMacroTitle;
    QLineEdit* edtMacroTitle;
    QLabel* lblConditions;
    QTreeWidget* cxLVConditions;
    QToolButton* btnAddCondition;
    QToolButton* btnEditCondition;
    QToolButton* btnDeleteCondition;
};

} // namespace emailmarketing
