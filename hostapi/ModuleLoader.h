#pragma once

#include "HostApiExport.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <memory>
#include <vector>

namespace hostapi {

class TClientPluginBase;

// Loads the host's modules and drives their life-cycle. Used on the GUI thread only (PluginByGUID
// from any thread).
//
// Start: LoadFolder (each library: dlopen, InitProc, data modules created), then Init, AfterStartup and
// SetLanguage. Shut-down: ShutDown asks every data module CanShutDown; when all agree, UnloadAll closes
// the modules' windows, calls BeforeUnInit and then UnInit of every module, and unloads the modules
// the last loaded first: a module whose data modules still run threads stays loaded (EQVException);
// otherwise its data modules and plug-in object are destroyed, the events queued for them are
// delivered, and the library is closed. UnloadAll may be called again after a failure; it goes on
// from where it stopped.
class HOSTAPI_EXPORT ModuleLoader {
public:
    ModuleLoader();
    // Unloads what is still loaded; a module that cannot be unloaded stays loaded (logged). Texts
    // taken from a module (QString literals live in its code) must not be kept beyond this.
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    // Loads every module library ("*.so") of AFolder in file-name order. EQVException when the
    // folder does not exist; a module that fails to load stops the loading (see LoadModule).
    void LoadFolder(const QString& AFolder);
    // Loads one module library and answers its plug-in object. EQVException naming the file when the
    // library cannot be opened, has no InitProc, InitProc answers nothing, or its GUID is loaded
    // already (the library is unloaded again). What InitProc or a data module's constructor raises
    // passes on; that library stays mapped until the loader is destroyed, since the exception may
    // refer to its code and data.
    TClientPluginBase& LoadModule(const QString& AFileName);

    // Every data module of every module, in load and creation order.
    void Init();
    void AfterStartup();
    // Every data module, then every open window of every module.
    void SetLanguage(const QString& ALangName);

    // True when every data module agrees; asking stops at the first refusal.
    bool CanShutDown();
    // CanShutDown, then UnloadAll when all agree. False: nothing was changed.
    bool ShutDown();
    // Unloads every module without asking.
    void UnloadAll();

    // Loaded modules' plug-in objects, in load order.
    QList<TClientPluginBase*> Plugins() const;
    // The plug-in object of GUID APluginGUID (case-insensitive), nullptr when not loaded.
    TClientPluginBase* PluginByGUID(const QString& APluginGUID) const;
    // The library file of a loaded module, empty when not loaded.
    QString FileNameOf(const QString& APluginGUID) const;

private:
    struct Module;
    static void DeliverPostedEvents();
    static void AssertGuiThread();

    mutable QMutex FLock; // guards FModules against PluginByGUID on other threads
    std::vector<std::unique_ptr<Module>> FModules;
    std::vector<void*> FFailedHandles; // libraries whose loading raised; closed by the destructor
};

} // namespace hostapi
