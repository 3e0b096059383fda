#pragma once

#include <QtGlobal>

#include <sys/socket.h>

namespace emailmarketing {

// A loopback socket address (127.0.0.1 for AF_INET, ::1 for AF_INET6) with a port, for bind or
// connect.
struct TLoopbackAddress {
    sockaddr_storage Storage{};
    socklen_t Length = 0;

    const sockaddr* Address() const { return reinterpret_cast<const sockaddr*>(&Storage); }
    sockaddr* Address() { return reinterpret_cast<sockaddr*>(&Storage); }
    // The port, in host order (after getsockname, the one the system chose).
    quint16 Port() const;
};

TLoopbackAddress LoopbackAddress(int AFamily, quint16 APort);

} // namespace emailmarketing
