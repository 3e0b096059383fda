#include "BodySpillWorker.h"

#include "EmailDocument.h"
#include "QVException.h"
#include "ExceptionDisplay.h"

namespace emailmarketing {

TBodySpillWorker::TBodySpillWorker(std::shared_ptr<TBodySpill> ASpill) : FSpill(std::move(ASpill)) {
    QV_ASSERT(FSpill != nullptr);
    FThread = std::thread([this] { Run(); });
}

TBodySpillWorker::~TBodySpillWorker() { Finish(); }

void TBodySpillWorker::Add(TEmailDocument* ADocument) {
    std::unique_lock lock(FLock);
    // Once full, the prepare thread goes on when half has been spilled: woken once per Bound / 2
    // documents, not for each.
    if (FWaiting.size() >= size_t(Bound))
        FChanged.wait(lock, [this] { return FWaiting.size() <= size_t(ResumeAt); });
    FWaiting.push_back(ADocument);
    FChanged.notify_all();
}

void TBodySpillWorker::Finish() {
    {
        std::lock_guard lock(FLock);
        FFinishing = true;
        FChanged.notify_all();
    }
    if (FThread.joinable())
        FThread.join();
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
    for (;;) {
        TEmailDocument* document = nullptr;
        {
            std::unique_lock lock(FLock);
            FChanged.wait(lock, [this] { return !FWaiting.empty() || FFinishing; });
            if (FWaiting.empty())
                return;
            document = FWaiting.front();
            FWaiting.pop_front();
            if (FWaiting.size() == size_t(ResumeAt))
                FChanged.notify_all();
        }
        try {
            document->SpillTexts(FSpill);
        } catch (...) {
            const QString text = hostapi::TVRNExceptionUtils::Describe(std::current_exception(), {}).Message;
            std::lock_guard lock(FLock);
            if (FFailed++ == 0)
                FFirstFailure = text;
        }
    }
}

} // namespace emailmarketing
