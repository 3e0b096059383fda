#include "HostLog.h"

namespace qvhost {

Q_LOGGING_CATEGORY(lcHost, "qv.host", QtInfoMsg)

} // namespace qvhost
