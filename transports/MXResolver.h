#pragma once

#include "CancelSignal.h"
#include "DnsMessage.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace emailmarketing {

// A DNS server as the user writes it: "192.0.2.1", "192.0.2.1:5353", "::1", "[::1]:5353".
struct DnsServerAddress {
    QString Address;
    quint16 Port = 53;

    // Throws EQVException for text that names no address or a port outside 1..65535. Empty text
    // names the machine's first name server (resolv.conf).
    static DnsServerAddress Parse(const QString& AText);
};

// Finds mail exchangers by asking one DNS server directly (UDP, libresolv's parser). Every query
// has a time limit and ends at once when the cancel signal fires.
class MXResolver {
public:
    MXResolver(std::shared_ptr<CancelSignal> ACancel, const QString& ADNSServer, int ATimeoutMs = 60000);

    // The exchangers of ADomain, lowest preference first (equal ones in the order given); a domain
    // without MX records is its own exchanger (RFC 5321 5.1). Throws ESmtpError "no mail exchanger
    // for domain '<domain>'" (with the reason) for NXDOMAIN, a null MX, or no usable answer.
    QStringList ResolveMX(const QString& ADomain);
    // The addresses of an exchanger, IPv4 first, then IPv6; an address literal answers itself.
    // Throws ESmtpError when it has none (a failed IPv6 query after IPv4 answers is only logged).
    QStringList ResolveAddresses(const QString& AHost);

    // The ordering rule of ResolveMX on a parsed answer.
    static QStringList ExchangersOf(const QString& ADomain, const DnsMessage::Answer& AAnswer);

private:
    DnsMessage::Answer Query(const QString& AName, int AType);

    std::shared_ptr<CancelSignal> FCancel;
    QString FDNSServer;
    int FTimeoutMs;
};

} // namespace emailmarketing
