#include "TestModuleLog.h"

#include "OwnedText.h"

namespace testmodule {

namespace {

struct LogState {
    QStringList Entries;
    std::function<void(const QString&)> Sink;

    ~LogState() {
        if (Sink)
            Sink(QString::fromLatin1("TestModule.Unloaded"));
    }
};

LogState& State() {
    static LogState state;
    return state;
}

} // namespace

// Records are read after the module is unloaded; literals live in its code, so they are copied.
void Record(const QString& AEntry) {
    const QString entry = hostapi::OwnedCopy(AEntry);
    State().Entries.append(entry);
    if (State().Sink)
        State().Sink(entry);
}

QStringList RecordedLog() {
    return State().Entries;
}

void SetRecordSink(std::function<void(const QString&)> ASink) {
    State().Sink = std::move(ASink);
}

} // namespace testmodule
