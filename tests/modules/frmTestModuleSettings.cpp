#include "frmTestModuleSettings.h"

#include "TestModuleLog.h"

#include <QLabel>
#include <QVBoxLayout>

namespace testmodule {

TfrmTestModuleSettings::TfrmTestModuleSettings(QWidget* AParent)
    : hostapi::TPluginForm(AParent), lblPage(new QLabel(this)) {
    setObjectName(QStringLiteral("frmTestModuleSettings"));
    setWindowTitle(QStringLiteral("Einstellungen Testmodul"));
    lblPage->setObjectName(QStringLiteral("lblPage"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblPage);
}

TfrmTestModuleSettings::~TfrmTestModuleSettings() {
    Record(QStringLiteral("TfrmTestModuleSettings.Destroyed"));
}

void TfrmTestModuleSettings::AfterShow() {
    hostapi::TPluginForm::AfterShow();
    lblPage->setText(ShowParams().toString());
    Record(QStringLiteral("TfrmTestModuleSettings.AfterShow %1 %2")
               .arg(ShowParams().toString(),
                    AlreadyShown() ? QStringLiteral("again") : QStringLiteral("first")));
}

void TfrmTestModuleSettings::FormClose() {
    hostapi::TPluginForm::FormClose();
    Record(QStringLiteral("TfrmTestModuleSettings.FormClose"));
}

} // namespace testmodule
