#include "PluginModuleRegistration.h"

#include "QVException.h"
#include "VRNLang.h"
#include "frmEmailMarketingLists.h"
#include "frmPluginEmailMarketingGlobalSettings.h"

namespace emailmarketing {

namespace {

// A window the module declares to the host but does not offer yet: opening it tells the user so,
// naming the window by its caption (translation ACaptionId).
void RegisterPendingForm(const QString& AClassName, const QString& ACaptionId) {
    hostapi::TClientPluginBaseGUI::RegisterPluginFormClass(
        hostapi::TPluginFormClass{
            AClassName, nullptr,
            [ACaptionId](QWidget*) -> hostapi::TPluginForm* {
                const hostapi::TVRNLang lang(QStringLiteral("PluginModuleEntry"));
                throw hostapi::EQVUserMessageException(
                    lang.Text(QStringLiteral("IDS_FormNotAvailable")).arg(lang.Text(ACaptionId)));
            }},
        PluginFormClasses());
}

} // namespace

void RegisterFormClasses() {
    // Registered by name only: a hand-made entry is not found again by its meta-object.
    static const bool registered = [] {
        RegisterPendingForm(QStringLiteral("TfrmEmailMarketing"), QStringLiteral("IDS_CaptionMailing"));
        hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmEmailMarketingLists>(PluginFormClasses());
        hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmPluginEmailMarketingGlobalSettings>(
            PluginFormClasses());
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace emailmarketing
