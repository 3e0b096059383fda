#include "MAPIMailSender.h"

#include "DNSEmailSender.h"
#include "MailAddress.h"
#include "MimeComposer.h"
#include "QVException.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "TransportsLog.h"
#include "VRNLang.h"

namespace emailmarketing {

namespace {

bool GRegistered = false;

// An address that may follow the program's options without becoming one.
void CheckArgumentAddress(const QString& AAddress, const char* ARole) {
    bool usable = !AAddress.isEmpty() && !AAddress.startsWith(QLatin1Char('-'));
    for (const QChar c : AAddress)
        usable = usable && !c.isSpace() && c.category() != QChar::Other_Control;
    if (!usable)
        throw hostapi::EQVException(
            QStringLiteral("The %1 address \"%2\" cannot be handed to the mail program.")
                .arg(QLatin1String(ARole), AAddress));
}

// The one mailbox of AEmail with AName as its display name; throws unless AEmail is one address.
MailAddress SingleMailbox(const QString& AName, const QString& AEmail, const char* ARole) {
    const QList<MailAddress> parsed = ParseAddressList(AEmail);
    if (parsed.size() != 1)
        throw hostapi::EQVException(QStringLiteral("The %1 address \"%2\" is not one e-mail address.")
                                        .arg(QLatin1String(ARole), AEmail.trimmed()));
    return {AName.trimmed(), parsed.first().Address};
}

} // namespace

TMAPIMailSender::TMAPIMailSender() : FSession(std::make_unique<TRwMAPISession>()) {}

TMAPIMailSender::~TMAPIMailSender() {
    FSession->Logoff();
}

QString TMAPIMailSender::ProgramNotAvailableText(const QString& AProgram) {
    const hostapi::TVRNLang lang(QStringLiteral("MAPIMailSender"));
    return lang.Text(QStringLiteral("IDS_MailProgramNotAvailable")).arg(AProgram);
}

QStringList TMAPIMailSender::Addresses(const QString& AAddressList) {
    QStringList result;
    for (const MailAddress& address : ParseAddressList(AAddressList))
        result.append(address.Address);
    return result;
}

QStringList TMAPIMailSender::SubmitArguments(const QString& ASender, const QString& AAccount,
                                             const QStringList& ARecipients) {
    CheckArgumentAddress(ASender, "sender");
    QStringList result{QStringLiteral("-i"), QStringLiteral("-f"), ASender};
    if (!AAccount.isEmpty())
        result.append(QStringLiteral("--account=") + AAccount);
    result.append(QStringLiteral("--"));
    for (const QString& recipient : ARecipients) {
        CheckArgumentAddress(recipient, "recipient");
        result.append(recipient);
    }
    return result;
}

QString TMAPIMailSender::CheckedAccount() const {
    if (FAccountName.isEmpty() || !FSession->IsMsmtp())
        return {};
    if (!FSession->ProfileNames().contains(FAccountName))
        throw hostapi::EQVException(
            QStringLiteral("The account \"%1\" is not configured for the mail program %2.")
                .arg(FAccountName, FSession->Program()));
    return FAccountName;
}

bool TMAPIMailSender::DoConnectToServer(bool AResetLastError) {
    if (!FSession->Available()) {
        if (AResetLastError)
            SetLastError(ProgramNotAvailableText(FSession->Program()));
        return false;
    }
    try {
        if (!FSession->Active()) {
            CheckedAccount();
            FSession->Logon();
        }
        return FSession->Active();
    } catch (const hostapi::EQVException& e) {
        if (AResetLastError)
            SetLastError(e.Message());
        return false;
    }
}

void TMAPIMailSender::DisconnectFromServer() {
    FSession->Logoff();
}

bool TMAPIMailSender::IsConnected() {
    return FSession->Active();
}

void TMAPIMailSender::FillServerList(QStringList& Dest) {
    Dest.clear();
    if (FSession->Available())
        Dest = FSession->ProfileNames();
}

void TMAPIMailSender::DoCancel() {
    FSession->Cancel();
}

bool TMAPIMailSender::DoSendMessage(const TOutgoingMessage& AMessage) {
    if (!IsConnected() && !ConnectToServer(true))
        return false;
    ClearLastError();
    try {
        MailMessage message;
        message.From = SingleMailbox(AMessage.SenderName, AMessage.SenderEmail, "sender");
        message.To = {SingleMailbox(AMessage.ReceiverName, AMessage.ReceiverEmail, "recipient")};
        message.Cc = ParseAddressList(AMessage.CCList);
        if (!AMessage.ReplyEmail.trimmed().isEmpty())
            message.ReplyTo = ParseAddressList(AMessage.ReplyEmail);
        message.Subject = AMessage.Subject;
        message.Mailer = TDNSEmailSender::MailerName();
        message.PlainBody = AMessage.PlainBody;
        if (AMessage.IsHTML) {
            message.HtmlBody = AMessage.HTMLBody;
            message.InlineFiles = AMessage.InLineAttachments;
        }
        for (const TAttachementFile& file : AMessage.NormalAttachments)
            message.Attachments.append({file.FileName, file.LocalFile});

        QStringList recipients{message.To.first().Address};
        recipients += Addresses(AMessage.CCList);
        recipients += Addresses(AMessage.BCCList);
        const QStringList arguments = SubmitArguments(message.From.Address, CheckedAccount(), recipients);
        QByteArray mime = MimeComposer::Compose(message);
        mime.replace("\r\n", "\n");

        const TRwMAPISubmitResult result = FSession->Submit(arguments, mime);
        if (!result.Success) {
            SetLastError(Cancelled() ? CancelledText() : result.ErrorText);
            return false;
        }
        return true;
    } catch (const hostapi::EQVException& e) {
        SetLastError(e.Message());
        return false;
    }
}

QString MailProgramSettingsKey() {
    return QStringLiteral("MAILPROGRAM");
}

void RegisterMAPIMailSenderClass() {
    if (GRegistered)
        return;
    RegisterMessageSenderClass(
        msdMAPI,
        {[] { return std::unique_ptr<TCustomMessageSender>(new TMAPIMailSender()); },
         [](TCustomMessageSender& ASender, const TMessageSenderSettings& ASettings) {
             auto* sender = dynamic_cast<TMAPIMailSender*>(&ASender);
             QV_ASSERT(sender != nullptr);
             sender->SetAccountName(ASettings.MailServer.trimmed());
             sender->SetPassword(ASettings.SendPassword);
             QString program;
             if (ASettings.Settings != nullptr)
                 program = hostapi::StringDataToStr(
                     ASettings.Settings->ReadString(QStringLiteral("EMLMARK"), MailProgramSettingsKey()),
                     true);
             sender->SetMailProgram(program.isEmpty() ? TRwMAPISession::DefaultProgram() : program);
         }});
    GRegistered = true;
}

void UnRegisterMAPIMailSenderClass() {
    UnRegisterMessageSenderClass(msdMAPI);
    GRegistered = false;
}

} // namespace emailmarketing
