#include "AuthProviderItem.h"

#include "IdOAuth2Bearer.h"
#include "IdSASLXOAUTH.h"
#include "OAuth2Authenticator.h"

#include <QJsonArray>
#include <QJsonValue>

namespace emailmarketing {

namespace {

QString DefaultProtocol(const QJsonObject& AValues, const QString& ADirection) {
    return AValues.value(QStringLiteral("transport"))
        .toObject()
        .value(ADirection)
        .toObject()
        .value(QStringLiteral("default-protocol"))
        .toString();
}

} // namespace

TAuthProviderItem::TAuthProviderItem(QJsonObject AJson) : FValues(std::move(AJson)) {}
TAuthProviderItem::~TAuthProviderItem() = default;

QString TAuthProviderItem::Text(const QString& AKey) const {
    const QJsonValue value = FValues.value(AKey);
    if (value.isDouble())
        return value.toVariant().toString();
    return value.toString();
}

int TAuthProviderItem::Integer(const QString& AKey) const {
    const QJsonValue value = FValues.value(AKey);
    if (value.isDouble())
        return value.toInt();
    return value.toString().trimmed().toInt();
}

QString TAuthProviderItem::AuthName() const {
    return Text(QStringLiteral("AuthName"));
}

QString TAuthProviderItem::Caption() const {
    return Text(QStringLiteral("Caption"));
}

TSASLClass TAuthProviderItem::SASLClass() const {
    const QString type = Text(QStringLiteral("AuthenticationType"));
    if (type == QLatin1String("OAUTHBEARER"))
        return TSASLClass::IdOAuth2Bearer;
    if (type == QLatin1String("XOAUTH2"))
        return TSASLClass::IdSASLXOAuth;
    return TSASLClass::None;
}

QString TAuthProviderItem::SendingDefaultTransportProtocol() const {
    return DefaultProtocol(FValues, QStringLiteral("sending"));
}

QString TAuthProviderItem::ReceivingDefaultTransportProtocol() const {
    return DefaultProtocol(FValues, QStringLiteral("receiving"));
}

std::optional<QJsonObject> TAuthProviderItem::Protocol(const QString& AProt) const {
    const QJsonArray protocols = FValues.value(QStringLiteral("protocols")).toArray();
    for (const QJsonValue& entry : protocols) {
        const QJsonObject protocol = entry.toObject();
        if (entry.isObject() && protocol.value(QStringLiteral("name")).toString() == AProt)
            return protocol;
    }
    return std::nullopt;
}

std::shared_ptr<SaslMechanism> TAuthProviderItem::CreateSASL(const QString& AAccessToken,
                                                             const QString& AUserName, const QString& AHost,
                                                             int APort) {
    const TSASLClass saslClass = SASLClass();
    if (saslClass == TSASLClass::None)
        throw EOAuth2Exception(
            QStringLiteral("The provider \"%1\" names no SASL mechanism.").arg(AuthName()));
    std::lock_guard lock(FSASLLock);
    for (const auto& mechanism : FOwnedSASLList) {
        if (auto* bearer = dynamic_cast<TIdOAuth2Bearer*>(mechanism.get())) {
            if (bearer->Host() == AHost && bearer->Port() == APort && bearer->User() == AUserName) {
                bearer->SetToken(AAccessToken);
                return mechanism;
            }
        } else if (auto* xoauth = dynamic_cast<TIdSASLXOAuth*>(mechanism.get())) {
            if (xoauth->User() == AUserName) {
                xoauth->SetToken(AAccessToken);
                return mechanism;
            }
        }
    }
    if (saslClass == TSASLClass::IdOAuth2Bearer) {
        auto bearer = std::make_shared<TIdOAuth2Bearer>();
        bearer->SetToken(AAccessToken);
        bearer->SetHost(AHost);
        bearer->SetPort(APort);
        bearer->SetUser(AUserName);
        FOwnedSASLList.push_back(bearer);
        return bearer;
    }
    auto xoauth = std::make_shared<TIdSASLXOAuth>();
    xoauth->SetToken(AAccessToken);
    xoauth->SetUser(AUserName);
    FOwnedSASLList.push_back(xoauth);
    return xoauth;
}

} // namespace emailmarketing
