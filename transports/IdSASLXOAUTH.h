#pragma once

#include "SaslMechanism.h"

namespace emailmarketing {

// XOAUTH2: authenticates with an OAuth2 access token. Initial response
// "user=" + User + ^A + "auth=Bearer " + Token + ^A + ^A (^A = U+0001); a further challenge (the
// server's error report) is answered with an empty response. A user or token holding a control
// character is refused (it would break the framing).
class TIdSASLXOAuth : public SaslMechanism {
public:
    QString Token() const { return FToken; }
    void SetToken(const QString& Value) { FToken = Value; }
    QString User() const { return FUser; }
    void SetUser(const QString& Value) { FUser = Value; }

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
    QString FUser;
};

// Throws EQVException naming the mechanism when AText holds a character below U+0020 or U+007F.
void RefuseControlCharacters(const QString& AText, const QString& AMechanism, const QString& AWhat);

} // namespace emailmarketing
