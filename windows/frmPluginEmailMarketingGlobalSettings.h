#pragma once

#include "CustomMessageSender.h"
#include "GlobalSettingsRules.h"
#include "PluginForm.h"
#include "QVRecordSet.h"
#include "VRNLang.h"

#include <QStringList>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace hostapi {
class QVDBLookupComboBox;
class QVDBTreeModel;
class QVDBTreeView;
class TPelmarisPlugin;
class TQVInfoBlock;
class TVorlanaLinkLabel;
} // namespace hostapi

namespace emailmarketing {

class TASPSMSSender;

// The module's configuration window: the defaults every distribution list falls back to (transport,
// mail server, DNS server, packets and pacing, SMS gateway and its account, sender and reply
// address, template states, register-service options). Loads everything when shown and saves
// everything when closed, and only when the load completed: a failed load leaves every stored
// setting as it was.
class TfrmPluginEmailMarketingGlobalSettings : public hostapi::TPluginForm {
    Q_OBJECT

public:
    explicit TfrmPluginEmailMarketingGlobalSettings(QWidget* AParent = nullptr);
    ~TfrmPluginEmailMarketingGlobalSettings() override;

    void AfterShow() override;
    void FormClose() override;
    void SetLanguage(const QString& ALangName) override;

    // True once a load has completed since the last show.
    bool Loaded() const { return FLoaded; }

private:
    void BuildServerPage(QWidget* APage);
    void BuildSendPage(QWidget* APage);
    void BuildSMSPage(QWidget* APage);
    void BuildSenderPage(QWidget* APage);
    void BuildRegisterServicePage(QWidget* APage);
    void BuildStatesPage(QWidget* APage);
    void ApplyTexts();

    void LoadSettings();
    void SaveSettings();

    void SelectMailServer();
    void cbUseAuthClick();
    void cbUnitSendPropertiesEditValueChanged();
    void btnASPSMSCheckCreditsClick();
    void btnLOX24CheckCreditsClick();
    void VorlanaLinkLabel1Click();
    void QVInfoBlock1LinkClick();
    void VorlanaLinkLabel2Click();
    void QVInfoBlock2LinkClick();
    void VorlanaLinkLabel3Click();

    TMessageSenderDevice GetSelectedSenderDevice() const;
    // The enabling rules for the controls as they are now.
    GlobalSettingsRules::TServerPageState CurrentServerPageState() const;
    void FillMailServerList();
    void FillReplyFields();
    void OpenGatewayPage(int APage);
    void RefreshStateCombos();
    // Runs a control's handler; what it raises goes to the exception display.
    static void Guarded(const std::function<void()>& AHandler);

    hostapi::TVRNLang FLang;
    QStringList FFieldNames;
    bool FLoaded = false;
    hostapi::TQVRecordSet qvrsrTemplStates{QStringLiteral("emltemplstates")};
    std::unique_ptr<hostapi::TPelmarisPlugin> PelmarisPlugin;
    std::unique_ptr<TASPSMSSender> ASPSMSSender;

    QTabWidget* pcMain;
    QWidget* tbsEmailserver;
    QWidget* cxTabSheet5;
    QWidget* tbsSMSProvider;
    QWidget* cxTabSheet2;
    QWidget* tbsRegisterService;
    QWidget* cxTabSheet1;

    QGroupBox* grpServer;
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
    hostapi::TQVInfoBlock* nfoInternalMailServer;
    hostapi::TQVInfoBlock* nfoblgMAPI;
    QGroupBox* grpDNSServer;
    QComboBox* edtDNSServer;
    hostapi::TQVInfoBlock* nfoDNSServer;

    QCheckBox* cbUnitSend;
    QLabel* lblUnitCount;
    QSpinBox* spinUnitCount;
    QLabel* lblSendThreads;
    QSpinBox* spinSendThreads;
    QLabel* lblSendThreadsNote;
    QLabel* lblUnitDelay;
    QSpinBox* spinUnitDelay;
    QLabel* lblUnitDelayMinutes;
    QCheckBox* cbThrottle;
    QCheckBox* cbChaotic;

    QRadioButton* rbASPSMS;
    QRadioButton* rbLOX24;
    QLabel* lblASPSMSUserKey;
    QLineEdit* edtASPSMSUserKey;
    QLabel* lblASPSMSPassword;
    QLineEdit* edtASPSMSPassword;
    QPushButton* btnASPSMSCheckCredits;
    QLabel* lblLOX24Account;
    QLineEdit* edtLOX24Account;
    QLabel* lblLOX24Password;
    QLineEdit* edtLOX24Password;
    QLabel* lblLOX24APIID;
    QLineEdit* edtLOX24APIID;
    QPushButton* btnLOX24CheckCredits;
    hostapi::TVorlanaLinkLabel* VorlanaLinkLabel1;
    hostapi::TQVInfoBlock* QVInfoBlock1;
    hostapi::TVorlanaLinkLabel* VorlanaLinkLabel2;
    hostapi::TQVInfoBlock* QVInfoBlock2;

    QLabel* lblGlobalEmailField;
    QComboBox* cbGlobalEmailField;
    QLabel* lblGlobalSenderAddress;
    QLineEdit* edtGlobalSenderAddress;

    QCheckBox* cbGlobalRegisterServiceFilter;
    QCheckBox* cbGlobalFetchRegisterServiceBeforeSent;
    hostapi::TVorlanaLinkLabel* VorlanaLinkLabel3;

    QGroupBox* grpTemplStates;
    hostapi::QVDBTreeModel* FStatesModel;
    hostapi::QVDBTreeView* QVDBTreeView1;
    QLabel* lblStateAfterCreate;
    hostapi::QVDBLookupComboBox* cbStateAfterCreate;
    QLabel* lblStateAfterSent;
    hostapi::QVDBLookupComboBox* cbStateAfterSent;
};

} // namespace emailmarketing
