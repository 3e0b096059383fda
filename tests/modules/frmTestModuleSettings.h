#pragma once

#include "PluginForm.h"

class QLabel;

namespace testmodule {

// The test module's settings window: shows the page its opener asked for and records its life-cycle.
class TfrmTestModuleSettings : public hostapi::TPluginForm {
    Q_OBJECT

public:
    explicit TfrmTestModuleSettings(QWidget* AParent = nullptr);
    ~TfrmTestModuleSettings() override;

    void AfterShow() override;
    void FormClose() override;

private:
    QLabel* lblPage;
};

} // namespace testmodule
