#include "CustomMessageSender.h"

#include "ExceptionDisplay.h"
#include "QVException.h"

#include <map>
#include <mutex>

namespace emailmarketing {

TComposedMessage::~TComposedMessage() = default;

TCustomMessageSender::TCustomMessageSender() = default;

TCustomMessageSender::~TCustomMessageSender() = default;

bool TCustomMessageSender::SendMessage(const QString& aReceiverName, const QString& aReceiverEmail,
                                       const QString& aSenderName, const QString& aSenderEmail,
                                       const QString& aSubject, const QString& aPlainBody,
                                       const QString& aHTMLBody, bool IsHTML,
                                       const QStringList& InLineAttachments,
                                       const QList<TAttachementFile>& NormalAttachments,
                                       const QString& AReplyEmail, const QString& ACCList,
                                       const QString& ABCCList, const QString& AReceiptRecipientAddress) {
    return SendComposedMessage({aReceiverName, aReceiverEmail, aSenderName, aSenderEmail, aSubject, aPlainBody,
                                aHTMLBody, IsHTML, InLineAttachments, NormalAttachments, AReplyEmail, ACCList,
                                ABCCList, AReceiptRecipientAddress},
                               nullptr);
}

bool TCustomMessageSender::CanComposeMessages() const {
    return false;
}

std::shared_ptr<const TComposedMessage> TCustomMessageSender::ComposeMessage(const TOutgoingMessage& /*AMessage*/) const {
    return nullptr;
}

bool TCustomMessageSender::SendComposedMessage(const TOutgoingMessage& AMessage, const TComposedMessage* AComposed) {
    ClearLastError();
    if (Cancelled()) {
        SetLastError(CancelledText());
        return false;
    }
    return AComposed ? DoSendComposedMessage(AMessage, *AComposed) : DoSendMessage(AMessage);
}

bool TCustomMessageSender::ConnectToServer(bool AResetLastError) {
    if (AResetLastError)
        ClearLastError();
    if (Cancelled()) {
        if (AResetLastError)
            SetLastError(CancelledText());
        return false;
    }
    if (!AResetLastError)
        return DoConnectToServer(false);
    // Asked to report, a connect never raises: a transport's exception becomes its LastError.
    try {
        return DoConnectToServer(true);
    } catch (const std::exception& E) {
        SetLastError(hostapi::TVRNExceptionUtils::Describe(E, {}).Message);
    } catch (...) {
        SetLastError(QStringLiteral("unknown error while connecting"));
    }
    return false;
}

void TCustomMessageSender::DisconnectFromServer() {}

bool TCustomMessageSender::IsConnected() {
    return false;
}

void TCustomMessageSender::FillServerList(QStringList& /*Dest*/) {}

void TCustomMessageSender::SetDomainName(const QString&) {}

bool TCustomMessageSender::CanTimeOut() {
    return true;
}

void TCustomMessageSender::Cancel() {
    FCancelled.store(true);
    DoCancel();
}

QString TCustomMessageSender::CancelledText() {
    return QStringLiteral("Sending was cancelled.");
}

bool TCustomMessageSender::DoSendMessage(const TOutgoingMessage& /*AMessage*/) {
    return false;
}

bool TCustomMessageSender::DoSendComposedMessage(const TOutgoingMessage& AMessage,
                                                 const TComposedMessage& /*AComposed*/) {
    return DoSendMessage(AMessage);
}

bool TCustomMessageSender::DoConnectToServer(bool AResetLastError) {
    if (AResetLastError)
        SetLastError(QStringLiteral("not implemented"));
    return false;
}

void TCustomMessageSender::DoCancel() {}

void TCustomMessageSender::ClearLastError() {
    FLastError.clear();
    FLastReplyErrorCode = 0;
}

namespace {

using TClassTable = std::map<int, TMessageSenderClass>;

// Guards both tables: sender threads look their class up while the main thread may register.
std::mutex& ClassTableLock() {
    static std::mutex lock;
    return lock;
}

TClassTable& MessageSenderClasses() {
    static TClassTable classes;
    return classes;
}

TClassTable& SMSMessageSenderClasses() {
    static TClassTable classes;
    return classes;
}

void Register(TClassTable& ATable, int ADevice, const TMessageSenderClass& AClass, const char* AKind) {
    if (!AClass.Create || !AClass.Configure)
        throw hostapi::EQVException(
            QStringLiteral("The transport class of the %1 device %2 needs a factory and a configure step.")
                .arg(QLatin1String(AKind))
                .arg(ADevice));
    std::lock_guard lock(ClassTableLock());
    if (!ATable.emplace(ADevice, AClass).second)
        throw hostapi::EQVException(
            QStringLiteral("A transport class is already registered for the %1 device %2.")
                .arg(QLatin1String(AKind))
                .arg(ADevice));
}

void UnRegister(TClassTable& ATable, int ADevice) {
    std::lock_guard lock(ClassTableLock());
    ATable.erase(ADevice);
}

std::unique_ptr<TCustomMessageSender> Create(const TClassTable& ATable, int ADevice,
                                             const TMessageSenderSettings& ASettings, const char* AKind) {
    // The entry is copied: the factory runs outside the lock and stays valid when the class is
    // unregistered meanwhile.
    TMessageSenderClass entry;
    {
        std::lock_guard lock(ClassTableLock());
        const auto it = ATable.find(ADevice);
        if (it != ATable.end())
            entry = it->second;
    }
    if (!entry.Create)
        throw hostapi::EQVException(QStringLiteral("No transport is registered for the %1 device %2.")
                                        .arg(QLatin1String(AKind))
                                        .arg(ADevice));
    std::unique_ptr<TCustomMessageSender> sender = entry.Create();
    QV_ASSERT(sender != nullptr);
    entry.Configure(*sender, ASettings);
    return sender;
}

} // namespace

void RegisterMessageSenderClass(TMessageSenderDevice ADevice, const TMessageSenderClass& AClass) {
    Register(MessageSenderClasses(), ADevice, AClass, "e-mail");
}

void UnRegisterMessageSenderClass(TMessageSenderDevice ADevice) {
    UnRegister(MessageSenderClasses(), ADevice);
}

void RegisterSMSMessageSenderClass(TSMSMessageSenderDevice ADevice, const TMessageSenderClass& AClass) {
    Register(SMSMessageSenderClasses(), ADevice, AClass, "SMS");
}

void UnRegisterSMSMessageSenderClass(TSMSMessageSenderDevice ADevice) {
    UnRegister(SMSMessageSenderClasses(), ADevice);
}

std::unique_ptr<TCustomMessageSender> CreateMessageSender(TMessageSenderDevice ADevice,
                                                          const TMessageSenderSettings& ASettings) {
    return Create(MessageSenderClasses(), ADevice, ASettings, "e-mail");
}

std::unique_ptr<TCustomMessageSender> CreateSMSMessageSender(TSMSMessageSenderDevice ADevice,
                                                             const TMessageSenderSettings& ASettings) {
    return Create(SMSMessageSenderClasses(), ADevice, ASettings, "SMS");
}

} // namespace emailmarketing
