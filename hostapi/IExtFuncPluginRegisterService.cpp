#include "IExtFuncPluginRegisterService.h"

namespace hostapi {

IExtFuncPluginRegisterService::~IExtFuncPluginRegisterService() = default;

} // namespace hostapi
