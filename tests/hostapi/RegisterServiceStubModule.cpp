// A module that stands in for the register service module: its GUID and the interface it offers.
// Each fetch is reported to the host's message sink, so the test sees the call across the module
// boundary; with ARaiseErrors a fetch raises the user-message exception the real module raises
// without a URL.

#include "ClientPluginBase.h"
#include "IExtFuncPluginRegisterService.h"
#include "MessageSink.h"
#include "PluginBaseDataModule.h"
#include "RegisterServicePlugin.h"

namespace registerservicestub {

class TdmRegisterServiceStub : public hostapi::TPluginBaseDataModule,
                               public hostapi::IExtFuncPluginRegisterService {
    Q_OBJECT
public:
    explicit TdmRegisterServiceStub(hostapi::TClientPluginBase* AOwner) : TPluginBaseDataModule(AOwner) {
        SetSelfIsExtFunc(true);
    }

    bool FetchRegisterService(bool AThreaded, bool ARaiseErrors) override {
        hostapi::MessageSink::Current().AddMessage(QStringLiteral("fetch threaded=%1 raise=%2")
                                                       .arg(QLatin1String(AThreaded ? "true" : "false"),
                                                            QLatin1String(ARaiseErrors ? "true" : "false")),
                                                   hostapi::MessageKind::Info);
        if (ARaiseErrors)
            throw hostapi::EQVUserMessageException(QStringLiteral("URL to Register-Service not configured!"));
        return true;
    }

protected:
    hostapi::IExtFunc* DoOnGetExtFunc(const QString& AIID) override {
        if (hostapi::IExtFunc::IsIID<hostapi::IExtFuncPluginRegisterService>(AIID))
            return static_cast<hostapi::IExtFuncPluginRegisterService*>(this);
        return TPluginBaseDataModule::DoOnGetExtFunc(AIID);
    }
};

namespace {

const char ModuleAnchor = 0;

hostapi::TPluginDataModuleClassList& PluginDataModuleClasses() {
    static hostapi::TPluginDataModuleClassList classes;
    return classes;
}

} // namespace

} // namespace registerservicestub

extern "C" Q_DECL_EXPORT hostapi::TClientPluginBase* InitProc() {
    using namespace registerservicestub;
    hostapi::TClientPluginBase::RegisterPluginDataModule<TdmRegisterServiceStub>(PluginDataModuleClasses());
    return new hostapi::TClientPluginBase(
        QString::fromLatin1(hostapi::TRegisterServicePlugin::RegisterServiceModuleGUID),
        hostapi::TClientPluginBase::ModuleInstance(&ModuleAnchor), PluginDataModuleClasses(), true);
}

#include "RegisterServiceStubModule.moc"
