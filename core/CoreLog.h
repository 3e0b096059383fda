#pragma once

#include <QLoggingCategory>

namespace emailmarketing {

// The logging category of the mailing engine and its data. Never log a password, token, message
// content or a recipient's field value.
Q_DECLARE_LOGGING_CATEGORY(lcCore)

} // namespace emailmarketing
