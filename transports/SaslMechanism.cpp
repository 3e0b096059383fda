#include "SaslMechanism.h"

namespace emailmarketing {

SaslMechanism::~SaslMechanism() = default;

void SaslMechanism::FinishAuthenticate() {}

SaslPlain::SaslPlain(const QString& AUser, const QString& APassword) : FUser(AUser), FPassword(APassword) {}

QString SaslPlain::ServiceName() const {
    return QStringLiteral("PLAIN");
}

QByteArray SaslPlain::Response() const {
    return QByteArray(1, '\0') + FUser.toUtf8() + QByteArray(1, '\0') + FPassword.toUtf8();
}

bool SaslPlain::TryStartAuthenticate(const QString&, const QString&, QByteArray& VInitialResponse) {
    VInitialResponse = Response();
    return true;
}

QByteArray SaslPlain::StartAuthenticate(const QByteArray&, const QString&, const QString&) {
    return Response();
}

QByteArray SaslPlain::ContinueAuthenticate(const QByteArray&, const QString&, const QString&) {
    return {};
}

SaslLogin::SaslLogin(const QString& AUser, const QString& APassword) : FUser(AUser), FPassword(APassword) {}

QString SaslLogin::ServiceName() const {
    return QStringLiteral("LOGIN");
}

bool SaslLogin::TryStartAuthenticate(const QString&, const QString&, QByteArray&) {
    return false;
}

QByteArray SaslLogin::StartAuthenticate(const QByteArray&, const QString&, const QString&) {
    return FUser.toUtf8();
}

QByteArray SaslLogin::ContinueAuthenticate(const QByteArray&, const QString&, const QString&) {
    return FPassword.toUtf8();
}

} // namespace emailmarketing
