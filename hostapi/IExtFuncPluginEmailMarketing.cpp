#include "IExtFuncPluginEmailMarketing.h"

namespace hostapi {

IExtFuncPluginEmailMarketing::~IExtFuncPluginEmailMarketing() = default;

} // namespace hostapi
