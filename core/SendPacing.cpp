#include "SendPacing.h"

#include <cmath>

namespace emailmarketing {

TSendPacing TSendPacing::FromSettings(TEmailStyle AStyle, bool ASendPerUnits, int AMailsPerUnit,
                                      bool AThrottle, int AUnitDelay, bool AChaotic) {
    TSendPacing pacing;
    pacing.PacketSize = ASendPerUnits && AMailsPerUnit > 0 ? AMailsPerUnit : -1;
    pacing.UnitDelay = AUnitDelay;
    if (AStyle != esSMS && pacing.PacketSize >= 1 && AThrottle && AUnitDelay > 0)
        pacing.ThrottleIntervalMs = qint64(AUnitDelay) * 60000 / pacing.PacketSize;
    pacing.Chaotic = AStyle != esSMS && AChaotic;
    return pacing;
}

TSendPacing TSendPacing::FromList(TEmailStyle AStyle, const TEmailListItem& AList) {
    return FromSettings(AStyle, AList.SendPerUnits(), AList.MailsPerUnit(), AList.Throttle(),
                        AList.UnitDelay(), AList.Chaotic());
}

qint64 TSendPacing::ThrottleWaitMs(qint64 AElapsedMs) const {
    if (!Throttled())
        return 0;
    return std::max<qint64>(0, ThrottleIntervalMs - AElapsedMs);
}

bool TUnitDelay::Due(const QDateTime& ANow, const QDateTime& ALastPacketEnd, int AMinutes) {
    if (AMinutes < 1 || !ALastPacketEnd.isValid())
        return true;
    return ANow > DueAfter(ALastPacketEnd, AMinutes);
}

QDateTime TUnitDelay::DueAfter(const QDateTime& ALastPacketEnd, int AMinutes) {
    if (AMinutes < 1 || !ALastPacketEnd.isValid())
        return {};
    return ALastPacketEnd.addSecs(qint64(AMinutes) * 60);
}

double TUnitDelay::CurrentDelay(const QDateTime& ANow, const QDateTime& ALastPacketEnd, int AMinutes) {
    const QDateTime end = DueAfter(ALastPacketEnd, AMinutes);
    if (!end.isValid())
        return 0.0;
    return std::abs(double(ANow.msecsTo(end)) / 60000.0);
}

} // namespace emailmarketing
