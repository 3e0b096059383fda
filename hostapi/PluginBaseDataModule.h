#pragma once

#include "HostApiExport.h"
#include "QVException.h"

#include <QObject>
#include <QString>

#include <type_traits>

namespace hostapi {

class ISettingsStore;
class IScreenService;
class TClientPluginBase;
class TDBFieldSchema;

// Base of every interface that a data module offers other modules through the ext-function query.
// A derived interface names its id in a static member `IID` (GUID text, upper case), e.g.
//   class HOSTAPI_EXPORT IExtFuncPluginRegisterService : public IExtFunc {
//   public: static constexpr const char* IID = "{0D03F319-712D-483B-AD94-ED1AC1F3586B}"; ... };
// Interfaces that cross module boundaries are declared in hostapi with an out-of-line destructor, so
// that their type information exists once in the process.
class HOSTAPI_EXPORT IExtFunc {
public:
    virtual ~IExtFunc();

    // True when AIID names interface I (ids compare without regard to letter case).
    template <class I> static bool IsIID(const QString& AIID) {
        return AIID.compare(QLatin1String(I::IID), Qt::CaseInsensitive) == 0;
    }
};

// The typed view of an answer to an ext-function query for I::IID: nullptr stays nullptr; an object
// that does not implement I raises EQVException (a module answered an id with a wrong interface).
template <class I> I* ExtFuncAs(IExtFunc* AAnswer, const QString& AAnsweredBy) {
    static_assert(std::is_base_of_v<IExtFunc, I>, "ext-function interfaces derive from IExtFunc");
    if (!AAnswer)
        return nullptr;
    I* typed = dynamic_cast<I*>(AAnswer);
    if (!typed)
        throw EQVException(QStringLiteral("%1 answered the interface query %2 with another interface")
                               .arg(AAnsweredBy, QLatin1String(I::IID)));
    return typed;
}

// Base of a module's data modules. The host creates the registered data modules after the module's
// InitProc (their owner is the module's plug-in object) and drives them, each on the GUI thread:
//   Init -> AfterStartup -> SetLanguage (again on every language switch) ... CanShutDown (every data
//   module of every module must answer True) -> BeforeUnInit -> UnInit -> destruction.
// Host components of a data module (form manager, first-start steps, scheduler actions, ...) are its
// QObject children; the host finds them there.
class HOSTAPI_EXPORT TPluginBaseDataModule : public QObject {
    Q_OBJECT

public:
    // AOwner may be nullptr (a data module created outside a module, e.g. by a test).
    explicit TPluginBaseDataModule(TClientPluginBase* AOwner);
    ~TPluginBaseDataModule() override;

    TClientPluginBase* PluginOwner() const { return FPluginOwner; }
    // The module GUID text of the owning plug-in object; empty without one.
    QString PluginGUID() const;

    virtual void Init();
    virtual void AfterStartup();
    // ALangName is one of TVRNLang::LanguageNames(). Derived classes switch their own translation
    // components and then refresh what shows translated texts.
    virtual void SetLanguage(const QString& ALangName);
    QString Language() const { return FLanguage; }
    // False keeps the host running.
    virtual bool CanShutDown();
    virtual void BeforeUnInit();
    virtual void UnInit();
    // Threads of this data module that are not joined yet. The host unloads a module only when every
    // data module answers 0 after UnInit.
    virtual int RunningThreadCount() const;

    // Whether this data module answers the host's ext-function queries (off after creation).
    bool SelfIsExtFunc() const { return FSelfIsExtFunc; }
    void SetSelfIsExtFunc(bool AValue) { FSelfIsExtFunc = AValue; }

    // The interface offered for AIID, or nullptr (not offered, or SelfIsExtFunc off).
    IExtFunc* GetExtFunc(const QString& AIID);
    template <class I> I* GetExtFunc() {
        return ExtFuncAs<I>(GetExtFunc(QLatin1String(I::IID)),
                            QString::fromLatin1(metaObject()->className()));
    }

    // Host services (see TQVMainInterface).
    TDBFieldSchema& GetDBFieldSchema() const;
    ISettingsStore& GetSaveSettings() const;
    IScreenService& GetScreen() const;

protected:
    // Answers the interface this data module offers for AIID, and nullptr for every id it does not
    // offer. An override answers its own ids, e.g.
    //   if (IExtFunc::IsIID<IExtFuncPluginRegisterService>(AIID))
    //       return static_cast<IExtFuncPluginRegisterService*>(this);
    //   return TPluginBaseDataModule::DoOnGetExtFunc(AIID);
    // The base offers nothing.
    virtual IExtFunc* DoOnGetExtFunc(const QString& AIID);

private:
    TClientPluginBase* FPluginOwner;
    QString FLanguage;
    bool FSelfIsExtFunc = false;
};

} // namespace hostapi
