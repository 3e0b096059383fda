#pragma once

#include "HostApiExport.h"

#include <QString>
#include <QStringList>

namespace hostapi {

// The machine's network settings that the modules use.
struct HOSTAPI_EXPORT NetworkSettings {
    // DNS servers in the order the resolver configuration names them (IPv4 and IPv6 addresses).
    QStringList DNSServers;
};

// Reads the resolver configuration: every "nameserver ADDRESS" line, the keyword at the start of
// the line as the resolver expects it, gives one server, written as in the file. Comment lines ("#"
// or ";"), other keywords and lines without a valid IP address are skipped. A missing file means
// that no DNS server is configured (empty list); a file that exists but cannot be read throws
// EQVException naming the path.
HOSTAPI_EXPORT NetworkSettings
QueryNetworkSettings(const QString& resolvConfPath = QStringLiteral("/etc/resolv.conf"));

} // namespace hostapi
