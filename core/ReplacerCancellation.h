#pragma once

#include <mutex>
#include <vector>

namespace emailmarketing {

class TCustomFileMacroReplacer;

// The file macro replacers of one job that run a child process right now, so that a termination
// of the job cancels them at once from any thread. The job's prepare thread installs the job's
// object as its current one (TScope); a replacer registers for the time of each child process
// (TCustomFileMacroReplacer::TBlockingWork). A replacer that registers after Cancel is cancelled
// at once. Reset ends a cancel for the job's next run.
class TReplacerCancellation {
public:
    void Cancel();
    void Reset();
    bool Cancelled() const;

    void Add(TCustomFileMacroReplacer* AReplacer);
    void Remove(TCustomFileMacroReplacer* AReplacer);

    // The object of the calling thread; nullptr outside a scope.
    static TReplacerCancellation* Current();

    class TScope {
    public:
        explicit TScope(TReplacerCancellation& ACancellation);
        ~TScope();
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

    private:
        TReplacerCancellation* FPrevious;
    };

private:
    mutable std::mutex FLock;
    bool FCancelled = false;
    std::vector<TCustomFileMacroReplacer*> FRunning;
};

} // namespace emailmarketing
