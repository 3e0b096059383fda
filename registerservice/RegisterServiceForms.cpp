#include "RegisterServiceForms.h"

#include "VRNLang.h"

namespace registerservice {

void AddRegisterServiceForms(hostapi::TQVPluginFormManager& AManager, int AConfigIconIndex,
                             const QString& ALangName) {
    hostapi::TVRNLang lang(QStringLiteral("RegisterServiceForms"));
    lang.SetLanguage(ALangName);
    const QString title = lang.Text(QStringLiteral("IDS_MenuTitle"));
    AManager.Add({QStringLiteral("TfrmPluginRegisterServiceConfig"),
                  lang.Text(QStringLiteral("IDS_MenuConfiguration")), title, hostapi::pmtMainMenu,
                  AConfigIconIndex, hostapi::pfldTemporary});
    AManager.Add({QStringLiteral("TfrmPluginRegisterServiceLogFile"),
                  lang.Text(QStringLiteral("IDS_MenuLogs")), title, hostapi::pmtMainMenu, -1,
                  hostapi::pfldTemporary});
}

} // namespace registerservice
