#include "finder/core/WorkPool.h"

#include <algorithm>

#include <malloc.h>
#include <sched.h>

namespace finder {

TWorkPool::TWorkPool(unsigned Threads, bool Now) : FWanted(Threads)
{
    // The threads of a run allocate from the one malloc arena: another
    // arena keeps the top of its heap, what the read-ahead's short-lived
    // blocks used, resident after the run (1.5 MB of a 200,000-file scan
    // on eight cores, while the results are built); the time is the same.
    static const bool Arenas = ::mallopt(M_ARENA_MAX, 1) != 0;
    (void)Arenas;
    if (Now) Start();
}

void TWorkPool::Start()
{
    if (FCount == FWanted) return;
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        FCount = FWanted;
    }
    FThreads.reserve(FWanted);
    for (unsigned I = 0; I < FWanted; ++I) FThreads.emplace_back([this] { Worker(); });
}

TWorkPool::~TWorkPool() { Close(); }

void TWorkPool::Close()
{
    Cancel();
    for (std::thread& T : FThreads) T.join();
    FThreads.clear();
}

unsigned TWorkPool::AvailableCores()
{
    cpu_set_t Set;
    CPU_ZERO(&Set);
    if (sched_getaffinity(0, sizeof Set, &Set) == 0 && CPU_COUNT(&Set) > 0) return unsigned(CPU_COUNT(&Set));
    const unsigned N = std::thread::hardware_concurrency();
    return N ? N : 1;
}

void TWorkPool::SubmitFact(TWorkJobRef Job)
{
    std::vector<TWorkJobRef> One{std::move(Job)};
    SubmitFacts(One);
}

void TWorkPool::SubmitFacts(std::vector<TWorkJobRef>& Jobs)
{
    if (Jobs.empty()) return;
    unsigned Wake = 0;
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        if (!FClosing) {
            for (TWorkJobRef& J : Jobs) FFacts.push(std::move(J));
            FQueued.fetch_add(int64_t(Jobs.size()), std::memory_order_relaxed);
            Wake = ToWake();
            Jobs.clear();
        }
    }
    // Not queued: done without a result (the pool is closing). Queued
    // before the workers have started, a job is run by whoever needs it.
    for (TWorkJobRef& J : Jobs) DropJob(*J);
    Jobs.clear();
    for (unsigned I = 0; I < Wake; ++I) FWork.notify_one();
}

void TWorkPool::SubmitListings(std::vector<std::pair<TWorkJobRef, std::string>>& Jobs)
{
    if (Jobs.empty()) return;
    unsigned Wake = 0;
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        if (!FClosing) {
            for (auto& [Job, Key] : Jobs) FListings.push({std::move(Key), FOrder++, std::move(Job)});
            FQueued.fetch_add(int64_t(Jobs.size()), std::memory_order_relaxed);
            Wake = ToWake();
            Jobs.clear();
        }
    }
    for (auto& J : Jobs) DropJob(*J.first);
    Jobs.clear();
    for (unsigned I = 0; I < Wake; ++I) FWork.notify_one();
}

unsigned TWorkPool::ToWake()
{
    // A worker awake takes the next job once done with its own, and a thread
    // that needs a job's result runs the job itself when nobody has started
    // it: a sleeper is woken only while more jobs wait than workers are awake.
    const unsigned Asleep = FSleeping - FWoken, Awake = FCount - Asleep;
    const size_t Queued = FFacts.size() + FListings.size();
    const unsigned Wake = Queued > Awake ? unsigned(std::min<size_t>(Asleep, Queued - Awake)) : 0;
    FWoken += Wake;
    return Wake;
}

void TWorkPool::Finish(TWorkJob& Job)
{
    // Sequentially consistent with the waiter's mark and test: either it
    // sees the job done, or this sees it waiting.
    Job.FState.store(TWorkJob::jsDone);
    FFinishCount.fetch_add(1);
    // Only a thread waiting for this result (or for any) needs telling.
    if (Job.FAwaited.load() || FWaiters.load() > 0) {
        { std::lock_guard<std::mutex> Lock(FMutex); }
        FFinished.notify_all();
    }
}

void TWorkPool::RunClaimed(TWorkJob& Job)
{
    Job.Run();
    Finish(Job);
}

bool TWorkPool::RunOrWait(TWorkJob& Job, std::chrono::milliseconds Slice)
{
    if (Job.Done()) return true;
    if (Job.Claim()) {
        RunClaimed(Job);
        return true;
    }
    // Most jobs are short: a moment's look costs less than sleeping.
    for (int Spin = 0; Spin < 200; ++Spin) {
        if (Job.Done()) return true;
        __builtin_ia32_pause();
    }
    std::unique_lock<std::mutex> Lock(FMutex);
    Job.FAwaited.store(true);
    return FFinished.wait_for(Lock, Slice, [&] { return Job.Done(); });
}

uint64_t TWorkPool::Finished() { return FFinishCount.load(std::memory_order_acquire); }

void TWorkPool::WaitAny(uint64_t Seen, std::chrono::milliseconds Slice)
{
    std::unique_lock<std::mutex> Lock(FMutex);
    FWaiters.fetch_add(1);
    FFinished.wait_for(Lock, Slice, [&] { return FFinishCount.load() != Seen; });
    FWaiters.fetch_sub(1);
}

void TWorkPool::Notify()
{
    FFinishCount.fetch_add(1, std::memory_order_acq_rel);
    { std::lock_guard<std::mutex> Lock(FMutex); }
    FFinished.notify_all();
}

void TWorkPool::Cancel()
{
    std::vector<TWorkJobRef> Dropped;
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        FClosing = true;
        while (!FFacts.empty()) {
            Dropped.push_back(FFacts.top());
            FFacts.pop();
        }
        while (!FListings.empty()) {
            Dropped.push_back(FListings.top().Job);
            FListings.pop();
        }
        FQueued.store(0, std::memory_order_relaxed);
    }
    FWork.notify_all();
    for (auto& J : Dropped) DropJob(*J);
}

void TWorkPool::DropJob(TWorkJob& Job)
{
    // A claimed one is running elsewhere and finishes as usual.
    if (!Job.Claim()) return;
    Job.Drop();
    Finish(Job);
}

void TWorkPool::Worker()
{
    std::vector<TWorkJobRef> Jobs;
    for (;;) {
        // A worker that runs dry looks again for a moment before it sleeps:
        // jobs come in bursts, and waking a sleeper costs more than a job.
        for (int Spin = 0; Spin < 500 && FQueued.load(std::memory_order_relaxed) == 0; ++Spin)
            __builtin_ia32_pause();
        {
            std::unique_lock<std::mutex> Lock(FMutex);
            while (!(FClosing || !FFacts.empty() || !FListings.empty())) {
                ++FSleeping;
                FWork.wait(Lock, [&] { return FClosing || FWoken > 0; });
                --FSleeping;
                if (FWoken > 0) --FWoken;
            }
            if (FClosing) return;
            // The walk's folders come first: the facts are asked for as the
            // walk goes, and it reads only a few dozen folders ahead.
            if (!FListings.empty()) {
                Jobs.push_back(FListings.top().Job);
                FListings.pop();
            } else {
                // A few facts at a time, a fair share of what waits.
                const size_t Take = std::clamp<size_t>(FFacts.size() / (FCount * 4), 1, 16);
                for (size_t I = 0; I < Take; ++I) {
                    Jobs.push_back(FFacts.top());
                    FFacts.pop();
                }
            }
            FQueued.fetch_sub(int64_t(Jobs.size()), std::memory_order_relaxed);
        }
        for (TWorkJobRef& Job : Jobs)
            if (Job->Claim()) RunClaimed(*Job);
        Jobs.clear();
    }
}

void AppendWalkIndex(std::string& Key, uint32_t Index)
{
    for (int Shift = 24; Shift >= 0; Shift -= 8) Key.push_back(char((Index >> Shift) & 0xFF));
}

} // namespace finder
