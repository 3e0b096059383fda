#pragma once

#include <QHash>
#include <QList>

namespace hostapi {
class TQVRecordSet;
}

namespace emailmarketing {

// The recipients of one preparation, read page by page: the ids of the selection in its order
// first, then one page of recipient records at a time, so a job never holds more than one page of
// recipient rows whatever the size of its list.
class TRecipientPages {
public:
    static constexpr int DefaultPageSize = 1000;

    // Selects the ids of ARecords' selection; ARecords is set up (schema, filters, order) and is
    // loaded page by page from then on.
    explicit TRecipientPages(hostapi::TQVRecordSet& ARecords, int APageSize = DefaultPageSize);
    // The pages of ASelection's ids (in its order and page size) read into ARecords, which is set up
    // with the same schema and filters, and may load fewer fields.
    TRecipientPages(hostapi::TQVRecordSet& ARecords, const TRecipientPages& ASelection);

    // The record set that holds the current page.
    const hostapi::TQVRecordSet& Records() const { return FRecords; }
    // Recipients selected.
    int Count() const { return int(FIDs.size()); }
    // Starts again before the first page.
    void Rewind();
    // Loads the next page into the record set; False after the last.
    bool NextPage();
    // The position in the whole selection of record ARecNo of the current page.
    int IndexOf(int ARecNo) const;
    // The ids of the current page whose records were not read: deleted, or no longer selected, since
    // the ids were selected. Their positions are those of PageMissingIndexes.
    QList<qint64> PageMissing() const;
    QList<int> PageMissingIndexes() const;

private:
    hostapi::TQVRecordSet& FRecords;
    int FPageSize;
    QList<qint64> FIDs;
    int FPageStart = -1; // -1: before the first page
    int FPageEnd = 0;
    QHash<qint64, int> FPageIndex; // id -> position in the selection, current page
};

} // namespace emailmarketing
