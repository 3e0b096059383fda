#pragma once

#include "PluginBaseDataModule.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace testmodule {

// GUID of the test module.
inline constexpr const char* TestModuleGUID = "{3F2C8A61-5B7E-4D19-9C0A-7E4B2D6F1A85}";

// With the environment variable QV_TEST_MODULE_FAIL_CREATE set, creating the main data module raises
// EQVUserMessageException.
//
// What the test module's main data module offers the tests through the ext-function query: its
// record of life-cycle calls and the answers the tests script.
class Q_DECL_EXPORT ITestModuleControl : public hostapi::IExtFunc {
public:
    static constexpr const char* IID = "{9B3E5D27-4C81-4F6A-B2D0-5E7A1C3F8D46}";

    // Everything recorded since the module was loaded, e.g. "TdmTestModuleMain.Init".
    virtual QStringList Log() const = 0;
    // Receives every later record, the module's "TestModule.Unloaded" included.
    virtual void SetSink(std::function<void(const QString&)> ASink) = 0;
    virtual void SetCanShutDownAnswer(bool AAnswer) = 0;
    virtual void SetRunningThreads(int ACount) = 0;
    // The main data module raises EQVUserMessageException(AMessage) in life-cycle step AStep
    // ("Init", "AfterStartup", "SetLanguage", "CanShutDown", "BeforeUnInit", "UnInit"); an empty
    // AStep raises nowhere.
    virtual void SetFailure(const QString& AStep, const QString& AMessage) = 0;
};

} // namespace testmodule
