#include "SentListSubmission.h"

namespace emailmarketing {

TSentListSubmission::TSentListSubmission(TSentListWriter& AWriter) : FWriter(AWriter) {}

void TSentListSubmission::Submit(const TSentListRow& ARow) {
    FTickets.push_back(FWriter.Submit(ARow));
}

void TSentListSubmission::DropWritten() {
    // Rows are committed in the order they were queued, so the durable ones are at the front.
    while (!FTickets.empty() && FWriter.IsWritten(FTickets.front()))
        FTickets.pop_front();
}

bool TSentListSubmission::WaitUntilAtMost(int ACount, const std::function<bool()>& AGiveUp) {
    DropWritten();
    while (int(FTickets.size()) > ACount) {
        if (!FWriter.WaitWritten(FTickets.front(), AGiveUp))
            return false;
        DropWritten();
    }
    return true;
}

bool TSentListSubmission::WaitForRoom(const std::function<bool()>& AGiveUp) {
    return WaitUntilAtMost(Bound - 1, AGiveUp);
}

bool TSentListSubmission::WaitAll(const std::function<bool()>& AGiveUp) {
    return WaitUntilAtMost(0, AGiveUp);
}

} // namespace emailmarketing
