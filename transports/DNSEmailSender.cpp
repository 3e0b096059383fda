#include "DNSEmailSender.h"

#include "CancellationScope.h"
#include "MXResolver.h"
#include "ProviderMailTransport.h"
#include "SettingsStore.h"
#include "SmtpError.h"
#include "StringData.h"
#include "TransportsLog.h"

#include <QUuid>

#include <algorithm>
#include <exception>
#include <atomic>

namespace emailmarketing {

namespace {

std::atomic<quint16> GMailExchangerPort{25};
std::atomic<int> GMailExchangerTimeout{60000};

constexpr int SSLPort = 465;
constexpr int TimeoutMs = 60000;

QString AuthenticationFailedText() {
    return QStringLiteral("Authentication on SMTP server failed!");
}

MailAddress Mailbox(const QString& AName, const QString& AEmail) {
    return {TDNSEmailSender::FixEmailName(AName), QString(AEmail).remove(QChar(0)).trimmed()};
}

// "<guid>@<domain of the sender>" without the angle brackets.
QString NewMessageId(const MailAddress& ASender) {
    return QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('@') +
           TDNSEmailSender::GetDomainName(ASender.Address);
}

// AAddress as MAIL FROM or RCPT TO carry it: the domain in ASCII form. Throws ESmtpError for a
// local part outside ASCII, which only SMTPUTF8 could carry.
QString EnvelopeAddress(const QString& AAddress) {
    const QString address = WithAsciiDomain(AAddress);
    const QString local = address.left(address.lastIndexOf(QLatin1Char('@')));
    if (std::any_of(local.begin(), local.end(), [](QChar c) { return c.unicode() >= 128; }))
        throw ESmtpError(QStringLiteral("The address \"%1\" has characters outside ASCII before the \"@\"; "
                                        "it can only be sent over SMTPUTF8, which this sender does not use.")
                             .arg(AAddress));
    return address;
}

QStringList AddressesOf(const QList<MailAddress>& AList) {
    QStringList result;
    for (const MailAddress& address : AList)
        result.append(EnvelopeAddress(address.Address));
    return result;
}

// The envelope addresses of the copy recipients; one that cannot travel is logged and left out.
QStringList CopyAddressesOf(const QList<MailAddress>& AList) {
    QStringList result;
    for (const MailAddress& address : AList) {
        try {
            result.append(EnvelopeAddress(address.Address));
        } catch (const hostapi::EQVException&) {
            qCWarning(lcTransports) << "a copy recipient of domain" << address.Domain()
                                    << "was left out: the address has no ASCII form";
        }
    }
    return result;
}

} // namespace

TDNSEmailSender::TDNSEmailSender()
    : FCancel(std::make_shared<CancelSignal>()),
      FOAuth2Authenticator(std::make_unique<TEnhancedOAuth2Authenticator>()) {
    SetIsSingleServer(false);
    RebuildSMTPClient(false);
}

TDNSEmailSender::~TDNSEmailSender() = default;

QString TDNSEmailSender::FixEmailName(const QString& AName) {
    QString result;
    result.reserve(AName.size());
    for (const QChar c : AName) {
        if (c.unicode() < 32 || c == QLatin1Char('!') || c == QLatin1Char('"') || c == QLatin1Char('\'') ||
            c == QLatin1Char(',') || c == QLatin1Char('<') || c == QLatin1Char('>'))
            continue;
        result.append(c);
    }
    return result;
}

QString TDNSEmailSender::GetDomainName(const QString& aEmailAddress) {
    const qsizetype at = aEmailAddress.indexOf(QLatin1Char('@'));
    return at < 0 ? aEmailAddress : aEmailAddress.mid(at + 1);
}

QPair<QString, quint16> TDNSEmailSender::ParseExternalServer(const QString& AServer, qint32 APortSetting) {
    const QString server = AServer.trimmed();
    const qsizetype colon = server.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {server, quint16(APortSetting < 1 || APortSetting > 65535 ? 25 : APortSetting)};
    bool ok = false;
    const int port = server.mid(colon + 1).toInt(&ok);
    return {server.left(colon), quint16(ok && port >= 1 && port <= 65535 ? port : 25)};
}

bool TDNSEmailSender::MaySendPassword(TServerTLSMode AServerTLSMode, bool AEncrypted, bool ALoopback) {
    return AServerTLSMode != sccAuto || AEncrypted || ALoopback;
}

TIdUseTLS TDNSEmailSender::GetUseTLS(TServerTLSMode AServerTLSMode, int AUsedPort, int ASSLPort) {
    switch (AServerTLSMode) {
    case sccAuto:
        return AUsedPort == ASSLPort ? TIdUseTLS::utUseImplicitTLS : TIdUseTLS::utUseExplicitTLS;
    case sccSSL:
        return TIdUseTLS::utUseImplicitTLS;
    case sccTLSRequired:
        return TIdUseTLS::utUseRequireTLS;
    case sccTLSExplicit:
        return TIdUseTLS::utUseExplicitTLS;
    case sccNo:
        break;
    }
    return TIdUseTLS::utNoTLSSupport;
}

QString TDNSEmailSender::MailerName() {
    return QStringLiteral("Vorlana EMail SMTP Gateway");
}

quint16 TDNSEmailSender::MailExchangerPort() {
    return GMailExchangerPort.load();
}

void TDNSEmailSender::SetMailExchangerPort(quint16 APort) {
    GMailExchangerPort.store(APort);
}

int TDNSEmailSender::MailExchangerTimeout() {
    return GMailExchangerTimeout.load();
}

void TDNSEmailSender::SetMailExchangerTimeout(int AMs) {
    GMailExchangerTimeout.store(AMs);
}

std::unique_ptr<TVRNSMTP> TDNSEmailSender::NewClient() const {
    auto client = std::make_unique<TVRNSMTP>(FCancel);
    client->SetConnectTimeout(TimeoutMs);
    client->SetReadTimeout(TimeoutMs);
    client->SetUseTLS(TIdUseTLS::utUseExplicitTLS);
    return client;
}

void TDNSEmailSender::RebuildSMTPClient(bool AConnect) {
    std::unique_ptr<TVRNSMTP> client = NewClient();
    if (FSMTPClient) {
        client->SetHost(FSMTPClient->Host());
        client->SetPort(FSMTPClient->Port());
        FSMTPClient->Abort();
    }
    FSMTPClient = std::move(client);
    FConnectedDomain.clear();
    if (AConnect)
        ConnectToServer(false);
}

void TDNSEmailSender::DisconnectFromServer() {
    FSMTPClient->Disconnect();
    RebuildSMTPClient(false);
}

bool TDNSEmailSender::IsConnected() {
    if (IsProviderTransport())
        return true;
    return FSMTPClient->Connected();
}

void TDNSEmailSender::SetAuthMode(const QString& AValue, const QString& ARefreshToken,
                                  const QString& ATransportProtocol, const QString& AClientID,
                                  const QString& AClientSecret) {
    FAuthMode.clear();
    FTransportProtocol.clear();
    FOAuth2Authenticator->Clear();
    if (AValue.isEmpty())
        return;
    // A provider that fails to load leaves the mode off.
    FOAuth2Authenticator->LoadProvider(AValue, ARefreshToken, AClientID, AClientSecret);
    FAuthMode = AValue;
    SetTransportProtocol(ATransportProtocol.isEmpty()
                             ? FOAuth2Authenticator->ActiveProvider()->SendingDefaultTransportProtocol()
                             : ATransportProtocol);
}

void TDNSEmailSender::SetTransportProtocol(const QString& AValue) {
    FTransportProtocol = AValue;
    const std::shared_ptr<TAuthProviderItem> provider = FOAuth2Authenticator->ActiveProvider();
    if (AValue != QLatin1String("smtp") || !provider)
        return;
    const std::optional<QJsonObject> entry = provider->Protocol(AValue);
    if (!entry)
        return;
    SetExternalSMTP(entry->value(QStringLiteral("host")).toString());
    SetExternalSMPTPort(entry->value(QStringLiteral("port")).toVariant().toInt());
    if (!entry->value(QStringLiteral("tls")).toString().isEmpty())
        SetServerTLSMode(sccAuto);
}

bool TDNSEmailSender::IsProviderActive() const {
    return FOAuth2Authenticator->IsProviderActive();
}

bool TDNSEmailSender::IsProviderTransport() const {
    return IsProviderActive() && FTransportProtocol != QLatin1String("smtp");
}

bool TDNSEmailSender::UsesProviderSASL() const {
    const std::shared_ptr<TAuthProviderItem> provider = FOAuth2Authenticator->ActiveProvider();
    return UseExternalSMTP() && provider && provider->SASLClass() != TSASLClass::None;
}

void TDNSEmailSender::ConfigureIOHandlerByAuthMode(const TAuthProviderItem& AAuthProvider,
                                                   TVRNSMTP& AExplicitTLSClient, const QString& AProtocol) {
    TProviderMailTransport::ConfigureIOHandler(AAuthProvider, AExplicitTLSClient, AProtocol);
}

void TDNSEmailSender::AuthenticateWithProvider(TVRNSMTP& AClient) {
    if (!TProviderMailTransport::MaySendToken(AClient.IsEncrypted(), AClient.PeerIsLoopback()))
        throw ESmtpError(
            QStringLiteral("The SMTP server %1 is reached without TLS, so the access token would "
                           "travel unencrypted. Give the provider's \"tls\" a TLS mode that the "
                           "server supports.")
                .arg(AClient.Host()));
    const std::shared_ptr<TAuthProviderItem> provider = FOAuth2Authenticator->ActiveProvider();
    AClient.SASLMechanisms().push_back(
        FOAuth2Authenticator->CreateSASL(*provider, FUserName, AClient.Host(), AClient.Port()));
    const bool accepted = AClient.Authenticate();
    AClient.SASLMechanisms().clear();
    if (!accepted)
        throw ESmtpReplyError(AClient.LastReply().IsSuccess() ? 0 : AClient.LastReply().Code,
                              AuthenticationFailedText());
}

void TDNSEmailSender::DoCancel() {
    FCancel->Fire();
}

QStringList TDNSEmailSender::ResolveMXHost(const QString& ADomain) {
    const QString key = ADomain.toLower();
    const auto cached = FDomainMXCache.constFind(key);
    if (cached != FDomainMXCache.constEnd())
        return *cached;
    MXResolver resolver(FCancel, FDNSServer, TimeoutMs);
    const QStringList hosts = resolver.ResolveMX(AsciiDomain(ADomain));
    FDomainMXCache.insert(key, hosts);
    return hosts;
}

QStringList TDNSEmailSender::ResolveServerHost() {
    if (UseExternalSMTP()) {
        if (FExternalSMTP.trimmed().isEmpty())
            throw ESmtpError(QStringLiteral("No external SMTP Server defined."));
        return {FExternalSMTP};
    }
    return ResolveMXHost(FDomainName);
}

void TDNSEmailSender::ConnectToAddress(TVRNSMTP& AClient, const QString& AAddress) {
    AClient.SetHost(AAddress);
    AClient.SetUseTLS(TIdUseTLS::utUseExplicitTLS);
    try {
        AClient.Connect();
        return;
    } catch (const ESmtpCancelled&) {
        throw;
    } catch (const ESmtpError& e) {
        if (!AClient.StartTlsFailed())
            throw;
        qCInfo(lcTransports) << "STARTTLS failed at mail exchanger" << AAddress << ":" << e.Message()
                             << "; connecting again without TLS";
    }
    AClient.SetUseTLS(TIdUseTLS::utNoTLSSupport);
    AClient.Connect();
}

void TDNSEmailSender::ConnectToExchanger(TVRNSMTP& AClient, const QString& ADomain) {
    const QStringList exchangers = ResolveMXHost(ADomain);
    MXResolver resolver(FCancel, FDNSServer, TimeoutMs);
    AClient.SetPort(MailExchangerPort());
    AClient.SetConnectTimeout(MailExchangerTimeout());
    AClient.SetReadTimeout(MailExchangerTimeout());
    QStringList failures;
    int lastCode = 0;
    for (const QString& exchanger : exchangers) {
        QStringList addresses;
        try {
            addresses = resolver.ResolveAddresses(exchanger);
        } catch (const ESmtpCancelled&) {
            throw;
        } catch (const ESmtpError& e) {
            failures.append(QStringLiteral("%1: %2").arg(exchanger, e.Message()));
            lastCode = 0;
            continue;
        }
        for (const QString& address : addresses) {
            try {
                ConnectToAddress(AClient, address);
                return;
            } catch (const ESmtpCancelled&) {
                throw;
            } catch (const ESmtpError& e) {
                const auto* reply = dynamic_cast<const ESmtpReplyError*>(&e);
                lastCode = reply != nullptr ? reply->Code() : 0;
                const QString text =
                    reply != nullptr ? QStringLiteral("%1 %2").arg(lastCode).arg(e.Message()) : e.Message();
                failures.append(QStringLiteral("%1 (%2): %3").arg(exchanger, address, text));
                qCInfo(lcTransports) << "mail exchanger" << exchanger << address << "failed:" << text
                                     << "; next one";
            }
        }
    }
    const QString text = QStringLiteral("No mail exchanger of %1 could be reached: %2")
                             .arg(ADomain, failures.join(QStringLiteral("; ")));
    if (lastCode != 0)
        throw ESmtpReplyError(lastCode, text);
    throw ESmtpConnectError(text);
}

void TDNSEmailSender::Connect() {
    const QStringList hosts = ResolveServerHost();
    TVRNSMTP& client = *FSMTPClient;
    client.SASLMechanisms().clear();
    const bool providerSASL = UsesProviderSASL();
    const bool authenticate =
        UseExternalSMTP() && (providerSASL || (FAuthentication && !FUserName.isEmpty()));
    // A password or token goes only to the server the certificate proves.
    client.SetVerifyCertificate(authenticate);
    client.SetCAFile(FSMTPCAFile);
    if (UseExternalSMTP()) {
        const auto [host, port] = ParseExternalServer(hosts.first(), FExternalSMPTPort);
        if (host.isEmpty())
            throw ESmtpError(QStringLiteral("No external SMTP Server defined."));
        client.SetHost(host);
        client.SetPort(port);
        client.SetUseTLS(GetUseTLS(FServerTLSMode, port, SSLPort));
        if (FServerTLSMode == sccAuto && IsProviderActive())
            ConfigureIOHandlerByAuthMode(*FOAuth2Authenticator->ActiveProvider(), client, FTransportProtocol);
        client.Connect();
    } else {
        ConnectToExchanger(client, FDomainName);
        FConnectedDomain = FDomainName;
    }
    if (!authenticate)
        return;
    if (providerSASL) {
        AuthenticateWithProvider(client);
        return;
    }
    if (!MaySendPassword(FServerTLSMode, client.IsEncrypted(), client.PeerIsLoopback()))
        throw ESmtpError(
            QStringLiteral("The SMTP server %1 offers no STARTTLS, so the password would travel "
                           "unencrypted. Use the SSL port 465, a TLS mode that the server supports, "
                           "or choose the mode without TLS to accept plain text.")
                .arg(client.Host()));
    client.SASLMechanisms().push_back(std::make_shared<SaslPlain>(FUserName, FPassword));
    client.SASLMechanisms().push_back(std::make_shared<SaslLogin>(FUserName, FPassword));
    const bool accepted = client.Authenticate();
    client.SASLMechanisms().clear();
    if (!accepted)
        throw ESmtpReplyError(client.LastReply().IsSuccess() ? 0 : client.LastReply().Code,
                              AuthenticationFailedText());
}

bool TDNSEmailSender::DoConnectToServer(bool AResetLastError) {
    if (IsProviderTransport()) {
        try {
            const hostapi::TCancellationScope cancellation([this] { return Cancelled(); });
            TProviderMailTransport::RequireAccessToken(*FOAuth2Authenticator);
            return true;
        } catch (const hostapi::EQVException& e) {
            if (!AResetLastError)
                throw;
            SetLastError(Cancelled() ? CancelledText() : e.Message());
            return false;
        }
    }
    try {
        if (IsConnected())
            DisconnectFromServer();
        Connect();
        return true;
    } catch (const hostapi::EQVException& e) {
        FSMTPClient->Abort();
        if (!AResetLastError)
            throw;
        if (Cancelled()) {
            SetLastError(CancelledText());
            return false;
        }
        if (dynamic_cast<const ESmtpConnectionClosed*>(&e) == nullptr) {
            const auto* reply = dynamic_cast<const ESmtpReplyError*>(&e);
            SetLastReplyErrorCode(reply != nullptr ? reply->Code() : 0);
        }
        SetLastError(e.Message());
        return false;
    } catch (const std::exception& e) {
        FSMTPClient->Abort();
        if (!AResetLastError)
            throw;
        SetLastError(QString::fromLocal8Bit(e.what()));
        return false;
    }
}

struct TDNSEmailSender::TComposedMail : TComposedMessage {
    MailAddress Sender;
    QList<MailAddress> Recipients;
    QList<MailAddress> CC;
    QList<MailAddress> BCC;
    QByteArray Mime;
    // What composing raised; the send raises it in its place.
    std::exception_ptr Failure;

    qsizetype ByteSize() const override { return Mime.size(); }
};

bool TDNSEmailSender::CanComposeMessages() const {
    return true;
}

std::shared_ptr<const TComposedMessage> TDNSEmailSender::ComposeMessage(const TOutgoingMessage& AMessage) const {
    return Compose({Mailbox(AMessage.ReceiverName, AMessage.ReceiverEmail)}, ParseAddressList(AMessage.CCList),
                   ParseAddressList(AMessage.BCCList), Mailbox(AMessage.SenderName, AMessage.SenderEmail),
                   AMessage.Subject, AMessage.PlainBody, AMessage.HTMLBody, AMessage.InLineAttachments,
                   AMessage.NormalAttachments, AMessage.ReplyEmail, MailPriority::Normal,
                   AMessage.ReceiptRecipientAddress, {});
}

bool TDNSEmailSender::DoSendMessage(const TOutgoingMessage& AMessage) {
    return SendComposed(*std::static_pointer_cast<const TComposedMail>(ComposeMessage(AMessage)));
}

bool TDNSEmailSender::DoSendComposedMessage(const TOutgoingMessage& AMessage, const TComposedMessage& AComposed) {
    const auto* mail = dynamic_cast<const TComposedMail*>(&AComposed);
    return mail != nullptr ? SendComposed(*mail) : DoSendMessage(AMessage);
}

bool TDNSEmailSender::SendMultipleMails(
    const QString& aReceiverNameAndEmail, const QString& aSenderNameAndEmail, const QString& aSubject,
    const QString& aPlainBody, const QString& aHTMLBody, bool IsHTML, const QStringList& InLineAttachments,
    const QList<TAttachementFile>& NormalAttachments, const QString& AReplyEmail, MailPriority APriority,
    const QString& AReceiptRecipientAddress, const QString& ASuppressAutoResponse, const QString& ABccList) {
    const QList<MailAddress> senders = ParseAddressList(aSenderNameAndEmail);
    return SendMultipleMails(ParseAddressList(aReceiverNameAndEmail), {}, ParseAddressList(ABccList),
                             senders.isEmpty() ? MailAddress{{}, aSenderNameAndEmail.trimmed()}
                                               : senders.first(),
                             aSubject, aPlainBody, aHTMLBody, IsHTML, InLineAttachments, NormalAttachments,
                             AReplyEmail, APriority, AReceiptRecipientAddress, ASuppressAutoResponse);
}

void TDNSEmailSender::RecordSendFailure(const std::exception& AError) {
    const auto* reply = dynamic_cast<const ESmtpReplyError*>(&AError);
    SetLastReplyErrorCode(reply != nullptr ? reply->Code() : 0);
    if (Cancelled())
        SetLastError(CancelledText());
    else if (const auto* error = dynamic_cast<const hostapi::EQVException*>(&AError))
        SetLastError(error->Message());
    else
        SetLastError(QString::fromUtf8(AError.what()));
    if (!FSMTPClient->Connected())
        RebuildSMTPClient(false);
}

bool TDNSEmailSender::SendMultipleMails(const QList<MailAddress>& ARcptList,
                                        const QList<MailAddress>& ACCList, const QList<MailAddress>& ABCCList,
                                        const MailAddress& aSender, const QString& aSubject,
                                        const QString& aPlainBody, const QString& aHTMLBody, bool /*IsHTML*/,
                                        const QStringList& InLineAttachments,
                                        const QList<TAttachementFile>& NormalAttachments,
                                        const QString& AReplyEmail, MailPriority APriority,
                                        const QString& AReceiptRecipientAddress,
                                        const QString& ASuppressAutoResponse) {
    return SendComposed(*Compose(ARcptList, ACCList, ABCCList, aSender, aSubject, aPlainBody, aHTMLBody,
                                 InLineAttachments, NormalAttachments, AReplyEmail, APriority,
                                 AReceiptRecipientAddress, ASuppressAutoResponse));
}

std::shared_ptr<const TDNSEmailSender::TComposedMail> TDNSEmailSender::Compose(
    const QList<MailAddress>& ARcptList, const QList<MailAddress>& ACCList, const QList<MailAddress>& ABCCList,
    const MailAddress& aSender, const QString& aSubject, const QString& aPlainBody, const QString& aHTMLBody,
    const QStringList& InLineAttachments, const QList<TAttachementFile>& NormalAttachments,
    const QString& AReplyEmail, MailPriority APriority, const QString& AReceiptRecipientAddress,
    const QString& ASuppressAutoResponse) {
    auto mail = std::make_shared<TComposedMail>();
    mail->Sender = aSender;
    mail->Recipients = ARcptList;
    mail->CC = ACCList;
    mail->BCC = ABCCList;
    try {
        MailMessage message;
        message.From = aSender;
        message.To = ARcptList;
        message.Cc = ACCList;
        if (!AReplyEmail.trimmed().isEmpty())
            message.ReplyTo = ParseAddressList(AReplyEmail);
        message.DispositionNotificationTo = AReceiptRecipientAddress.trimmed();
        message.Subject = aSubject;
        message.Priority = APriority;
        message.Mailer = MailerName();
        message.AutoResponseSuppress = ASuppressAutoResponse;
        message.MessageId = NewMessageId(aSender);
        message.PlainBody = aPlainBody;
        message.HtmlBody = aHTMLBody;
        message.InlineFiles = InLineAttachments;
        for (const TAttachementFile& file : NormalAttachments)
            message.Attachments.append({file.FileName, file.LocalFile});
        mail->Mime = MimeComposer::Compose(message);
    } catch (...) {
        mail->Failure = std::current_exception();
    }
    return mail;
}

bool TDNSEmailSender::SendComposed(const TComposedMail& AMail) {
    if (!IsConnected() && !ConnectToServer(true))
        return false;
    ClearLastError();
    try {
        std::optional<QJsonObject> providerEntry;
        if (IsProviderTransport()) {
            providerEntry = TProviderMailTransport::ProtocolEntry(*FOAuth2Authenticator->ActiveProvider(),
                                                                  FTransportProtocol);
            TProviderMailTransport::TransportKind(*providerEntry);
        }
        if (AMail.Failure)
            std::rethrow_exception(AMail.Failure);
        const QByteArray& mime = AMail.Mime;
        if (providerEntry) {
            // Cancel ends the HTTP requests of the posting and of the mail client.
            const hostapi::TCancellationScope cancellation([this] { return Cancelled(); });
            TProviderMailTransport::Send(*FOAuth2Authenticator, *providerEntry, mime, AMail.BCC);
            return true;
        }

        SmtpEnvelope envelope;
        envelope.From = EnvelopeAddress(AMail.Sender.Address);
        envelope.Recipients = AddressesOf(AMail.Recipients);
        const QStringList copies = CopyAddressesOf(AMail.CC) + CopyAddressesOf(AMail.BCC);
        QStringList otherDomains;
        if (UseExternalSMTP()) {
            envelope.Recipients += copies;
        } else {
            const QString connectedDomain = AsciiDomain(FConnectedDomain);
            for (const QString& copy : copies) {
                if (GetDomainName(copy).compare(connectedDomain, Qt::CaseInsensitive) == 0)
                    envelope.OptionalRecipients.append(copy);
                else
                    otherDomains.append(copy);
            }
        }
        SmtpSendResult result;
        try {
            result = FSMTPClient->Send(envelope, mime);
        } catch (const ESmtpStaleConnection& e) {
            qCInfo(lcTransports) << "connecting anew:" << e.Message();
            RebuildSMTPClient(false);
            Connect();
            result = FSMTPClient->Send(envelope, mime);
        }
        for (const SmtpRefusedRecipient& refused : result.RefusedOptional)
            qCWarning(lcTransports) << "a copy recipient of domain" << GetDomainName(refused.Address)
                                    << "was refused:" << refused.Reply.Code << refused.Reply.Text();
        if (!otherDomains.isEmpty())
            DeliverToOtherDomains(AMail.Sender.Address, otherDomains, mime);
        return true;
    } catch (const std::exception& e) {
        if (IsProviderTransport()) {
            const auto* error = dynamic_cast<const hostapi::EQVException*>(&e);
            SetLastError(Cancelled()        ? CancelledText()
                         : error != nullptr ? error->Message()
                                            : QString::fromUtf8(e.what()));
        } else {
            RecordSendFailure(e);
        }
        if (FRaiseExceptions)
            throw;
        return false;
    }
}

void TDNSEmailSender::DeliverToOtherDomains(const QString& AFrom, const QStringList& AAddresses,
                                            const QByteArray& AMessage) {
    QMap<QString, QStringList> byDomain;
    for (const QString& address : AAddresses)
        byDomain[GetDomainName(address).toLower()].append(address);
    for (auto it = byDomain.cbegin(); it != byDomain.cend(); ++it) {
        std::unique_ptr<TVRNSMTP> client = NewClient();
        try {
            ConnectToExchanger(*client, it.key());
            SmtpEnvelope envelope;
            envelope.From = AFrom;
            envelope.OptionalRecipients = it.value();
            const SmtpSendResult result = client->Send(envelope, AMessage);
            for (const SmtpRefusedRecipient& refused : result.RefusedOptional)
                qCWarning(lcTransports) << "a copy recipient of domain" << it.key()
                                        << "was refused:" << refused.Reply.Code << refused.Reply.Text();
            client->Disconnect();
        } catch (const ESmtpCancelled&) {
            throw;
        } catch (const hostapi::EQVException& e) {
            qCWarning(lcTransports) << "copies to domain" << it.key() << "were not delivered:" << e.Message();
        }
    }
}

bool TDNSEmailSender::SendMail(const QString& aReceiverName, const QString& aReceiverEmail,
                               const QString& aSenderName, const QString& aSenderEmail,
                               const QString& aSubject, const QString& aBody) {
    ClearLastError();
    const MailAddress sender = Mailbox(aSenderName, aSenderEmail);
    const MailAddress receiver = Mailbox(aReceiverName, aReceiverEmail);
    SetDomainName(GetDomainName(receiver.Address));
    if (!ConnectToServer(true)) {
        qCWarning(lcTransports) << "test send: no connection:" << LastError();
        SetLastError(QStringLiteral("Error in connect to server"));
        return false;
    }
    bool sent = false;
    try {
        MailMessage message;
        message.From = sender;
        message.ReplyTo = {sender};
        message.To = {receiver};
        message.Subject = aSubject;
        message.Mailer = MailerName();
        message.MessageId = NewMessageId(sender);
        message.PlainBody = aBody;
        SmtpEnvelope envelope;
        envelope.From = EnvelopeAddress(sender.Address);
        envelope.Recipients = {EnvelopeAddress(receiver.Address)};
        FSMTPClient->Send(envelope, MimeComposer::Compose(message));
        sent = true;
    } catch (const hostapi::EQVException& e) {
        const auto* reply = dynamic_cast<const ESmtpReplyError*>(&e);
        SetLastReplyErrorCode(reply != nullptr ? reply->Code() : 0);
        SetLastError(Cancelled() ? CancelledText() : e.Message());
    }
    DisconnectFromServer();
    return sent;
}

namespace {

bool GRegistered = false;

void ConfigureDNSEmailSender(TCustomMessageSender& ASender, const TMessageSenderSettings& ASettings,
                             bool AExternal) {
    auto* sender = dynamic_cast<TDNSEmailSender*>(&ASender);
    QV_ASSERT(sender != nullptr);
    sender->SetDNSServer(ASettings.DNSServer);
    sender->SetUseExternalSMTP(AExternal);
    sender->SetExternalSMTP(ASettings.MailServer);
    if (AExternal) {
        sender->SetAuthentication(ASettings.SendAuthentication);
        sender->SetUserName(ASettings.SendUserName);
        sender->SetPassword(ASettings.SendPassword);
        if (ASettings.Settings != nullptr)
            sender->SetSMTPCAFile(hostapi::StringDataToStr(
                ASettings.Settings->ReadString(QStringLiteral("EMLMARK"), SmtpCAFileSettingsKey()), true));
    }
}

} // namespace

void RegisterDNSEmailSenderClasses() {
    if (GRegistered)
        return;
    const auto create = [] { return std::unique_ptr<TCustomMessageSender>(new TDNSEmailSender()); };
    RegisterMessageSenderClass(msdExtSMTP,
                               {create, [](TCustomMessageSender& s, const TMessageSenderSettings& c) {
                                    ConfigureDNSEmailSender(s, c, true);
                                }});
    RegisterMessageSenderClass(msdInternal,
                               {create, [](TCustomMessageSender& s, const TMessageSenderSettings& c) {
                                    ConfigureDNSEmailSender(s, c, false);
                                }});
    GRegistered = true;
}

void UnRegisterDNSEmailSenderClasses() {
    UnRegisterMessageSenderClass(msdExtSMTP);
    UnRegisterMessageSenderClass(msdInternal);
    GRegistered = false;
}

} // namespace emailmarketing
