#pragma once

#include "QVPluginFormManager.h"

#include <QString>

namespace registerservice {

// Declares the module's two windows in AManager with their menu texts in ALangName: index 0 the
// configuration window ("Konfiguration"), index 1 the log window ("Protokolle"), both created anew
// at every opening. AConfigIconIndex: the configuration entry's icon in the host's global menu (-1:
// none).
void AddRegisterServiceForms(hostapi::TQVPluginFormManager& AManager, int AConfigIconIndex,
                             const QString& ALangName);

} // namespace registerservice
