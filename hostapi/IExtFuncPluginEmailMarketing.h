#pragma once

#include "ClientListProvider.h"
#include "HostApiExport.h"
#include "PluginBaseDataModule.h"

#include <memory>

namespace hostapi {

// Offered by the e-mail marketing module's main data module to other modules: their client list
// providers, whose lists appear beside the user's distribution lists.
class HOSTAPI_EXPORT IExtFuncPluginEmailMarketing : public IExtFunc {
public:
    static constexpr const char* IID = "{E0811F14-D1FE-4A76-A420-8079F8A67BA9}";

    ~IExtFuncPluginEmailMarketing() override;

    // Deletes the stored list of AProvider's list at AListIndex; the provider stays registered.
    virtual void DeleteClientList(const std::shared_ptr<IClientListProvider>& AProvider, int AListIndex) = 0;
    // Registering a provider twice, or unregistering one that is not registered, does nothing.
    virtual void RegisterClientProvider(const std::shared_ptr<IClientListProvider>& AProvider) = 0;
    virtual void UnRegisterClientProvider(const std::shared_ptr<IClientListProvider>& AProvider) = 0;
};

} // namespace hostapi
