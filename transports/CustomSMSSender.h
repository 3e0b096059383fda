#pragma once

#include "HttpClient.h"
#include "QVException.h"

#include <QString>
#include <QStringList>
#include <QUrl>

namespace emailmarketing {

// A failure of an SMS gateway: missing credentials, the service's refusal, or the network. The
// text names the gateway and the cause, never an address, a query or a request body (it is stored
// in the sent list).
class ESMSGatewayError : public hostapi::EQVException {
public:
    using EQVException::EQVException;
    ~ESMSGatewayError() override;
};

// Client of one SMS gateway service over HTTP(S): the account, one text, its recipients and the
// originator shown on the phone. Send raises ESMSGatewayError on every failure, also when the
// service answers HTTP 200 with an error status. Used by one thread; Cancel from any thread.
class TCustomSMSSender {
public:
    TCustomSMSSender();
    virtual ~TCustomSMSSender();
    TCustomSMSSender(const TCustomSMSSender&) = delete;
    TCustomSMSSender& operator=(const TCustomSMSSender&) = delete;

    QString UserName() const { return FUserName; }
    void SetUserName(const QString& Value) { FUserName = Value; }
    QString Password() const { return FPassword; }
    void SetPassword(const QString& Value) { FPassword = Value; }
    QString MessageText() const { return FMessageText; }
    void SetMessageText(const QString& Value) { FMessageText = Value; }
    QStringList& Recipients() { return FRecipients; }
    QString Originator() const { return FOriginator; }
    void SetOriginator(const QString& Value) { FOriginator = Value; }
    // The service's base address; empty: DefaultBaseUrl.
    QString BaseUrl() const { return FBaseUrl; }
    void SetBaseUrl(const QString& Value) { FBaseUrl = Value; }

    // The service's name in error texts.
    virtual QString GatewayName() const = 0;
    virtual QString DefaultBaseUrl() const = 0;
    // Sends MessageText to every recipient.
    virtual void Send() = 0;

    // Ends a running request soon and makes every later one fail at once.
    void Cancel() { FHttp.Cancel(); }

protected:
    // BaseUrl (or the default) + APath; raises when it is no http or https address.
    QUrl ServiceUrl(const QString& APath) const;
    // Raises unless user name and password are set.
    void CheckAccount() const;
    // CheckAccount, and raises unless there are recipients and none is blank.
    void CheckMessage() const;
    // Runs ARequest; every failure, a status of 400 and more included, raises ESMSGatewayError.
    hostapi::HttpResponse Execute(const hostapi::HttpRequest& ARequest);
    [[noreturn]] void RaiseUnreadableAnswer() const;
    // The service refused with the status AStatus and its text AInfo.
    [[noreturn]] void RaiseRefusal(const QString& AInfo, const QString& AStatus) const;

private:
    hostapi::HttpClient FHttp;
    QString FUserName;
    QString FPassword;
    QString FMessageText;
    QStringList FRecipients;
    QString FOriginator;
    QString FBaseUrl;
};

} // namespace emailmarketing
