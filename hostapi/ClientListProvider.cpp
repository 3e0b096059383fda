#include "ClientListProvider.h"

namespace hostapi {

IClientListDefinition::~IClientListDefinition() = default;
IClientListProvider::~IClientListProvider() = default;

} // namespace hostapi
