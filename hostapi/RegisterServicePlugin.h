#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

class IExtFuncPluginRegisterService;

// The host's link to the register service module: whether it is loaded and the interface it offers.
// A plain object that any thread may create and use (a job's prepare thread does).
class HOSTAPI_EXPORT TRegisterServicePlugin {
public:
    static constexpr const char* RegisterServiceModuleGUID = "{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10}";

    // True when the register service module is loaded and offers IExtFuncPluginRegisterService.
    bool Available() const;
    // The module's interface; EQVException when it is not available.
    IExtFuncPluginRegisterService& GetPlugin() const;

private:
    IExtFuncPluginRegisterService* Find() const;
};

} // namespace hostapi
