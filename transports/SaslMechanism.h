#pragma once

#include <QByteArray>
#include <QString>

namespace emailmarketing {

// One SASL mechanism as the SMTP client drives it (RFC 4954). Responses are raw bytes; the client
// base64-encodes them. The flow:
//   TryStartAuthenticate answers True with an initial response: "AUTH <name> <response>";
//   else "AUTH <name>" and the server's first 334 challenge goes to StartAuthenticate;
//   every further 334 challenge goes to ContinueAuthenticate; 235 ends it.
// A mechanism throws EQVException when its credentials cannot be sent (the text never holds them).
class SaslMechanism {
public:
    virtual ~SaslMechanism();

    virtual QString ServiceName() const = 0;
    virtual bool TryStartAuthenticate(const QString& AHost, const QString& AProtocolName,
                                      QByteArray& VInitialResponse) = 0;
    virtual QByteArray StartAuthenticate(const QByteArray& AChallenge, const QString& AHost,
                                         const QString& AProtocolName) = 0;
    virtual QByteArray ContinueAuthenticate(const QByteArray& ALastResponse, const QString& AHost,
                                            const QString& AProtocolName) = 0;
    virtual void FinishAuthenticate();
};

// PLAIN (RFC 4616): one initial response "\0user\0password".
class SaslPlain : public SaslMechanism {
public:
    SaslPlain(const QString& AUser, const QString& APassword);

    QString ServiceName() const override;
    bool TryStartAuthenticate(const QString& AHost, const QString& AProtocolName,
                              QByteArray& VInitialResponse) override;
    QByteArray StartAuthenticate(const QByteArray& AChallenge, const QString& AHost,
                                 const QString& AProtocolName) override;
    QByteArray ContinueAuthenticate(const QByteArray& ALastResponse, const QString& AHost,
                                    const QString& AProtocolName) override;

private:
    QByteArray Response() const;

    QString FUser;
    QString FPassword;
};

// LOGIN: the user name answers the first challenge, the password the second.
class SaslLogin : public SaslMechanism {
public:
    SaslLogin(const QString& AUser, const QString& APassword);

    QString ServiceName() const override;
    bool TryStartAuthenticate(const QString& AHost, const QString& AProtocolName,
                              QByteArray& VInitialResponse) override;
    QByteArray StartAuthenticate(const QByteArray& AChallenge, const QString& AHost,
                                 const QString& AProtocolName) override;
    QByteArray ContinueAuthenticate(const QByteArray& ALastResponse, const QString& AHost,
                                    const QString& AProtocolName) override;

private:
    QString FUser;
    QString FPassword;
};

} // namespace emailmarketing
