#pragma once

#include <QList>
#include <QString>

namespace emailmarketing {

class TEmailDocument;

// One group of a packet: the documents sent over one connection (per-domain grouping) or in one
// pass (chaotic grouping, key empty).
struct TSendGroup {
    QString Key;
    QList<TEmailDocument*> Documents;
};
using TSendGroupList = QList<TSendGroup>;

// How a sender thread splits a packet into groups. Pure functions; the documents are not owned.
class TSendGrouping {
public:
    // Most buckets chaotic grouping opens; beyond it the smallest bucket takes a document.
    static constexpr int MaxChaoticBuckets = 1001;

    // One group with an empty key holding the whole packet (SMS).
    static TSendGroupList SingleGroup(const QList<TEmailDocument*>& APacket);
    // One group per recipient domain, letter case ignored, in order of first appearance; the key is
    // the domain as the first document of the group writes it ("" for an address without "@").
    static TSendGroupList ByDomain(const QList<TEmailDocument*>& APacket);
    // Spreads the domains over groups with empty keys: each document goes to the first group that
    // holds no recipient of its domain; a new group opens while fewer than AMaxBuckets exist, after
    // that the smallest group (the earliest of equal ones) takes it.
    static TSendGroupList Chaotic(const QList<TEmailDocument*>& APacket, int AMaxBuckets = MaxChaoticBuckets);
};

} // namespace emailmarketing
