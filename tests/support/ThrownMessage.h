#pragma once

#include "QVException.h"

#include <QString>

#include <functional>

namespace testsupport {

// The message of the EQVException AAction throws; "<no exception>" when it throws none.
inline QString ThrownMessage(const std::function<void()>& AAction) {
    try {
        AAction();
    } catch (const hostapi::EQVException& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace testsupport
