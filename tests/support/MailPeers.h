#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "LoopbackPort.h"

// In a test function: starts a peer (SmtpPeer, ScriptedSmtpPeer, DnsPeer) or fails the test.
#define START_PEER(peer)                                                                                     \
    do {                                                                                                     \
        QString startError;                                                                                  \
        QVERIFY2((peer).Start(startError), qPrintable(startError));                                          \
    } while (false)

namespace testsupport {

// Whether this machine has the IPv6 loopback address ::1 (tests of it skip when not).
bool HasIPv6Loopback();

// A message file as parsed by tests/peers/parse-mail (Python's email package), as its JSON.
QJsonObject ParseMail(const QString& AMessageFile);

// The scripted SMTP server tests/peers/smtp-server (aiosmtpd) in a temporary folder of its own,
// started by Start and stopped by the destructor. Arguments as the script documents them.
class SmtpPeer {
public:
    explicit SmtpPeer(const QStringList& AArguments = {});
    ~SmtpPeer();
    SmtpPeer(const SmtpPeer&) = delete;
    SmtpPeer& operator=(const SmtpPeer&) = delete;

    // Starts the server and waits until it listens; False with AError set when it does not.
    bool Start(QString& AError);
    quint16 Port() const { return FPort; }
    QString Dir() const { return FDir.path(); }

    // Received messages, in order of arrival (paths of N.eml).
    QStringList Messages() const;
    // A received message as parsed by tests/peers/parse-mail (Python's email package).
    QJsonObject Parsed(const QString& AMessageFile) const;
    // The envelope of a received message: {"mail_from", "rcpt_tos"}.
    QJsonObject Envelope(const QString& AMessageFile) const;
    // The AUTH attempts, one object per line of auth.jsonl.
    QList<QJsonObject> AuthLog() const;
    // Connections greeted with 421 because the server's --max-sessions were open.
    int RefusedSessions() const;
    // Waits up to AMs for the server to hold a connection by a "stall" rule.
    bool WaitForStall(int AMs) const;
    // Writes AJson as the server's rules file and passes it with --rules (call before Start).
    void SetRules(const QByteArray& AJson);

private:
    QTemporaryDir FDir;
    QStringList FArguments;
    QProcess FProcess;
    quint16 FPort = 0;
};

// tests/peers/hostile-mx: a mail exchanger that fails before the transaction (AMode: a full backlog,
// no greeting, a 421 or 554 greeting, a broken or refused STARTTLS), on AHost:APort.
class HostileMxPeer {
public:
    HostileMxPeer(const QString& AMode, const QString& AHost, quint16 APort);
    ~HostileMxPeer();
    HostileMxPeer(const HostileMxPeer&) = delete;
    HostileMxPeer& operator=(const HostileMxPeer&) = delete;

    bool Start(QString& AError);
    // Messages taken in plain text (paths of N.eml, in order of arrival).
    QStringList Messages() const;
    // How many connections the exchanger accepted.
    int Connections() const;

private:
    QTemporaryDir FDir;
    QStringList FArguments;
    QProcess FProcess;
};

// dnsmasq through tests/peers/dns-server on 127.0.0.1 and a free port, with the given records.
class DnsPeer {
public:
    explicit DnsPeer(const QStringList& ARecords);
    ~DnsPeer();
    DnsPeer(const DnsPeer&) = delete;
    DnsPeer& operator=(const DnsPeer&) = delete;

    bool Start(QString& AError);
    quint16 Port() const { return FPort; }
    // "127.0.0.1:<port>", as a DNS server setting.
    QString Server() const;
    // How often a name was asked for with a type ("MX", "A"), letter case ignored.
    int QueryCount(const QString& AType, const QString& AName) const;

private:
    QTemporaryDir FDir;
    QStringList FRecords;
    QProcess FProcess;
    quint16 FPort = 0;
};

// A throw-away CA and a server certificate for 127.0.0.1 and localhost signed by it
// (tests/peers/make-test-certs), in a temporary folder of their own.
class TestCertificates {
public:
    bool Make(QString& AError);
    QString CaFile() const { return FDir.filePath(QStringLiteral("ca.pem")); }
    QString CertFile() const { return FDir.filePath(QStringLiteral("server.pem")); }
    QString KeyFile() const { return FDir.filePath(QStringLiteral("server.key")); }

private:
    QTemporaryDir FDir;
};

// tests/peers/smtp-script-server: an SMTP server that plays a JSON script per connection (the
// script documents the steps), for servers that misbehave on purpose.
class ScriptedSmtpPeer {
public:
    // AScript: {"connections": [[step, ...], ...]}; ACertificates for TLS steps (may be null).
    explicit ScriptedSmtpPeer(const QByteArray& AScript, const TestCertificates* ACertificates = nullptr);
    ~ScriptedSmtpPeer();
    ScriptedSmtpPeer(const ScriptedSmtpPeer&) = delete;
    ScriptedSmtpPeer& operator=(const ScriptedSmtpPeer&) = delete;

    bool Start(QString& AError);
    quint16 Port() const { return FPort; }
    // The log entries ({"conn", "line" | "data" | "event"}), in order.
    QList<QJsonObject> Log() const;
    // The command lines connection AConnection read.
    QStringList Lines(int AConnection) const;
    // How many connections the server took.
    int Connections() const;
    // Waits up to AMs for a "mark" step to create AName.
    bool WaitForMark(const QString& AName, int AMs) const;

private:
    QTemporaryDir FDir;
    QStringList FArguments;
    QProcess FProcess;
    quint16 FPort = 0;
};

} // namespace testsupport
