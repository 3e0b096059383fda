#include "RegisterServicePlugin.h"

#include "ClientPluginBase.h"
#include "IExtFuncPluginRegisterService.h"
#include "QVException.h"
#include "QVMainInterface.h"

namespace hostapi {

IExtFuncPluginRegisterService* TRegisterServicePlugin::Find() const {
    TClientPluginBase* plugin = TQVMainInterface::FindPlugin(QLatin1String(RegisterServiceModuleGUID));
    return plugin ? plugin->GetExtFunc<IExtFuncPluginRegisterService>() : nullptr;
}

bool TRegisterServicePlugin::Available() const {
    return Find() != nullptr;
}

IExtFuncPluginRegisterService& TRegisterServicePlugin::GetPlugin() const {
    IExtFuncPluginRegisterService* found = Find();
    if (!found)
        throw EQVException(QStringLiteral("The register service module is not loaded"));
    return *found;
}

} // namespace hostapi
