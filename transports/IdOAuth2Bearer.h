#pragma once

#include "SaslMechanism.h"

namespace emailmarketing {

// OAUTHBEARER (RFC 7628): authenticates with an OAuth2 access token. Initial response
// "n,a=" + User + "," + ^A + "host=" + Host + ^A + "port=" + Port + ^A + "auth=Bearer " + Token
// + ^A + ^A, with "=" and "," in the user name written "=3D" and "=2C" (RFC 5801). A further
// challenge (the server's error report) is answered with an empty response. Control characters in
// user, host or token are refused.
class TIdOAuth2Bearer : public SaslMechanism {
public:
    QString Token() const { return FToken; }
    void SetToken(const QString& Value) { FToken = Value; }
    QString Host() const { return FHost; }
    void SetHost(const QString& Value) { FHost = Value; }
    QString User() const { return FUser; }
    void SetUser(const QString& Value) { FUser = Value; }
    int Port() const { return FPort; }
    void SetPort(int Value) { FPort = Value; }

    QString ServiceName() const override;
    bool TryStartAuthenticate(const QString& AHost, const QString& AProtocolName,
                              QByteArray& VInitialResponse) override;
    QByteArray StartAuthenticate(const QByteArray& AChallenge, const QString& AHost,
                                 const QString& AProtocolName) override;
    QByteArray ContinueAuthenticate(const QByteArray& ALastResponse, const QString& AHost,
                                    const QString& AProtocolName) override;

private:
    QByteArray InitialResponse() const;

    QString FToken;
    QString FHost;
    QString FUser;
    int FPort = 0;
};

} // namespace emailmarketing
