#pragma once

#include "CustomMessageSender.h"
#include "MacroList.h"
#include "QVFilter.h"

#include <QReadWriteLock>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>
#include <memory>
#include <utility>

namespace emailmarketing {

// Style of a template (stored as "emailstyle").
enum TEmailStyle : int { esPlainText = 0, esRTFText = 1, esHTMLSource = 2, esSMS = 3, esHTML = 4 };

// The field-schema flag of the recipient address fields a style sends to: mobile fields (11) for
// esSMS, e-mail fields (2) for every other style.
int FieldFlagOfEmailStyle(TEmailStyle AStyle);

class TEmailListItem;

// Sources of the global values. Every parameter after the sender is in-out; the list passes
// value-initialised variables (empty texts, False, 0, the first device), so a handler that sets
// only some of them leaves the others at those values.
using TGetSchemaMacrosEvent = std::function<void(const TEmailListItem& Sender, const QString& SchemaName,
                                                 std::shared_ptr<TMacroList>& AMacroList)>;
using TGetGlobalAddressInfoEvent = std::function<void(const TEmailListItem& Sender, QString& AName,
                                                      QString& AEmail, QString& AReplyToEmail)>;
using TGetGlobalSMSSenderDeviceEvent =
    std::function<void(const TEmailListItem& Sender, TSMSMessageSenderDevice& ASMSMessageSenderDevice)>;
using TGetGlobalSenderDeviceEvent =
    std::function<void(const TEmailListItem& Sender, TMessageSenderDevice& AMessageSenderDevice)>;
using TGetGlobalMailServerEvent =
    std::function<void(const TEmailListItem& Sender, QString& AMailServer, QString& AUserName,
                       QString& APassword, bool& AAuthentication)>;
using TGetGlobalRegisterServiceEvent =
    std::function<void(const TEmailListItem& Sender, bool& FilterEnabled, bool& FetchBeforeSend)>;
using TGetGlobalSendSettingsEvent =
    std::function<void(const TEmailListItem& Sender, bool& AUnitSend, int& AUnitCount, int& ASendThreads,
                       int& AUnitDelay, bool& AThrottle, bool& AChaotic)>;

// What identifies a list across reloads of the list cache: a provider's list by its client and
// client list identifiers (exact text), a user's list by its database id, and a user's list that has
// no row yet by the object itself (two unsaved lists are never the same list).
struct TEmailListIdentity {
    qint32 IDValue = -1;
    QString ClientIdent;
    QString ClientListIdent;
    const void* Object = nullptr;

    bool operator==(const TEmailListIdentity& other) const;
};

// One distribution list: recipient schema and address fields, own filters and macros, sender and
// reply data, transport and send settings.
//
// Each setting group can follow the global settings (UseGlobalAddress, UseGlobalMailServer,
// UseGlobalSMSProvider, UseGlobalRegisterService, UseGlobalSendSettings). While a group's flag is
// set, its getters ask the group's handler at every call and answer the handler's value, or a fixed
// default when no handler is assigned; the setters always write the list's own value, which shows
// again once the flag is cleared.
//
// Shared between the list cache and the jobs (hold it by std::shared_ptr). Every member is guarded
// by an internal read/write lock, so any thread may call any method; getters answer copies, and
// handlers run without the lock held (they may read the list).
class TEmailListItem {
public:
    TEmailListItem();
    ~TEmailListItem();
    TEmailListItem(const TEmailListItem&) = delete;
    TEmailListItem& operator=(const TEmailListItem&) = delete;

    qint32 IDValue() const;
    void SetIDValue(qint32 value);
    QString SectionName() const;
    void SetSectionName(const QString& value);
    QString Name() const;
    void SetName(const QString& value);
    bool Changed() const;
    void SetChanged(bool value);
    QString ClientIdent() const;
    void SetClientIdent(const QString& value);
    QString ClientListIdent() const;
    void SetClientListIdent(const QString& value);
    bool IsInUseByJob() const;
    void SetIsInUseByJob(bool value);
    QThread::Priority SendPriority() const;
    void SetSendPriority(QThread::Priority value);
    QThread::Priority PreparePriority() const;
    void SetPreparePriority(QThread::Priority value);

    // True for a list the user made (no client identifier).
    bool IsUserDefined() const;
    TEmailListIdentity Identity() const;

    // The list's own macros (a copy); SetUserMacros replaces them.
    TMacroList UserMacros() const;
    void SetUserMacros(const TMacroList& value);
    // The macros of the list's schema, asked from OnGetSchemaMacros; raises the assertion
    // "OnGetSchemaMacros not assigned!" without a handler.
    std::shared_ptr<TMacroList> GlobalTableMacros() const;

    QStringList FieldsToIgnoreInSelection() const;
    void SetFieldsToIgnoreInSelection(const QStringList& value);
    // Recipient address fields in order of preference: the mobile fields for the field flag 11
    // (hostapi::fftMobile), the e-mail fields for every other flag.
    QStringList GetEmailFields(int AFieldFlag) const;
    void SetEmailFields(int AFieldFlag, const QStringList& value);
    // The list's own filters on the recipient schema.
    hostapi::TQVFilterList AdvFilters() const;
    void SetAdvFilters(const hostapi::TQVFilterList& value);

    // Sender and reply data (UseGlobalAddress; default without handler: empty).
    bool UseGlobalAddress() const;
    void SetUseGlobalAddress(bool value);
    QString SenderName() const;
    void SetSenderName(const QString& value);
    QString SenderEmail() const;
    void SetSenderEmail(const QString& value);
    QString ReplyToEmail() const;
    void SetReplyToEmail(const QString& value);

    // Transport and server (UseGlobalMailServer; defaults: msdInternal, empty texts, False).
    bool UseGlobalMailServer() const;
    void SetUseGlobalMailServer(bool value);
    TMessageSenderDevice MessageSenderDevice() const;
    void SetMessageSenderDevice(TMessageSenderDevice value);
    QString MailServer() const;
    void SetMailServer(const QString& value);
    QString SendUserName() const;
    void SetSendUserName(const QString& value);
    QString SendPassword() const;
    void SetSendPassword(const QString& value);
    bool SendAuthentication() const;
    void SetSendAuthentication(bool value);

    // SMS gateway (UseGlobalSMSProvider; default smsdASPSMS).
    bool UseGlobalSMSProvider() const;
    void SetUseGlobalSMSProvider(bool value);
    TSMSMessageSenderDevice SMSMessageSenderDevice() const;
    void SetSMSMessageSenderDevice(TSMSMessageSenderDevice value);

    // Register-service options (UseGlobalRegisterService; defaults False).
    bool UseGlobalRegisterService() const;
    void SetUseGlobalRegisterService(bool value);
    bool RegisterServiceFilterEnabled() const;
    void SetRegisterServiceFilterEnabled(bool value);
    bool FetchRegisterServiceBeforeSending() const;
    void SetFetchRegisterServiceBeforeSending(bool value);

    // Packets, threads and pacing (UseGlobalSendSettings; defaults False, 1000, 1, 0, False, False).
    bool UseGlobalSendSettings() const;
    void SetUseGlobalSendSettings(bool value);
    bool SendPerUnits() const;
    void SetSendPerUnits(bool value);
    int MailsPerUnit() const;
    void SetMailsPerUnit(int value);
    int SendThreads() const;
    void SetSendThreads(int value);
    int UnitDelay() const; // minutes between packets
    void SetUnitDelay(int value);
    bool Throttle() const;
    void SetThrottle(bool value);
    bool Chaotic() const;
    void SetChaotic(bool value);

    // The list's own values of the groups that can follow the global settings, whatever their
    // use-global flags: what a list stores, so that clearing a flag later shows them again.
    struct TOwnSettings {
        QString SenderName;
        QString SenderEmail;
        QString ReplyToEmail;
        TMessageSenderDevice MessageSenderDevice = msdExtSMTP;
        QString MailServer;
        QString SendUserName;
        QString SendPassword;
        bool SendAuthentication = false;
        TSMSMessageSenderDevice SMSMessageSenderDevice = smsdASPSMS;
        bool RegisterServiceFilterEnabled = false;
        bool FetchRegisterServiceBeforeSending = false;
        bool SendPerUnits = false;
        int MailsPerUnit = 0;
        int SendThreads = 0;
        int UnitDelay = 0;
        bool Throttle = false;
        bool Chaotic = false;
    };
    TOwnSettings OwnSettings() const;

    TGetSchemaMacrosEvent OnGetSchemaMacros() const;
    void SetOnGetSchemaMacros(TGetSchemaMacrosEvent value);
    TGetGlobalAddressInfoEvent OnGetGlobalAddressInfo() const;
    void SetOnGetGlobalAddressInfo(TGetGlobalAddressInfoEvent value);
    TGetGlobalSMSSenderDeviceEvent OnGetGlobalSMSSenderDevice() const;
    void SetOnGetGlobalSMSSenderDevice(TGetGlobalSMSSenderDeviceEvent value);
    TGetGlobalSenderDeviceEvent OnGetGlobalSenderDevice() const;
    void SetOnGetGlobalSenderDevice(TGetGlobalSenderDeviceEvent value);
    TGetGlobalMailServerEvent OnGetGlobalMailServer() const;
    void SetOnGetGlobalMailServer(TGetGlobalMailServerEvent value);
    TGetGlobalRegisterServiceEvent OnGetGlobalRegisterService() const;
    void SetOnGetGlobalRegisterService(TGetGlobalRegisterServiceEvent value);
    TGetGlobalSendSettingsEvent OnGetGlobalSendSettings() const;
    void SetOnGetGlobalSendSettings(TGetGlobalSendSettingsEvent value);

private:
    struct TAddressInfo {
        QString Name;
        QString Email;
        QString ReplyToEmail;
    };
    struct TMailServerInfo {
        QString MailServer;
        QString UserName;
        QString Password;
        bool Authentication = false;
    };
    struct TRegisterServiceInfo {
        bool FilterEnabled = false;
        bool FetchBeforeSend = false;
    };
    struct TSendSettings {
        bool UnitSend = false;
        int UnitCount = 0;
        int SendThreads = 0;
        int UnitDelay = 0;
        bool Throttle = false;
        bool Chaotic = false;
    };

    // Effective values of a group: the own fields, the handler's answer or the fixed defaults.
    TAddressInfo Address() const;
    TMessageSenderDevice SenderDevice() const;
    TMailServerInfo MailServerInfo() const;
    TSMSMessageSenderDevice SMSDevice() const;
    TRegisterServiceInfo RegisterService() const;
    TSendSettings SendSettings() const;

    mutable QReadWriteLock FLock;

    // A copy of a field read under the lock; a field written under the lock.
    template <class T> T Locked(const T& field) const {
        QReadLocker lock(&FLock);
        return field;
    }
    template <class T, class V> void Assign(T& field, V&& value) {
        QWriteLocker lock(&FLock);
        field = std::forward<V>(value);
    }

    qint32 FIDValue = 0;
    QString FSectionName;
    QString FSenderEmail;
    QString FSenderName;
    QString FName;
    QString FMailServer;
    TMacroList FUserMacros;
    bool FChanged = false;
    bool FSendPerUnits = false;
    int FMailsPerUnit = 1000;
    QThread::Priority FSendPriority = QThread::NormalPriority;
    int FSendThreads = 1;
    QThread::Priority FPreparePriority = QThread::NormalPriority;
    bool FSendAuthentication = false;
    QString FSendUserName;
    QString FSendPassword;
    bool FIsInUseByJob = false;
    TGetSchemaMacrosEvent FOnGetSchemaMacros;
    QString FClientIdent;
    QString FClientListIdent;
    QStringList FFieldsToIgnoreInSelection;
    QStringList FEmailFields;
    QStringList FMobileFields;
    hostapi::TQVFilterList FAdvFilters;
    bool FUseGlobalAddress = true;
    TGetGlobalAddressInfoEvent FOnGetGlobalAddressInfo;
    int FUnitDelay = 0;
    TMessageSenderDevice FMessageSenderDevice = msdExtSMTP;
    TSMSMessageSenderDevice FSMSMessageSenderDevice = smsdASPSMS;
    bool FUseGlobalSMSProvider = true;
    TGetGlobalSMSSenderDeviceEvent FOnGetGlobalSMSSenderDevice;
    bool FRegisterServiceFilterEnabled = false;
    bool FFetchRegisterServiceBeforeSending = false;
    bool FUseGlobalMailServer = true;
    TGetGlobalSenderDeviceEvent FOnGetGlobalSenderDevice;
    TGetGlobalMailServerEvent FOnGetGlobalMailServer;
    bool FUseGlobalRegisterService = true;
    TGetGlobalRegisterServiceEvent FOnGetGlobalRegisterService;
    bool FChaotic = false;
    bool FThrottle = false;
    bool FUseGlobalSendSettings = true;
    TGetGlobalSendSettingsEvent FOnGetGlobalSendSettings;
    QString FReplyToEmail;
};

} // namespace emailmarketing
