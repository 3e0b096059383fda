#pragma once

#include "SaslMechanism.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace emailmarketing {

// The SASL mechanism a provider names for SMTP.
enum class TSASLClass { None, IdSASLXOAuth, IdOAuth2Bearer };

// One provider definition file ("<AuthName>.authprovider.json"). A missing key reads as empty text,
// 0, or an empty object or array. The values never change after creation; the SASL mechanisms made
// for the provider are kept and reused (CreateSASL may be called from several threads).
class TAuthProviderItem {
public:
    explicit TAuthProviderItem(QJsonObject AJson);
    ~TAuthProviderItem();
    TAuthProviderItem(const TAuthProviderItem&) = delete;
    TAuthProviderItem& operator=(const TAuthProviderItem&) = delete;

    const QJsonObject& Values() const { return FValues; }
    QString AuthName() const;
    QString Caption() const;
    // "OAUTHBEARER" or "XOAUTH2", compared exactly; any other value: none.
    TSASLClass SASLClass() const;
    QString SendingDefaultTransportProtocol() const;
    QString ReceivingDefaultTransportProtocol() const;
    // The first element of "protocols" whose "name" equals AProt exactly.
    std::optional<QJsonObject> Protocol(const QString& AProt) const;

    // A string value (a number is read as its text); empty when missing.
    QString Text(const QString& AKey) const;
    // An integer value (a string of digits is read as its number); 0 when missing or no integer.
    int Integer(const QString& AKey) const;

    // The provider's SASL mechanism carrying the token. An XOAUTH2 object made earlier for the same
    // user, or an OAUTHBEARER object made for the same user, host and port, is answered again with
    // the new token; otherwise a new one is made and kept. Throws EOAuth2Exception when the provider
    // names no mechanism.
    std::shared_ptr<SaslMechanism> CreateSASL(const QString& AAccessToken, const QString& AUserName,
                                              const QString& AHost, int APort);

private:
    QJsonObject FValues;
    std::mutex FSASLLock; // guards FOwnedSASLList
    std::vector<std::shared_ptr<SaslMechanism>> FOwnedSASLList;
};

} // namespace emailmarketing
