#pragma once

#include "CustomMessageSender.h"
#include "CustomSMSSender.h"

#include <memory>

namespace hostapi {
class ISettingsStore;
}

namespace emailmarketing {

// The SMS transports: one SMS per message through a gateway client. The plain body is the text,
// the receiver's address field the number (unchanged), the subject the originator. There is no
// connection: ConnectToServer answers True.
class TCustomSMSMessageSender : public TCustomMessageSender {
public:
    ~TCustomSMSMessageSender() override;

    QString UserName() const { return FSMSSender->UserName(); }
    void SetUserName(const QString& Value) { FSMSSender->SetUserName(Value); }
    QString Password() const { return FSMSSender->Password(); }
    void SetPassword(const QString& Value) { FSMSSender->SetPassword(Value); }
    TCustomSMSSender& SMSSender() { return *FSMSSender; }

    void DisconnectFromServer() override {}
    bool IsConnected() override { return true; }

    // Reads the account and the gateway's address from section "EMLMARK" of ASettings.
    virtual void LoadSettings(hostapi::ISettingsStore& ASettings);

protected:
    explicit TCustomSMSMessageSender(std::unique_ptr<TCustomSMSSender> ASMSSender);

    bool DoSendMessage(const TOutgoingMessage& AMessage) override;
    bool DoConnectToServer(bool AResetLastError) override;
    void DoCancel() override;

    // A text setting of section "EMLMARK".
    static QString ReadSetting(hostapi::ISettingsStore& ASettings, const QString& AKey);

private:
    std::unique_ptr<TCustomSMSSender> FSMSSender;
};

// smsdASPSMS. Settings: "ASPSMSUser", "ASPSMSPass", and the base address ASPSMSUrlSettingsKey.
class TASPSMSMessageSender : public TCustomSMSMessageSender {
public:
    TASPSMSMessageSender();
    void LoadSettings(hostapi::ISettingsStore& ASettings) override;
};

// smsdLOX24. Settings: "LOX24ACC", "LOX24Pass", "LOX24APIID", and the base address
// LOX24UrlSettingsKey.
class TLOX24SMSMessageSender : public TCustomSMSMessageSender {
public:
    TLOX24SMSMessageSender();
    void LoadSettings(hostapi::ISettingsStore& ASettings) override;
};

// Keys (section "EMLMARK") of the gateways' base addresses; empty values mean the services' own.
QString ASPSMSUrlSettingsKey();
QString LOX24UrlSettingsKey();

// Registers both SMS transports in the SMS transport class table (module load, tests); a second
// call does nothing until UnRegisterSMSMessageSenderClasses.
void RegisterSMSMessageSenderClasses();
void UnRegisterSMSMessageSenderClasses();

} // namespace emailmarketing
