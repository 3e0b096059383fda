#pragma once

#include "CustomSMSSender.h"

#include <QUrl>

namespace emailmarketing {

// The LOX24 HTTP API: GET <base>/API/httpsms.php with the account, the MD5 of the password, the
// API id, the text, recipient and originator; the answer <answer><code/><info/></answer> with
// code 100 is success, every other code fails with its info.
class TLOX24SMSSender : public TCustomSMSSender {
public:
    // The API id (tariff) of the account.
    QString APIID() const { return FAPIID; }
    void SetAPIID(const QString& Value) { FAPIID = Value; }

    QString GatewayName() const override { return QStringLiteral("LOX24"); }
    QString DefaultBaseUrl() const override { return QStringLiteral("https://www.lox24.eu"); }
    void Send() override;

    // Whether AText needs the Unicode encoding: it holds a character outside the GSM 03.38
    // alphabet and its extension table.
    static bool NeedsUnicode(const QString& AText);
    // The query of one send (every value percent-encoded as UTF-8).
    static QString SendQuery(const QString& AAccount, const QString& APassword, const QString& AAPIID,
                             const QString& AText, const QString& ARecipient, const QString& AOriginator);
    // Raises the service's refusal unless AAnswer carries code 100.
    void CheckAnswer(const QByteArray& AAnswer) const;

private:
    QString FAPIID;
};

} // namespace emailmarketing
