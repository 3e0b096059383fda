#include "ASPSMSMessageSender.h"

#include "ASPSMSSender.h"
#include "LOX24SMSSender.h"
#include "SettingsStore.h"
#include "StringData.h"

namespace emailmarketing {

namespace {

bool GRegistered = false;

const QString Section = QStringLiteral("EMLMARK");

template <typename TSender> TMessageSenderClass SMSMessageSenderClass() {
    return {[] { return std::unique_ptr<TCustomMessageSender>(new TSender()); },
            [](TCustomMessageSender& ASender, const TMessageSenderSettings& ASettings) {
                auto* sender = dynamic_cast<TSender*>(&ASender);
                QV_ASSERT(sender != nullptr);
                if (ASettings.Settings != nullptr)
                    sender->LoadSettings(*ASettings.Settings);
            }};
}

} // namespace

QString ASPSMSUrlSettingsKey() {
    return QStringLiteral("ASPSMSURL");
}

QString LOX24UrlSettingsKey() {
    return QStringLiteral("LOX24URL");
}

TCustomSMSMessageSender::TCustomSMSMessageSender(std::unique_ptr<TCustomSMSSender> ASMSSender)
    : FSMSSender(std::move(ASMSSender)) {}

TCustomSMSMessageSender::~TCustomSMSMessageSender() = default;

QString TCustomSMSMessageSender::ReadSetting(hostapi::ISettingsStore& ASettings, const QString& AKey) {
    return hostapi::StringDataToStr(ASettings.ReadString(Section, AKey), true);
}

void TCustomSMSMessageSender::LoadSettings(hostapi::ISettingsStore& /*ASettings*/) {}

bool TCustomSMSMessageSender::DoConnectToServer(bool /*AResetLastError*/) {
    return true;
}

void TCustomSMSMessageSender::DoCancel() {
    FSMSSender->Cancel();
}

bool TCustomSMSMessageSender::DoSendMessage(const TOutgoingMessage& AMessage) {
    try {
        FSMSSender->SetMessageText(AMessage.PlainBody);
        FSMSSender->Recipients().clear();
        FSMSSender->Recipients().append(AMessage.ReceiverEmail);
        FSMSSender->SetOriginator(AMessage.Subject);
        FSMSSender->Send();
        return true;
    } catch (const hostapi::EQVException& e) {
        SetLastError(Cancelled() ? CancelledText() : e.Message());
        return false;
    }
}

TASPSMSMessageSender::TASPSMSMessageSender() : TCustomSMSMessageSender(std::make_unique<TASPSMSSender>()) {}

void TASPSMSMessageSender::LoadSettings(hostapi::ISettingsStore& ASettings) {
    TCustomSMSMessageSender::LoadSettings(ASettings);
    SetUserName(ReadSetting(ASettings, QStringLiteral("ASPSMSUser")));
    SetPassword(ReadSetting(ASettings, QStringLiteral("ASPSMSPass")));
    SMSSender().SetBaseUrl(ReadSetting(ASettings, ASPSMSUrlSettingsKey()));
}

TLOX24SMSMessageSender::TLOX24SMSMessageSender()
    : TCustomSMSMessageSender(std::make_unique<TLOX24SMSSender>()) {}

void TLOX24SMSMessageSender::LoadSettings(hostapi::ISettingsStore& ASettings) {
    TCustomSMSMessageSender::LoadSettings(ASettings);
    SetUserName(ReadSetting(ASettings, QStringLiteral("LOX24ACC")));
    SetPassword(ReadSetting(ASettings, QStringLiteral("LOX24Pass")));
    static_cast<TLOX24SMSSender&>(SMSSender()).SetAPIID(ReadSetting(ASettings, QStringLiteral("LOX24APIID")));
    SMSSender().SetBaseUrl(ReadSetting(ASettings, LOX24UrlSettingsKey()));
}

void RegisterSMSMessageSenderClasses() {
    if (GRegistered)
        return;
    RegisterSMSMessageSenderClass(smsdASPSMS, SMSMessageSenderClass<TASPSMSMessageSender>());
    RegisterSMSMessageSenderClass(smsdLOX24, SMSMessageSenderClass<TLOX24SMSMessageSender>());
    GRegistered = true;
}

void UnRegisterSMSMessageSenderClasses() {
    UnRegisterSMSMessageSenderClass(smsdASPSMS);
    UnRegisterSMSMessageSenderClass(smsdLOX24);
    GRegistered = false;
}

} // namespace emailmarketing
