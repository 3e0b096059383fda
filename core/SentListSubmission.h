#pragma once

#include "SentListWriter.h"

#include <deque>
#include <functional>

namespace emailmarketing {

// The results of one sender thread on their way into the sent list: at most Bound of them are
// submitted and not yet durable. The sender asks for room before each message, so that a crash
// costs at most Bound results plus the message in flight. Used by its own thread only.
//
// The bound covers the messages a sender sends while one slow commit (a busy disk's flush, several
// milliseconds) runs, so that the sender does not wait for its rows' commit; a result not yet
// durable holds a row of the writer's queue (a few hundred bytes).
class TSentListSubmission {
public:
    static constexpr int Bound = 64;

    explicit TSentListSubmission(TSentListWriter& AWriter);

    void Submit(const TSentListRow& ARow);
    // Waits (leading commits) until fewer than Bound results are not yet durable. False: AGiveUp
    // answered True first, or the writer was cancelled.
    bool WaitForRoom(const std::function<bool()>& AGiveUp);
    // Waits until every submitted result is durable; False as for WaitForRoom.
    bool WaitAll(const std::function<bool()>& AGiveUp);
    // Submitted results not yet seen durable.
    int Outstanding() const { return int(FTickets.size()); }

private:
    // Drops the tickets at the front that have become durable.
    void DropWritten();
    bool WaitUntilAtMost(int ACount, const std::function<bool()>& AGiveUp);

    TSentListWriter& FWriter;
    std::deque<TSentListTicket> FTickets; // oldest first
};

} // namespace emailmarketing
