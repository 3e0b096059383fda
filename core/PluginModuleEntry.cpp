#include "ASPSMSMessageSender.h"
#include "DNSEmailSender.h"
#include "MAPIMailSender.h"
#include "PluginModuleRegistration.h"
#include "QVException.h"
#include "VRNLang.h"

#include <QtGlobal>

namespace {

// An address inside this module, from which the plug-in object learns the module's instance.
const char ModuleAnchor = 0;

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
        emailmarketing::PluginFormClasses());
}

// The module's windows (windows/) in their fixed order: the menus and first-start steps open them by
// index (0 mailing, 1 lists, 2 settings). A real window takes its placeholder's line:
//   hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmX>(emailmarketing::PluginFormClasses());
// and its name stays in the expected windows of tests/modules/tst_ModuleLibraries.cpp.
void RegisterFormClasses() {
    // Registered by name only: a hand-made entry is not found again by its meta-object.
    static const bool registered = [] {
        RegisterPendingForm(QStringLiteral("TfrmEmailMarketing"), QStringLiteral("IDS_CaptionMailing"));
        RegisterPendingForm(QStringLiteral("TfrmEmailMarketingLists"), QStringLiteral("IDS_CaptionLists"));
        RegisterPendingForm(QStringLiteral("TfrmPluginEmailMarketingGlobalSettings"),
                            QStringLiteral("IDS_CaptionGlobalSettings"));
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

// The module's entry point and its only exported symbol. The host calls it once after loading the
// module and owns the plug-in object it answers.
extern "C" Q_DECL_EXPORT hostapi::TClientPluginBase* InitProc() {
    emailmarketing::RegisterModuleClasses();
    RegisterFormClasses();
    emailmarketing::RegisterDNSEmailSenderClasses();
    emailmarketing::RegisterMAPIMailSenderClass();
    emailmarketing::RegisterSMSMessageSenderClasses();
    return new hostapi::TClientPluginBaseGUI(
        emailmarketing::PluginModuleGUID(), hostapi::TClientPluginBase::ModuleInstance(&ModuleAnchor),
        emailmarketing::PluginDataModuleClasses(), emailmarketing::PluginFormClasses(), true);
}
