#pragma once

#include "HostApiExport.h"
#include "PluginBaseDataModule.h"

namespace hostapi {

// Offered by the register service module's main data module to other modules.
class HOSTAPI_EXPORT IExtFuncPluginRegisterService : public IExtFunc {
public:
    static constexpr const char* IID = "{0D03F319-712D-483B-AD94-ED1AC1F3586B}";

    ~IExtFuncPluginRegisterService() override;

    // Fetches new data from the register service. True on success (a threaded fetch: once its thread
    // runs). With ARaiseErrors False a failure answers False and goes to the host's message sink.
    virtual bool FetchRegisterService(bool AThreaded, bool ARaiseErrors) = 0;
};

} // namespace hostapi
