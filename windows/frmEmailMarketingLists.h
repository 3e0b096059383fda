#pragma once

#include "EmailListFormModel.h"
#include "EmailSenderJobList.h"
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
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace hostapi {
class TfrmDBListViewSearch;
}

namespace emailmarketing {

class TEmailListItem;

// The distribution-lists window: the cached lists on the left, the shown list's data source, sender,
// server and send settings on the tabs. Edits stay in the window until the list is stored (another
// list chosen, or the window closed); closing writes the lists.
class TfrmEmailMarketingLists : public hostapi::TPluginForm {
    Q_OBJECT

public:
    // The module's GUID of the register service, whose form 0 is its configuration window.
    static QString RegisterServiceGUID() { return QStringLiteral("{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10}"); }

    explicit TfrmEmailMarketingLists(QWidget* AParent = nullptr);
    ~TfrmEmailMarketingLists() override;

    void AfterShow() override;
    void FormClose() override;
    void SetLanguage(const QString& ALangName) override;

    void btnNewListClick();
    void btnDeleteListClick();
    void VorlanaLinkLabel1Click();
    // A job started or ended: shows again whether the shown list is in use.
    void JobListChanged();

    TEmailListItem* CurrentEmailList() const { return FCurrentEmailList.get(); }
    bool SettingsChanged() const { return FSettingsChanged; }
    hostapi::TfrmDBListViewSearch& FilterForm() const { return *FFilterForm; }

private:
    class TJobNotifier;

    void CreateControls();
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

    void StoreList();
    void ShowList(const std::shared_ptr<TEmailListItem>& AList);
    // Settings pages or the reason they are hidden, and the delete button, for the shown list.
    void UpdateListState();
    void SetForm(const EmailListFormModel::TForm& AForm);
    // The form as the controls show it; a spin edit the user left alone keeps the shown list's value.
    EmailListFormModel::TForm ReadForm() const;
    int SelectedDevice() const;

    hostapi::TVRNLang FLang;
    bool FSettingsChanged = false;
    bool FShowing = false; // controls are being set, not edited
    std::shared_ptr<TEmailListItem> FCurrentEmailList;
    EmailListFormModel::TForm FShownForm;
    QDateTime FLastLoaded;
    QHash<QListWidgetItem*, std::shared_ptr<TEmailListItem>> FItemLists;
    std::shared_ptr<TJobNotifier> FJobNotifier;

    QListWidget* cxLVLists;
    QPushButton* btnNewList;
    QPushButton* btnDeleteList;
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
    QCheckBox* cbUseAuth;
    QLabel* lblUserName;
    QLineEdit* edtUserName;
    QLabel* lblPassword;
    QLineEdit* edtPassword;
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
};

} // namespace emailmarketing
