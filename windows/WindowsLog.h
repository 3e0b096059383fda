#pragma once

#include <QLoggingCategory>

namespace emailmarketing {

// The logging category of the campaign windows. Never log a password, token or field value.
Q_DECLARE_LOGGING_CATEGORY(lcWindows)

} // namespace emailmarketing
