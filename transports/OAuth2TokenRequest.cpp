#include "OAuth2TokenRequest.h"

#include "HttpClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace emailmarketing {

namespace {

std::optional<QString> Text(const QJsonObject& AObject, const QString& AName) {
    const QJsonValue value = AObject.value(AName);
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return value.toVariant().toString();
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return std::nullopt;
}

int WholeSeconds(const QJsonValue& AValue) {
    if (AValue.isDouble()) {
        const double seconds = AValue.toDouble();
        if (seconds == double(qint64(seconds)) && seconds >= INT_MIN && seconds <= INT_MAX)
            return int(seconds);
        return -1;
    }
    bool ok = false;
    const int seconds = AValue.toString().trimmed().toInt(&ok);
    return ok ? seconds : -1;
}

} // namespace

TOAuth2TokenResponse TOAuth2TokenResponse::Parse(const QByteArray& ABody) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(ABody, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw EOAuth2Exception(QStringLiteral("The token endpoint's answer is no JSON object."));
    const QJsonObject object = document.object();
    TOAuth2TokenResponse response;
    response.AccessToken = Text(object, QStringLiteral("access_token"));
    response.RefreshToken = Text(object, QStringLiteral("refresh_token"));
    response.IDToken = Text(object, QStringLiteral("id_token"));
    response.TokenType = Text(object, QStringLiteral("token_type"));
    if (object.contains(QStringLiteral("expires_in")))
        response.ExpiresIn = WholeSeconds(object.value(QStringLiteral("expires_in")));
    return response;
}

TOAuth2TokenRequest::TOAuth2TokenRequest() : FHttp(std::make_unique<hostapi::HttpClient>()) {}
TOAuth2TokenRequest::~TOAuth2TokenRequest() = default;

TOAuth2TokenResponse TOAuth2TokenRequest::Post(const QString& AEndpoint,
                                               const OAuth2Parameters& AParameters) {
    hostapi::HttpRequest request;
    request.Method = "POST";
    request.Url = QUrl(AEndpoint);
    request.Headers = {{"Content-Type", "application/x-www-form-urlencoded"}, {"Accept", "application/json"}};
    request.Body = FormEncode(AParameters);
    hostapi::HttpResponse response;
    try {
        response = FHttp->Execute(request);
    } catch (const hostapi::EHttpStatusException& e) {
        throw EOAuth2Exception(ErrorText(e.Status(), e.Reason(), e.Body()));
    }
    if (response.Status < 200 || response.Status > 299)
        throw EOAuth2Exception(ErrorText(response.Status, response.Reason, response.Body));
    return TOAuth2TokenResponse::Parse(response.Body);
}

void TOAuth2TokenRequest::Cancel() {
    FHttp->Cancel();
}

QString TOAuth2TokenRequest::ErrorText(int AStatus, const QByteArray& AReason, const QByteArray& ABody) {
    const QString reason = AReason.trimmed().isEmpty() ? QStringLiteral("HTTP %1").arg(AStatus)
                                                       : QString::fromUtf8(AReason.trimmed());
    const QJsonObject object = QJsonDocument::fromJson(ABody).object();
    QString message = object.value(QStringLiteral("error_description")).toString();
    if (message.isEmpty())
        message = object.value(QStringLiteral("error")).toString();
    if (message.isEmpty())
        message = QStringLiteral("HTTP status %1").arg(AStatus);
    return reason + QStringLiteral(": ") + message;
}

} // namespace emailmarketing
