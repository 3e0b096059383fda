#include "RegisterServiceLog.h"

namespace registerservice {

Q_LOGGING_CATEGORY(lcRegisterService, "qv.registerservice")

} // namespace registerservice
