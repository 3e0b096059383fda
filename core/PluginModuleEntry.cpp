#include "ASPSMSMessageSender.h"
#include "DNSEmailSender.h"
#include "MAPIMailSender.h"
#include "PDFFileMacroReplacer.h"
#include "PluginModuleRegistration.h"

#include <QtGlobal>

namespace {

// An address inside this module, from which the plug-in object learns the module's instance.
const char ModuleAnchor = 0;

} // namespace

// The module's entry point and its only exported symbol. The host calls it once after loading the
// module and owns the plug-in object it answers.
extern "C" Q_DECL_EXPORT hostapi::TClientPluginBase* InitProc() {
    emailmarketing::RegisterModuleClasses();
    emailmarketing::RegisterFormClasses();
    emailmarketing::RegisterDNSEmailSenderClasses();
    emailmarketing::RegisterMAPIMailSenderClass();
    emailmarketing::RegisterSMSMessageSenderClasses();
    emailmarketing::RegisterPDFFileMacroReplacer();
    return new hostapi::TClientPluginBaseGUI(
        emailmarketing::PluginModuleGUID(), hostapi::TClientPluginBase::ModuleInstance(&ModuleAnchor),
        emailmarketing::PluginDataModuleClasses(), emailmarketing::PluginFormClasses(), true);
}
