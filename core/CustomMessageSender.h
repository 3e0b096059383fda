#pragma once

#include "EmailAttachement.h"
#include "OutgoingMessage.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace hostapi {
class ISettingsStore;
}

namespace emailmarketing {

// A message a transport composed before its send (TCustomMessageSender::ComposeMessage); what it
// holds is the transport's own.
class TComposedMessage {
public:
    TComposedMessage() = default;
    virtual ~TComposedMessage();
    TComposedMessage(const TComposedMessage&) = delete;
    TComposedMessage& operator=(const TComposedMessage&) = delete;
    // About the memory it holds, for bounding the messages composed ahead.
    virtual qsizetype ByteSize() const { return 0; }
};

// E-mail transport of a list (stored as its ordinal).
enum TMessageSenderDevice : int { msdExtSMTP = 0, msdInternal = 1, msdMAPI = 2 };
// SMS gateway of a list (stored as its ordinal).
enum TSMSMessageSenderDevice : int { smsdASPSMS = 0, smsdLOX24 = 1 };

// The transport as the mailing engine sees it: connect, send one message, disconnect, report the
// last error. A transport belongs to the one sender thread that created it; only Cancel may be
// called from another thread.
//
// Contract: SendMessage and ConnectToServer(True) clear LastError and LastReplyErrorCode before
// they run, so a failure never carries the code of an earlier one. A failed send answers False with
// LastError (and, for an SMTP reply, LastReplyErrorCode) set; it may also throw, and the engine then
// counts the exception's message as the error. ConnectToServer(True) never throws: it answers False
// with LastError set (a transport's exception becomes its message there). After Cancel every blocking connect or send returns soon with False, and
// later calls answer False at once.
class TCustomMessageSender {
public:
    TCustomMessageSender();
    virtual ~TCustomMessageSender();
    TCustomMessageSender(const TCustomMessageSender&) = delete;
    TCustomMessageSender& operator=(const TCustomMessageSender&) = delete;

    QString LastError() const { return FLastError; }
    // SMTP reply code of the last failure; 0 when the failure was no SMTP reply.
    qint32 LastReplyErrorCode() const { return FLastReplyErrorCode; }
    // True: one connection serves every recipient domain; False: one connection per domain.
    bool IsSingleServer() const { return FIsSingleServer; }

    // Sends one message over the open connection; answers whether it was accepted.
    // NormalAttachments: (name in the message, local file) of each attachment.
    bool SendMessage(const QString& aReceiverName, const QString& aReceiverEmail, const QString& aSenderName,
                     const QString& aSenderEmail, const QString& aSubject, const QString& aPlainBody,
                     const QString& aHTMLBody, bool IsHTML, const QStringList& InLineAttachments,
                     const QList<TAttachementFile>& NormalAttachments, const QString& AReplyEmail,
                     const QString& ACCList, const QString& ABCCList,
                     const QString& AReceiptRecipientAddress);
    // Whether ComposeMessage composes (False: a transport that composes as it sends).
    virtual bool CanComposeMessages() const;
    // Composes AMessage for SendComposedMessage. Reads nothing of the connection or of the
    // transport's state, so it may run on another thread while this transport sends. A failure is
    // kept in the result and reported by the send, as SendMessage would report it. The base
    // answers nullptr.
    virtual std::shared_ptr<const TComposedMessage> ComposeMessage(const TOutgoingMessage& AMessage) const;
    // Sends AMessage as SendMessage does; AComposed is this transport's ComposeMessage of AMessage,
    // or nullptr (the transport composes now).
    bool SendComposedMessage(const TOutgoingMessage& AMessage, const TComposedMessage* AComposed);
    // Opens the connection (of a per-domain transport: to the domain set before) and answers
    // whether it is open. With AResetLastError the errors are cleared first and a failure is
    // reported in LastError.
    bool ConnectToServer(bool AResetLastError);
    // Closes the connection; harmless without one.
    virtual void DisconnectFromServer();
    virtual bool IsConnected();
    // Fills Dest with the servers or accounts the transport offers.
    virtual void FillServerList(QStringList& Dest);
    // Whether the other side may drop an idle connection.
    virtual bool CanTimeOut();
    // Recipient domain of the next connect, for a transport that connects per domain (direct
    // delivery); the others ignore it.
    virtual void SetDomainName(const QString& Value);

    // Thread-safe: makes a blocking connect or send return soon with a failure, and every later one
    // fail at once (shutdown and job termination).
    void Cancel();
    bool Cancelled() const { return FCancelled.load(); }
    // LastError of a connect or send that ended because of Cancel.
    static QString CancelledText();

protected:
    // The transport's send and connect; called by SendMessage and ConnectToServer after the
    // errors are cleared. The base answers False (connect: LastError "not implemented" when asked
    // to report).
    virtual bool DoSendMessage(const TOutgoingMessage& AMessage);
    // Sends AComposed, composed by ComposeMessage from AMessage; the base sends AMessage.
    virtual bool DoSendComposedMessage(const TOutgoingMessage& AMessage, const TComposedMessage& AComposed);
    virtual bool DoConnectToServer(bool AResetLastError);
    // Called by Cancel on the cancelling thread, after Cancelled() became True: wake or abort the
    // blocking call (close the socket, kill the process). Must be thread-safe.
    virtual void DoCancel();

    void ClearLastError();
    void SetLastError(const QString& Value) { FLastError = Value; }
    void SetLastReplyErrorCode(qint32 Value) { FLastReplyErrorCode = Value; }
    void SetIsSingleServer(bool Value) { FIsSingleServer = Value; }

private:
    QString FLastError;
    qint32 FLastReplyErrorCode = 0;
    bool FIsSingleServer = true;
    std::atomic<bool> FCancelled{false};
};

// What the engine knows of a list and a job that a new transport needs.
struct TMessageSenderSettings {
    QString DNSServer;  // the job's DNS server
    QString MailServer; // the list's mail server: external SMTP server, or the MAPI account
    bool SendAuthentication = false;
    QString SendUserName;
    QString SendPassword;
    // Where SMS gateways read their account.
    hostapi::ISettingsStore* Settings = nullptr;
};

// One entry of a transport class table: the virtual constructor and the step that applies the
// settings to a new transport.
struct TMessageSenderClass {
    std::function<std::unique_ptr<TCustomMessageSender>()> Create;
    std::function<void(TCustomMessageSender& ASender, const TMessageSenderSettings& ASettings)> Configure;
};

// Transport class tables by device. The concrete transports register their entries by explicit
// calls when the module loads and unregister them when it unloads. The tables are locked: a
// sender thread creating its transport while its class is unregistered gets the error of a device
// without a class, and a transport already made keeps working.
// Throws when the device already has an entry or the entry lacks its factory or configure step.
void RegisterMessageSenderClass(TMessageSenderDevice ADevice, const TMessageSenderClass& AClass);
void UnRegisterMessageSenderClass(TMessageSenderDevice ADevice);
void RegisterSMSMessageSenderClass(TSMSMessageSenderDevice ADevice, const TMessageSenderClass& AClass);
void UnRegisterSMSMessageSenderClass(TSMSMessageSenderDevice ADevice);
// A new transport of the device's class with ASettings applied; throws when no class is registered.
std::unique_ptr<TCustomMessageSender> CreateMessageSender(TMessageSenderDevice ADevice,
                                                          const TMessageSenderSettings& ASettings);
std::unique_ptr<TCustomMessageSender> CreateSMSMessageSender(TSMSMessageSenderDevice ADevice,
                                                             const TMessageSenderSettings& ASettings);

} // namespace emailmarketing
