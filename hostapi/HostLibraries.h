#pragma once

#include "HostApiExport.h"

namespace hostapi {

// The C libraries whose global state the whole process shares: libcurl, GMime and OpenSSL. The host
// initialises them once at start, before any module thread runs; nothing shuts them down while the
// process lives (modules never do).
class HOSTAPI_EXPORT HostLibraries {
public:
    HostLibraries() = delete;

    // Initialises the three libraries on the first call; later calls do nothing. EQVException when
    // libcurl or OpenSSL report a failure.
    static void Initialize();
    static bool IsInitialized();
};

} // namespace hostapi
