#include "IRegisterServicePartHandler.h"

namespace hostapi {

IRegisterServiceConfigForm::~IRegisterServiceConfigForm() = default;
IRegisterServicePartHandler::~IRegisterServicePartHandler() = default;

} // namespace hostapi
