#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>

namespace emailmarketing {

// Result of one run of the mail submission program.
struct TRwMAPISubmitResult {
    bool Success = false;
    // Why the submission failed: the program's error output, or what went wrong with the run.
    QString ErrorText;
};

// The session with the system's mail submission program: the sendmail interface that every Linux
// MTA offers (postfix, exim, msmtp, nullmailer). Available means the program exists and is
// executable; logging on succeeds when it is available. The profiles are the account names of
// msmtp's configuration when msmtp is the program, otherwise there are none.
//
// Used by the one thread that owns it; Cancel may be called from any thread.
class TRwMAPISession {
public:
    static QString DefaultProgram();

    QString Program() const { return FProgram; }
    void SetProgram(const QString& Value) { FProgram = Value; }
    // Time limit of one submission.
    int TimeoutMs() const { return FTimeoutMs; }
    void SetTimeoutMs(int Value) { FTimeoutMs = Value; }

    bool Available() const;
    bool Active() const { return FActive; }
    // Answers whether the session is active now.
    bool Logon();
    void Logoff() { FActive = false; }

    // Whether the program is msmtp (its name, or the name of the file a link leads to).
    bool IsMsmtp() const;
    // The account names of msmtp's system and user configuration, in order, each once; empty when
    // the program is not msmtp.
    QStringList ProfileNames() const;

    // Runs the program with AArguments and AMessage on standard input and waits for it, at most
    // TimeoutMs. Never throws for a failure of the program.
    TRwMAPISubmitResult Submit(const QStringList& AArguments, const QByteArray& AMessage);

    // Ends a running submission soon (it then fails) and makes later ones fail at once.
    void Cancel() { FCancelled = true; }

    // The account names that an msmtp configuration text defines ("account NAME" or
    // "account NAME : PARENTS"), in order.
    static QStringList ParseMsmtpAccounts(const QString& AConfigText);
    // msmtp's configuration files: the system file, then the first user file that exists
    // (~/.msmtprc, then $XDG_CONFIG_HOME/msmtp/config).
    static QStringList MsmtpConfigFiles();

private:
    QString FProgram = DefaultProgram();
    int FTimeoutMs = 120000;
    bool FActive = false;
    std::atomic<bool> FCancelled{false};
};

} // namespace emailmarketing
