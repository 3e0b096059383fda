#pragma once

#include "HostApiExport.h"

#include <QString>

#include <memory>

namespace hostapi {

class IDialogService;
class IExceptionDisplay;
class ILocalSettingsStorage;
class IMessageSink;
class IProgressService;
class IScreenService;
class ISettingsStore;
class ModuleLoader;
class TClientPluginBase;
class TDBFieldSchema;

// The host as data modules, components and windows reach it: the process-wide access to the host's
// services. The host installs its real screen service and module loader at start; tests install
// doubles the same way (and uninstall them before destroying them). Services that keep their own
// installation (dialogs, exception display, message sink, progress) are answered from there.
class HOSTAPI_EXPORT TQVMainInterface {
public:
    TQVMainInterface() = delete;

    static TDBFieldSchema& GetDBFieldSchema();

    // The installed settings store; the host's own (SettingsStore::Instance) when none is installed.
    static ISettingsStore& GetSaveSettings();
    static void SetSaveSettings(ISettingsStore* AStore);
    // Window-state storage over GetSaveSettings().
    static std::shared_ptr<ILocalSettingsStorage> GetLocalSettingsStorage();

    // The installed screen service; EQVException when none is installed.
    static IScreenService& GetScreen();
    static void SetScreen(IScreenService* AScreen);

    static IDialogService& GetDialogs();
    static IExceptionDisplay& GetExceptionDisplay();
    static IMessageSink& GetMessageSink();
    static IProgressService& GetProgress();

    // The current user of the host.
    static QString UserName();
    static qint64 UserNumber();

    // The loaded modules. FindPlugin answers the plug-in object of a loaded module (GUID compared
    // without regard to letter case); nullptr when it is not loaded or no loader is installed.
    static void SetModuleLoader(const ModuleLoader* ALoader);
    static const ModuleLoader* GetModuleLoader();
    static TClientPluginBase* FindPlugin(const QString& APluginGUID);
};

} // namespace hostapi
