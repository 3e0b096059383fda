#include "CancellationScope.h"

namespace hostapi {

namespace {

thread_local TCancellationScope* InnermostScope = nullptr;

} // namespace

TCancellationScope::TCancellationScope(std::function<bool()> ACancelled)
    : FCancelled(std::move(ACancelled)), FOuter(InnermostScope) {
    InnermostScope = this;
}

TCancellationScope::~TCancellationScope() {
    InnermostScope = FOuter;
}

bool TCancellationScope::CurrentCancelled() {
    for (const TCancellationScope* scope = InnermostScope; scope; scope = scope->FOuter)
        if (scope->FCancelled && scope->FCancelled())
            return true;
    return false;
}

} // namespace hostapi
