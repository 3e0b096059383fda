#pragma once

#include "BodySpill.h"
#include "EmailDocument.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace emailmarketing {

// Spills the texts of prepared documents on a thread of its own, in the order they are handed
// over, so that the prepare thread does not compress. The thread starts when WakeAt documents
// wait (or on Finish), so the prepare thread wakes it once per batch, not for each document. At
// most Bound documents wait; Add finding that many blocks until ResumeAt wait. A document may be
// read (and sent) while it waits: its lock orders the reads and the spill. The spilled texts are
// freed by the next Add, on the thread that allocated them: freed on the spill thread they would
// contend for the prepare thread's allocator.
//
// A document whose texts cannot be written keeps them in memory and is sent as prepared; the
// failures are counted, with the first one's text, for the job's summary.
//
// The owner calls Finish (or destroys the worker) before any document handed over is freed.
class TBodySpillWorker {
public:
    static constexpr int Bound = 256;
    static constexpr int ResumeAt = Bound / 2;
    static constexpr int WakeAt = 32;

    explicit TBodySpillWorker(std::shared_ptr<TBodySpill> ASpill);
    ~TBodySpillWorker();
    TBodySpillWorker(const TBodySpillWorker&) = delete;
    TBodySpillWorker& operator=(const TBodySpillWorker&) = delete;

    void Add(TEmailDocument* ADocument);
    // Spills what was handed over and ends the thread.
    void Finish();

    // Documents whose texts stayed in memory, and the text of the first failure.
    int FailedCount() const;
    QString FirstFailure() const;

private:
    void Run();

    std::shared_ptr<TBodySpill> FSpill;
    mutable std::mutex FLock;
    std::condition_variable FWork;        // the spill thread waits for a batch
    std::condition_variable FRoom;        // Add waits for ResumeAt
    std::deque<TEmailDocument*> FWaiting; // under FLock
    std::vector<TEmailDocument::TTexts> FSpilled; // under FLock: texts taken out, to be freed by Add
    bool FFinishing = false;              // under FLock
    bool FIdle = false;                   // under FLock: the spill thread waits for FWork
    int FFailed = 0;                      // under FLock
    QString FFirstFailure;                // under FLock
    std::thread FThread;
};

} // namespace emailmarketing
