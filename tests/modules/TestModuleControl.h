#pragma once

#include "PluginBaseDataModule.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace testmodule {

// GUID of the test module.
inline constexpr const char* TestModuleGUID = "{3F2C8A61-5B7E-4D19-9C0A-7E4B2D6F1A85}";
// Identifier of the scheduler action that OfferScheduleAction adds.
inline constexpr const char* TestActionIdentifier = "{5D8E2F14-7A3B-4C69-B0E1-2F4A6C8D9E07}";

// With the environment variable QV_TEST_MODULE_FAIL_CREATE set, creating the main data module raises
// EQVUserMessageException. With QV_TEST_MODULE_JOB set, AfterStartup opens a row in "emljobs" and
// starts a thread that runs until BeforeUnInit, which ends it and closes the row (end date set); the
// module then writes "TestModule: job running" to standard error. With QV_TEST_MODULE_REFUSE_SHUTDOWN
// set, CanShutDown answers False.
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
    // The text AId of the module's own translation table "TstLangTestModule", in the module's language.
    virtual QString Text(const QString& AId) const = 0;
    // Adds a scheduler component to the main data module with one action, "Testmodul abgleichen"
    // (TestActionIdentifier); a run reports "abgeglichen" to the scheduler and "Testmodul: Abgleich
    // fertig" to the message sink, all texts the module's own literals.
    virtual void OfferScheduleAction() = 0;
    // Opens a progress entry "Testmodul arbeitet" with the text "Schritt 1" and leaves it open;
    // answers its handle.
    virtual int OpenProgress() = 0;
};

} // namespace testmodule
