#include "WindowsLog.h"

namespace emailmarketing {

Q_LOGGING_CATEGORY(lcWindows, "qv.windows", QtInfoMsg)

} // namespace emailmarketing
