#pragma once

#include <QLoggingCategory>

namespace registerservice {

// The register service module's logging category. Never log a password.
Q_DECLARE_LOGGING_CATEGORY(lcRegisterService)

} // namespace registerservice
