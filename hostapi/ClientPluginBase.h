#pragma once

#include "HostApiExport.h"
#include "PluginBaseDataModule.h"
#include "PluginForm.h"

#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

namespace hostapi {

// A data-module class of a module: its name (without namespace) and how to create it.
struct HOSTAPI_EXPORT TPluginDataModuleClass {
    using TFactory = std::function<std::unique_ptr<TPluginBaseDataModule>(TClientPluginBase* AOwner)>;
    QString ClassName;
    const QMetaObject* MetaObject = nullptr; // identifies the class; nullptr for a hand-made entry
    TFactory Create;
};
using TPluginDataModuleClassList = QList<TPluginDataModuleClass>;

// A window class of a module. Windows are found by class name (form managers, first-start steps).
struct HOSTAPI_EXPORT TPluginFormClass {
    using TFactory = std::function<TPluginForm*(QWidget* AParent)>;
    QString ClassName;
    const QMetaObject* MetaObject = nullptr;
    TFactory Create;
};
using TPluginFormClassList = QList<TPluginFormClass>;

// The plug-in object of a module, made by the module's InitProc from its GUID, its instance and its
// class lists. The lists stay the module's (function-local statics of its registration unit); the
// object keeps references to them and must be destroyed before the module is unloaded. It owns the
// data modules it creates and drives their life-cycle in creation order (destruction in reverse).
class HOSTAPI_EXPORT TClientPluginBase {
public:
    // AAutoCreateDataModules: the host creates the registered data modules right after InitProc.
    TClientPluginBase(const QString& APluginGUID, quint32 AInstance,
                      const TPluginDataModuleClassList& APluginDataModuleClasses,
                      bool AAutoCreateDataModules);
    virtual ~TClientPluginBase();
    TClientPluginBase(const TClientPluginBase&) = delete;
    TClientPluginBase& operator=(const TClientPluginBase&) = delete;

    // Adds T to AList, named after its class (namespace stripped). Registering the same class again
    // changes nothing; another class of the same name raises EQVException.
    template <class T> static void RegisterPluginDataModule(TPluginDataModuleClassList& AList) {
        static_assert(std::is_base_of_v<TPluginBaseDataModule, T>,
                      "data modules derive from TPluginBaseDataModule");
        static_assert(QtPrivate::HasQ_OBJECT_Macro<T>::Value, "a registered data module declares Q_OBJECT");
        RegisterPluginDataModule(TPluginDataModuleClass{ClassNameOf(T::staticMetaObject),
                                                        &T::staticMetaObject,
                                                        [](TClientPluginBase* AOwner) {
                                                            return std::unique_ptr<TPluginBaseDataModule>(
                                                                std::make_unique<T>(AOwner));
                                                        }},
                                 AList);
    }
    static void RegisterPluginDataModule(TPluginDataModuleClass AClass, TPluginDataModuleClassList& AList);

    // The class name without namespace ("hostapi::TPluginForm" -> "TPluginForm").
    static QString ClassNameOf(const QMetaObject& AMetaObject);
    // The low 32 bits of the load address of the shared object that holds AAddressInModule.
    static quint32 ModuleInstance(const void* AAddressInModule);

    QString PluginGUID() const { return FPluginGUID; }
    quint32 Instance() const { return FInstance; }
    bool AutoCreateDataModules() const { return FAutoCreateDataModules; }
    const TPluginDataModuleClassList& PluginDataModuleClasses() const { return FPluginDataModuleClasses; }

    // Creates one data module of every registered class, in list order. When one constructor raises,
    // the data modules made so far are destroyed again and the exception passes on.
    void CreateDataModules();
    QList<TPluginBaseDataModule*> DataModules() const;
    // Destroys the data modules, the last created first.
    void DestroyDataModules();

    // Life-cycle of every data module, in creation order. CanShutDown stops at the first False.
    void Init();
    void AfterStartup();
    void SetLanguage(const QString& ALangName);
    bool CanShutDown();
    void BeforeUnInit();
    void UnInit();
    int RunningThreadCount() const;

    // The first answer of a data module (creation order) to an ext-function query; nullptr when none
    // offers AIID.
    IExtFunc* GetExtFunc(const QString& AIID) const;
    template <class I> I* GetExtFunc() const {
        return ExtFuncAs<I>(GetExtFunc(QLatin1String(I::IID)), QStringLiteral("Module %1").arg(FPluginGUID));
    }

    // Host components of type T of all data modules (their direct QObject children), in creation order.
    template <class T> QList<T*> FindComponents() const {
        QList<T*> result;
        for (const auto& dataModule : FDataModules)
            result += dataModule->template findChildren<T*>(Qt::FindDirectChildrenOnly);
        return result;
    }

private:
    QString FPluginGUID;
    quint32 FInstance;
    const TPluginDataModuleClassList& FPluginDataModuleClasses;
    bool FAutoCreateDataModules;
    std::vector<std::unique_ptr<TPluginBaseDataModule>> FDataModules;
};

// The plug-in object of a module with windows.
class HOSTAPI_EXPORT TClientPluginBaseGUI : public TClientPluginBase {
public:
    TClientPluginBaseGUI(const QString& APluginGUID, quint32 AInstance,
                         const TPluginDataModuleClassList& APluginDataModuleClasses,
                         const TPluginFormClassList& APluginFormClasses, bool AAutoCreateDataModules);
    // Closes the windows that are still open (see CloseForms).
    ~TClientPluginBaseGUI() override;

    // Adds window class T to AList; the same rules as RegisterPluginDataModule.
    template <class T> static void RegisterPluginFormClass(TPluginFormClassList& AList) {
        static_assert(std::is_base_of_v<TPluginForm, T>, "windows derive from TPluginForm");
        static_assert(QtPrivate::HasQ_OBJECT_Macro<T>::Value, "a registered window declares Q_OBJECT");
        RegisterPluginFormClass(
            TPluginFormClass{ClassNameOf(T::staticMetaObject), &T::staticMetaObject,
                             [](QWidget* AParent) -> TPluginForm* { return new T(AParent); }},
            AList);
    }
    static void RegisterPluginFormClass(TPluginFormClass AClass, TPluginFormClassList& AList);

    const TPluginFormClassList& PluginFormClasses() const { return FPluginFormClasses; }
    // Index of the window class named AClassName in PluginFormClasses(); -1 when not registered.
    int IndexOfPluginForm(const QString& AClassName) const;

    // A name the module gives its plug-in object (e.g. "EmailMarketing"); empty until set. The text
    // is copied, so it stays valid after the module is unloaded.
    QString ModuleName() const { return FModuleName; }
    void SetModuleName(const QString& AName);

    // Creates a window of class AIndex (EQVAssertion when out of range). The plug-in object keeps
    // track of it until it is destroyed.
    TPluginForm* CreatePluginForm(int AIndex, QWidget* AParent = nullptr);
    // The module's windows that exist, in creation order.
    QList<TPluginForm*> Forms() const;
    // The first existing window of class AClassName whose closing hook has not run; nullptr when none.
    TPluginForm* FindForm(const QString& AClassName) const;
    // Runs the closing hook of every existing window and destroys it, the newest first. A failing
    // hook is shown through the exception display; the window is destroyed all the same.
    void CloseForms();

private:
    const TPluginFormClassList& FPluginFormClasses;
    QList<QPointer<TPluginForm>> FForms;
    QString FModuleName;
};

// The module entry every module exports with C linkage under the name "InitProc": answers a new
// plug-in object, which the caller owns.
using TInitProc = TClientPluginBase* (*)();

} // namespace hostapi
