#include "ComposeAhead.h"

#include "QVException.h"

#include <utility>

namespace emailmarketing {

TComposeAhead::TComposeAhead(TPrepare APrepare) : FPrepare(std::move(APrepare)) {
    QV_ASSERT(FPrepare != nullptr);
    FThread = std::thread([this] { Run(); });
}

TComposeAhead::~TComposeAhead() {
    {
        std::lock_guard lock(FLock);
        FQuit = true;
        FChanged.notify_all();
    }
    FThread.join();
}

void TComposeAhead::Begin(const TEmailDocument& ADocument) {
    std::unique_lock lock(FLock);
    WaitIdle(lock);
    FResult.reset();
    FDocument = &ADocument;
    FBusy = true;
    FChanged.notify_all();
}

TPreparedSend TComposeAhead::Take(const TEmailDocument& ADocument) {
    {
        std::unique_lock lock(FLock);
        WaitIdle(lock);
        const bool ours = FDocument == &ADocument && FResult.has_value();
        FDocument = nullptr;
        if (ours) {
            ++FTakenAhead;
            TPreparedSend result = std::move(*FResult);
            FResult.reset();
            return result;
        }
        FResult.reset();
    }
    return Prepare(ADocument);
}

void TComposeAhead::Drop() {
    std::unique_lock lock(FLock);
    WaitIdle(lock);
    FDocument = nullptr;
    FResult.reset();
}

int TComposeAhead::TakenAhead() const {
    std::lock_guard lock(FLock);
    return FTakenAhead;
}

void TComposeAhead::WaitIdle(std::unique_lock<std::mutex>& ALock) {
    FChanged.wait(ALock, [this] { return !FBusy; });
}

TPreparedSend TComposeAhead::Prepare(const TEmailDocument& ADocument) const {
    try {
        return FPrepare(ADocument);
    } catch (...) {
        TPreparedSend failed;
        failed.Failure = std::current_exception();
        return failed;
    }
}

void TComposeAhead::Run() {
    std::unique_lock lock(FLock);
    for (;;) {
        // A message begun before the owner quits is finished: its document is alive until then.
        FChanged.wait(lock, [this] { return FBusy || FQuit; });
        if (!FBusy)
            return;
        const TEmailDocument* document = FDocument;
        lock.unlock();
        TPreparedSend result = Prepare(*document);
        lock.lock();
        FResult = std::move(result);
        FBusy = false;
        FChanged.notify_all();
    }
}

} // namespace emailmarketing
