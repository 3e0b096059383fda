#include "PluginModuleRegistration.h"

#include "PDFFileMacroReplacer.h"
#include "QVException.h"
#include "VRNLang.h"
#include "dmPluginEmailMarketingMain.h"

namespace emailmarketing {

QString PluginModuleGUID() {
    return QStringLiteral("{57C4F894-231F-4568-AA61-80DEB7BA4687}");
}

hostapi::TPluginDataModuleClassList& PluginDataModuleClasses() {
    static hostapi::TPluginDataModuleClassList classes;
    return classes;
}

hostapi::TPluginFormClassList& PluginFormClasses() {
    static hostapi::TPluginFormClassList classes;
    return classes;
}

// How a class registers: add one call here, in the order the host shall create the data modules
// and list the windows, and include the class's header:
//   data module: hostapi::TClientPluginBase::RegisterPluginDataModule<TdmX>(PluginDataModuleClasses());
//   window:      hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmX>(PluginFormClasses());
// The class declares Q_OBJECT; a data module's constructor takes (hostapi::TClientPluginBase* AOwner),
// a window's (QWidget* AParent). Then add its name to the expected classes of the module in
// tests/modules/tst_ModuleRegistration.cpp. The calls are explicit (no registrar objects), so a class
// is registered whether the module is linked as a library or into a test, in a fixed order.
namespace {

// A window the module declares to the host but does not offer yet: opening it tells the user so,
// naming the window by its caption (translation ACaptionId).
void RegisterPendingForm(const QString& AClassName, const QString& ACaptionId) {
    hostapi::TClientPluginBaseGUI::RegisterPluginFormClass(
        hostapi::TPluginFormClass{
            AClassName, nullptr,
            [ACaptionId](QWidget*) -> hostapi::TPluginForm* {
                const hostapi::TVRNLang lang(QStringLiteral("PluginModuleRegistration"));
                throw hostapi::EQVUserMessageException(
                    lang.Text(QStringLiteral("IDS_FormNotAvailable")).arg(lang.Text(ACaptionId)));
            }},
        PluginFormClasses());
}

} // namespace

void RegisterModuleClasses() {
    RegisterPDFFileMacroReplacer();
    hostapi::TClientPluginBase::RegisterPluginDataModule<TdmPluginEmailMarketingMain>(
        PluginDataModuleClasses());
    // Registered by name only: a hand-made entry is not found again by its meta-object.
    static const bool formsRegistered = [] {
        RegisterPendingForm(QStringLiteral("TfrmEmailMarketing"), QStringLiteral("IDS_CaptionMailing"));
        RegisterPendingForm(QStringLiteral("TfrmEmailMarketingLists"), QStringLiteral("IDS_CaptionLists"));
        RegisterPendingForm(QStringLiteral("TfrmPluginEmailMarketingGlobalSettings"),
                            QStringLiteral("IDS_CaptionGlobalSettings"));
        return true;
    }();
    Q_UNUSED(formsRegistered);
}

} // namespace emailmarketing
