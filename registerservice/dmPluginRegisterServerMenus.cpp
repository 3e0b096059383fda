#include "dmPluginRegisterServerMenus.h"

#include "ExceptionDisplay.h"
#include "QVException.h"
#include "QVGlobalMenuClient.h"
#include "QVPluginFormManager.h"
#include "RegisterServiceForms.h"
#include "dmPluginRegisterServiceMain.h"

#include <QAction>

namespace registerservice {

TdmPluginRegisterServerMenus* dmPluginRegisterServerMenus = nullptr;

TdmPluginRegisterServerMenus::TdmPluginRegisterServerMenus(hostapi::TClientPluginBase* AOwner)
    : hostapi::TPluginBaseDataModule(AOwner), siLang(QStringLiteral("dmPluginRegisterServerMenus")),
      FactFetch(new QAction(this)), GlobalMenuRegisterService(new hostapi::TQVGlobalMenuClient(this)) {
    dmPluginRegisterServerMenus = this;
    FactFetch->setObjectName(QStringLiteral("actFetch"));
    connect(FactFetch, &QAction::triggered, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { actFetchExecute(); }); });
    GlobalMenuRegisterService->setObjectName(QStringLiteral("GlobalMenuRegisterService"));
    GlobalMenuRegisterService->AddAction(QStringLiteral("GMNU_Import"), FactFetch);
    ApplyTexts();
}

TdmPluginRegisterServerMenus::~TdmPluginRegisterServerMenus() {
    if (dmPluginRegisterServerMenus == this)
        dmPluginRegisterServerMenus = nullptr;
}

void TdmPluginRegisterServerMenus::SetLanguage(const QString& ALangName) {
    hostapi::TPluginBaseDataModule::SetLanguage(ALangName);
    siLang.SetLanguage(ALangName);
    ApplyTexts();
}

void TdmPluginRegisterServerMenus::ApplyTexts() {
    FactFetch->setText(siLang.Text(QStringLiteral("IDS_actFetch")));
    // Rebuilt on every language switch: the host reads the menu texts anew from it.
    delete FQVPluginFormManager;
    FQVPluginFormManager = new hostapi::TQVPluginFormManager(this);
    FQVPluginFormManager->setObjectName(QStringLiteral("QVPluginFormManager"));
    FQVPluginFormManager->SetModuleTitle(QStringLiteral("Register-Service"));
    AddRegisterServiceForms(*FQVPluginFormManager, 227, siLang.Language());
}

void TdmPluginRegisterServerMenus::actFetchExecute() {
    if (!dmPluginRegisterServiceMain)
        throw hostapi::EQVException(QStringLiteral("The register service's main data module does not exist"));
    dmPluginRegisterServiceMain->FetchWithProgress();
}

} // namespace registerservice
