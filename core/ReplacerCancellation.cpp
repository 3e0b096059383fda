#include "ReplacerCancellation.h"

#include "CustomFileMacroReplacer.h"

#include <algorithm>

namespace emailmarketing {

namespace {
thread_local TReplacerCancellation* CurrentCancellation = nullptr;
}

void TReplacerCancellation::Cancel() {
    // Under the lock: a replacer leaves only through Remove, so none is cancelled after it left.
    std::lock_guard lock(FLock);
    FCancelled = true;
    for (TCustomFileMacroReplacer* replacer : FRunning)
        replacer->Cancel();
}

void TReplacerCancellation::Reset() {
    std::lock_guard lock(FLock);
    FCancelled = false;
}

bool TReplacerCancellation::Cancelled() const {
    std::lock_guard lock(FLock);
    return FCancelled;
}

void TReplacerCancellation::Add(TCustomFileMacroReplacer* AReplacer) {
    std::lock_guard lock(FLock);
    FRunning.push_back(AReplacer);
    if (FCancelled)
        AReplacer->Cancel();
}

void TReplacerCancellation::Remove(TCustomFileMacroReplacer* AReplacer) {
    std::lock_guard lock(FLock);
    const auto it = std::find(FRunning.begin(), FRunning.end(), AReplacer);
    if (it != FRunning.end())
        FRunning.erase(it);
}

TReplacerCancellation* TReplacerCancellation::Current() {
    return CurrentCancellation;
}

TReplacerCancellation::TScope::TScope(TReplacerCancellation& ACancellation) : FPrevious(CurrentCancellation) {
    CurrentCancellation = &ACancellation;
}

TReplacerCancellation::TScope::~TScope() {
    CurrentCancellation = FPrevious;
}

} // namespace emailmarketing
