#pragma once

// Header only, so that the benchmarks, which build without the test support libraries, share it.

#include "LoopbackAddress.h"

#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

// A free TCP/UDP port on 127.0.0.1 (bound and released; good enough for a test's own peers); 0 when
// none could be had.
inline quint16 FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    emailmarketing::TLoopbackAddress address = emailmarketing::LoopbackAddress(AF_INET, 0);
    quint16 port = 0;
    if (bind(fd, address.Address(), address.Length) == 0 &&
        getsockname(fd, address.Address(), &address.Length) == 0)
        port = address.Port();
    close(fd);
    return port;
}

} // namespace testsupport
