#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

// The current user of the host: name and number. By default the operating-system user (login name
// and user id); the host may set another. Safe from any thread.
class HOSTAPI_EXPORT UserAccess {
public:
    static QString UserName();
    static qint64 UserNumber();
    static void SetUser(const QString& AUserName, qint64 AUserNumber);
    // Back to the operating-system user.
    static void ResetToSystemUser();
};

} // namespace hostapi
