#pragma once

#include "HostApiExport.h"

#include <functional>

namespace hostapi {

// Lets the owner of a thread cancel blocking work that runs on it without holding the work's
// objects: while a scope lives, long waits on that thread (an HTTP request, a register-service
// fetch waiting for another one) ask CurrentCancelled() several times a second and end with their
// cancellation once it answers True. Scopes nest; every scope of the thread counts. The predicate
// runs on the scope's thread and must not raise.
class HOSTAPI_EXPORT TCancellationScope {
public:
    explicit TCancellationScope(std::function<bool()> ACancelled);
    ~TCancellationScope();
    TCancellationScope(const TCancellationScope&) = delete;
    TCancellationScope& operator=(const TCancellationScope&) = delete;

    // Whether a scope of the calling thread asks for cancellation (False without a scope).
    static bool CurrentCancelled();

private:
    std::function<bool()> FCancelled;
    TCancellationScope* FOuter;
};

} // namespace hostapi
