#pragma once
// The matcher's road with worker threads. One thread (the walk) hands over
// the entries in walk order; the matching thread takes them in that same
// order and matches them as the plain road would, while the work pool reads
// ahead what the matching will ask for: first blocks, checksums and byte
// comparisons of files that share a size, music tags, decoded pictures.
// Whatever is not ready when asked for is waited for (the matching thread
// processes its messages meanwhile) or read there and then; so groups,
// members and their order are exactly those of the plain road.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "finder/core/MatchingUnit.h"
#include "finder/core/WorkPool.h"

namespace finder {

// One entry for the matcher: a file, or a path the walk shows.
struct TAheadEntry {
    TFolderText Folder;
    const plat::TWin32FindData* Data = nullptr;  // null for a message
    std::shared_ptr<const void> Holder;          // keeps Data and the folder's descriptor alive
    int FolderFd = -1;
    bool Shown = false;   // the walk shows the file's path as it reaches it
    std::string Message;  // a message: the path shown
};

class TFactTable;

class TMatchAhead {
public:
    // Matcher and Run belong to the matching thread; Pool reads ahead.
    TMatchAhead(TMatcher& Matcher, TWorkPool& Pool, const TMatchOptions& Options, TRunControl& Run);
    ~TMatchAhead();
    TMatchAhead(const TMatchAhead&) = delete;
    TMatchAhead& operator=(const TMatchAhead&) = delete;

    // ---- the handing thread
    // Queues an entry (waiting while the queue is full); false once the
    // matching has stopped and wants no more.
    bool Push(TAheadEntry Entry);
    // Nothing more will come; an error that ended the walk goes with it.
    void Finish(std::exception_ptr Error = nullptr);
    bool Stopping() const { return FStop.load(std::memory_order_acquire); }

    // ---- the matching thread
    // Takes every entry in order until Finish or a stop, processing
    // messages between entries; OnFile matches a file, OnMessage shows a
    // path. Rethrows an error of the walk after the entries before it.
    void Consume(const std::function<void(const TAheadEntry&)>& OnFile,
                 const std::function<void(const std::string&)>& OnMessage);
    // Ends the handing side (a stop or an error of the matching).
    void Stop();

private:
    TMatcher& FMatcher;
    TWorkPool& FPool;
    TRunControl& FRun;
    std::unique_ptr<TFactTable> FFacts;

    std::mutex FMutex;
    std::condition_variable FRoom, FArrived;
    std::deque<TAheadEntry> FQueue;
    bool FFinished = false;
    bool FConsumerWaits = false;
    std::exception_ptr FError;
    std::atomic<bool> FStop{false};
    static constexpr size_t Capacity = 8192;
};

} // namespace finder
