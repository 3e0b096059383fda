#pragma once

#include "PluginForm.h"

namespace testmodule {

// The test module's overview window (kept when closed).
class TfrmTestModuleMain : public hostapi::TPluginForm {
    Q_OBJECT

public:
    explicit TfrmTestModuleMain(QWidget* AParent = nullptr);
    ~TfrmTestModuleMain() override;
};

} // namespace testmodule
