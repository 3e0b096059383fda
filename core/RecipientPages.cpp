#include "RecipientPages.h"

#include "QVException.h"
#include "QVRecordSet.h"

#include <algorithm>

namespace emailmarketing {

TRecipientPages::TRecipientPages(hostapi::TQVRecordSet& ARecords, int APageSize)
    : FRecords(ARecords), FPageSize(std::max(1, APageSize)), FIDs(ARecords.SelectRecordIDs()) {}

TRecipientPages::TRecipientPages(hostapi::TQVRecordSet& ARecords, const TRecipientPages& ASelection)
    : FRecords(ARecords), FPageSize(ASelection.FPageSize), FIDs(ASelection.FIDs) {}

void TRecipientPages::Rewind() {
    FPageStart = -1;
    FPageEnd = 0;
    FPageIndex.clear();
}

bool TRecipientPages::NextPage() {
    const int start = FPageStart < 0 ? 0 : FPageEnd;
    if (start >= FIDs.size())
        return false;
    FPageStart = start;
    FPageEnd = int(std::min<qsizetype>(qsizetype(start) + FPageSize, FIDs.size()));
    const QList<qint64> page = FIDs.mid(FPageStart, FPageEnd - FPageStart);
    FPageIndex.clear();
    FPageIndex.reserve(page.size());
    for (int i = 0; i < page.size(); ++i)
        FPageIndex.insert(page[i], FPageStart + i);
    FRecords.OpenRecords(page);
    return true;
}

int TRecipientPages::IndexOf(int ARecNo) const {
    const auto it = FPageIndex.constFind(FRecords.RecordIDAt(ARecNo));
    QV_ASSERT(it != FPageIndex.constEnd());
    return *it;
}

QList<int> TRecipientPages::PageMissingIndexes() const {
    if (FPageStart < 0)
        return {};
    QList<bool> read(FPageEnd - FPageStart, false);
    for (int r = 0; r < FRecords.RecordCount(); ++r)
        read[IndexOf(r) - FPageStart] = true;
    QList<int> missing;
    for (int i = 0; i < read.size(); ++i)
        if (!read[i])
            missing << FPageStart + i;
    return missing;
}

QList<qint64> TRecipientPages::PageMissing() const {
    QList<qint64> ids;
    for (const int index : PageMissingIndexes())
        ids << FIDs[index];
    return ids;
}

} // namespace emailmarketing
