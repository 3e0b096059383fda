#pragma once

#include "CustomMessageSender.h"
#include "OutgoingMessage.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

namespace emailmarketing {

// One test send of the distribution-lists window: connects the transport and sends one message on
// a thread of its own, so that the window stays responsive, and reports the outcome on the thread
// that created it. The transport is used only by that thread while it runs and is freed with this
// object. Destroying the object cancels a send under way and waits for its thread; an outcome not
// delivered by then is dropped.
class TListTestSend : public QObject {
public:
    struct TResult {
        bool Connected = false;
        bool Sent = false;
        // The transport's LastError of the failed step (or the text of what it raised).
        QString Error;
    };
    using TDoneEvent = std::function<void(const TResult& AResult)>;

    TListTestSend(std::unique_ptr<TCustomMessageSender> ASender, TOutgoingMessage AMessage,
                  QObject* AParent = nullptr);
    ~TListTestSend() override;

    // Starts the thread; ADone runs once on the creating thread with the outcome. Once only.
    void Start(TDoneEvent ADone);
    bool Running() const { return FThread.joinable() && !FDone; }

private:
    TResult Run();
    // Queues the outcome for this object's thread (called on the run's thread).
    void PostResult(const TResult& AResult);

    std::unique_ptr<TCustomMessageSender> FSender;
    TOutgoingMessage FMessage;
    TDoneEvent FOnDone;
    bool FDone = false; // the outcome was delivered (creating thread only)
    std::thread FThread;
};

} // namespace emailmarketing
