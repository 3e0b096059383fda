#pragma once

#include "PluginForm.h"
#include "VRNLang.h"

#include <memory>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace hostapi {
class IRegisterServiceConfigForm;
class IRegisterServicePartHandler;
class TQVRegisterServiceContainer;
} // namespace hostapi

namespace registerservice {

class TdmPluginRegisterServiceMain;

// A part handler's configuration form on an extra tab; destroying it releases the form (and then the
// handler, kept while its form lives).
struct TExtForm {
    std::shared_ptr<hostapi::IRegisterServicePartHandler> Handler;
    std::unique_ptr<hostapi::IRegisterServiceConfigForm> FFormIntf;
    QWidget* Sheet = nullptr;
};

// The register service's settings: URL, user name and password of the endpoint on the tab "Server",
// the reset of the fetch stamp, and one tab for every part handler that brings a configuration form.
// Closing writes the settings and reloads the client.
class TfrmPluginRegisterServiceConfig : public hostapi::TPluginForm {
    Q_OBJECT

public:
    explicit TfrmPluginRegisterServiceConfig(QWidget* AParent = nullptr);
    ~TfrmPluginRegisterServiceConfig() override;

    void AfterShow() override;
    void FormClose() override;
    void SetLanguage(const QString& ALangName) override;

private:
    void QVButton1Click();
    void AddExtForms();
    void FreeExtForms();
    void WriteSettings(TdmPluginRegisterServiceMain& AMain);
    void ApplyTexts();

    hostapi::TVRNLang siLang;
    QTabWidget* PageControl;
    QWidget* cxTabSheet1;
    QGroupBox* QVGroupBoxEx7;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* Label12;
    QLineEdit* edtFetchURL;
    QLineEdit* edtFetchUser;
    QLineEdit* edtFetchPassword;
    QPushButton* QVButton1;
    hostapi::TQVRegisterServiceContainer* QVRegisterServiceContainer;
    std::vector<std::unique_ptr<TExtForm>> FExtForms; // in tab order
};

} // namespace registerservice
