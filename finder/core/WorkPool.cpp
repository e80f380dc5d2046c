#include "finder/core/WorkPool.h"

#include <sched.h>

namespace finder {

TWorkPool::TWorkPool(unsigned Threads)
{
    FCount = Threads;
    FThreads.reserve(Threads);
    for (unsigned I = 0; I < Threads; ++I) FThreads.emplace_back([this] { Worker(); });
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
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        if (!FClosing && FCount > 0) {
            FFacts.push_back(std::move(Job));
            Job = nullptr;
        }
    }
    if (Job) return DropJob(*Job);
    FWork.notify_one();
}

void TWorkPool::SubmitListing(TWorkJobRef Job, std::string Key)
{
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        if (!FClosing && FCount > 0) {
            FListings.push({std::move(Key), FOrder++, std::move(Job)});
            Job = nullptr;
        }
    }
    if (Job) return DropJob(*Job);
    FWork.notify_one();
}

void TWorkPool::RunClaimed(TWorkJob& Job)
{
    Job.Run();
    Job.FState.store(TWorkJob::jsDone, std::memory_order_release);
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        ++FFinishCount;
    }
    FFinished.notify_all();
}

bool TWorkPool::RunOrWait(TWorkJob& Job, std::chrono::milliseconds Slice)
{
    if (Job.Done()) return true;
    if (Job.Claim()) {
        RunClaimed(Job);
        return true;
    }
    std::unique_lock<std::mutex> Lock(FMutex);
    return FFinished.wait_for(Lock, Slice, [&] { return Job.Done(); });
}

uint64_t TWorkPool::Finished()
{
    std::lock_guard<std::mutex> Lock(FMutex);
    return FFinishCount;
}

void TWorkPool::WaitAny(uint64_t Seen, std::chrono::milliseconds Slice)
{
    std::unique_lock<std::mutex> Lock(FMutex);
    FFinished.wait_for(Lock, Slice, [&] { return FFinishCount != Seen; });
}

void TWorkPool::Notify()
{
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        ++FFinishCount;
    }
    FFinished.notify_all();
}

void TWorkPool::Cancel()
{
    std::vector<TWorkJobRef> Dropped;
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        FClosing = true;
        for (auto& J : FFacts) Dropped.push_back(std::move(J));
        FFacts.clear();
        while (!FListings.empty()) {
            Dropped.push_back(FListings.top().Job);
            FListings.pop();
        }
    }
    FWork.notify_all();
    for (auto& J : Dropped) DropJob(*J);
}

void TWorkPool::DropJob(TWorkJob& Job)
{
    // A claimed one is running elsewhere and finishes as usual.
    if (!Job.Claim()) return;
    Job.Drop();
    Job.FState.store(TWorkJob::jsDone, std::memory_order_release);
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        ++FFinishCount;
    }
    FFinished.notify_all();
}

void TWorkPool::Worker()
{
    for (;;) {
        TWorkJobRef Job;
        {
            std::unique_lock<std::mutex> Lock(FMutex);
            FWork.wait(Lock, [&] { return FClosing || !FFacts.empty() || !FListings.empty(); });
            if (FClosing) return;
            // The matcher's facts come first: the walk runs ahead anyway.
            if (!FFacts.empty()) {
                Job = std::move(FFacts.front());
                FFacts.pop_front();
            } else {
                Job = FListings.top().Job;
                FListings.pop();
            }
        }
        if (Job->Claim()) RunClaimed(*Job);
    }
}

void AppendWalkIndex(std::string& Key, uint32_t Index)
{
    for (int Shift = 24; Shift >= 0; Shift -= 8) Key.push_back(char((Index >> Shift) & 0xFF));
}

} // namespace finder
