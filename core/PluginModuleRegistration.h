#pragma once

#include "ClientPluginBase.h"

#include <QString>

namespace emailmarketing {

// GUID of the e-mail marketing module.
QString PluginModuleGUID();

// The module's class lists, handed to the host by InitProc. The data modules are filled by
// RegisterModuleClasses, the windows by the module entry.
hostapi::TPluginDataModuleClassList& PluginDataModuleClasses();
hostapi::TPluginFormClassList& PluginFormClasses();

// Registers every data-module class of the module (and the PDF file macro replacer). InitProc calls it
// before it builds the plug-in object; calling it again changes nothing.
void RegisterModuleClasses();

} // namespace emailmarketing
