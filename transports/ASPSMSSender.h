#pragma once

#include "CustomSMSSender.h"

namespace emailmarketing {

// The ASPSMS JSON API: POST <base>/SendSimpleTextSMS, success is "StatusCode" "1"; every other
// status fails with the service's "StatusInfo".
class TASPSMSSender : public TCustomSMSSender {
public:
    QString GatewayName() const override { return QStringLiteral("ASPSMS"); }
    QString DefaultBaseUrl() const override { return QStringLiteral("https://json.aspsms.com"); }
    void Send() override;
    // The account's credits as the service gives them (a number as text).
    QString CheckCredits();

    // The request bodies and the reading of an answer, exposed for tests.
    static QByteArray SendRequestBody(const QString& AUserName, const QString& APassword,
                                      const QString& AOriginator, const QStringList& ARecipients,
                                      const QString& AText);
    static QByteArray CreditsRequestBody(const QString& AUserName, const QString& APassword);

private:
    // POSTs the JSON ABody to APath and answers the answer's body.
    QByteArray Post(const QString& APath, const QByteArray& ABody);
    // Raises unless AAnswer is a JSON object with "StatusCode" 1.
    void CheckStatus(const QByteArray& AAnswer) const;
};

} // namespace emailmarketing
