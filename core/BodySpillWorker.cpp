#include "BodySpillWorker.h"

#include "EmailDocument.h"
#include "QVException.h"
#include "ExceptionDisplay.h"

#include <optional>
#include <utility>

namespace emailmarketing {

TBodySpillWorker::TBodySpillWorker(std::shared_ptr<TBodySpill> ASpill) : FSpill(std::move(ASpill)) {
    QV_ASSERT(FSpill != nullptr);
    FThread = std::thread([this] { Run(); });
}

TBodySpillWorker::~TBodySpillWorker() { Finish(); }

void TBodySpillWorker::Add(TEmailDocument* ADocument) {
    std::vector<TEmailDocument::TTexts> spilled; // freed after the lock is given back
    std::unique_lock lock(FLock);
    spilled.swap(FSpilled);
    // Once full, the prepare thread goes on when half has been spilled: woken once per Bound / 2
    // documents, not for each.
    if (FWaiting.size() >= size_t(Bound))
        FRoom.wait(lock, [this] { return FWaiting.size() <= size_t(ResumeAt); });
    FWaiting.push_back(ADocument);
    if (FIdle && FWaiting.size() >= size_t(WakeAt))
        FWork.notify_one();
}

void TBodySpillWorker::Finish() {
    {
        std::lock_guard lock(FLock);
        FFinishing = true;
        FWork.notify_one();
    }
    if (FThread.joinable())
        FThread.join();
    FSpilled.clear();
}

int TBodySpillWorker::FailedCount() const {
    std::lock_guard lock(FLock);
    return FFailed;
}

QString TBodySpillWorker::FirstFailure() const {
    std::lock_guard lock(FLock);
    return FFirstFailure;
}

void TBodySpillWorker::Run() {
    std::optional<TEmailDocument::TTexts> spilled; // the previous document's, handed to Add
    for (;;) {
        TEmailDocument* document = nullptr;
        {
            std::unique_lock lock(FLock);
            if (spilled)
                FSpilled.push_back(*std::exchange(spilled, std::nullopt));
            if (FWaiting.empty() && !FFinishing) {
                // Drained: sleep until a batch has gathered.
                FIdle = true;
                FWork.wait(lock, [this] { return FWaiting.size() >= size_t(WakeAt) || FFinishing; });
                FIdle = false;
            }
            if (FWaiting.empty())
                return;
            document = FWaiting.front();
            FWaiting.pop_front();
            if (FWaiting.size() == size_t(ResumeAt))
                FRoom.notify_all();
        }
        try {
            spilled = document->SpillTexts(FSpill);
        } catch (...) {
            const QString text = hostapi::TVRNExceptionUtils::Describe(std::current_exception(), {}).Message;
            std::lock_guard lock(FLock);
            if (FFailed++ == 0)
                FFirstFailure = text;
        }
    }
}

} // namespace emailmarketing
