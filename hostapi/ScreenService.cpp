#include "ScreenService.h"

#include "ClientPluginBase.h"
#include "PluginForm.h"
#include "QVException.h"
#include "QVMainInterface.h"

namespace hostapi {

namespace {

TClientPluginBaseGUI& RequireGUIPlugin(const ScreenService::TPluginLookup& AFindPlugin,
                                       const QString& AGUID) {
    TClientPluginBase* plugin = AFindPlugin(AGUID);
    if (!plugin)
        throw EQVException(QStringLiteral("Module %1 is not loaded").arg(AGUID));
    auto* gui = dynamic_cast<TClientPluginBaseGUI*>(plugin);
    if (!gui)
        throw EQVException(QStringLiteral("Module %1 has no windows").arg(AGUID));
    return *gui;
}

} // namespace

IScreenService::~IScreenService() = default;

bool IScreenService::HidesWindowToolBars() const {
    return false;
}

ScreenService::ScreenService(TPluginLookup AFindPlugin)
    : FFindPlugin(AFindPlugin ? std::move(AFindPlugin) : TPluginLookup(&TQVMainInterface::FindPlugin)) {}

ScreenService::~ScreenService() = default;

TPluginForm* ScreenService::OpenPluginForm(const QString& APluginGUID, int AFormIndex,
                                           const QVariant& AParams) {
    TClientPluginBaseGUI& plugin = RequireGUIPlugin(FFindPlugin, APluginGUID);
    if (AFormIndex < 0 || AFormIndex >= plugin.PluginFormClasses().size())
        throw EQVException(QStringLiteral("Module %1 has no window %2").arg(APluginGUID).arg(AFormIndex));
    const QString className = plugin.PluginFormClasses().at(AFormIndex).ClassName;
    TPluginForm* form = plugin.FindForm(className);
    if (!form) {
        form = plugin.CreatePluginForm(AFormIndex, nullptr);
        form->SetWindowStateStorage(FWindowStates);
        form->InitializeUIState(*this);
        if (FormLoading(plugin, className) == pfldTemporary)
            form->setAttribute(Qt::WA_DeleteOnClose);
    }
    form->SetShowParams(AParams);
    form->show();
    form->raise();
    form->activateWindow();
    form->NotifyShown();
    return form;
}

TPluginForm* ScreenService::OpenPluginForm(const QString& APluginGUID, const QString& AClassName,
                                           const QVariant& AParams) {
    const int index = RequireGUIPlugin(FFindPlugin, APluginGUID).IndexOfPluginForm(AClassName);
    if (index < 0)
        throw EQVException(QStringLiteral("Module %1 has no window class %2").arg(APluginGUID, AClassName));
    return OpenPluginForm(APluginGUID, index, AParams);
}

TPluginFormLoading ScreenService::FormLoading(const TClientPluginBase& APlugin, const QString& AClassName) {
    for (const TQVPluginFormManager* manager : APlugin.FindComponents<TQVPluginFormManager>()) {
        for (const TQVPluginFormManagerItem& item : manager->Items()) {
            if (item.PluginFormClassName == AClassName)
                return item.Loading;
        }
    }
    return pfldPermanent;
}

} // namespace hostapi
