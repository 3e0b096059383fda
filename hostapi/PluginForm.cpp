#include "PluginForm.h"

#include "ExceptionDisplay.h"
#include "FormSave.h"
#include "QVMainInterface.h"
#include "VRNLang.h"

#include <QCloseEvent>

namespace hostapi {

TPluginForm::TPluginForm(QWidget* AParent) : QWidget(AParent), FLanguage(TVRNLang::CurrentLanguage()) {
    setWindowFlag(Qt::Window);
}

TPluginForm::~TPluginForm() = default;

void TPluginForm::SetWindowStateStorage(std::shared_ptr<ILocalSettingsStorage> AStorage) {
    FFormSave = AStorage ? std::make_unique<TFormSave>(*this, std::move(AStorage)) : nullptr;
}

void TPluginForm::InitializeUIState(const IScreenService&) {}

void TPluginForm::AfterShow() {}

void TPluginForm::NotifyShown() {
    FCloseHookDue = true;
    AfterShow();
    FAlreadyShown = true;
}

void TPluginForm::SetLanguage(const QString& ALangName) {
    FLanguage = ALangName;
}

bool TPluginForm::FormCloseQuery() {
    return true;
}

void TPluginForm::FormClose() {}

void TPluginForm::RunFormClose() {
    if (FFormClosed)
        return;
    FFormClosed = true;
    if (FCloseHookDue || isVisible()) {
        FCloseHookDue = false;
        FormClose();
    }
}

void TPluginForm::showEvent(QShowEvent* AEvent) {
    QWidget::showEvent(AEvent);
    if (FStateRestored || !FFormSave)
        return;
    FStateRestored = true;
    TVRNExceptionUtils::Guarded([this] { FFormSave->Restore(); });
}

void TPluginForm::closeEvent(QCloseEvent* AEvent) {
    AEvent->ignore();
    if (FFormClosed) {
        AEvent->accept();
        return;
    }
    bool closed = false;
    TVRNExceptionUtils::Guarded([this, &closed] {
        if (!FormCloseQuery())
            return;
        FormClose();
        closed = true;
    });
    if (!closed)
        return;
    FCloseHookDue = false;
    AEvent->accept();
    if (testAttribute(Qt::WA_DeleteOnClose))
        FFormClosed = true;
    if (FFormSave)
        TVRNExceptionUtils::Guarded([this] { FFormSave->Save(); });
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
