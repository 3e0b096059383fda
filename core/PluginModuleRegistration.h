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

// Registers the module's windows (windows/) in their fixed order: the menus and first-start steps
// open them by index (0 mailing, 1 lists, 2 settings); a window not offered yet is a placeholder that
// tells the user so. A real window takes its placeholder's line:
//   hostapi::TClientPluginBaseGUI::RegisterPluginFormClass<TfrmX>(PluginFormClasses());
// Defined in PluginFormRegistration.cpp, which the module (and tests that need the windows) compile
// beside qvcore: the engine library never links the windows. Calling it again changes nothing.
void RegisterFormClasses();

} // namespace emailmarketing
