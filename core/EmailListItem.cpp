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
    return IDValue == other.IDValue;
}

TEmailListItem::TEmailListItem() = default;

TEmailListItem::~TEmailListItem() = default;

// ---- plain properties -------------------------------------------------------------------------

qint32 TEmailListItem::IDValue() const {
    QReadLocker lock(&FLock);
    return FIDValue;
}

void TEmailListItem::SetIDValue(qint32 value) {
    QWriteLocker lock(&FLock);
    FIDValue = value;
}

QString TEmailListItem::SectionName() const {
    QReadLocker lock(&FLock);
    return FSectionName;
}

void TEmailListItem::SetSectionName(const QString& value) {
    QWriteLocker lock(&FLock);
    FSectionName = value;
}

QString TEmailListItem::Name() const {
    QReadLocker lock(&FLock);
    return FName;
}

void TEmailListItem::SetName(const QString& value) {
    QWriteLocker lock(&FLock);
    FName = value;
}

bool TEmailListItem::Changed() const {
    QReadLocker lock(&FLock);
    return FChanged;
}

void TEmailListItem::SetChanged(bool value) {
    QWriteLocker lock(&FLock);
    FChanged = value;
}

QString TEmailListItem::ClientIdent() const {
    QReadLocker lock(&FLock);
    return FClientIdent;
}

void TEmailListItem::SetClientIdent(const QString& value) {
    QWriteLocker lock(&FLock);
    FClientIdent = value;
}

QString TEmailListItem::ClientListIdent() const {
    QReadLocker lock(&FLock);
    return FClientListIdent;
}

void TEmailListItem::SetClientListIdent(const QString& value) {
    QWriteLocker lock(&FLock);
    FClientListIdent = value;
}

bool TEmailListItem::IsInUseByJob() const {
    QReadLocker lock(&FLock);
    return FIsInUseByJob;
}

void TEmailListItem::SetIsInUseByJob(bool value) {
    QWriteLocker lock(&FLock);
    FIsInUseByJob = value;
}

QThread::Priority TEmailListItem::SendPriority() const {
    QReadLocker lock(&FLock);
    return FSendPriority;
}

void TEmailListItem::SetSendPriority(QThread::Priority value) {
    QWriteLocker lock(&FLock);
    FSendPriority = value;
}

QThread::Priority TEmailListItem::PreparePriority() const {
    QReadLocker lock(&FLock);
    return FPreparePriority;
}

void TEmailListItem::SetPreparePriority(QThread::Priority value) {
    QWriteLocker lock(&FLock);
    FPreparePriority = value;
}

TMacroList TEmailListItem::UserMacros() const {
    QReadLocker lock(&FLock);
    return FUserMacros;
}

void TEmailListItem::SetUserMacros(const TMacroList& value) {
    QWriteLocker lock(&FLock);
    FUserMacros = value;
}

QStringList TEmailListItem::FieldsToIgnoreInSelection() const {
    QReadLocker lock(&FLock);
    return FFieldsToIgnoreInSelection;
}

void TEmailListItem::SetFieldsToIgnoreInSelection(const QStringList& value) {
    QWriteLocker lock(&FLock);
    FFieldsToIgnoreInSelection = value;
}

hostapi::TQVFilterList TEmailListItem::AdvFilters() const {
    QReadLocker lock(&FLock);
    return FAdvFilters;
}

void TEmailListItem::SetAdvFilters(const hostapi::TQVFilterList& value) {
    QWriteLocker lock(&FLock);
    FAdvFilters = value;
}

bool TEmailListItem::UseGlobalAddress() const {
    QReadLocker lock(&FLock);
    return FUseGlobalAddress;
}

void TEmailListItem::SetUseGlobalAddress(bool value) {
    QWriteLocker lock(&FLock);
    FUseGlobalAddress = value;
}

bool TEmailListItem::UseGlobalMailServer() const {
    QReadLocker lock(&FLock);
    return FUseGlobalMailServer;
}

void TEmailListItem::SetUseGlobalMailServer(bool value) {
    QWriteLocker lock(&FLock);
    FUseGlobalMailServer = value;
}

bool TEmailListItem::UseGlobalSMSProvider() const {
    QReadLocker lock(&FLock);
    return FUseGlobalSMSProvider;
}

void TEmailListItem::SetUseGlobalSMSProvider(bool value) {
    QWriteLocker lock(&FLock);
    FUseGlobalSMSProvider = value;
}

bool TEmailListItem::UseGlobalRegisterService() const {
    QReadLocker lock(&FLock);
    return FUseGlobalRegisterService;
}

void TEmailListItem::SetUseGlobalRegisterService(bool value) {
    QWriteLocker lock(&FLock);
    FUseGlobalRegisterService = value;
}

bool TEmailListItem::UseGlobalSendSettings() const {
    QReadLocker lock(&FLock);
    return FUseGlobalSendSettings;
}

void TEmailListItem::SetUseGlobalSendSettings(bool value) {
    QWriteLocker lock(&FLock);
    FUseGlobalSendSettings = value;
}

TGetSchemaMacrosEvent TEmailListItem::OnGetSchemaMacros() const {
    QReadLocker lock(&FLock);
    return FOnGetSchemaMacros;
}

void TEmailListItem::SetOnGetSchemaMacros(TGetSchemaMacrosEvent value) {
    QWriteLocker lock(&FLock);
    FOnGetSchemaMacros = std::move(value);
}

TGetGlobalAddressInfoEvent TEmailListItem::OnGetGlobalAddressInfo() const {
    QReadLocker lock(&FLock);
    return FOnGetGlobalAddressInfo;
}

void TEmailListItem::SetOnGetGlobalAddressInfo(TGetGlobalAddressInfoEvent value) {
    QWriteLocker lock(&FLock);
    FOnGetGlobalAddressInfo = std::move(value);
}

TGetGlobalSMSSenderDeviceEvent TEmailListItem::OnGetGlobalSMSSenderDevice() const {
    QReadLocker lock(&FLock);
    return FOnGetGlobalSMSSenderDevice;
}

void TEmailListItem::SetOnGetGlobalSMSSenderDevice(TGetGlobalSMSSenderDeviceEvent value) {
    QWriteLocker lock(&FLock);
    FOnGetGlobalSMSSenderDevice = std::move(value);
}

TGetGlobalSenderDeviceEvent TEmailListItem::OnGetGlobalSenderDevice() const {
    QReadLocker lock(&FLock);
    return FOnGetGlobalSenderDevice;
}

void TEmailListItem::SetOnGetGlobalSenderDevice(TGetGlobalSenderDeviceEvent value) {
    QWriteLocker lock(&FLock);
    FOnGetGlobalSenderDevice = std::move(value);
}

TGetGlobalMailServerEvent TEmailListItem::OnGetGlobalMailServer() const {
    QReadLocker lock(&FLock);
    return FOnGetGlobalMailServer;
}

void TEmailListItem::SetOnGetGlobalMailServer(TGetGlobalMailServerEvent value) {
    QWriteLocker lock(&FLock);
    FOnGetGlobalMailServer = std::move(value);
}

TGetGlobalRegisterServiceEvent TEmailListItem::OnGetGlobalRegisterService() const {
    QReadLocker lock(&FLock);
    return FOnGetGlobalRegisterService;
}

void TEmailListItem::SetOnGetGlobalRegisterService(TGetGlobalRegisterServiceEvent value) {
    QWriteLocker lock(&FLock);
    FOnGetGlobalRegisterService = std::move(value);
}

TGetGlobalSendSettingsEvent TEmailListItem::OnGetGlobalSendSettings() const {
    QReadLocker lock(&FLock);
    return FOnGetGlobalSendSettings;
}

void TEmailListItem::SetOnGetGlobalSendSettings(TGetGlobalSendSettingsEvent value) {
    QWriteLocker lock(&FLock);
    FOnGetGlobalSendSettings = std::move(value);
}

bool TEmailListItem::IsUserDefined() const {
    QReadLocker lock(&FLock);
    return FClientIdent.isEmpty();
}

TEmailListIdentity TEmailListItem::Identity() const {
    QReadLocker lock(&FLock);
    return {FIDValue, FClientIdent, FClientListIdent};
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
    QWriteLocker lock(&FLock);
    FSenderName = value;
}

QString TEmailListItem::SenderEmail() const {
    return Address().Email;
}

void TEmailListItem::SetSenderEmail(const QString& value) {
    QWriteLocker lock(&FLock);
    FSenderEmail = value;
}

QString TEmailListItem::ReplyToEmail() const {
    return Address().ReplyToEmail;
}

void TEmailListItem::SetReplyToEmail(const QString& value) {
    QWriteLocker lock(&FLock);
    FReplyToEmail = value;
}

TMessageSenderDevice TEmailListItem::MessageSenderDevice() const {
    return SenderDevice();
}

void TEmailListItem::SetMessageSenderDevice(TMessageSenderDevice value) {
    QWriteLocker lock(&FLock);
    FMessageSenderDevice = value;
}

QString TEmailListItem::MailServer() const {
    return MailServerInfo().MailServer;
}

void TEmailListItem::SetMailServer(const QString& value) {
    QWriteLocker lock(&FLock);
    FMailServer = value;
}

QString TEmailListItem::SendUserName() const {
    return MailServerInfo().UserName;
}

void TEmailListItem::SetSendUserName(const QString& value) {
    QWriteLocker lock(&FLock);
    FSendUserName = value;
}

QString TEmailListItem::SendPassword() const {
    return MailServerInfo().Password;
}

void TEmailListItem::SetSendPassword(const QString& value) {
    QWriteLocker lock(&FLock);
    FSendPassword = value;
}

bool TEmailListItem::SendAuthentication() const {
    return MailServerInfo().Authentication;
}

void TEmailListItem::SetSendAuthentication(bool value) {
    QWriteLocker lock(&FLock);
    FSendAuthentication = value;
}

TSMSMessageSenderDevice TEmailListItem::SMSMessageSenderDevice() const {
    return SMSDevice();
}

void TEmailListItem::SetSMSMessageSenderDevice(TSMSMessageSenderDevice value) {
    QWriteLocker lock(&FLock);
    FSMSMessageSenderDevice = value;
}

bool TEmailListItem::RegisterServiceFilterEnabled() const {
    return RegisterService().FilterEnabled;
}

void TEmailListItem::SetRegisterServiceFilterEnabled(bool value) {
    QWriteLocker lock(&FLock);
    FRegisterServiceFilterEnabled = value;
}

bool TEmailListItem::FetchRegisterServiceBeforeSending() const {
    return RegisterService().FetchBeforeSend;
}

void TEmailListItem::SetFetchRegisterServiceBeforeSending(bool value) {
    QWriteLocker lock(&FLock);
    FFetchRegisterServiceBeforeSending = value;
}

bool TEmailListItem::SendPerUnits() const {
    return SendSettings().UnitSend;
}

void TEmailListItem::SetSendPerUnits(bool value) {
    QWriteLocker lock(&FLock);
    FSendPerUnits = value;
}

int TEmailListItem::MailsPerUnit() const {
    return SendSettings().UnitCount;
}

void TEmailListItem::SetMailsPerUnit(int value) {
    QWriteLocker lock(&FLock);
    FMailsPerUnit = value;
}

int TEmailListItem::SendThreads() const {
    return SendSettings().SendThreads;
}

void TEmailListItem::SetSendThreads(int value) {
    QWriteLocker lock(&FLock);
    FSendThreads = value;
}

int TEmailListItem::UnitDelay() const {
    return SendSettings().UnitDelay;
}

void TEmailListItem::SetUnitDelay(int value) {
    QWriteLocker lock(&FLock);
    FUnitDelay = value;
}

bool TEmailListItem::Throttle() const {
    return SendSettings().Throttle;
}

void TEmailListItem::SetThrottle(bool value) {
    QWriteLocker lock(&FLock);
    FThrottle = value;
}

bool TEmailListItem::Chaotic() const {
    return SendSettings().Chaotic;
}

void TEmailListItem::SetChaotic(bool value) {
    QWriteLocker lock(&FLock);
    FChaotic = value;
}

} // namespace emailmarketing
