#include "ModuleLoader.h"
#include "HostApiLog.h"

#include "ClientPluginBase.h"
#include "OwnedText.h"
#include "PluginForm.h"
#include "QVException.h"
#include "QVMainInterface.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QThread>

#include <dlfcn.h>

namespace hostapi {

namespace {

QString DlError() {
    const char* error = dlerror();
    return error ? QString::fromLocal8Bit(error) : QStringLiteral("unknown error");
}

} // namespace

struct ModuleLoader::Module {
    QString FileName;
    void* Handle = nullptr;
    std::unique_ptr<TClientPluginBase> Plugin;
    bool BeforeUnInitDone = false;
    bool UnInitDone = false;
};

ModuleLoader::ModuleLoader() = default;

ModuleLoader::~ModuleLoader() {
    if (TQVMainInterface::GetModuleLoader() == this)
        TQVMainInterface::SetModuleLoader(nullptr);
    try {
        if (!FModules.empty())
            UnloadAll();
    } catch (const std::exception& e) {
        qCCritical(hostapi::lcHostApi).noquote() << "Modules stay loaded:" << QString::fromUtf8(e.what());
    } catch (...) {
        qCCritical(hostapi::lcHostApi) << "Modules stay loaded after an unknown exception";
    }
    for (void* handle : FFailedHandles) {
        if (dlclose(handle) != 0)
            qCCritical(hostapi::lcHostApi).noquote()
                << "A module that failed to load cannot be unloaded:" << DlError();
    }
}

void ModuleLoader::AssertGuiThread() {
    QV_ASSERT(!QCoreApplication::instance() ||
              QThread::currentThread() == QCoreApplication::instance()->thread());
}

// Queued events may run code of the module about to be unloaded (queued calls, deferred deletes of
// its objects); they are delivered while the code is still there.
void ModuleLoader::DeliverPostedEvents() {
    if (!QCoreApplication::instance())
        return;
    for (int round = 0; round < 2; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void ModuleLoader::LoadFolder(const QString& AFolder) {
    const QDir folder(AFolder);
    if (!folder.exists())
        throw EQVException(QStringLiteral("The module folder %1 does not exist").arg(AFolder));
    const QFileInfoList libraries =
        folder.entryInfoList({QStringLiteral("*.so")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& library : libraries)
        LoadModule(library.absoluteFilePath());
}

TClientPluginBase& ModuleLoader::LoadModule(const QString& AFileName) {
    AssertGuiThread();
    auto module = std::make_unique<Module>();
    module->FileName = QFileInfo(AFileName).absoluteFilePath();
    dlerror();
    module->Handle = dlopen(QFile::encodeName(module->FileName).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!module->Handle)
        throw EQVException(
            QStringLiteral("The module %1 cannot be loaded: %2").arg(module->FileName, DlError()));
    QString refusal;
    try {
        auto initProc = reinterpret_cast<TInitProc>(dlsym(module->Handle, "InitProc"));
        if (!initProc) {
            refusal = QStringLiteral("The module %1 has no entry point InitProc").arg(module->FileName);
        } else {
            module->Plugin.reset(initProc());
            if (!module->Plugin) {
                refusal = QStringLiteral("The module %1 answered no plug-in object").arg(module->FileName);
            } else if (const QString guid = module->Plugin->PluginGUID(); PluginByGUID(guid)) {
                refusal = QStringLiteral("The module %1 has the GUID %2 of the loaded module %3")
                              .arg(module->FileName, guid, FileNameOf(guid));
            } else if (module->Plugin->AutoCreateDataModules()) {
                module->Plugin->CreateDataModules();
            }
        }
    } catch (...) {
        // The exception in flight was raised by the module's code and may refer to its code and
        // data: the library stays mapped until the loader is destroyed.
        module->Plugin.reset();
        DeliverPostedEvents();
        qCWarning(hostapi::lcHostApi).noquote() << "The module" << module->FileName << "failed while loading";
        FFailedHandles.push_back(module->Handle);
        throw;
    }
    if (!refusal.isEmpty()) {
        module->Plugin.reset();
        DeliverPostedEvents();
        if (dlclose(module->Handle) != 0)
            qCCritical(hostapi::lcHostApi).noquote()
                << "The refused module" << module->FileName << "cannot be unloaded:" << DlError();
        throw EQVException(refusal);
    }
    TClientPluginBase& plugin = *module->Plugin;
    QMutexLocker locker(&FLock);
    FModules.push_back(std::move(module));
    qCInfo(hostapi::lcHostApi).noquote() << "Loaded module" << plugin.PluginGUID() << "from"
                                << FModules.back()->FileName;
    return plugin;
}

void ModuleLoader::Init() {
    AssertGuiThread();
    for (const auto& module : FModules)
        module->Plugin->Init();
}

void ModuleLoader::AfterStartup() {
    AssertGuiThread();
    for (const auto& module : FModules)
        module->Plugin->AfterStartup();
}

void ModuleLoader::SetLanguage(const QString& ALangName) {
    AssertGuiThread();
    for (const auto& module : FModules)
        module->Plugin->SetLanguage(ALangName);
    for (const auto& module : FModules) {
        if (auto* gui = dynamic_cast<TClientPluginBaseGUI*>(module->Plugin.get())) {
            for (TPluginForm* form : gui->Forms())
                form->SetLanguage(ALangName);
        }
    }
}

bool ModuleLoader::CanShutDown() {
    AssertGuiThread();
    for (const auto& module : FModules) {
        if (!module->Plugin->CanShutDown()) {
            qCInfo(hostapi::lcHostApi).noquote()
                << "The module" << module->Plugin->PluginGUID() << "refuses to shut down";
            return false;
        }
    }
    return true;
}

bool ModuleLoader::ShutDown() {
    if (!CanShutDown())
        return false;
    UnloadAll();
    return true;
}

void ModuleLoader::UnloadAll() {
    AssertGuiThread();
    // Windows first: their closing hooks may still use their data modules.
    for (const auto& module : FModules) {
        if (auto* gui = dynamic_cast<TClientPluginBaseGUI*>(module->Plugin.get()))
            gui->CloseForms();
    }
    DeliverPostedEvents();
    for (const auto& module : FModules) {
        if (!module->BeforeUnInitDone) {
            module->Plugin->BeforeUnInit();
            module->BeforeUnInitDone = true;
        }
    }
    for (const auto& module : FModules) {
        if (!module->UnInitDone) {
            module->Plugin->UnInit();
            module->UnInitDone = true;
        }
    }
    DeliverPostedEvents();
    while (!FModules.empty()) {
        Module& last = *FModules.back();
        const int running = last.Plugin->RunningThreadCount();
        if (running > 0)
            throw EQVException(
                QStringLiteral("The module %1 still runs %2 thread(s) after UnInit; it stays loaded")
                    .arg(last.FileName)
                    .arg(running));
        std::unique_ptr<Module> module;
        {
            QMutexLocker locker(&FLock);
            module = std::move(FModules.back());
            FModules.pop_back();
        }
        // Text of the module's own (e.g. a literal) must not outlive it: copy.
        const QString guid = OwnedCopy(module->Plugin->PluginGUID());
        module->Plugin.reset();
        DeliverPostedEvents();
        if (dlclose(module->Handle) != 0)
            throw EQVException(
                QStringLiteral("The module %1 cannot be unloaded: %2").arg(module->FileName, DlError()));
        qCInfo(hostapi::lcHostApi).noquote() << "Unloaded module" << guid;
    }
}

QList<TClientPluginBase*> ModuleLoader::Plugins() const {
    QMutexLocker locker(&FLock);
    QList<TClientPluginBase*> result;
    for (const auto& module : FModules)
        result.append(module->Plugin.get());
    return result;
}

TClientPluginBase* ModuleLoader::PluginByGUID(const QString& APluginGUID) const {
    QMutexLocker locker(&FLock);
    for (const auto& module : FModules) {
        if (module->Plugin->PluginGUID().compare(APluginGUID, Qt::CaseInsensitive) == 0)
            return module->Plugin.get();
    }
    return nullptr;
}

QString ModuleLoader::FileNameOf(const QString& APluginGUID) const {
    QMutexLocker locker(&FLock);
    for (const auto& module : FModules) {
        if (module->Plugin->PluginGUID().compare(APluginGUID, Qt::CaseInsensitive) == 0)
            return module->FileName;
    }
    return {};
}

} // namespace hostapi
