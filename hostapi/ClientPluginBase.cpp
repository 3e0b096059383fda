#include "ClientPluginBase.h"

#include "ExceptionDisplay.h"
#include "PluginForm.h"
#include "QVException.h"

#include <dlfcn.h>

namespace hostapi {

namespace {

// Shared rules of both class lists: a class is named, creatable and registered once.
template <class TClass> void AddClass(TClass AClass, QList<TClass>& AList) {
    QV_ASSERT(!AClass.ClassName.isEmpty());
    QV_ASSERT(static_cast<bool>(AClass.Create));
    for (const TClass& existing : AList) {
        if (existing.ClassName != AClass.ClassName)
            continue;
        if (existing.MetaObject && existing.MetaObject == AClass.MetaObject)
            return;
        throw EQVException(
            QStringLiteral("Another class named %1 is already registered").arg(AClass.ClassName));
    }
    AList.append(std::move(AClass));
}

} // namespace

TClientPluginBase::TClientPluginBase(const QString& APluginGUID, quint32 AInstance,
                                     const TPluginDataModuleClassList& APluginDataModuleClasses,
                                     bool AAutoCreateDataModules)
    : FPluginGUID(APluginGUID), FInstance(AInstance), FPluginDataModuleClasses(APluginDataModuleClasses),
      FAutoCreateDataModules(AAutoCreateDataModules) {
    QV_ASSERT(!FPluginGUID.isEmpty());
}

TClientPluginBase::~TClientPluginBase() {
    DestroyDataModules();
}

void TClientPluginBase::RegisterPluginDataModule(TPluginDataModuleClass AClass,
                                                 TPluginDataModuleClassList& AList) {
    AddClass(std::move(AClass), AList);
}

QString TClientPluginBase::ClassNameOf(const QMetaObject& AMetaObject) {
    const QString name = QString::fromLatin1(AMetaObject.className());
    const qsizetype separator = name.lastIndexOf(QLatin1String("::"));
    return separator < 0 ? name : name.mid(separator + 2);
}

quint32 TClientPluginBase::ModuleInstance(const void* AAddressInModule) {
    Dl_info info{};
    if (dladdr(AAddressInModule, &info) == 0 || !info.dli_fbase)
        throw EQVException(QStringLiteral("The shared object of address %1 is unknown")
                               .arg(reinterpret_cast<quintptr>(AAddressInModule), 0, 16));
    return static_cast<quint32>(reinterpret_cast<quintptr>(info.dli_fbase) & 0xFFFFFFFFu);
}

void TClientPluginBase::CreateDataModules() {
    QV_ASSERT(FDataModules.empty());
    try {
        for (const TPluginDataModuleClass& dataModuleClass : FPluginDataModuleClasses) {
            std::unique_ptr<TPluginBaseDataModule> dataModule = dataModuleClass.Create(this);
            QV_ASSERT(dataModule != nullptr);
            FDataModules.push_back(std::move(dataModule));
        }
    } catch (...) {
        DestroyDataModules();
        throw;
    }
}

QList<TPluginBaseDataModule*> TClientPluginBase::DataModules() const {
    QList<TPluginBaseDataModule*> result;
    result.reserve(static_cast<qsizetype>(FDataModules.size()));
    for (const auto& dataModule : FDataModules)
        result.append(dataModule.get());
    return result;
}

void TClientPluginBase::DestroyDataModules() {
    while (!FDataModules.empty())
        FDataModules.pop_back();
}

void TClientPluginBase::Init() {
    for (const auto& dataModule : FDataModules)
        dataModule->Init();
}

void TClientPluginBase::AfterStartup() {
    for (const auto& dataModule : FDataModules)
        dataModule->AfterStartup();
}

void TClientPluginBase::SetLanguage(const QString& ALangName) {
    for (const auto& dataModule : FDataModules)
        dataModule->SetLanguage(ALangName);
}

bool TClientPluginBase::CanShutDown() {
    for (const auto& dataModule : FDataModules) {
        if (!dataModule->CanShutDown())
            return false;
    }
    return true;
}

void TClientPluginBase::BeforeUnInit() {
    for (const auto& dataModule : FDataModules)
        dataModule->BeforeUnInit();
}

void TClientPluginBase::UnInit() {
    for (const auto& dataModule : FDataModules)
        dataModule->UnInit();
}

int TClientPluginBase::RunningThreadCount() const {
    int count = 0;
    for (const auto& dataModule : FDataModules)
        count += dataModule->RunningThreadCount();
    return count;
}

IExtFunc* TClientPluginBase::GetExtFunc(const QString& AIID) const {
    for (const auto& dataModule : FDataModules) {
        if (IExtFunc* answer = dataModule->GetExtFunc(AIID))
            return answer;
    }
    return nullptr;
}

TClientPluginBaseGUI::TClientPluginBaseGUI(const QString& APluginGUID, quint32 AInstance,
                                           const TPluginDataModuleClassList& APluginDataModuleClasses,
                                           const TPluginFormClassList& APluginFormClasses,
                                           bool AAutoCreateDataModules)
    : TClientPluginBase(APluginGUID, AInstance, APluginDataModuleClasses, AAutoCreateDataModules),
      FPluginFormClasses(APluginFormClasses) {}

TClientPluginBaseGUI::~TClientPluginBaseGUI() {
    CloseForms();
}

void TClientPluginBaseGUI::RegisterPluginFormClass(TPluginFormClass AClass, TPluginFormClassList& AList) {
    AddClass(std::move(AClass), AList);
}

void TClientPluginBaseGUI::SetModuleName(const QString& AName) {
    FModuleName = QString(AName.constData(), AName.size());
}

int TClientPluginBaseGUI::IndexOfPluginForm(const QString& AClassName) const {
    for (qsizetype i = 0; i < FPluginFormClasses.size(); ++i) {
        if (FPluginFormClasses.at(i).ClassName == AClassName)
            return static_cast<int>(i);
    }
    return -1;
}

TPluginForm* TClientPluginBaseGUI::CreatePluginForm(int AIndex, QWidget* AParent) {
    QV_ASSERT(AIndex >= 0 && AIndex < FPluginFormClasses.size());
    TPluginForm* form = FPluginFormClasses.at(AIndex).Create(AParent);
    QV_ASSERT(form != nullptr);
    FForms.removeAll(QPointer<TPluginForm>());
    FForms.append(form);
    return form;
}

QList<TPluginForm*> TClientPluginBaseGUI::Forms() const {
    QList<TPluginForm*> result;
    for (const QPointer<TPluginForm>& form : FForms) {
        if (form)
            result.append(form.data());
    }
    return result;
}

TPluginForm* TClientPluginBaseGUI::FindForm(const QString& AClassName) const {
    for (TPluginForm* form : Forms()) {
        if (!form->FormClosed() && ClassNameOf(*form->metaObject()) == AClassName)
            return form;
    }
    return nullptr;
}

void TClientPluginBaseGUI::CloseForms() {
    const QList<TPluginForm*> forms = Forms();
    for (auto it = forms.crbegin(); it != forms.crend(); ++it) {
        TPluginForm* form = *it;
        try {
            form->RunFormClose();
        } catch (...) {
            TVRNExceptionUtils::ShowCurrent(ClassNameOf(*form->metaObject()));
        }
        delete form;
    }
    FForms.clear();
}

} // namespace hostapi
