#pragma once

#include "CustomMessageSender.h"
#include "EnhancedOAuth2Authenticator.h"
#include "MailAddress.h"
#include "MimeComposer.h"
#include "VRNSMTP.h"

#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

namespace emailmarketing {

// TLS mode of the external server (stored as its ordinal).
enum TServerTLSMode : int { sccAuto = 0, sccSSL = 1, sccTLSRequired = 2, sccTLSExplicit = 3, sccNo = 4 };

// The e-mail transport of the devices msdExtSMTP (one external SMTP server for every domain) and
// msdInternal (direct delivery to the mail exchanger of the recipient's domain, found by MX query
// and remembered per domain, letter case ignored, while the sender lives).
//
// Direct delivery tries the exchangers best first, each of their addresses (IPv4, then IPv6) in
// turn, and hands each Cc and Bcc address to the exchanger of its own domain; a refused Cc or Bcc
// is logged and does not fail the message. TLS is opportunistic there (STARTTLS when offered,
// certificates not checked, plain text when STARTTLS fails). An external server follows ServerTLSMode; in
// sccAuto a password is never sent unencrypted to a host other than loopback.
// When the sender authenticates, the server's certificate is verified (system trust store plus
// SMTPCAFile, and the host name). A message whose reused connection the server had closed while
// idle is sent once more over a new connection.
//
// Provider mode (SetAuthMode with a provider's name): the external server authenticates with the
// provider's OAuth2 mechanism, or, with a protocol other than "smtp", the message is posted over
// HTTP or sent through the mail client as the provider's protocol entry says. The access token goes
// only over TLS or to loopback, and only to an external server (never to a recipient's exchanger).
class TDNSEmailSender : public TCustomMessageSender {
public:
    TDNSEmailSender();
    ~TDNSEmailSender() override;

    // The external server: a host, or host:port.
    QString ExternalSMTP() const { return FExternalSMTP; }
    void SetExternalSMTP(const QString& Value) { FExternalSMTP = Value; }
    // Port of the external server when ExternalSMTP names none; below 1: 25.
    qint32 ExternalSMPTPort() const { return FExternalSMPTPort; }
    void SetExternalSMPTPort(qint32 Value) { FExternalSMPTPort = Value; }
    // DNS server asked for MX records: an address, optionally with a port; empty: the machine's.
    QString DNSServer() const { return FDNSServer; }
    void SetDNSServer(const QString& Value) { FDNSServer = Value; }
    // Recipient domain of the next connect in direct delivery.
    QString DomainName() const { return FDomainName; }
    void SetDomainName(const QString& Value) override { FDomainName = Value; }
    TServerTLSMode ServerTLSMode() const { return FServerTLSMode; }
    void SetServerTLSMode(TServerTLSMode Value) { FServerTLSMode = Value; }
    // Let send failures propagate after LastError and the code are set.
    bool RaiseExceptions() const { return FRaiseExceptions; }
    void SetRaiseExceptions(bool Value) { FRaiseExceptions = Value; }
    bool UseExternalSMTP() const { return IsSingleServer(); }
    void SetUseExternalSMTP(bool Value) { SetIsSingleServer(Value); }
    bool Authentication() const { return FAuthentication; }
    void SetAuthentication(bool Value) { FAuthentication = Value; }
    QString UserName() const { return FUserName; }
    void SetUserName(const QString& Value) { FUserName = Value; }
    void SetPassword(const QString& Value) { FPassword = Value; }
    // PEM file of CA (or self-signed server) certificates trusted besides the system's store.
    QString SMTPCAFile() const { return FSMTPCAFile; }
    void SetSMTPCAFile(const QString& Value) { FSMTPCAFile = Value; }

    // Name of the OAuth2 provider in use; empty: none.
    QString AuthMode() const { return FAuthMode; }
    // Empty AValue: plain SMTP again. Otherwise loads the provider AValue from the authenticator's
    // ProviderPath with the credentials and sets TransportProtocol (ATransportProtocol, or the
    // provider's default sending protocol when empty).
    void SetAuthMode(const QString& AValue, const QString& ARefreshToken, const QString& ATransportProtocol,
                     const QString& AClientID, const QString& AClientSecret);
    QString TransportProtocol() const { return FTransportProtocol; }
    // "smtp" with an entry of that name: the external server, its port and (with a "tls" text) the
    // mode sccAuto come from the entry.
    void SetTransportProtocol(const QString& AValue);
    TEnhancedOAuth2Authenticator& OAuth2Authenticator() const { return *FOAuth2Authenticator; }
    bool IsProviderActive() const;
    // The client's TLS use from AAuthProvider's entry AProtocol (raises for an unknown "tls" text);
    // without such an entry it stays.
    static void ConfigureIOHandlerByAuthMode(const TAuthProviderItem& AAuthProvider,
                                             TVRNSMTP& AExplicitTLSClient, const QString& AProtocol);

    void DisconnectFromServer() override;
    // In provider mode with a protocol other than "smtp" always True.
    bool IsConnected() override;

    // Sends one message to the recipients over the open connection (connecting first when there is
    // none). AReplyEmail: an address list; ASuppressAutoResponse: the X-Auto-Response-Suppress
    // value, empty for none.
    bool SendMultipleMails(const QList<MailAddress>& ARcptList, const QList<MailAddress>& ACCList,
                           const QList<MailAddress>& ABCCList, const MailAddress& aSender,
                           const QString& aSubject, const QString& aPlainBody, const QString& aHTMLBody,
                           bool IsHTML, const QStringList& InLineAttachments,
                           const QList<TAttachementFile>& NormalAttachments, const QString& AReplyEmail,
                           MailPriority APriority, const QString& AReceiptRecipientAddress,
                           const QString& ASuppressAutoResponse);
    // Text form: the receiver and the Bcc text are address lists; no Cc.
    bool SendMultipleMails(const QString& aReceiverNameAndEmail, const QString& aSenderNameAndEmail,
                           const QString& aSubject, const QString& aPlainBody, const QString& aHTMLBody,
                           bool IsHTML, const QStringList& InLineAttachments,
                           const QList<TAttachementFile>& NormalAttachments, const QString& AReplyEmail,
                           MailPriority APriority, const QString& AReceiptRecipientAddress,
                           const QString& ASuppressAutoResponse, const QString& ABccList);
    // A one-shot plain-text mail over its own connection (the test send of the lists window).
    bool SendMail(const QString& aReceiverName, const QString& aReceiverEmail, const QString& aSenderName,
                  const QString& aSenderEmail, const QString& aSubject, const QString& aBody);

    // AName without the characters 0..31 and ! " ' , < >.
    static QString FixEmailName(const QString& AName);
    // Everything after the first "@"; the whole text when there is none.
    static QString GetDomainName(const QString& aEmailAddress);
    // Host and port of an external server text "host" or "host:port": a port that is no number
    // in 1..65535 gives 25; without one, APortSetting, or 25 when that is below 1.
    static QPair<QString, quint16> ParseExternalServer(const QString& AServer, qint32 APortSetting);
    // Whether a password may be sent over a connection: in sccAuto only encrypted or to loopback.
    static bool MaySendPassword(TServerTLSMode AServerTLSMode, bool AEncrypted, bool ALoopback);
    static TIdUseTLS GetUseTLS(TServerTLSMode AServerTLSMode, int AUsedPort, int ASSLPort);
    // The X-Mailer of every message.
    static QString MailerName();
    // The port of mail exchangers in direct delivery (25); tests point it at their own server.
    static quint16 MailExchangerPort();
    static void SetMailExchangerPort(quint16 APort);
    // The time limit of a connect and of each reply in direct delivery (60000 ms); tests shorten it.
    static int MailExchangerTimeout();
    static void SetMailExchangerTimeout(int AMs);

    // Composes the message that DoSendMessage sends: the MIME text and its addresses.
    bool CanComposeMessages() const override;
    std::shared_ptr<const TComposedMessage> ComposeMessage(const TOutgoingMessage& AMessage) const override;

protected:
    bool DoSendMessage(const TOutgoingMessage& AMessage) override;
    bool DoSendComposedMessage(const TOutgoingMessage& AMessage, const TComposedMessage& AComposed) override;
    bool DoConnectToServer(bool AResetLastError) override;
    void DoCancel() override;

    // Replaces the SMTP client by a fresh, unconnected one; connects it when AConnect.
    void RebuildSMTPClient(bool AConnect);
    // The external server, or the exchangers of DomainName (best first).
    QStringList ResolveServerHost();
    QStringList ResolveMXHost(const QString& ADomain);

private:
    struct TComposedMail;
    // The message of SendMultipleMails composed; a failure is kept in it.
    static std::shared_ptr<const TComposedMail> Compose(
        const QList<MailAddress>& ARcptList, const QList<MailAddress>& ACCList, const QList<MailAddress>& ABCCList,
        const MailAddress& aSender, const QString& aSubject, const QString& aPlainBody, const QString& aHTMLBody,
        const QStringList& InLineAttachments, const QList<TAttachementFile>& NormalAttachments,
        const QString& AReplyEmail, MailPriority APriority, const QString& AReceiptRecipientAddress,
        const QString& ASuppressAutoResponse);
    // Sends a composed message over the open connection (connecting first when there is none).
    bool SendComposed(const TComposedMail& AMail);
    // Connects FSMTPClient and authenticates; throws on failure.
    void Connect();
    // Connects AClient to the first address of the exchangers of ADomain (best first) that
    // greets and answers EHLO; any failure before that moves on to the next address. Throws with
    // every exchanger's failure in the text and the reply code of the last one tried.
    void ConnectToExchanger(TVRNSMTP& AClient, const QString& ADomain);
    // Connects AClient to one address with opportunistic TLS: when STARTTLS is refused or its
    // handshake fails, connects again without TLS.
    void ConnectToAddress(TVRNSMTP& AClient, const QString& AAddress);
    // Direct delivery of the Cc and Bcc addresses outside the connection's domain; failures logged.
    void DeliverToOtherDomains(const QString& AFrom, const QStringList& AAddresses,
                               const QByteArray& AMessage);
    std::unique_ptr<TVRNSMTP> NewClient() const;
    // Records a send failure; rebuilds the client when the connection is unusable.
    void RecordSendFailure(const std::exception& AError);
    // Provider mode with a protocol other than "smtp": no SMTP connection is used.
    bool IsProviderTransport() const;
    // Provider mode's SMTP authentication through the provider's mechanism (the external server).
    bool UsesProviderSASL() const;
    void AuthenticateWithProvider(TVRNSMTP& AClient);

    std::shared_ptr<CancelSignal> FCancel;
    std::unique_ptr<TVRNSMTP> FSMTPClient;
    QString FExternalSMTP;
    QString FDNSServer;
    QString FDomainName;
    QHash<QString, QStringList> FDomainMXCache;
    qint32 FExternalSMPTPort = 0;
    TServerTLSMode FServerTLSMode = sccAuto;
    bool FRaiseExceptions = false;
    bool FAuthentication = true;
    QString FUserName;
    QString FPassword;
    QString FSMTPCAFile;
    // Domain the open connection serves (direct delivery).
    QString FConnectedDomain;
    QString FAuthMode;
    std::unique_ptr<TEnhancedOAuth2Authenticator> FOAuth2Authenticator;
    QString FTransportProtocol;
};

// Registers the transport for msdExtSMTP and msdInternal in the transport class table (module load,
// tests); a second call does nothing until UnRegisterDNSEmailSenderClasses.
void RegisterDNSEmailSenderClasses();
void UnRegisterDNSEmailSenderClasses();

} // namespace emailmarketing
