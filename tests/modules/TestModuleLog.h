#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace testmodule {

// The module-wide record of the test module. When the module is unloaded it records
// "TestModule.Unloaded" to the sink.
void Record(const QString& AEntry);
QStringList RecordedLog();
void SetRecordSink(std::function<void(const QString&)> ASink);

} // namespace testmodule
