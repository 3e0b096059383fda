#include "frmTestModuleMain.h"

namespace testmodule {

TfrmTestModuleMain::TfrmTestModuleMain(QWidget* AParent) : hostapi::TPluginForm(AParent) {
    setWindowTitle(QStringLiteral("Übersicht"));
}

TfrmTestModuleMain::~TfrmTestModuleMain() = default;

} // namespace testmodule
