#pragma once

#include <QList>

#include <functional>

namespace emailmarketing {

class TEmailDocument;

// The packet rule of the send stack: a packet is taken whole or not at all.
class TSendPacket {
public:
    // Takes the next packet from AStack into APending. The wanted count is the stack's count for a
    // packet size of -1, else the packet size, lowered to the stack's count once APrepared (the
    // preparation has ended). With fewer documents than wanted, or none wanted, nothing is taken.
    // Otherwise the first wanted-count documents that AIsDue accepts, in stack order, are taken -
    // only when that many are due; else nothing. Answers whether a packet was taken.
    static bool Take(QList<TEmailDocument*>& AStack, int APacketSize, bool APrepared,
                     const std::function<bool(const TEmailDocument&)>& AIsDue,
                     QList<TEmailDocument*>& APending);
};

} // namespace emailmarketing
