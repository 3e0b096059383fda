#include "PluginForm.h"

#include "ExceptionDisplay.h"
#include "QVMainInterface.h"
#include "VRNLang.h"

#include <QCloseEvent>

namespace hostapi {

TPluginForm::TPluginForm(QWidget* AParent) : QWidget(AParent), FLanguage(TVRNLang::CurrentLanguage()) {
    setWindowFlag(Qt::Window);
}

TPluginForm::~TPluginForm() = default;

void TPluginForm::AfterShow() {}

void TPluginForm::NotifyShown() {
    AfterShow();
    FAlreadyShown = true;
}

void TPluginForm::SetLanguage(const QString& ALangName) {
    FLanguage = ALangName;
}

void TPluginForm::FormClose() {}

void TPluginForm::RunFormClose() {
    if (FFormClosed)
        return;
    FormClose();
    FFormClosed = true;
}

void TPluginForm::closeEvent(QCloseEvent* AEvent) {
    if (!testAttribute(Qt::WA_DeleteOnClose)) {
        AEvent->accept();
        return;
    }
    try {
        RunFormClose();
        AEvent->accept();
    } catch (...) {
        AEvent->ignore();
        TVRNExceptionUtils::ShowCurrent();
    }
}

IScreenService& TPluginForm::GetScreen() const {
    return TQVMainInterface::GetScreen();
}

TDBFieldSchema& TPluginForm::GetDBFieldSchema() const {
    return TQVMainInterface::GetDBFieldSchema();
}

ISettingsStore& TPluginForm::GetSaveSettings() const {
    return TQVMainInterface::GetSaveSettings();
}

} // namespace hostapi
