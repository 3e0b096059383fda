#pragma once

#include "CustomMessageSender.h"
#include "RwMAPISession.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace emailmarketing {

// The transport of the device msdMAPI: hands each message to the system's mail submission program
// (TRwMAPISession), which sends it from its own account. The MIME text goes to the program's
// standard input with LF line ends; the envelope is given as arguments: -i, -f and the sender
// address, the msmtp account when one is chosen, then "--" and every To, Cc and Bcc address as an
// argument of its own. Bcc addresses never appear in the message's header. A missing attachment
// file fails the message.
class TMAPIMailSender : public TCustomMessageSender {
public:
    TMAPIMailSender();
    ~TMAPIMailSender() override;

    // The profile: an account of the program (msmtp); empty for the program's default.
    QString AccountName() const { return FAccountName; }
    void SetAccountName(const QString& Value) { FAccountName = Value; }
    // Kept for the list's settings; never handed to the program (it keeps its own credentials).
    QString Password() const { return FPassword; }
    void SetPassword(const QString& Value) { FPassword = Value; }
    // The mail submission program (absolute path).
    QString MailProgram() const { return FSession->Program(); }
    void SetMailProgram(const QString& Value) { FSession->SetProgram(Value); }
    TRwMAPISession& Session() { return *FSession; }

    void DisconnectFromServer() override;
    bool IsConnected() override;
    // The program's accounts (msmtp), else nothing.
    void FillServerList(QStringList& Dest) override;
    bool CanTimeOut() override { return false; }

    // The program's arguments for one message. ASender: the envelope sender; AAccount: passed as
    // --account when not empty; ARecipients: bare addresses. Throws EQVException for an address
    // that is empty, starts with "-" or holds blanks or control characters.
    static QStringList SubmitArguments(const QString& ASender, const QString& AAccount,
                                       const QStringList& ARecipients);
    // The bare addresses of an address list text (a quoted display name may hold a comma).
    static QStringList Addresses(const QString& AAddressList);
    // The text that a missing or unusable program gives in LastError, in the current language.
    static QString ProgramNotAvailableText(const QString& AProgram);

protected:
    bool DoSendMessage(const TOutgoingMessage& AMessage) override;
    bool DoConnectToServer(bool AResetLastError) override;
    void DoCancel() override;

private:
    // The account argument's value: AccountName when the program offers it; throws when it does
    // not; empty without an account.
    QString CheckedAccount() const;

    std::unique_ptr<TRwMAPISession> FSession;
    QString FAccountName;
    QString FPassword;
};

// Settings key (section "EMLMARK") of the mail program's path; empty: TRwMAPISession::DefaultProgram.
QString MailProgramSettingsKey();

// Registers the transport for msdMAPI in the transport class table (module load, tests); a second
// call does nothing until UnRegisterMAPIMailSenderClass.
void RegisterMAPIMailSenderClass();
void UnRegisterMAPIMailSenderClass();

} // namespace emailmarketing
