#pragma once
// Worker threads for one scan: they read folders, file blocks, tags and
// pictures ahead of the walk and the matcher. Jobs go into two queues: the
// facts the matcher will ask for, taken in the order they were asked, and
// folder listings, taken earliest in walk order first. A job is run exactly
// once: by a worker, or by a thread that needs its result and claims it
// before any worker has (so nobody ever waits for a queued job). Jobs come
// in batches, and a sleeping worker is woken only while more jobs wait than
// workers are awake: the threads that run are those the work needs.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

namespace finder {

class TWorkJob {
public:
    enum : uint8_t { jsQueued, jsRunning, jsDone };
    virtual ~TWorkJob() = default;
    // Takes the job for the calling thread; false when another has it.
    bool Claim()
    {
        uint8_t Expected = jsQueued;
        return FState.compare_exchange_strong(Expected, jsRunning, std::memory_order_acq_rel);
    }
    bool Done() const { return FState.load() == jsDone; }
    // Facts are taken lowest first: the place in the walk of the file that
    // needs them.
    uint64_t Order = 0;

protected:
    virtual void Run() = 0;
    // A queued job that will never run lets go of what it holds.
    virtual void Drop() {}

private:
    friend class TWorkPool;
    std::atomic<uint8_t> FState{jsQueued};
    std::atomic<bool> FAwaited{false};  // a thread sleeps until it is done
};

using TWorkJobRef = std::shared_ptr<TWorkJob>;

class TWorkPool {
public:
    // Threads workers; none with 0 (every job is then run by whoever needs it).
    // Without Now, the workers start with Start, and no job may be submitted
    // before: a process without threads of its own allocates faster.
    explicit TWorkPool(unsigned Threads, bool Now = true);
    void Start();
    ~TWorkPool();  // drops queued jobs and waits for running ones
    TWorkPool(const TWorkPool&) = delete;
    TWorkPool& operator=(const TWorkPool&) = delete;

    void SubmitFact(TWorkJobRef Job);
    // Several at once (the vector is emptied).
    void SubmitFacts(std::vector<TWorkJobRef>& Jobs);
    // Folders' listings with their keys, the folder's place in the walk (see
    // AppendWalkIndex): smaller runs first. The vector is emptied.
    void SubmitListings(std::vector<std::pair<TWorkJobRef, std::string>>& Jobs);

    // Runs a claimed job and tells every waiter.
    void RunClaimed(TWorkJob& Job);
    // Runs the job here when nobody has started it, else waits up to Slice
    // for it; true when it is done.
    bool RunOrWait(TWorkJob& Job, std::chrono::milliseconds Slice);
    // Jobs finished so far (and Notify calls), for WaitAny.
    uint64_t Finished();
    // Waits up to Slice until Finished() differs from Seen.
    void WaitAny(uint64_t Seen, std::chrono::milliseconds Slice);
    // Wakes WaitAny as a finished job would.
    void Notify();

    // Drops every queued job (done without a result) and takes no new ones:
    // they are dropped as they come.
    void Cancel();
    // Cancel, then waits for the running jobs and ends the workers.
    void Close();
    unsigned Threads() const { return FCount; }

    // The number of processors this process may run on.
    static unsigned AvailableCores();

private:
    struct TKeyed {
        std::string Key;
        uint64_t Order;
        TWorkJobRef Job;
        bool operator>(const TKeyed& O) const { return Key != O.Key ? Key > O.Key : Order > O.Order; }
    };
    std::mutex FMutex;
    std::condition_variable FWork;       // a job was queued
    std::condition_variable FFinished;   // a job finished
    struct TLater {
        bool operator()(const TWorkJobRef& A, const TWorkJobRef& B) const { return A->Order > B->Order; }
    };
    std::priority_queue<TWorkJobRef, std::vector<TWorkJobRef>, TLater> FFacts;
    std::priority_queue<TKeyed, std::vector<TKeyed>, std::greater<TKeyed>> FListings;
    uint64_t FOrder = 0;
    std::atomic<uint64_t> FFinishCount{0};
    std::atomic<unsigned> FWaiters{0};    // threads waiting for any job to finish
    bool FClosing = false;
    unsigned FSleeping = 0;               // workers waiting for a job
    unsigned FWoken = 0;                  // of these, the ones told to wake
    unsigned ToWake();                    // under FMutex: sleepers to wake now
    std::atomic<int64_t> FQueued{0};      // jobs queued, read without the lock
    std::vector<std::thread> FThreads;
    unsigned FCount = 0, FWanted = 0;

    void Worker();
    // Never to run: done without a result.
    void DropJob(TWorkJob& Job);
    void Finish(TWorkJob& Job);
};

// A place in the walk as bytes that sort in walk order: the place's index,
// then each level's entry index, four bytes each.
void AppendWalkIndex(std::string& Key, uint32_t Index);

} // namespace finder
