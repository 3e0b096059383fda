#include "CoreLog.h"

namespace emailmarketing {

Q_LOGGING_CATEGORY(lcCore, "qv.core", QtInfoMsg)

} // namespace emailmarketing
