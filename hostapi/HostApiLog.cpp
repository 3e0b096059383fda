#include "HostApiLog.h"

namespace hostapi {

Q_LOGGING_CATEGORY(lcHostApi, "qv.hostapi", QtInfoMsg)

} // namespace hostapi
