#include "finder/core/MatchAhead.h"

namespace finder {

namespace {

constexpr auto Slice = std::chrono::milliseconds(5);

} // namespace

class TFactTable {};

TMatchAhead::TMatchAhead(TMatcher& Matcher, TWorkPool& Pool, const TMatchOptions&, TRunControl& Run)
    : FMatcher(Matcher), FPool(Pool), FRun(Run), FFacts(std::make_unique<TFactTable>())
{
}

TMatchAhead::~TMatchAhead() = default;

bool TMatchAhead::Push(TAheadEntry Entry)
{
    std::unique_lock<std::mutex> Lock(FMutex);
    FRoom.wait(Lock, [&] { return FQueue.size() < Capacity || Stopping(); });
    if (Stopping()) return false;
    FQueue.push_back(std::move(Entry));
    const bool Wake = FConsumerWaits;
    Lock.unlock();
    if (Wake) FArrived.notify_one();
    return true;
}

void TMatchAhead::Finish(std::exception_ptr Error)
{
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        FFinished = true;
        FError = Error;
    }
    FArrived.notify_one();
}

void TMatchAhead::Stop()
{
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        FStop.store(true, std::memory_order_release);
    }
    FRoom.notify_all();
}

void TMatchAhead::Consume(const std::function<void(const TAheadEntry&)>& OnFile,
                          const std::function<void(const std::string&)>& OnMessage)
{
    std::deque<TAheadEntry> Batch;
    for (;;) {
        if (FRun.StopRequested()) break;
        {
            std::unique_lock<std::mutex> Lock(FMutex);
            if (FQueue.empty() && !FFinished) {
                // Nothing to match yet: the window stays live meanwhile.
                FConsumerWaits = true;
                FArrived.wait_for(Lock, Slice, [&] { return !FQueue.empty() || FFinished; });
                FConsumerWaits = false;
            }
            if (FQueue.empty()) {
                if (FFinished) break;
                Lock.unlock();
                FRun.ProcessMessages();
                continue;
            }
            Batch.swap(FQueue);
        }
        FRoom.notify_one();
        for (TAheadEntry& E : Batch) {
            if (FRun.StopRequested()) break;
            FRun.ProcessMessages();
            if (E.Data) OnFile(E);
            else OnMessage(E.Message);
        }
        Batch.clear();
    }
    Stop();
    std::exception_ptr Error;
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        Error = FError;
    }
    if (Error && !FRun.StopRequested()) std::rethrow_exception(Error);
}

} // namespace finder
