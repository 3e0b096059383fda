#pragma once

#include "MenuModel.h"
#include "ModuleLoader.h"
#include "Scheduler.h"
#include "ScreenService.h"

#include <QString>
#include <QStringList>

namespace qvhost {

// The running host's modules and the services that reach them: the module loader, the screen service
// and the scheduler. Installs the loader and the screen service in TQVMainInterface while it lives
// (one session at a time).
// GUI thread only.
//
// A module that fails while it loads or starts is shown through the exception display, and the host
// goes on with the others (a module whose Init or AfterStartup failed stays loaded).
class HostSession {
public:
    HostSession();
    // Unloads what is still loaded without asking (see ModuleLoader's destructor).
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Loads every module library ("*.so") of AFolder in file-name order and answers how many loaded.
    // EQVException when AFolder is not a readable folder; an empty folder loads nothing.
    int LoadModules(const QString& AFolder);
    // Init, AfterStartup and SetLanguage (the current language) of every module, then registers the
    // modules' scheduler components and starts the scheduler.
    void StartModules();

    // Switches the process language and tells every data module and open window.
    void SetLanguage(const QString& ALangName);
    // The menus of all loaded modules; a module whose menus are faulty is shown and left out.
    hostapi::MenuModel Menus() const;

    // Asks every data module CanShutDown; when all agree, stops the scheduler and unloads every module.
    // False: the host keeps running and nothing was changed. Raises EQVUserMessageException while a
    // scheduler action runs, what CanShutDown raises, and EQVException when a module cannot be
    // unloaded; a later call then goes on unloading without asking again.
    bool ShutDown();
    bool ShutDownStarted() const { return FShutDownStarted; }
    // Stops the scheduler and unloads every module without asking; EQVException when a module cannot
    // be unloaded.
    void UnloadAll();

    hostapi::ModuleLoader& Loader() { return FLoader; }
    const hostapi::ModuleLoader& Loader() const { return FLoader; }
    hostapi::ScreenService& Screen() { return FScreen; }
    hostapi::Scheduler& GetScheduler() { return FScheduler; }

    // Makes the language the user chose last (local settings) the process language; call before the
    // modules load. Nothing changes when none was kept; EQVException when it cannot be read.
    static void RestoreLanguage();

private:
    // The file name of a loaded module, for messages.
    QString ModuleName(const hostapi::TClientPluginBase& APlugin) const;
    void ShowModuleFailure(const QString& AId, const QString& AModuleName) const;

    hostapi::ModuleLoader FLoader;
    hostapi::ScreenService FScreen;
    hostapi::Scheduler FScheduler;
    bool FShutDownStarted = false;
};

} // namespace qvhost
