#include "LoopbackAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace emailmarketing {

TLoopbackAddress LoopbackAddress(int AFamily, quint16 APort) {
    TLoopbackAddress result;
    if (AFamily == AF_INET6) {
        auto* address = reinterpret_cast<sockaddr_in6*>(&result.Storage);
        address->sin6_family = AF_INET6;
        address->sin6_port = htons(APort);
        address->sin6_addr = in6addr_loopback;
        result.Length = sizeof(sockaddr_in6);
    } else {
        auto* address = reinterpret_cast<sockaddr_in*>(&result.Storage);
        address->sin_family = AF_INET;
        address->sin_port = htons(APort);
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        result.Length = sizeof(sockaddr_in);
    }
    return result;
}

quint16 TLoopbackAddress::Port() const {
    if (Storage.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&Storage)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&Storage)->sin_port);
}

} // namespace emailmarketing
