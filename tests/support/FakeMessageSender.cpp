#include "FakeMessageSender.h"

#include "QVException.h"

#include <chrono>
#include <thread>

namespace testsupport {

void FakeTransportScript::SetSingleServer(bool AValue) {
    std::lock_guard lock(FLock);
    FSingleServer = AValue;
}

void FakeTransportScript::SetCanTimeOut(bool AValue) {
    std::lock_guard lock(FLock);
    FCanTimeOut = AValue;
}

void FakeTransportScript::SetComposes(bool AValue) {
    std::lock_guard lock(FLock);
    FComposes = AValue;
}

void FakeTransportScript::AddComposeFailure(const QString& AReceiver, const QString& AText) {
    std::lock_guard lock(FLock);
    FComposeFailures.insert(AReceiver, AText);
}

void FakeTransportScript::AddConnectStep(const FakeTransportStep& AStep) {
    std::lock_guard lock(FLock);
    FConnectSteps.enqueue(AStep);
}

void FakeTransportScript::AddSendStep(const FakeTransportStep& AStep) {
    std::lock_guard lock(FLock);
    FSendSteps.enqueue(AStep);
}

QList<FakeSentMessage> FakeTransportScript::Messages() const {
    std::lock_guard lock(FLock);
    return FMessages;
}

QList<emailmarketing::TMessageSenderSettings> FakeTransportScript::Configurations() const {
    std::lock_guard lock(FLock);
    return FConfigurations;
}

int FakeTransportScript::ConnectCount() const {
    std::lock_guard lock(FLock);
    return FConnectCount;
}

int FakeTransportScript::DisconnectCount() const {
    std::lock_guard lock(FLock);
    return FDisconnectCount;
}

int FakeTransportScript::CreatedCount() const {
    std::lock_guard lock(FLock);
    return FCreatedCount;
}

int FakeTransportScript::AliveCount() const {
    std::lock_guard lock(FLock);
    return FAliveCount;
}

FakeTransportStep FakeTransportScript::NextConnectStep() {
    std::lock_guard lock(FLock);
    ++FConnectCount;
    return FConnectSteps.isEmpty() ? FakeTransportStep::Success() : FConnectSteps.dequeue();
}

FakeTransportStep FakeTransportScript::NextSendStep() {
    std::lock_guard lock(FLock);
    return FSendSteps.isEmpty() ? FakeTransportStep::Success() : FSendSteps.dequeue();
}

FakeMessageSender::FakeMessageSender(std::shared_ptr<FakeTransportScript> AScript)
    : FScript(std::move(AScript)) {
    std::lock_guard lock(FScript->FLock);
    ++FScript->FCreatedCount;
    ++FScript->FAliveCount;
    SetIsSingleServer(FScript->FSingleServer);
    FCanTimeOut = FScript->FCanTimeOut;
    FComposes = FScript->FComposes;
}

FakeMessageSender::~FakeMessageSender() {
    std::lock_guard lock(FScript->FLock);
    --FScript->FAliveCount;
}

emailmarketing::TMessageSenderClass
FakeMessageSender::ClassFor(const std::shared_ptr<FakeTransportScript>& AScript) {
    return {[AScript]() -> std::unique_ptr<emailmarketing::TCustomMessageSender> {
                return std::make_unique<FakeMessageSender>(AScript);
            },
            [AScript](emailmarketing::TCustomMessageSender&,
                      const emailmarketing::TMessageSenderSettings& ASettings) {
                std::lock_guard lock(AScript->FLock);
                AScript->FConfigurations.append(ASettings);
            }};
}

void FakeMessageSender::DisconnectFromServer() {
    std::lock_guard lock(FScript->FLock);
    if (FConnected)
        ++FScript->FDisconnectCount;
    FConnected = false;
}

bool FakeMessageSender::IsConnected() {
    return FConnected;
}

bool FakeMessageSender::CanTimeOut() {
    return FCanTimeOut;
}

namespace {

struct FakeComposed : emailmarketing::TComposedMessage {
    emailmarketing::TOutgoingMessage Message;
    std::thread::id Thread;
    QString Failure;
};

} // namespace

bool FakeMessageSender::CanComposeMessages() const {
    return FComposes;
}

std::shared_ptr<const emailmarketing::TComposedMessage>
FakeMessageSender::ComposeMessage(const emailmarketing::TOutgoingMessage& AMessage) const {
    if (!FComposes)
        return nullptr;
    auto composed = std::make_shared<FakeComposed>();
    composed->Message = AMessage;
    composed->Thread = std::this_thread::get_id();
    std::lock_guard lock(FScript->FLock);
    composed->Failure = FScript->FComposeFailures.value(AMessage.ReceiverEmail);
    return composed;
}

bool FakeMessageSender::DoSendComposedMessage(const emailmarketing::TOutgoingMessage& AMessage,
                                              const emailmarketing::TComposedMessage& AComposed) {
    const auto& composed = dynamic_cast<const FakeComposed&>(AComposed);
    if (!composed.Failure.isEmpty()) {
        SetLastError(composed.Failure);
        return false;
    }
    FComposedSend = true;
    FComposedElsewhere = composed.Thread != std::this_thread::get_id();
    FComposedFor = composed.Message.ReceiverEmail;
    // Through the (overridable) plain send, so that a derived fake sees every message.
    const bool accepted = DoSendMessage(AMessage);
    FComposedSend = false;
    return accepted;
}

bool FakeMessageSender::DoSendMessage(const emailmarketing::TOutgoingMessage& AMessage) {
    FakeSentMessage message{AMessage, false};
    if (FComposedSend) {
        message.Composed = true;
        message.ComposedElsewhere = FComposedElsewhere;
        message.ComposedFor = FComposedFor;
    }
    const FakeTransportStep step = FScript->NextSendStep();
    bool accepted = false;
    try {
        accepted = Play(step, true);
    } catch (...) {
        std::lock_guard lock(FScript->FLock);
        FScript->FMessages.append(message);
        throw;
    }
    message.Accepted = accepted;
    std::lock_guard lock(FScript->FLock);
    FScript->FMessages.append(message);
    return accepted;
}

bool FakeMessageSender::DoConnectToServer(bool AResetLastError) {
    FConnected = Play(FScript->NextConnectStep(), AResetLastError);
    return FConnected;
}

void FakeMessageSender::DoCancel() {
    std::lock_guard lock(FWaitLock);
    FWake.notify_all();
}

bool FakeMessageSender::Play(const FakeTransportStep& AStep, bool AReport) {
    bool cancelled = false;
    if (AStep.Action == FakeTransportStep::BlockUntilCancelled) {
        if (Wait(30000))
            throw hostapi::EQVException(QStringLiteral("The fake transport was never cancelled."));
        cancelled = true;
    } else if (AStep.DelayMs > 0) {
        cancelled = !Wait(AStep.DelayMs);
    }
    if (cancelled) {
        if (AReport)
            SetLastError(CancelledText());
        return false;
    }
    switch (AStep.Action) {
    case FakeTransportStep::Succeed:
        return true;
    case FakeTransportStep::ReplyError:
        if (AReport) {
            SetLastError(AStep.Text);
            SetLastReplyErrorCode(AStep.ReplyCode);
        }
        return false;
    case FakeTransportStep::ConnectFailure:
        if (AReport)
            SetLastError(AStep.Text);
        return false;
    case FakeTransportStep::Raise:
        throw hostapi::EQVException(AStep.Text);
    case FakeTransportStep::BlockUntilCancelled:
        break;
    }
    return false;
}

bool FakeMessageSender::Wait(int AMs) {
    std::unique_lock lock(FWaitLock);
    return !FWake.wait_for(lock, std::chrono::milliseconds(AMs), [this] { return Cancelled(); });
}

} // namespace testsupport
