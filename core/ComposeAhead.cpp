#include "ComposeAhead.h"

#include "QVException.h"

#include <algorithm>
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

void TComposeAhead::Begin(const std::vector<const TEmailDocument*>& AOrder) {
    std::unique_lock lock(FLock);
    WaitIdle(lock);
    DropFront(FOrder.size());
    for (const TEmailDocument* document : AOrder)
        FOrder.push_back({document, std::nullopt, 0});
    if (!FOrder.empty())
        FChanged.notify_all();
}

TPreparedSend TComposeAhead::Take(const TEmailDocument& ADocument) {
    {
        std::unique_lock lock(FLock);
        const auto found = std::find_if(FOrder.begin(), FOrder.end(),
                                        [&](const TEntry& AEntry) { return AEntry.Document == &ADocument; });
        if (found != FOrder.end()) {
            if (found != FOrder.begin()) {
                // Documents of the order passed over (their group could not connect): dropped.
                WaitIdle(lock);
                DropFront(size_t(found - FOrder.begin()));
            }
            FChanged.wait(lock, [this] { return FReady > 0; });
            TPreparedSend result = std::move(*FOrder.front().Result);
            DropFront(1);
            ++FTakenAhead;
            return result;
        }
    }
    return Prepare(ADocument);
}

void TComposeAhead::Drop() {
    std::unique_lock lock(FLock);
    WaitIdle(lock);
    DropFront(FOrder.size());
}

int TComposeAhead::TakenAhead() const {
    std::lock_guard lock(FLock);
    return FTakenAhead;
}

void TComposeAhead::WaitIdle(std::unique_lock<std::mutex>& ALock) {
    FChanged.wait(ALock, [this] { return !FBusy; });
}

bool TComposeAhead::MayPrepare() const {
    return FReady < FOrder.size() && !FFull;
}

// Drops the first ACount entries; the thread is idle, or prepares an entry behind them.
void TComposeAhead::DropFront(size_t ACount) {
    for (size_t i = 0; i < ACount; ++i) {
        if (FReady > 0) {
            --FReady;
            FReadyBytes -= FOrder.front().Bytes;
        }
        FOrder.pop_front();
    }
    if (FFull && FReady <= ResumeAt) {
        FFull = false;
        FChanged.notify_all();
    }
}

qsizetype TComposeAhead::BytesOf(const TPreparedSend& APrepared) {
    const TOutgoingMessage& message = APrepared.Message;
    return qsizetype(sizeof(char16_t)) *
               (message.Subject.size() + message.PlainBody.size() + message.HTMLBody.size()) +
           (APrepared.Composed ? APrepared.Composed->ByteSize() : 0);
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
        // A message under way when the owner quits is finished: its document is alive until then.
        FChanged.wait(lock, [this] { return FQuit || MayPrepare(); });
        if (FQuit)
            return;
        const TEmailDocument* document = FOrder[FReady].Document;
        FBusy = true;
        lock.unlock();
        TPreparedSend result = Prepare(*document);
        const qsizetype bytes = BytesOf(result);
        lock.lock();
        FBusy = false;
        TEntry& entry = FOrder[FReady];
        entry.Result = std::move(result);
        entry.Bytes = bytes;
        ++FReady;
        FReadyBytes += bytes;
        if (FReady >= MaxReady || FReadyBytes >= MaxReadyBytes)
            FFull = true;
        FChanged.notify_all();
    }
}

} // namespace emailmarketing
