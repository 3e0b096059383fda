#include "SenderThread.h"

#include "BaseEmailSender.h"
#include "CustomMessageSender.h"
#include "EmailDocument.h"
#include "ExceptionDisplay.h"
#include "MethodeCallThread.h"
#include "QVException.h"
#include "SentListSubmission.h"
#include "SettingsStore.h"

#include <optional>
#include <vector>
#include <utility>

namespace emailmarketing {

namespace {

// Throttle pauses longer than this show jsThrottling.
constexpr qint64 ShortThrottleMs = 100;
// A throttled sender that disconnected after a message connects again this long before the end of
// its pause (at once in a shorter pause): the connect is part of the pause, not of the interval.
constexpr qint64 ReconnectLeadMs = 1000;

bool IsHTMLStyle(TEmailStyle AStyle) {
    return AStyle == esRTFText || AStyle == esHTMLSource || AStyle == esHTML;
}

// Removes jsThrottling when the pause ends, also by an exception.
class TThrottlingState {
public:
    explicit TThrottlingState(TLocalEmailSender& AJob) : FJob(AJob) { FJob.AddState({jsThrottling}); }
    ~TThrottlingState() { FJob.RemoveState({jsThrottling}); }
    TThrottlingState(const TThrottlingState&) = delete;
    TThrottlingState& operator=(const TThrottlingState&) = delete;

private:
    TLocalEmailSender& FJob;
};

} // namespace

TSenderThread::TSenderThread(TLocalEmailSender& AJob, TMethodeCallThread& AThread)
    : FJob(AJob), FThread(AThread) {}

TSenderThread::~TSenderThread() {
    FAhead.reset();
    // Counted as delivering until its session is closed: a sender refused meanwhile (the server
    // still counting this session) waits instead of taking the refusal as final.
    if (FTransport) {
        FJob.UnregisterTransport(FTransport.get());
        FTransport->DisconnectFromServer();
    }
    SetDelivering(false);
}

std::unique_ptr<TCustomMessageSender> TSenderThread::CreateTransport(const TLocalEmailSender& AJob) {
    const std::shared_ptr<TEmailListItem> list = AJob.DestinationList();
    if (!list)
        throw hostapi::EQVException(QStringLiteral("No destination list!"));
    TMessageSenderSettings settings;
    settings.DNSServer = AJob.DNSServer();
    settings.MailServer = list->MailServer();
    settings.SendAuthentication = list->SendAuthentication();
    settings.SendUserName = list->SendUserName();
    settings.SendPassword = list->SendPassword();
    settings.Settings = &hostapi::SettingsStore::Instance();
    if (AJob.EmailStyle() == esSMS)
        return CreateSMSMessageSender(list->SMSMessageSenderDevice(), settings);
    return CreateMessageSender(list->MessageSenderDevice(), settings);
}

TPreparedSend TSenderThread::PrepareSend(const TLocalEmailSender& AJob, const TCustomMessageSender& ATransport,
                                         const TEmailDocument& ADocument) {
    TPreparedSend prepared;
    try {
        const std::shared_ptr<TEmailListItem> list = AJob.DestinationList();
        const TEmailDocument::TTexts texts = ADocument.Texts();
        TOutgoingMessage& message = prepared.Message;
        message.ReceiverEmail = ADocument.EmailAddress();
        message.SenderName = list->SenderName();
        message.SenderEmail = list->SenderEmail().isEmpty() ? list->ReplyToEmail() : list->SenderEmail();
        message.Subject = texts.Subject;
        message.PlainBody = texts.PlainMailBody;
        message.HTMLBody = texts.HTMLMailBody;
        message.IsHTML = IsHTMLStyle(AJob.EmailStyle());
        message.InLineAttachments = ADocument.InlineFileList();
        message.NormalAttachments = ADocument.NormalFileList()->GetFileList();
        message.ReplyEmail = list->ReplyToEmail();
        message.CCList = ADocument.CCList();
        message.BCCList = ADocument.BCCList();
        prepared.Composed = ATransport.ComposeMessage(message);
    } catch (...) {
        prepared.Failure = std::current_exception();
    }
    return prepared;
}

bool TSenderThread::Stop() const {
    return FJob.SenderStopRequested(FThread);
}

bool TSenderThread::Connect() {
    // A connect under way counts: a sender refused meanwhile waits for its outcome rather than
    // taking the refusal as final.
    SetDelivering(true);
    const bool connected = FTransport->ConnectToServer(true);
    if (connected)
        FBackoff.Connected();
    SetDelivering(connected);
    return connected;
}

void TSenderThread::SetDelivering(bool AValue) {
    if (FDelivering == AValue)
        return;
    FDelivering = AValue;
    FJob.ChangeDeliveringSenders(AValue ? 1 : -1);
}

void TSenderThread::WaitAfterRefusal() {
    const QDateTime until = FJob.Now().addMSecs(FBackoff.Refused());
    for (;;) {
        // Read before looking: a change that comes meanwhile ends the wait at once.
        const quint64 wakeToken = FJob.SendGate().WakeCount();
        if (Stop() || (FJob.SendStackCount() == 0 && !FJob.State().Contains(jsPreparing)))
            return;
        // Nobody delivers any more: this thread tries again at once, and a refusal now takes the
        // result step.
        if (!FJob.OtherSendersDelivering())
            return;
        if (FJob.SendGate().WaitUntil(until, wakeToken) != TSendWaitGate::wrWoken)
            return;
    }
}

void TSenderThread::Run() {
    if (Stop())
        return;
    FTransport = CreateTransport(FJob);
    FJob.RegisterTransport(FTransport.get());
    QV_ASSERT(FJob.SentListWriter() != nullptr);
    FSubmission = std::make_unique<TSentListSubmission>(*FJob.SentListWriter());
    FLists.Submission = FSubmission.get();
    FSMS = FJob.EmailStyle() == esSMS;
    FPacing = TSendPacing::FromList(FJob.EmailStyle(), *FJob.DestinationList());
    if (FTransport->CanComposeMessages() && !FPacing.Throttled()) {
        const TCustomMessageSender* transport = FTransport.get();
        FAhead = std::make_unique<TComposeAhead>(
            [this, transport](const TEmailDocument& ADocument) { return PrepareSend(FJob, *transport, ADocument); });
    }
    if (FTransport->IsSingleServer())
        FConnected = Connect();

    for (;;) {
        // Read before looking for work: a wake that comes meanwhile ends the idle wait at once.
        const quint64 wakeToken = FJob.SendGate().WakeCount();
        bool sent = false;
        const bool delayed = FPacing.WaitsForUnitDelay();
        if (!delayed || FJob.WaitUnitDelay(FPacing.UnitDelay)) {
            sent = FJob.TakeSendPacket(FPacing.PacketSize, FLists.Pending);
            if (sent) {
                SendPacket(delayed);
                if (FRefused)
                    WaitAfterRefusal();
            } else if (delayed)
                FJob.ReleaseUnitDelay();
        }
        if (Stop())
            break;
        if (FJob.SendStackCount() == 0 && !FJob.State().Contains(jsPreparing))
            break;
        if (!sent)
            Idle(wakeToken);
    }
}

void TSenderThread::Idle(quint64 AWakeToken) {
    const QDateTime due = FJob.NextSendDue(FPacing.WaitsForUnitDelay(), FPacing.UnitDelay);
    FJob.SendGate().WaitUntil(due, AWakeToken);
    // A further sender woken after the preparation has ended lets the root look, too.
    if (!FThread.IsRoot() && FJob.State().Contains(jsPrepared))
        FJob.ResumeRootSender();
}

void TSenderThread::SendPacket(bool AClaimedUnitDelay) {
    FLists.Success.clear();
    FLists.Failure.clear();
    FRefused = false;
    FAttempts = 0;
    try {
        const TSendGroupList groups = FSMS              ? TSendGrouping::SingleGroup(FLists.Pending)
                                      : FPacing.Chaotic ? TSendGrouping::Chaotic(FLists.Pending)
                                                        : TSendGrouping::ByDomain(FLists.Pending);
        if (FAhead) {
            std::vector<const TEmailDocument*> order;
            order.reserve(size_t(FLists.Pending.size()));
            for (const TSendGroup& group : groups)
                order.insert(order.end(), group.Documents.cbegin(), group.Documents.cend());
            FAhead->Begin(order);
        }
        for (const TSendGroup& group : groups)
            if (!SendGroup(group) || Stop())
                break;
    } catch (...) {
        if (FAhead)
            FAhead->Drop();
        FJob.EndOfPacket(FLists, AClaimedUnitDelay);
        throw;
    }
    // The packet's documents go back to the job with nothing composed of them under way.
    if (FAhead)
        FAhead->Drop();
    // The packet's results count before the next packet (or the end of the job) is looked at; a
    // stopping thread leaves its queued rows to the job's end.
    FSubmission->WaitAll([this] { return Stop(); });
    // A packet refused before any of its documents was tried is no packet of the unit delay.
    if (FRefused && FAttempts == 0)
        FJob.ReturnPacket(FLists, AClaimedUnitDelay);
    else
        FJob.EndOfPacket(FLists, AClaimedUnitDelay);
}

bool TSenderThread::WaitForResultRoom() {
    return FSubmission->WaitForRoom([this] { return Stop(); });
}

bool TSenderThread::SendGroup(const TSendGroup& AGroup) {
    FReconnectFailure.reset();
    const bool single = FTransport->IsSingleServer();
    if (!FPacing.Chaotic)
        FTransport->SetDomainName(AGroup.Key);
    if (single) {
        if (!FTransport->IsConnected())
            FConnected = Connect();
    } else if (!FPacing.Chaotic) {
        FConnected = Connect();
    } else {
        FConnected = true; // connections are made per message
    }
    if (!FConnected) {
        const qint32 code = FTransport->LastReplyErrorCode();
        if (TConnectRefusal::Verdict(code, FJob.OtherSendersDelivering()) == TConnectVerdict::Wait) {
            // The group and the rest of the packet stay pending, untouched.
            FRefused = true;
            return false;
        }
        const QString error = FTransport->LastError();
        for (TEmailDocument* document : AGroup.Documents) {
            if (!WaitForResultRoom())
                return false;
            ++FAttempts;
            FJob.HandleSendResult(*document, false, error, TConnectRefusal::GroupResultCode(code), FLists);
        }
        return true;
    }
    for (qsizetype i = 0; i < AGroup.Documents.size(); ++i) {
        TEmailDocument* document = AGroup.Documents[i];
        if (!WaitForResultRoom())
            return false;
        QString error;
        // Only the throttle needs the start (each reading of the local clock looks at the zone file).
        const QDateTime start = FPacing.Throttled() ? FJob.Now() : QDateTime();
        const bool ok = SendDocument(*document, error);
        if (FRefused)
            return false;
        ++FAttempts;
        FJob.HandleSendResult(*document, ok, error, FTransport->LastReplyErrorCode(), FLists);
        if (Stop())
            return false;
        if (FPacing.Throttled()) {
            if (FTransport->CanTimeOut())
                FTransport->DisconnectFromServer();
            if (!Throttle(start, i + 1 < AGroup.Documents.size() ? AGroup.Documents[i + 1] : nullptr))
                return false;
        } else if (FPacing.Chaotic && !single && FTransport->CanTimeOut()) {
            FTransport->DisconnectFromServer();
        }
    }
    if (!single || (FPacing.UnitDelay > 0 && FTransport->CanTimeOut()))
        FTransport->DisconnectFromServer();
    return true;
}

bool TSenderThread::SendDocument(TEmailDocument& ADocument, QString& AError) {
    try {
        if (!ConnectForDocument(ADocument))
            return false; // refused for now: the document stays pending
        const TPreparedSend prepared =
            FAhead ? FAhead->Take(ADocument) : PrepareSend(FJob, *FTransport, ADocument);
        if (prepared.Failure)
            std::rethrow_exception(prepared.Failure);
        const bool ok = FTransport->SendComposedMessage(prepared.Message, prepared.Composed.get());
        if (!ok)
            AError = FTransport->LastError();
        return ok;
    } catch (...) {
        AError = hostapi::TVRNExceptionUtils::Describe(std::current_exception(), {}).Message;
        return false;
    }
}

bool TSenderThread::ConnectForDocument(const TEmailDocument& ADocument) {
    if (FPacing.Chaotic)
        FTransport->SetDomainName(ADocument.DomainCategory());
    if (!(FPacing.Throttled() || (FPacing.Chaotic && !FTransport->IsSingleServer())) || FTransport->IsConnected())
        return true;
    if (FReconnectFailure) {
        const QString error = *std::exchange(FReconnectFailure, std::nullopt);
        throw hostapi::EQVException(error);
    }
    if (Connect())
        return true;
    if (TConnectRefusal::Verdict(FTransport->LastReplyErrorCode(), FJob.OtherSendersDelivering()) ==
        TConnectVerdict::Wait) {
        FRefused = true;
        return false;
    }
    throw hostapi::EQVException(FTransport->LastError());
}

bool TSenderThread::Throttle(const QDateTime& AStart, const TEmailDocument* ANext) {
    const qint64 wait = FPacing.ThrottleWaitMs(AStart.msecsTo(FJob.Now()));
    if (wait <= 0)
        return !Stop();
    const QDateTime deadline = AStart.addMSecs(FPacing.ThrottleIntervalMs);
    std::optional<TThrottlingState> throttling;
    if (wait > ShortThrottleMs)
        throttling.emplace(FJob);
    if (ANext && !FTransport->IsConnected()) {
        const QDateTime connectAt = deadline.addMSecs(-ReconnectLeadMs);
        if (connectAt > FJob.Now())
            FJob.SendGate().WaitUntil(connectAt);
        if (Stop())
            return false;
        try {
            // A temporary refusal here is no verdict on the next message: it connects again itself.
            if (!ConnectForDocument(*ANext))
                FRefused = false;
        } catch (...) { // the next message fails with it, without a second connect
            FReconnectFailure = hostapi::TVRNExceptionUtils::Describe(std::current_exception(), {}).Message;
        }
    }
    FJob.SendGate().WaitUntil(deadline);
    return !Stop();
}

} // namespace emailmarketing
