#pragma once

#include "EmailListItem.h"

#include <QDateTime>

namespace emailmarketing {

// The pacing a sender thread derives from its list when it starts.
struct TSendPacing {
    // Documents per packet; -1: one packet of whatever the send stack holds.
    int PacketSize = -1;
    // Milliseconds from the start of one message to the start of the next; 0: throttle off.
    qint64 ThrottleIntervalMs = 0;
    // Minutes between packets job-wide when the throttle is off.
    int UnitDelay = 0;
    bool Chaotic = false;

    bool Throttled() const { return ThrottleIntervalMs > 0; }
    // Packets wait for the unit delay (sending in packets without throttle).
    bool WaitsForUnitDelay() const { return PacketSize != -1 && !Throttled(); }

    // Packet size MailsPerUnit when sending in packets and it is above 0; throttle for a non-SMS
    // style with packets, Throttle set and a unit delay above 0, interval UnitDelay * 60000 div
    // packet size (below 1 ms: off); chaotic for a non-SMS style with Chaotic set.
    static TSendPacing FromSettings(TEmailStyle AStyle, bool ASendPerUnits, int AMailsPerUnit, bool AThrottle,
                                    int AUnitDelay, bool AChaotic);
    static TSendPacing FromList(TEmailStyle AStyle, const TEmailListItem& AList);

    // Pause after a throttled message that took AElapsedMs: the rest of the interval, 0 when none.
    qint64 ThrottleWaitMs(qint64 AElapsedMs) const;
};

// The job-wide unit delay between packets.
class TUnitDelay {
public:
    // Whether a packet may start at ANow: always for a delay below 1 minute, otherwise once ANow is
    // later than ALastPacketEnd + AMinutes (an invalid end: long ago).
    static bool Due(const QDateTime& ANow, const QDateTime& ALastPacketEnd, int AMinutes);
    // When the next packet may start; invalid for a delay below 1 minute or no packet yet.
    static QDateTime DueAfter(const QDateTime& ALastPacketEnd, int AMinutes);
    // Minutes (with fraction, never negative) between ANow and the end of the delay.
    static double CurrentDelay(const QDateTime& ANow, const QDateTime& ALastPacketEnd, int AMinutes);
};

} // namespace emailmarketing
