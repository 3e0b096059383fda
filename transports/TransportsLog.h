#pragma once

#include <QLoggingCategory>

namespace emailmarketing {

// The logging category of the transports. Never log a password, token or message content.
Q_DECLARE_LOGGING_CATEGORY(lcTransports)

} // namespace emailmarketing
