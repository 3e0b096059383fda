#include "SendPacket.h"

#include "EmailDocument.h"

#include <QSet>

namespace emailmarketing {

bool TSendPacket::Take(QList<TEmailDocument*>& AStack, int APacketSize, bool APrepared,
                       const std::function<bool(const TEmailDocument&)>& AIsDue,
                       QList<TEmailDocument*>& APending) {
    qsizetype wanted = APacketSize == -1 ? AStack.size() : APacketSize;
    if (APacketSize != -1 && wanted > AStack.size() && APrepared)
        wanted = AStack.size();
    APending.clear();
    if (wanted < 1 || AStack.size() < wanted)
        return false;
    for (TEmailDocument* document : AStack) {
        if (AIsDue(*document))
            APending.append(document);
        if (APending.size() == wanted)
            break;
    }
    if (APending.size() < wanted) {
        APending.clear();
        return false;
    }
    const QSet<TEmailDocument*> taken(APending.cbegin(), APending.cend());
    AStack.removeIf([&](TEmailDocument* d) { return taken.contains(d); });
    return true;
}

} // namespace emailmarketing
