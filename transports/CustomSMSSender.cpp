#include "CustomSMSSender.h"

#include "TransportsLog.h"

namespace emailmarketing {

ESMSGatewayError::~ESMSGatewayError() = default;

TCustomSMSSender::TCustomSMSSender() = default;

TCustomSMSSender::~TCustomSMSSender() = default;

QUrl TCustomSMSSender::ServiceUrl(const QString& APath) const {
    QString base = FBaseUrl.trimmed().isEmpty() ? DefaultBaseUrl() : FBaseUrl.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QUrl url(base + APath, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery())
        throw ESMSGatewayError(
            QStringLiteral("The address set for the SMS gateway %1 is no valid http or https address.")
                .arg(GatewayName()));
    return url;
}

void TCustomSMSSender::CheckAccount() const {
    if (FUserName.isEmpty() || FPassword.isEmpty())
        throw ESMSGatewayError(
            QStringLiteral("No account (user name and password) is set for the SMS gateway %1.")
                .arg(GatewayName()));
}

void TCustomSMSSender::CheckMessage() const {
    CheckAccount();
    bool blank = FRecipients.isEmpty();
    for (const QString& recipient : FRecipients)
        blank = blank || recipient.trimmed().isEmpty();
    if (blank)
        throw ESMSGatewayError(QStringLiteral("The SMS has no recipient number."));
}

hostapi::HttpResponse TCustomSMSSender::Execute(const hostapi::HttpRequest& ARequest) {
    try {
        return FHttp.Execute(ARequest);
    } catch (const hostapi::EHttpCancelled&) {
        throw ESMSGatewayError(QStringLiteral("Sending the SMS was cancelled."));
    } catch (const hostapi::EHttpStatusException& e) {
        throw ESMSGatewayError(QStringLiteral("The SMS gateway %1 answered with HTTP status %2.")
                                   .arg(GatewayName())
                                   .arg(e.Status()));
    } catch (const hostapi::EHttpException&) {
        // The client's text names the address, whose query may carry credentials: not passed on.
        throw ESMSGatewayError(
            QStringLiteral("The SMS gateway %1 could not be reached (no connection or no answer in time).")
                .arg(GatewayName()));
    }
}

void TCustomSMSSender::RaiseUnreadableAnswer() const {
    throw ESMSGatewayError(
        QStringLiteral("The SMS gateway %1 gave an answer that cannot be read.").arg(GatewayName()));
}

void TCustomSMSSender::RaiseRefusal(const QString& AInfo, const QString& AStatus) const {
    throw ESMSGatewayError(QStringLiteral("The SMS gateway %1 refused: %2 (status %3)")
                               .arg(GatewayName(), AInfo.isEmpty() ? QStringLiteral("-") : AInfo,
                                    AStatus.isEmpty() ? QStringLiteral("-") : AStatus));
}

} // namespace emailmarketing
