#pragma once

#include "CustomMessageSender.h"

#include <QHash>
#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace testsupport {

// One scripted answer of the fake transport to a connect or a send.
struct FakeTransportStep {
    enum TAction {
        Succeed,             // answers True
        ReplyError,          // answers False with ReplyCode and Text (an SMTP reply)
        ConnectFailure,      // answers False with Text and code 0
        Raise,               // throws hostapi::EQVException(Text)
        BlockUntilCancelled, // blocks until Cancel, then answers False (fails the test after 30 s)
    };
    TAction Action = Succeed;
    qint32 ReplyCode = 0;
    QString Text;
    // Waited before answering; Cancel cuts it short and the call answers False.
    int DelayMs = 0;

    static FakeTransportStep Success(int ADelayMs = 0) { return {Succeed, 0, {}, ADelayMs}; }
    static FakeTransportStep Reply(qint32 ACode, const QString& AText) {
        return {ReplyError, ACode, AText, 0};
    }
    static FakeTransportStep Failure(const QString& AText) { return {ConnectFailure, 0, AText, 0}; }
    static FakeTransportStep Exception(const QString& AText) { return {Raise, 0, AText, 0}; }
    static FakeTransportStep UntilCancelled() { return {BlockUntilCancelled, 0, {}, 0}; }
};

// A message as a fake transport received it, with the answer it gave.
struct FakeSentMessage : emailmarketing::TOutgoingMessage {
    bool Accepted = false;
    // Sent as composed by ComposeMessage (False: the plain send), and whether that ran on another
    // thread than the send.
    bool Composed = false;
    bool ComposedElsewhere = false;
    // The receiver of the composed message the send was given.
    QString ComposedFor;
};

// The script and the record shared by every fake transport of one test; any thread may use it.
// Connects and sends take their answers from separate queues, first in first out; an empty queue
// answers Succeed.
class FakeTransportScript {
public:
    // Shape of the transports created from now on.
    void SetSingleServer(bool AValue);
    void SetCanTimeOut(bool AValue);
    // Whether the transports compose messages ahead of their send (default True).
    void SetComposes(bool AValue);
    // Composing a message to AReceiver fails with AText; its send answers False with it.
    void AddComposeFailure(const QString& AReceiver, const QString& AText);

    void AddConnectStep(const FakeTransportStep& AStep);
    void AddSendStep(const FakeTransportStep& AStep);

    QList<FakeSentMessage> Messages() const;
    QList<emailmarketing::TMessageSenderSettings> Configurations() const;
    int ConnectCount() const;
    int DisconnectCount() const;
    int CreatedCount() const;
    int AliveCount() const;

private:
    friend class FakeMessageSender;

    FakeTransportStep NextConnectStep();
    FakeTransportStep NextSendStep();

    mutable std::mutex FLock;
    bool FSingleServer = true;
    bool FCanTimeOut = true;
    bool FComposes = true;
    QHash<QString, QString> FComposeFailures;
    QQueue<FakeTransportStep> FConnectSteps;
    QQueue<FakeTransportStep> FSendSteps;
    QList<FakeSentMessage> FMessages;
    QList<emailmarketing::TMessageSenderSettings> FConfigurations;
    int FConnectCount = 0;
    int FDisconnectCount = 0;
    int FCreatedCount = 0;
    int FAliveCount = 0;
};

// A transport that answers from a FakeTransportScript, for the engine's tests (no peer can play a
// transport that fails on cue). Cancel wakes a delayed or blocked call.
class FakeMessageSender : public emailmarketing::TCustomMessageSender {
public:
    explicit FakeMessageSender(std::shared_ptr<FakeTransportScript> AScript);
    ~FakeMessageSender() override;

    // A class table entry whose transports use AScript; its configure step records the settings.
    static emailmarketing::TMessageSenderClass ClassFor(const std::shared_ptr<FakeTransportScript>& AScript);

    void DisconnectFromServer() override;
    bool IsConnected() override;
    bool CanTimeOut() override;
    bool CanComposeMessages() const override;
    std::shared_ptr<const emailmarketing::TComposedMessage>
    ComposeMessage(const emailmarketing::TOutgoingMessage& AMessage) const override;

protected:
    bool DoSendMessage(const emailmarketing::TOutgoingMessage& AMessage) override;
    bool DoSendComposedMessage(const emailmarketing::TOutgoingMessage& AMessage,
                               const emailmarketing::TComposedMessage& AComposed) override;
    bool DoConnectToServer(bool AResetLastError) override;
    void DoCancel() override;

private:
    // Plays a step's delay or block and its answer; True when the step succeeds.
    bool Play(const FakeTransportStep& AStep, bool AReport);
    // Waits AMs milliseconds; False when Cancel came first.
    bool Wait(int AMs);

    std::shared_ptr<FakeTransportScript> FScript;
    bool FConnected = false;
    bool FCanTimeOut = true;
    bool FComposes = true;
    // Set while DoSendComposedMessage sends through DoSendMessage.
    bool FComposedSend = false;
    bool FComposedElsewhere = false;
    QString FComposedFor;
    std::mutex FWaitLock;
    std::condition_variable FWake;
};

} // namespace testsupport
