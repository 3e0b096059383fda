#include "HostSession.h"
#include "HostLog.h"

#include "ClientPluginBase.h"
#include "ExceptionDisplay.h"
#include "LocalSettingsStorage.h"
#include "PluginForm.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "SchedulePlugin.h"
#include "VRNLang.h"

#include <QDir>
#include <QFileInfo>

#include <functional>

namespace qvhost {

namespace {

QString Tr(const QString& AId) {
    static hostapi::TVRNLang lang(QStringLiteral("HostSession"));
    return lang.TextIn(AId, hostapi::TVRNLang::CurrentLanguage());
}

} // namespace

HostSession::HostSession() {
    hostapi::TQVMainInterface::SetModuleLoader(&FLoader);
    hostapi::TQVMainInterface::SetScreen(&FScreen);
    FScreen.SetWindowStateStorage(hostapi::TQVMainInterface::GetLocalSettingsStorage());
}

HostSession::~HostSession() {
    // Modules are unloaded while the screen service is still installed: closing hooks may use it.
    try {
        FScheduler.Stop();
        if (!FLoader.Plugins().isEmpty())
            FLoader.UnloadAll();
    } catch (const std::exception& e) {
        qCCritical(lcHost).noquote() << "Modules stay loaded:" << QString::fromUtf8(e.what());
    } catch (...) {
        qCCritical(lcHost) << "Modules stay loaded after an unknown exception";
    }
    hostapi::TQVMainInterface::SetScreen(nullptr);
    if (hostapi::TQVMainInterface::GetModuleLoader() == &FLoader)
        hostapi::TQVMainInterface::SetModuleLoader(nullptr);
}

void HostSession::RestoreLanguage() {
    const QString language = hostapi::TQVMainInterface::GetLocalSettingsStorage()->RestoreLanguage();
    if (!language.isEmpty())
        hostapi::TVRNLang::SetCurrentLanguage(language);
}

int HostSession::LoadModules(const QString& AFolder) {
    const QFileInfo info(AFolder);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        throw hostapi::EQVException(Tr(QStringLiteral("IDS_ModuleFolderUnreadable")).arg(AFolder));
    const QFileInfoList libraries =
        QDir(AFolder).entryInfoList({QStringLiteral("*.so")}, QDir::Files, QDir::Name);
    int loaded = 0;
    for (const QFileInfo& library : libraries) {
        try {
            FLoader.LoadModule(library.absoluteFilePath());
            ++loaded;
        } catch (...) {
            ShowModuleFailure(QStringLiteral("IDS_ModuleLoadFailed"), library.fileName());
        }
    }
    qCInfo(lcHost).noquote() << "Loaded" << loaded << "of" << libraries.size() << "modules from" << AFolder;
    return loaded;
}

void HostSession::StartModules() {
    using Step = std::function<void(hostapi::TClientPluginBase&)>;
    const QString language = hostapi::TVRNLang::CurrentLanguage();
    const Step steps[] = {
        [](hostapi::TClientPluginBase& APlugin) { APlugin.Init(); },
        [](hostapi::TClientPluginBase& APlugin) { APlugin.AfterStartup(); },
        [&language](hostapi::TClientPluginBase& APlugin) { APlugin.SetLanguage(language); },
    };
    for (const Step& step : steps) {
        for (hostapi::TClientPluginBase* plugin : FLoader.Plugins()) {
            try {
                step(*plugin);
            } catch (...) {
                ShowModuleFailure(QStringLiteral("IDS_ModuleStartFailed"), ModuleName(*plugin));
            }
        }
    }
    for (hostapi::TClientPluginBase* plugin : FLoader.Plugins()) {
        for (hostapi::TSchedulePlugin* schedulePlugin : plugin->FindComponents<hostapi::TSchedulePlugin>()) {
            try {
                FScheduler.RegisterPlugin(schedulePlugin);
            } catch (...) {
                ShowModuleFailure(QStringLiteral("IDS_ModuleStartFailed"), ModuleName(*plugin));
            }
        }
    }
    FScheduler.Start();
}

void HostSession::SetLanguage(const QString& ALangName) {
    hostapi::TVRNLang::SetCurrentLanguage(ALangName);
    const QList<hostapi::TClientPluginBase*> plugins = FLoader.Plugins();
    for (hostapi::TClientPluginBase* plugin : plugins) {
        try {
            plugin->SetLanguage(ALangName);
        } catch (...) {
            hostapi::TVRNExceptionUtils::ShowCurrent(ModuleName(*plugin));
        }
    }
    for (hostapi::TClientPluginBase* plugin : plugins) {
        auto* gui = dynamic_cast<hostapi::TClientPluginBaseGUI*>(plugin);
        if (!gui)
            continue;
        for (hostapi::TPluginForm* form : gui->Forms()) {
            try {
                form->SetLanguage(ALangName);
            } catch (...) {
                hostapi::TVRNExceptionUtils::ShowCurrent(
                    hostapi::TClientPluginBase::ClassNameOf(*form->metaObject()));
            }
        }
    }
}

hostapi::MenuModel HostSession::Menus() const {
    hostapi::MenuModel menus;
    for (const hostapi::TClientPluginBase* plugin : FLoader.Plugins()) {
        try {
            hostapi::MenuModel probe; // a faulty module adds none of its entries
            probe.AddPlugin(*plugin);
            menus.AddPlugin(*plugin);
        } catch (...) {
            ShowModuleFailure(QStringLiteral("IDS_ModuleMenuFailed"), ModuleName(*plugin));
        }
    }
    return menus;
}

bool HostSession::ShutDown() {
    // A running action (waiting in a nested event loop) still has its module's code on the stack.
    for (const hostapi::Scheduler::ScheduledAction& action : FScheduler.Actions()) {
        if (action.Running)
            throw hostapi::EQVUserMessageException(
                Tr(QStringLiteral("IDS_ActionRunning")).arg(action.Caption));
    }
    if (!FShutDownStarted) {
        if (!FLoader.CanShutDown())
            return false;
        FShutDownStarted = true;
    }
    UnloadAll();
    return true;
}

void HostSession::UnloadAll() {
    FShutDownStarted = true;
    FScheduler.Stop();
    FLoader.UnloadAll();
}

QString HostSession::ModuleName(const hostapi::TClientPluginBase& APlugin) const {
    const QString fileName = FLoader.FileNameOf(APlugin.PluginGUID());
    return fileName.isEmpty() ? APlugin.PluginGUID() : QFileInfo(fileName).fileName();
}

void HostSession::ShowModuleFailure(const QString& AId, const QString& AModuleName) const {
    QString caption;
    try {
        caption = Tr(AId).arg(AModuleName);
    } catch (const std::exception& e) {
        qCCritical(lcHost).noquote() << "No text" << AId << ":" << QString::fromUtf8(e.what());
        caption = AModuleName;
    }
    qCWarning(lcHost).noquote() << "Module" << AModuleName << "failed:" << AId;
    hostapi::TVRNExceptionUtils::ShowCurrent(caption);
}

} // namespace qvhost
