#pragma once

#include "EmailListItem.h"
#include "EmailListStore.h"
#include "EmailSenderJobList.h"
#include "IExtFuncPluginEmailMarketing.h"
#include "PluginBaseDataModule.h"
#include "QVSQLDeleteNotify.h"
#include "RegisterServicePlugin.h"
#include "TemplateXMLExchange.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <shared_mutex>

class QTimer;

namespace hostapi {
class TPelmarisPlugin;
class TQVFirstStart;
struct TQVFirstStartItem;
class TQVPluginFormManager;
class TVRNLang;
} // namespace hostapi

namespace emailmarketing {

// Told that the template import has written templates; LastInsertID is the id of the last row it
// inserted, and the handler may change it.
using TTemplateChangedEvent = std::function<void(QObject* Sender, qint64& LastInsertID)>;

// The e-mail marketing module's main data module: owns the job list and its autostart timer, guards
// the host's shut-down while jobs exist, declares the module's windows and first-start steps, and
// keeps the module-wide send settings (settings store section "EMLMARK") and the company sender
// address that lists using the global settings ask for through their callbacks.
//
// Life-cycle and timer run on the GUI thread. The settings getters and the list callbacks may be
// called from any thread (job threads included).
class TdmPluginEmailMarketingMain : public hostapi::TPluginBaseDataModule,
                                    public IJobNotification,
                                    public hostapi::IExtFuncPluginEmailMarketing {
    Q_OBJECT

public:
    explicit TdmPluginEmailMarketingMain(hostapi::TClientPluginBase* AOwner);
    // Stops the timer, then ends and joins the jobs before anything they use is freed.
    ~TdmPluginEmailMarketingMain() override;

    void AfterStartup() override;
    // Closes the mailings an earlier process left unfinished (see TInterruptedJobs) and says so in
    // the host's log.
    void RecoverInterruptedJobs();
    void SetLanguage(const QString& ALangName) override;
    bool CanShutDown() override;
    void BeforeUnInit() override;
    void UnInit() override;

    TEmailSenderJobList& Jobs() { return *FJobs; }

    // The host's link to the register service module; the windows ask it whether the register
    // service is available (False while the module is not loaded).
    const hostapi::TRegisterServicePlugin& RegisterServicePlugin() const { return FRegisterServicePlugin; }

    // Set by the mailing window; called by the template import, on the GUI thread only.
    TTemplateChangedEvent OnTemplatesChanged() const { return FOnTemplatesChanged; }
    void SetOnTemplatesChanged(TTemplateChangedEvent value) { FOnTemplatesChanged = std::move(value); }
    // Calls OnTemplatesChanged when it is set; raises EQVAssertion off the GUI thread.
    void TemplatesChanged(QObject* Sender, qint64& LastInsertID);

    // The template exchange (XML import container and data-import plug-in).
    TTemplateXMLExchange& TemplateExchange() { return *FTemplateExchange; }
    // Exports one template with its text blocks and embedded contents into a ".emt" file.
    void SaveTemplateToFile(const QString& AFileName, qint64 ATemplateDBID, const QString& ACaption) {
        FTemplateExchange->SaveTemplateToFile(AFileName, ATemplateDBID, ACaption);
    }

    // The distribution-list cache (see TEmailListStore); main thread.
    TEmailListStore& ListStore() { return FListStore; }
    int Count() { return FListStore.Count(); }
    std::shared_ptr<TEmailListItem> GetEMailList(int Index) { return FListStore.GetEMailList(Index); }
    std::shared_ptr<TEmailListItem> ByID(qint32 DBID) { return FListStore.ByID(DBID); }
    std::shared_ptr<TEmailListItem> ByClient(const QString& AClientIdent, const QString& AClientListIdent) {
        return FListStore.ByClient(AClientIdent, AClientListIdent);
    }
    std::shared_ptr<TEmailListItem> Add() { return FListStore.Add(); }
    void Delete(const std::shared_ptr<TEmailListItem>& AItem) { FListStore.Delete(AItem); }
    void Load() { FListStore.Load(); }
    void Save() { FListStore.Save(); }
    QDateTime LastLoaded() { return FListStore.LastLoaded(); }
    std::shared_ptr<TMacroList> GetSchemaMacroList(const QString& SchemaName) {
        return FListStore.GetSchemaMacroList(SchemaName);
    }
    void ReplaceSchemaMacros(const QString& SchemaName, const TMacroList& AMacros) {
        FListStore.ReplaceSchemaMacros(SchemaName, AMacros);
    }
    static QString GetEmailFieldsFromSchema(const QString& SchemaName, int AFlag) {
        return TEmailListStore::GetEmailFieldsFromSchema(SchemaName, AFlag);
    }
    // Stored form "%NAME%" <-> editor form "[Caption]" of the fields of SchemaName.
    QString ReplaceFieldMacros(const QString& SchemaName, const QString& AText, bool FieldsToCaption) const;

    // IExtFuncPluginEmailMarketing. Called from another thread, the call is queued to the main
    // thread (a failure there is shown through the exception display). From BeforeUnInit on,
    // providers are forgotten and no new one is taken: the modules that own them are unloaded next.
    void DeleteClientList(const std::shared_ptr<hostapi::IClientListProvider>& AProvider,
                          int AListIndex) override;
    void RegisterClientProvider(const std::shared_ptr<hostapi::IClientListProvider>& AProvider) override;
    void UnRegisterClientProvider(const std::shared_ptr<hostapi::IClientListProvider>& AProvider) override;

    qint32 PreloadEmailList() const { return FPreloadEmailList; }
    void SetPreloadEmailList(qint32 value) { FPreloadEmailList = value; }

    // Global send settings; every access reads or writes the settings store.
    QString DNSServer() const;
    void SetDNSServer(const QString& value);
    QString GlobalReplyEmailAddressField() const;
    void SetGlobalReplyEmailAddressField(const QString& value);
    QString GlobalSenderEmail() const;
    void SetGlobalSenderEmail(const QString& value);
    qint64 StateID_AfterCreate() const;
    void SetStateID_AfterCreate(qint64 value);
    qint64 StateID_AfterSuccSend() const;
    void SetStateID_AfterSuccSend(qint64 value);
    TMessageSenderDevice GlobalMessageSenderDevice() const;
    void SetGlobalMessageSenderDevice(TMessageSenderDevice value);
    TSMSMessageSenderDevice GlobalSMSMessageSenderDevice() const;
    void SetGlobalSMSMessageSenderDevice(TSMSMessageSenderDevice value);
    QString GlobalMailServer() const;
    void SetGlobalMailServer(const QString& value);
    bool GlobalAuthentication() const;
    void SetGlobalAuthentication(bool value);
    QString GlobalUserName() const;
    void SetGlobalUserName(const QString& value);
    QString GlobalPassword() const;
    void SetGlobalPassword(const QString& value);
    bool GlobalRegisterServiceFilterEnabled() const;
    void SetGlobalRegisterServiceFilterEnabled(bool value);
    bool GlobalFetchRegisterServiceBeforeSending() const;
    void SetGlobalFetchRegisterServiceBeforeSending(bool value);
    bool GlobalUnitSend() const;
    void SetGlobalUnitSend(bool value);
    int GlobalUnitCount() const;
    void SetGlobalUnitCount(int value);
    int GlobalSendThreads() const;
    void SetGlobalSendThreads(int value);
    int GlobalUnitDelay() const;
    void SetGlobalUnitDelay(int value);
    bool GlobalThrottle() const;
    void SetGlobalThrottle(bool value);
    bool GlobalChaotic() const;
    void SetGlobalChaotic(bool value);

    // The resolver configuration DNSServer falls back to (default "/etc/resolv.conf").
    QString ResolvConfPath() const { return FResolvConfPath; }
    void SetResolvConfPath(const QString& value) { FResolvConfPath = value; }

    // The company sender address is read again on its next use.
    void ResetGlobalAddressData();

    // Installs the global-value callbacks below into a list (the list store does this for every
    // list it creates).
    void ConnectGlobalCallbacks(TEmailListItem& AList);

    void DoGetGlobalSenderDevice(const TEmailListItem& Sender, TMessageSenderDevice& AMessageSenderDevice);
    void DoGetGlobalSMSSenderDevice(const TEmailListItem& Sender,
                                    TSMSMessageSenderDevice& ASMSMessageSenderDevice);
    void DoGetGlobalMailServer(const TEmailListItem& Sender, QString& AMailServer, QString& AUserName,
                               QString& APassword, bool& AAuthentication);
    void DoGetGlobalRegisterService(const TEmailListItem& Sender, bool& FilterEnabled, bool& FetchBeforeSend);
    void DoGetGlobalSendSettings(const TEmailListItem& Sender, bool& AUnitSend, int& AUnitCount,
                                 int& ASendThreads, int& AUnitDelay, bool& AThrottle, bool& AChaotic);
    void DoGetGlobalAddressInfo(const TEmailListItem& Sender, QString& AName, QString& AEmail,
                                QString& AReplyToEmail);

    // IJobNotification: marks the cached lists that are a job's destination.
    void JobListChanged(TEmailSenderJobList& AJobList, TBaseEmailSender* AJob, bool ARemoved) override;

    // Handler of the 60-second autostart timer.
    void tmrCheckAutostartTimer();

    QTimer* AutostartTimer() const { return tmrCheckAutostart; }

protected:
    hostapi::IExtFunc* DoOnGetExtFunc(const QString& AIID) override;

private:
    // Runs AAction on the main thread: at once when called there, else queued.
    void OnMainThread(std::function<void()> AAction);
    QList<TEmailListIdentity> UsedLists() const;
    void BuildFormManager();
    // The first-start steps' titles and descriptions in the current language.
    void RetranslateFirstStart();
    void QVFirstStartLink(hostapi::TQVFirstStart* Sender, const hostapi::TQVFirstStartItem& AItem);
    void UpdateAttachmentFileOptions();
    void LoadGlobalAddressData();
    QString ReadText(const QString& AKey) const;
    void WriteText(const QString& AKey, const QString& AValue);
    int ReadConvertedInteger(const QString& AKey, int ADefault) const;
    bool ReadBoolean(const QString& AKey) const;
    void WriteBoolean(const QString& AKey, bool AValue);

    QTimer* tmrCheckAutostart;
    hostapi::TPelmarisPlugin* PelmarisPlugin;
    std::unique_ptr<hostapi::TVRNLang> siLang;
    hostapi::TQVFirstStart* QVFirstStart;
    hostapi::TQVPluginFormManager* QVPluginFormManager = nullptr;

    hostapi::TRegisterServicePlugin FRegisterServicePlugin;
    TTemplateChangedEvent FOnTemplatesChanged;
    std::unique_ptr<TTemplateXMLExchange> FTemplateExchange;
    qint32 FPreloadEmailList = -1;
    std::unique_ptr<TEmailSenderJobList> FJobs;
    // The job being freed while the observers are told (it uses its list no more).
    const TBaseEmailSender* FRemovedJob = nullptr;
    TEmailListStore FListStore;
    bool FProvidersClosed = false;
    hostapi::TQVSQLDeleteNotifyListener QVSQLDeleteNotifyListener;
    std::shared_ptr<IJobNotification> FJobNotifyer;
    QString FResolvConfPath;

    QString FGlobalAddressName;
    QString FGlobalReplyEmail;
    qint64 FGlobalAddressCompanyID = -1;
    bool FGlobalAddressLoaded = false;
    // A standard lock (not QReadWriteLock), so that ThreadSanitizer sees what it orders.
    mutable std::shared_mutex FGlobalAddressSync;
};

// The one instance of the main data module (the windows reach the module through it); nullptr
// while none exists.
extern TdmPluginEmailMarketingMain* dmPluginEmailMarketingMain;

} // namespace emailmarketing
