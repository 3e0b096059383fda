#include "EmailListItem.h"

#include "DBFieldSchema.h"
#include "QVException.h"

#include <QReadLocker>
#include <QWriteLocker>

namespace emailmarketing {

int FieldFlagOfEmailStyle(TEmailStyle AStyle) {
    return AStyle == esSMS ? hostapi::fftMobile : hostapi::fftEmail;
}

bool TEmailListIdentity::operator==(const TEmailListIdentity& other) const {
    if (!ClientIdent.isEmpty() || !other.ClientIdent.isEmpty())
        return ClientIdent == other.ClientIdent && ClientListIdent == other.ClientListIdent;
    if (IDValue < 0 || other.IDValue < 0)
        return Object == other.Object;
    return IDValue == other.IDValue;
}

TEmailListItem::TEmailListItem() = default;

TEmailListItem::~TEmailListItem() = default;

// ---- plain properties -------------------------------------------------------------------------

qint32 TEmailListItem::IDValue() const {
    return Locked(FIDValue);
}

void TEmailListItem::SetIDValue(qint32 value) {
    Assign(FIDValue, value);
}

QString TEmailListItem::SectionName() const {
    return Locked(FSectionName);
}

void TEmailListItem::SetSectionName(const QString& value) {
    Assign(FSectionName, value);
}

QString TEmailListItem::Name() const {
    return Locked(FName);
}

void TEmailListItem::SetName(const QString& value) {
    Assign(FName, value);
}

bool TEmailListItem::Changed() const {
    return Locked(FChanged);
}

void TEmailListItem::SetChanged(bool value) {
    Assign(FChanged, value);
}

QString TEmailListItem::ClientIdent() const {
    return Locked(FClientIdent);
}

void TEmailListItem::SetClientIdent(const QString& value) {
    Assign(FClientIdent, value);
}

QString TEmailListItem::ClientListIdent() const {
    return Locked(FClientListIdent);
}

void TEmailListItem::SetClientListIdent(const QString& value) {
    Assign(FClientListIdent, value);
}

bool TEmailListItem::IsInUseByJob() const {
    return Locked(FIsInUseByJob);
}

void TEmailListItem::SetIsInUseByJob(bool value) {
    Assign(FIsInUseByJob, value);
}

QThread::Priority TEmailListItem::SendPriority() const {
    return Locked(FSendPriority);
}

void TEmailListItem::SetSendPriority(QThread::Priority value) {
    Assign(FSendPriority, value);
}

QThread::Priority TEmailListItem::PreparePriority() const {
    return Locked(FPreparePriority);
}

void TEmailListItem::SetPreparePriority(QThread::Priority value) {
    Assign(FPreparePriority, value);
}

TMacroList TEmailListItem::UserMacros() const {
    return Locked(FUserMacros);
}

void TEmailListItem::SetUserMacros(const TMacroList& value) {
    Assign(FUserMacros, value);
}

QStringList TEmailListItem::FieldsToIgnoreInSelection() const {
    return Locked(FFieldsToIgnoreInSelection);
}

void TEmailListItem::SetFieldsToIgnoreInSelection(const QStringList& value) {
    Assign(FFieldsToIgnoreInSelection, value);
}

hostapi::TQVFilterList TEmailListItem::AdvFilters() const {
    return Locked(FAdvFilters);
}

void TEmailListItem::SetAdvFilters(const hostapi::TQVFilterList& value) {
    Assign(FAdvFilters, value);
}

bool TEmailListItem::UseGlobalAddress() const {
    return Locked(FUseGlobalAddress);
}

void TEmailListItem::SetUseGlobalAddress(bool value) {
    Assign(FUseGlobalAddress, value);
}

bool TEmailListItem::UseGlobalMailServer() const {
    return Locked(FUseGlobalMailServer);
}

void TEmailListItem::SetUseGlobalMailServer(bool value) {
    Assign(FUseGlobalMailServer, value);
}

bool TEmailListItem::UseGlobalSMSProvider() const {
    return Locked(FUseGlobalSMSProvider);
}

void TEmailListItem::SetUseGlobalSMSProvider(bool value) {
    Assign(FUseGlobalSMSProvider, value);
}

bool TEmailListItem::UseGlobalRegisterService() const {
    return Locked(FUseGlobalRegisterService);
}

void TEmailListItem::SetUseGlobalRegisterService(bool value) {
    Assign(FUseGlobalRegisterService, value);
}

bool TEmailListItem::UseGlobalSendSettings() const {
    return Locked(FUseGlobalSendSettings);
}

void TEmailListItem::SetUseGlobalSendSettings(bool value) {
    Assign(FUseGlobalSendSettings, value);
}

TGetSchemaMacrosEvent TEmailListItem::OnGetSchemaMacros() const {
    return Locked(FOnGetSchemaMacros);
}

void TEmailListItem::SetOnGetSchemaMacros(TGetSchemaMacrosEvent value) {
    Assign(FOnGetSchemaMacros, std::move(value));
}

TGetGlobalAddressInfoEvent TEmailListItem::OnGetGlobalAddressInfo() const {
    return Locked(FOnGetGlobalAddressInfo);
}

void TEmailListItem::SetOnGetGlobalAddressInfo(TGetGlobalAddressInfoEvent value) {
    Assign(FOnGetGlobalAddressInfo, std::move(value));
}

TGetGlobalSMSSenderDeviceEvent TEmailListItem::OnGetGlobalSMSSenderDevice() const {
    return Locked(FOnGetGlobalSMSSenderDevice);
}

void TEmailListItem::SetOnGetGlobalSMSSenderDevice(TGetGlobalSMSSenderDeviceEvent value) {
    Assign(FOnGetGlobalSMSSenderDevice, std::move(value));
}

TGetGlobalSenderDeviceEvent TEmailListItem::OnGetGlobalSenderDevice() const {
    return Locked(FOnGetGlobalSenderDevice);
}

void TEmailListItem::SetOnGetGlobalSenderDevice(TGetGlobalSenderDeviceEvent value) {
    Assign(FOnGetGlobalSenderDevice, std::move(value));
}

TGetGlobalMailServerEvent TEmailListItem::OnGetGlobalMailServer() const {
    return Locked(FOnGetGlobalMailServer);
}

void TEmailListItem::SetOnGetGlobalMailServer(TGetGlobalMailServerEvent value) {
    Assign(FOnGetGlobalMailServer, std::move(value));
}

TGetGlobalRegisterServiceEvent TEmailListItem::OnGetGlobalRegisterService() const {
    return Locked(FOnGetGlobalRegisterService);
}

void TEmailListItem::SetOnGetGlobalRegisterService(TGetGlobalRegisterServiceEvent value) {
    Assign(FOnGetGlobalRegisterService, std::move(value));
}

TGetGlobalSendSettingsEvent TEmailListItem::OnGetGlobalSendSettings() const {
    return Locked(FOnGetGlobalSendSettings);
}

void TEmailListItem::SetOnGetGlobalSendSettings(TGetGlobalSendSettingsEvent value) {
    Assign(FOnGetGlobalSendSettings, std::move(value));
}

bool TEmailListItem::IsUserDefined() const {
    QReadLocker lock(&FLock);
    return FClientIdent.isEmpty();
}

TEmailListIdentity TEmailListItem::Identity() const {
    QReadLocker lock(&FLock);
    return {FIDValue, FClientIdent, FClientListIdent, this};
}

std::shared_ptr<TMacroList> TEmailListItem::GlobalTableMacros() const {
    TGetSchemaMacrosEvent handler;
    QString schemaName;
    {
        QReadLocker lock(&FLock);
        handler = FOnGetSchemaMacros;
        schemaName = FSectionName;
    }
    if (!handler)
        throw hostapi::EQVAssertion(QStringLiteral("OnGetSchemaMacros not assigned!"), __FILE__, __LINE__);
    std::shared_ptr<TMacroList> macros;
    handler(*this, schemaName, macros);
    return macros;
}

QStringList TEmailListItem::GetEmailFields(int AFieldFlag) const {
    QReadLocker lock(&FLock);
    return AFieldFlag == hostapi::fftMobile ? FMobileFields : FEmailFields;
}

void TEmailListItem::SetEmailFields(int AFieldFlag, const QStringList& value) {
    QWriteLocker lock(&FLock);
    (AFieldFlag == hostapi::fftMobile ? FMobileFields : FEmailFields) = value;
}

// ---- values with a global fallback ------------------------------------------------------------
// Each group: the own fields while its flag is clear; else the handler's answer to value-initialised
// variables, or the fixed defaults without a handler. Handlers run outside the lock.

TEmailListItem::TOwnSettings TEmailListItem::OwnSettings() const {
    QReadLocker lock(&FLock);
    return {FSenderName,
            FSenderEmail,
            FReplyToEmail,
            FMessageSenderDevice,
            FMailServer,
            FSendUserName,
            FSendPassword,
            FSendAuthentication,
            FSMSMessageSenderDevice,
            FRegisterServiceFilterEnabled,
            FFetchRegisterServiceBeforeSending,
            FSendPerUnits,
            FMailsPerUnit,
            FSendThreads,
            FUnitDelay,
            FThrottle,
            FChaotic};
}

TEmailListItem::TAddressInfo TEmailListItem::Address() const {
    TGetGlobalAddressInfoEvent handler;
    {
        QReadLocker lock(&FLock);
        if (!FUseGlobalAddress)
            return {FSenderName, FSenderEmail, FReplyToEmail};
        handler = FOnGetGlobalAddressInfo;
    }
    TAddressInfo info{};
    if (handler)
        handler(*this, info.Name, info.Email, info.ReplyToEmail);
    return info;
}

TMessageSenderDevice TEmailListItem::SenderDevice() const {
    TGetGlobalSenderDeviceEvent handler;
    {
        QReadLocker lock(&FLock);
        if (!FUseGlobalMailServer)
            return FMessageSenderDevice;
        handler = FOnGetGlobalSenderDevice;
    }
    if (!handler)
        return msdInternal;
    TMessageSenderDevice device{};
    handler(*this, device);
    return device;
}

TEmailListItem::TMailServerInfo TEmailListItem::MailServerInfo() const {
    TGetGlobalMailServerEvent handler;
    {
        QReadLocker lock(&FLock);
        if (!FUseGlobalMailServer)
            return {FMailServer, FSendUserName, FSendPassword, FSendAuthentication};
        handler = FOnGetGlobalMailServer;
    }
    TMailServerInfo info{};
    if (handler)
        handler(*this, info.MailServer, info.UserName, info.Password, info.Authentication);
    return info;
}

TSMSMessageSenderDevice TEmailListItem::SMSDevice() const {
    TGetGlobalSMSSenderDeviceEvent handler;
    {
        QReadLocker lock(&FLock);
        if (!FUseGlobalSMSProvider)
            return FSMSMessageSenderDevice;
        handler = FOnGetGlobalSMSSenderDevice;
    }
    if (!handler)
        return smsdASPSMS;
    TSMSMessageSenderDevice device{};
    handler(*this, device);
    return device;
}

TEmailListItem::TRegisterServiceInfo TEmailListItem::RegisterService() const {
    TGetGlobalRegisterServiceEvent handler;
    {
        QReadLocker lock(&FLock);
        if (!FUseGlobalRegisterService)
            return {FRegisterServiceFilterEnabled, FFetchRegisterServiceBeforeSending};
        handler = FOnGetGlobalRegisterService;
    }
    TRegisterServiceInfo info{};
    if (handler)
        handler(*this, info.FilterEnabled, info.FetchBeforeSend);
    return info;
}

TEmailListItem::TSendSettings TEmailListItem::SendSettings() const {
    TGetGlobalSendSettingsEvent handler;
    {
        QReadLocker lock(&FLock);
        if (!FUseGlobalSendSettings)
            return {FSendPerUnits, FMailsPerUnit, FSendThreads, FUnitDelay, FThrottle, FChaotic};
        handler = FOnGetGlobalSendSettings;
    }
    if (!handler)
        return {false, 1000, 1, 0, false, false};
    TSendSettings settings{};
    handler(*this, settings.UnitSend, settings.UnitCount, settings.SendThreads, settings.UnitDelay,
            settings.Throttle, settings.Chaotic);
    return settings;
}

QString TEmailListItem::SenderName() const {
    return Address().Name;
}

void TEmailListItem::SetSenderName(const QString& value) {
    Assign(FSenderName, value);
}

QString TEmailListItem::SenderEmail() const {
    return Address().Email;
}

void TEmailListItem::SetSenderEmail(const QString& value) {
    Assign(FSenderEmail, value);
}

QString TEmailListItem::ReplyToEmail() const {
    return Address().ReplyToEmail;
}

void TEmailListItem::SetReplyToEmail(const QString& value) {
    Assign(FReplyToEmail, value);
}

TMessageSenderDevice TEmailListItem::MessageSenderDevice() const {
    return SenderDevice();
}

void TEmailListItem::SetMessageSenderDevice(TMessageSenderDevice value) {
    Assign(FMessageSenderDevice, value);
}

QString TEmailListItem::MailServer() const {
    return MailServerInfo().MailServer;
}

void TEmailListItem::SetMailServer(const QString& value) {
    Assign(FMailServer, value);
}

QString TEmailListItem::SendUserName() const {
    return MailServerInfo().UserName;
}

void TEmailListItem::SetSendUserName(const QString& value) {
    Assign(FSendUserName, value);
}

QString TEmailListItem::SendPassword() const {
    return MailServerInfo().Password;
}

void TEmailListItem::SetSendPassword(const QString& value) {
    Assign(FSendPassword, value);
}

bool TEmailListItem::SendAuthentication() const {
    return MailServerInfo().Authentication;
}

void TEmailListItem::SetSendAuthentication(bool value) {
    Assign(FSendAuthentication, value);
}

TSMSMessageSenderDevice TEmailListItem::SMSMessageSenderDevice() const {
    return SMSDevice();
}

void TEmailListItem::SetSMSMessageSenderDevice(TSMSMessageSenderDevice value) {
    Assign(FSMSMessageSenderDevice, value);
}

bool TEmailListItem::RegisterServiceFilterEnabled() const {
    return RegisterService().FilterEnabled;
}

void TEmailListItem::SetRegisterServiceFilterEnabled(bool value) {
    Assign(FRegisterServiceFilterEnabled, value);
}

bool TEmailListItem::FetchRegisterServiceBeforeSending() const {
    return RegisterService().FetchBeforeSend;
}

void TEmailListItem::SetFetchRegisterServiceBeforeSending(bool value) {
    Assign(FFetchRegisterServiceBeforeSending, value);
}

bool TEmailListItem::SendPerUnits() const {
    return SendSettings().UnitSend;
}

void TEmailListItem::SetSendPerUnits(bool value) {
    Assign(FSendPerUnits, value);
}

int TEmailListItem::MailsPerUnit() const {
    return SendSettings().UnitCount;
}

void TEmailListItem::SetMailsPerUnit(int value) {
    Assign(FMailsPerUnit, value);
}

int TEmailListItem::SendThreads() const {
    return SendSettings().SendThreads;
}

void TEmailListItem::SetSendThreads(int value) {
    Assign(FSendThreads, value);
}

int TEmailListItem::UnitDelay() const {
    return SendSettings().UnitDelay;
}

void TEmailListItem::SetUnitDelay(int value) {
    Assign(FUnitDelay, value);
}

bool TEmailListItem::Throttle() const {
    return SendSettings().Throttle;
}

void TEmailListItem::SetThrottle(bool value) {
    Assign(FThrottle, value);
}

bool TEmailListItem::Chaotic() const {
    return SendSettings().Chaotic;
}

void TEmailListItem::SetChaotic(bool value) {
    Assign(FChaotic, value);
}

} // namespace emailmarketing
