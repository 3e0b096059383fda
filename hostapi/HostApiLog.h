#pragma once

#include <QLoggingCategory>

namespace hostapi {

// The logging category of the host platform layer. Never log a password, token or field value.
Q_DECLARE_LOGGING_CATEGORY(lcHostApi)

} // namespace hostapi
