#pragma once

#include "CustomMessageSender.h"
#include "OutgoingMessage.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

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

// Prepares a sender thread's next message on a thread of its own while the sender exchanges the
// current one with the server. One message at a time; only the owning sender thread calls it.
// A document handed to Begin stays alive until Take, Drop or the destructor has returned.
class TComposeAhead {
public:
    // Must be safe to run beside the sender thread's transport; what it raises becomes Failure.
    using TPrepare = std::function<TPreparedSend(const TEmailDocument&)>;

    explicit TComposeAhead(TPrepare APrepare);
    // Waits for the message under way.
    ~TComposeAhead();
    TComposeAhead(const TComposeAhead&) = delete;
    TComposeAhead& operator=(const TComposeAhead&) = delete;

    // Begins preparing ADocument; a message begun before and not taken is waited for and dropped.
    void Begin(const TEmailDocument& ADocument);
    // ADocument's message: the one begun for it (waited for), else prepared on the calling thread.
    TPreparedSend Take(const TEmailDocument& ADocument);
    // Waits for the message under way and drops it.
    void Drop();

    // Messages that Take answered from the thread (for the tests).
    int TakenAhead() const;

private:
    void Run();
    TPreparedSend Prepare(const TEmailDocument& ADocument) const;
    // Waits until no message is under way; the result of the last one stays.
    void WaitIdle(std::unique_lock<std::mutex>& ALock);

    TPrepare FPrepare;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    const TEmailDocument* FDocument = nullptr; // under FLock: begun, and not yet taken or dropped
    bool FBusy = false;                        // under FLock: FDocument is being prepared
    bool FQuit = false;                        // under FLock
    std::optional<TPreparedSend> FResult;      // under FLock: of FDocument
    int FTakenAhead = 0;                       // under FLock
    std::thread FThread;
};

} // namespace emailmarketing
