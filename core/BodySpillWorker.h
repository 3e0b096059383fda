#pragma once

#include "BodySpill.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace emailmarketing {

class TEmailDocument;

// Spills the texts of prepared documents on a thread of its own, in the order they are handed
// over, so that the prepare thread does not compress. At most Bound documents wait; Add finding
// that many blocks until ResumeAt wait. A document may be read (and sent) while it waits: its
// lock orders the reads and the spill.
//
// A document whose texts cannot be written keeps them in memory and is sent as prepared; the
// failures are counted, with the first one's text, for the job's summary.
//
// The owner calls Finish (or destroys the worker) before any document handed over is freed.
class TBodySpillWorker {
public:
    static constexpr int Bound = 256;
    static constexpr int ResumeAt = Bound / 2;

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
    std::condition_variable FChanged;
    std::deque<TEmailDocument*> FWaiting; // under FLock
    bool FFinishing = false;              // under FLock
    int FFailed = 0;                      // under FLock
    QString FFirstFailure;                // under FLock
    std::thread FThread;
};

} // namespace emailmarketing
