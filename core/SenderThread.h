#pragma once

#include "ComposeAhead.h"
#include "ConnectRefusal.h"
#include "SendGrouping.h"
#include "SendPacing.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace emailmarketing {

class TComposeAhead;
class TCustomMessageSender;
class TEmailDocument;
class TLocalEmailSender;
class TMethodeCallThread;
class TSentListSubmission;

// The documents one sender thread holds: the packet being sent and the final results of it.
struct TSenderLists {
    QList<TEmailDocument*> Pending;
    QList<TEmailDocument*> Success;
    QList<TEmailDocument*> Failure;
    // Where the thread's results go into the sent list (bounded); nullptr: each result is written
    // before the call returns.
    TSentListSubmission* Submission = nullptr;
};

// The body of one sender thread of a job: creates its transport, takes packets of due documents,
// groups them, connects per group or per message, sends, hands each result to the job's result
// step and paces itself (throttle per message, unit delay per packet). Unthrottled, the next
// message of the packet is composed on a thread of its own while the current one is sent. Lives on
// its thread only.
class TSenderThread {
public:
    TSenderThread(TLocalEmailSender& AJob, TMethodeCallThread& AThread);
    // Frees the transport (after taking it out of the job's cancel list); the thread no longer
    // counts as delivering.
    ~TSenderThread();
    TSenderThread(const TSenderThread&) = delete;
    TSenderThread& operator=(const TSenderThread&) = delete;

    // Set-up and main loop, until the send stack is empty and the preparation has ended or the
    // thread must stop. A failure outside the per-message handling raises (after the packet's
    // documents went back to the job).
    void Run();

    // The transport the sender's list asks for, configured from the list and the job.
    static std::unique_ptr<TCustomMessageSender> CreateTransport(const TLocalEmailSender& AJob);
    // ADocument's message as the job sends it through ATransport, composed when the transport
    // composes; a failure is kept in the result. Safe beside the sender thread's own use of both.
    static TPreparedSend PrepareSend(const TLocalEmailSender& AJob, const TCustomMessageSender& ATransport,
                                     const TEmailDocument& ADocument);

private:
    bool Stop() const;
    // ConnectToServer(True); the thread counts as delivering while it connects and after a connect,
    // not after a failed one.
    bool Connect();
    void SetDelivering(bool AValue);
    // After a temporary refusal while another sender delivered: waits on the job's clock (see
    // TConnectRefusal), less when nothing is left to send or nobody delivers any more.
    void WaitAfterRefusal();
    // Sends one packet (the pending list); the end of the packet runs also when it fails.
    void SendPacket(bool AClaimedUnitDelay);
    // False when the packet must stop.
    bool SendGroup(const TSendGroup& AGroup);
    // One message inside the exception handler (composed ahead, unthrottled); answers the result
    // and sets AError.
    bool SendDocument(TEmailDocument& ADocument, QString& AError);
    // The throttle pause after a message started at AStart; False when the thread must stop. With
    // ANext (the group's next document) a transport that was disconnected connects again inside the
    // pause (at most ReconnectLeadMs before its end), so that the next message starts on time.
    bool Throttle(const QDateTime& AStart, const TEmailDocument* ANext);
    // The per-message connect of a throttled or chaotic send for ADocument. False (and FRefused)
    // when a temporary refusal leaves the document pending; a final failure raises. A connect that
    // failed inside the throttle pause is not tried again: its error is raised.
    bool ConnectForDocument(const TEmailDocument& ADocument);
    void Idle(quint64 AWakeToken);
    // Waits until the results not yet durable leave room for one more; False when the thread must stop.
    bool WaitForResultRoom();

    TLocalEmailSender& FJob;
    TMethodeCallThread& FThread;
    std::unique_ptr<TCustomMessageSender> FTransport;
    // Composes the packet's messages ahead of their sends; nullptr when the transport composes as
    // it sends or the sender is throttled (its pause leaves time enough).
    std::unique_ptr<TComposeAhead> FAhead;
    TSendPacing FPacing;
    bool FSMS = false;
    bool FConnected = false;
    // Connecting or connected at the last try (counted by the job while True).
    bool FDelivering = false;
    // The packet stopped at a temporary refusal: its untouched documents went back to the stack.
    bool FRefused = false;
    // Results handed to the result step in the current packet.
    int FAttempts = 0;
    TConnectBackoff FBackoff;
    // The error of a connect inside the throttle pause that failed, for the next message.
    std::optional<QString> FReconnectFailure;
    TSenderLists FLists;
    std::unique_ptr<TSentListSubmission> FSubmission;
};

} // namespace emailmarketing
