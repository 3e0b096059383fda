#include "JobThreads.h"

#include "QVException.h"

#include <algorithm>

namespace emailmarketing {

TJobThreads::TJobThreads(TCallbacks ACallbacks) : FCallbacks(std::move(ACallbacks)) {}

TJobThreads::~TJobThreads() {
    JoinAll();
}

TMethodeCallThread& TJobThreads::Start(bool ASender, bool AIsRoot, QThread::Priority APriority,
                                       TObjProcedure AMethode, TObjFinalProcedure AFinalize,
                                       std::function<void(TMethodeCallThread&)> AAfterCompletion) {
    auto thread = std::make_unique<TMethodeCallThread>();
    TMethodeCallThread& result = *thread;
    thread->SetObjMethode(std::move(AMethode));
    thread->SetFinalizeMethode(
        [this, &result, ASender, finalize = std::move(AFinalize), after = std::move(AAfterCompletion)] {
            std::exception_ptr failure;
            if (finalize) {
                try {
                    finalize();
                } catch (...) {
                    failure = std::current_exception();
                }
            }
            if (ASender)
                SenderLeft(result);
            if (after)
                after(result);
            if (failure)
                std::rethrow_exception(failure);
        });
    thread->SetIsRoot(AIsRoot);
    thread->SetPriority(APriority);
    std::lock_guard lock(FLock);
    if (FClosed)
        throw hostapi::EQVException(QStringLiteral("The job is being freed; no thread of it is started."));
    ReapEnded();
    // Started under the lock, so that a concurrent termination or join sees only started threads.
    if (ASender) {
        FSenders.push_back(std::move(thread));
        try {
            result.Start();
        } catch (...) {
            FSenders.pop_back();
            throw;
        }
    } else {
        // The previous prepare thread has passed its completion step; it is joined later, so that a
        // new preparation starts at once.
        if (FPrepareThread)
            FEnded.push_back(std::move(FPrepareThread));
        FPrepareThread = std::move(thread);
        try {
            result.Start();
        } catch (...) {
            FPrepareThread.reset();
            throw;
        }
    }
    return result;
}

void TJobThreads::SenderLeft(const TMethodeCallThread& AThread) {
    std::lock_guard lock(FLock);
    const auto it =
        std::find_if(FSenders.begin(), FSenders.end(),
                     [&](const std::unique_ptr<TMethodeCallThread>& t) { return t.get() == &AThread; });
    if (it != FSenders.end()) {
        FEnded.push_back(std::move(*it));
        FSenders.erase(it);
    }
    if (FSenders.empty() && !FStartingSenders && FCallbacks.SendersGone)
        FCallbacks.SendersGone();
    if (FCallbacks.SenderEnded)
        FCallbacks.SenderEnded();
}

void TJobThreads::BeginSenderStarts() {
    std::lock_guard lock(FLock);
    FStartingSenders = true;
}

void TJobThreads::EndSenderStarts() {
    std::lock_guard lock(FLock);
    FStartingSenders = false;
    if (FSenders.empty() && FCallbacks.SendersGone)
        FCallbacks.SendersGone();
}

void TJobThreads::Close() {
    std::lock_guard lock(FLock);
    FClosed = true;
}

void TJobThreads::TerminateAll() {
    std::lock_guard lock(FLock);
    for (const auto& thread : FSenders)
        thread->Terminate();
    if (FPrepareThread)
        FPrepareThread->Terminate();
}

void TJobThreads::ResumeSenders() {
    std::lock_guard lock(FLock);
    for (const auto& thread : FSenders)
        thread->Resume();
}

bool TJobThreads::Alive() const {
    std::lock_guard lock(FLock);
    if (FPrepareThread && FPrepareThread->Alive())
        return true;
    for (const auto& thread : FSenders)
        if (thread->Alive())
            return true;
    for (const auto& thread : FEnded)
        if (thread->Alive())
            return true;
    return false;
}

int TJobThreads::SenderCount() const {
    std::lock_guard lock(FLock);
    return static_cast<int>(FSenders.size());
}

void TJobThreads::JoinAll() {
    // A thread may start another one while the others are joined: repeat until none is left.
    for (;;) {
        std::vector<std::unique_ptr<TMethodeCallThread>> threads;
        {
            std::lock_guard lock(FLock);
            if (FPrepareThread)
                threads.push_back(std::move(FPrepareThread));
            for (auto& thread : FSenders)
                threads.push_back(std::move(thread));
            for (auto& thread : FEnded)
                threads.push_back(std::move(thread));
            FSenders.clear();
            FEnded.clear();
        }
        if (threads.empty())
            return;
        for (const auto& thread : threads)
            thread->WaitFor();
    }
}

void TJobThreads::ReapEnded() {
    // A finished thread runs none of the job's code any more; joining is instant.
    std::erase_if(FEnded, [](const std::unique_ptr<TMethodeCallThread>& AThread) {
        if (!AThread->Finished())
            return false;
        AThread->WaitFor();
        return true;
    });
}

} // namespace emailmarketing
