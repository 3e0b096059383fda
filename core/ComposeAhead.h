#pragma once

#include "CustomMessageSender.h"
#include "OutgoingMessage.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace emailmarketing {

class TEmailDocument;

// A document's message ready for its transport.
struct TPreparedSend {
    TOutgoingMessage Message;
    // What the transport composed of Message; nullptr: it composes as it sends.
    std::shared_ptr<const TComposedMessage> Composed;
    // What reading the document or composing raised; the send reports it as the message's error.
    std::exception_ptr Failure;
};

// Prepares a sender thread's messages on a thread of its own, in the order of its packet, while
// the sender exchanges the earlier ones with the server. It keeps up to MaxReady messages (at least
// one, at most MaxReadyBytes of them) ready; once full it goes on when half of them are taken, so
// that it is woken once per few messages, not for each. Only the owning sender thread calls it.
// The documents of an order stay alive until Take has passed them, or Drop, a new Begin or the
// destructor has returned.
class TComposeAhead {
public:
    // Must be safe to run beside the sender thread's transport; what it raises becomes Failure.
    using TPrepare = std::function<TPreparedSend(const TEmailDocument&)>;

    static constexpr size_t MaxReady = 8;
    static constexpr size_t ResumeAt = MaxReady / 2;
    static constexpr qsizetype MaxReadyBytes = 4 * 1024 * 1024;

    explicit TComposeAhead(TPrepare APrepare);
    // Waits for the message under way.
    ~TComposeAhead();
    TComposeAhead(const TComposeAhead&) = delete;
    TComposeAhead& operator=(const TComposeAhead&) = delete;

    // The documents to prepare, in the order they will be taken; what was begun before and not
    // taken is dropped.
    void Begin(const std::vector<const TEmailDocument*>& AOrder);
    // ADocument's message. Of a document of the order it is the one prepared there (waited for);
    // those before it in the order are dropped. Any other is prepared on the calling thread.
    TPreparedSend Take(const TEmailDocument& ADocument);
    // Waits for the message under way and drops the order.
    void Drop();

    // Messages that Take answered from the thread (for the tests).
    int TakenAhead() const;

private:
    struct TEntry {
        const TEmailDocument* Document = nullptr;
        std::optional<TPreparedSend> Result;
        qsizetype Bytes = 0;
    };

    void Run();
    TPreparedSend Prepare(const TEmailDocument& ADocument) const;
    // Waits until no message is under way.
    void WaitIdle(std::unique_lock<std::mutex>& ALock);
    // Whether the thread may prepare the next entry of the order.
    bool MayPrepare() const;
    void DropFront(size_t ACount);
    static qsizetype BytesOf(const TPreparedSend& APrepared);

    TPrepare FPrepare;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    // Under FLock: the order's documents not yet taken; the first FReady of them have their Result.
    // While FBusy the thread prepares entry FReady.
    std::deque<TEntry> FOrder;
    size_t FReady = 0;
    qsizetype FReadyBytes = 0;
    bool FFull = false; // it stopped at MaxReady or MaxReadyBytes and waits for ResumeAt
    bool FBusy = false;
    bool FQuit = false;
    int FTakenAhead = 0;
    std::thread FThread;
};

} // namespace emailmarketing
