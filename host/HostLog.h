#pragma once

#include <QLoggingCategory>

namespace qvhost {

// The logging category of the host application. Never log a password, token or field value.
Q_DECLARE_LOGGING_CATEGORY(lcHost)

} // namespace qvhost
