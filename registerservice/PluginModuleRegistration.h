#pragma once

#include "ClientPluginBase.h"

#include <QString>

namespace registerservice {

// GUID of the register service module.
QString PluginModuleGUID();

// The module's class lists, handed to the host by InitProc. Filled by RegisterModuleClasses.
hostapi::TPluginDataModuleClassList& PluginDataModuleClasses();
hostapi::TPluginFormClassList& PluginFormClasses();

// Registers every data-module and window class of the module into the two lists. InitProc calls it
// before it builds the plug-in object; calling it again changes nothing.
void RegisterModuleClasses();

} // namespace registerservice
