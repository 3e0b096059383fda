#include "SendGrouping.h"

#include "EmailDocument.h"

#include <QHash>
#include <QSet>

namespace emailmarketing {

namespace {

QString DomainKey(const TEmailDocument& ADocument) {
    return ADocument.DomainCategory().toCaseFolded();
}

} // namespace

TSendGroupList TSendGrouping::SingleGroup(const QList<TEmailDocument*>& APacket) {
    return {TSendGroup{QString(), APacket}};
}

TSendGroupList TSendGrouping::ByDomain(const QList<TEmailDocument*>& APacket) {
    TSendGroupList groups;
    QHash<QString, qsizetype> index;
    for (TEmailDocument* document : APacket) {
        const QString key = DomainKey(*document);
        const auto it = index.constFind(key);
        if (it != index.constEnd()) {
            groups[*it].Documents.append(document);
            continue;
        }
        index.insert(key, groups.size());
        groups.append(TSendGroup{document->DomainCategory(), {document}});
    }
    return groups;
}

TSendGroupList TSendGrouping::Chaotic(const QList<TEmailDocument*>& APacket, int AMaxBuckets) {
    struct TBucket {
        QSet<QString> Domains;
        QList<TEmailDocument*> Documents;
    };
    QList<TBucket> buckets;
    // Buckets before this index all hold the domain (no bucket ever loses one), so the search for
    // the first bucket without it starts there.
    QHash<QString, qsizetype> knownFull;
    for (TEmailDocument* document : APacket) {
        const QString key = DomainKey(*document);
        qsizetype target = -1;
        qsizetype i = knownFull.value(key, 0);
        for (; i < buckets.size(); ++i)
            if (!buckets[i].Domains.contains(key)) {
                target = i;
                break;
            }
        knownFull.insert(key, target < 0 ? buckets.size() : target);
        if (target < 0 && buckets.size() < AMaxBuckets) {
            buckets.append(TBucket{});
            target = buckets.size() - 1;
        }
        if (target < 0) {
            target = 0;
            for (qsizetype j = 1; j < buckets.size(); ++j)
                if (buckets[j].Documents.size() < buckets[target].Documents.size())
                    target = j;
        }
        buckets[target].Domains.insert(key);
        buckets[target].Documents.append(document);
    }
    TSendGroupList groups;
    groups.reserve(buckets.size());
    for (TBucket& bucket : buckets)
        groups.append(TSendGroup{QString(), std::move(bucket.Documents)});
    return groups;
}

} // namespace emailmarketing
