#include "TransportsLog.h"

namespace emailmarketing {

Q_LOGGING_CATEGORY(lcTransports, "qv.transports", QtInfoMsg)

} // namespace emailmarketing
