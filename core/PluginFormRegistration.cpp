#include "PluginModuleRegistration.h"

#include "frmEmailMarketing.h"
#include "frmEmailMarketingLists.h"
#include "frmPluginEmailMarketingGlobalSettings.h"

namespace emailmarketing {

void RegisterFormClasses() {
    static const bool registered = [] {
        hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmEmailMarketing>(PluginFormClasses());
        hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmEmailMarketingLists>(PluginFormClasses());
        hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmPluginEmailMarketingGlobalSettings>(
            PluginFormClasses());
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace emailmarketing
