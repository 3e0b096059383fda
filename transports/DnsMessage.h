#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace emailmarketing {

// DNS wire format of the queries the MX resolver asks (RFC 1035), built and parsed without I/O.
namespace DnsMessage {

constexpr int TypeA = 1;
constexpr int TypeMX = 15;
constexpr int TypeAAAA = 28;
constexpr int RCodeNoError = 0;
constexpr int RCodeNXDomain = 3;

// A recursive query for AName (class IN) with an EDNS0 record offering 4096-byte answers.
// Throws EQVException when the name is no valid domain name.
QByteArray BuildQuery(quint16 AId, const QString& AName, int AType);

struct MXRecord {
    int Preference = 0;
    QString Exchange; // "" for the root name (a null MX)
};

struct Answer {
    quint16 Id = 0;
    int RCode = 0;
    bool Truncated = false;
    QList<MXRecord> MX;       // MX records of the answer section, in the order given
    QList<QString> Addresses; // A and AAAA records of the answer section, as address texts
};

// Parses a reply; throws EQVException when it is malformed.
Answer Parse(const QByteArray& AReply);

} // namespace DnsMessage

} // namespace emailmarketing
