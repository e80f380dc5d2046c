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
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "finder/core/FileBytes.h"
#include "finder/core/MatchingUnit.h"
#include "finder/core/WorkPool.h"

namespace finder {

// What the pool learns of one file. Its jobs are set by the thread that asks
// (the walk's thread before it hands the file over, or the matching thread);
// each job writes only its own results, read once it is done.
struct TFileFacts {
    // Where: the name in the folder while the walk's listing (Holder) lives
    // or the folder's text holds it open (FolderFd), else by full path.
    TFolderText Folder;
    const std::string* Name = nullptr;
    std::string Path;
    int FolderFd = -1;
    std::shared_ptr<const void> Holder;
    bytes::TFileId Id;
    uint64_t Seq = 0;  // the place in the walk of the file that needs these facts first
    std::string FullPath() const { return Name ? Folder + *Name : Path; }

    enum : uint8_t { rNone, rOk, rUnreadable, rStopped };
    TWorkJobRef HeadJob, CrcJob, CompareJob;
    uint8_t HeadResult = rNone, CrcResult = rNone;
    uint32_t Head = 0, Crc = 0;
    // The one comparison read ahead, with the file Other; Stopped until the
    // job has run.
    std::shared_ptr<TFileFacts> Other;
    TCompareResult Compared = TCompareResult::Stopped;
    // Music tags and pictures, made by the thread that asks for them before
    // their job goes to the pool; most files have none.
    struct TMedia {
        TWorkJobRef TagsJob;
        // The music tag list, or the error its reader raised.
        bool TagsRead = false;
        int TagCount = 0;
        std::vector<std::string> Tags;
        std::exception_ptr TagError;
        std::vector<std::pair<std::string, std::string>> TagWarnings;  // shown when the matching reads the tags
        // Pictures prepared ahead for this one's comparisons: its own, its
        // copies at other groups' sizes, other groups' pictures at its size.
        std::vector<TWorkJobRef> PictureJobs;
        std::vector<std::pair<int, int>> Sizes;  // for the job that scales it
    };
    std::unique_ptr<TMedia> Media;
    TMedia& Made()
    {
        if (!Media) Media = std::make_unique<TMedia>();
        return *Media;
    }
    // Speculation done for this entry (matching thread only).
    bool Looked = false;
};

using TFileFactsRef = std::shared_ptr<TFileFacts>;
class TTaskJob;

// One entry for the matcher: a file, or a path the walk shows.
struct TAheadEntry {
    TFolderText Folder;
    const plat::TWin32FindData* Data = nullptr;  // null for a message
    std::shared_ptr<const void> Holder;          // keeps Data and the folder's descriptor alive
    int FolderFd = -1;
    bool Shown = false;      // the walk shows the file's path as it reaches it
    bool FirstShare = false; // the first file of its size met again: the groups of that size are read too
    bool Passes = false;     // a file the filter lets through (the handing thread tells)
    std::string Message;     // a message: the path shown
    TFileFactsRef Facts;
    uint64_t Seq = 0;        // the place in the walk
};

class TMatchAhead {
public:
    // Matcher and Run belong to the matching thread; Pool reads ahead.
    TMatchAhead(TMatcher& Matcher, TWorkPool& Pool, const TMatchOptions& Options, TRunControl& Run);
    ~TMatchAhead();
    TMatchAhead(const TMatchAhead&) = delete;
    TMatchAhead& operator=(const TMatchAhead&) = delete;

    // ---- the handing thread
    // Queues an entry and asks the pool for what its matching will need;
    // false once the matching has stopped and wants no more. Entries go
    // over in batches: Flush hands over what is gathered (waiting while the
    // queue is full), before the walk waits for a folder, say.
    bool Push(TAheadEntry Entry);
    bool Flush();
    // Nothing more will come; an error that ended the walk goes with it.
    void Finish(std::exception_ptr Error = nullptr);
    bool Stopping() const { return FStop.load(std::memory_order_acquire); }

    // ---- the matching thread
    // Takes every entry in order until Finish or a stop, processing
    // messages between entries; OnFile matches a file, OnMessage shows a
    // path. Rethrows an error of the walk after the entries before it.
    void Consume(const std::function<void(const TAheadEntry&)>& OnFile,
                 const std::function<void(const std::string&)>& OnMessage);
    // Ends the handing side (a stop, an error of the matching, the end).
    void Stop();

    // ---- for the matcher, on the matching thread
    // The facts of a file by path and walk stamp (read by path), asked for
    // on behalf of the entry being matched or looked at (Seq).
    TFileFactsRef Facts(const std::string& Path, const bytes::TFileId& Id, uint64_t Seq = 0);
    // The same for the file Name of Folder, read through FolderFd when that
    // is open (Holder keeps it so), else by path.
    TFileFactsRef Facts(const TFolderText& Folder, const std::string& Name, int FolderFd,
                        std::shared_ptr<const void> Holder, const bytes::TFileId& Id, uint64_t Seq);
    // The first block's checksum; false when the file cannot be read or a
    // stop came (Stopped).
    bool Head(TFileFacts& F, uint32_t& Head, bool& Stopped);
    bool Crc(TFileFacts& F, uint32_t& Crc, bool& Stopped);
    TCompareResult Compare(TFileFacts& A, const TFileFactsRef& B);
    // The music tag list of the entry being matched (or of Path).
    int Tags(TFileFacts* F, const std::string& Path, std::vector<std::string>& List);
    // Waits for the pictures prepared for F; false on a stop.
    bool PicturesReady(TFileFacts* F);
    void AskHead(const TFileFactsRef& F, uint64_t Seq);

private:
    TMatcher& FMatcher;
    TWorkPool& FPool;
    TRunControl& FRun;
    TMatchOptions FOptions;
    std::atomic<bool> FStop{false};
    bytes::TOpener FOpen;

    std::mutex FMutex;
    std::condition_variable FRoom, FArrived;
    std::deque<TAheadEntry> FQueue;
    bool FFinished = false;
    bool FConsumerWaits = false;
    bool FHandingWaits = false;
    std::exception_ptr FError;
    static constexpr size_t Capacity = 256;

    struct TSizeHash {
        size_t operator()(int64_t K) const
        {
            const uint64_t X = uint64_t(K) * 0x9E3779B97F4A7C15ull;
            return size_t(X ^ (X >> 29));
        }
    };
    // The handing thread's census of sizes, one 4-byte slot a size below
    // 1 GiB: the size plus one, its top bit set once the size is met again;
    // larger sizes, which are few, are kept aside.
    class TSizeCensus {
    public:
        // How often Size was met before: 0, 1, or 2 for more.
        int Meet(uint64_t Size);

    private:
        std::vector<uint32_t> FSlots;
        size_t FCount = 0;
        std::unordered_map<uint64_t, int> FLarge;
    };
    TSizeCensus FSizes;
    uint64_t FSeq = 0;
    std::vector<TAheadEntry> FBatch;
    // Reads go to the pool a few at a time, one job for several files; the
    // facts come in blocks. Each side (handing, matching) has its own.
    struct TAsking {
        std::shared_ptr<TTaskJob> Open;     // being filled
        std::vector<TWorkJobRef> Ready;     // full, not yet handed to the pool
        struct TBlock {
            TFileFacts Facts[16];
        };
        std::shared_ptr<TBlock> Block;
        size_t Used = 0;
    };
    TAsking FHanding, FMatching;
    friend class TTaskJob;
    enum TOp : uint8_t;
    void Ask(TAsking& A, TOp Op, const TFileFactsRef& F, uint64_t Order, size_t PerJob);
    void Submit(TAsking& A);
    TFileFactsRef NewFacts(TAsking& A);

    // The matching thread's view ahead: entries taken from the queue and
    // not matched yet, the first of each size without a group among them,
    // and the first of each size and first block (it will open that group).
    std::deque<TAheadEntry> FHorizon;
    size_t FLookAt = 0;  // entries of FHorizon before it were looked at
    TFlatMap<int64_t, TAheadEntry*, TSizeHash> FFirstOfSize;
    struct TSizeHeadKey {
        int64_t Size = 0;
        uint32_t Head = 0;
        bool operator==(const TSizeHeadKey&) const = default;
    };
    struct TSizeHeadKeyHash {
        size_t operator()(const TSizeHeadKey& K) const
        {
            const uint64_t X = (uint64_t(K.Size) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(K.Head) * 0xC2B2AE3D27D4EB4Full);
            return size_t(X ^ (X >> 29));
        }
    };
    TFlatMap<TSizeHeadKey, TAheadEntry*, TSizeHeadKeyHash> FOpener;

    bool Content() const { return FOptions.Kind == TScanKind::FileBye; }
    TPictureComparer* FComparer = nullptr;  // pictures prepared ahead through it
    std::function<void()> FPictureAhead;
    std::unordered_set<std::string> FScaledAsked;  // pictures already asked for at another size
    // The sizes of the groups' first pictures, for the jobs that prepare a
    // picture: it is scaled to those it is wider than in the same decode.
    std::mutex FSizesMutex;
    std::vector<std::pair<int, int>> FGroupSizes;
    size_t FGroupsSeen = 0;
    size_t FPicturesAsked = 0;  // entries of FHorizon before it had their pictures asked for
    void NoteGroupSizes();
    void SpeculatePictures(TAheadEntry& E);
    bool Passes(const TAheadEntry& E) const;
    TFileFactsRef& EntryFacts(TAheadEntry& E, TAsking& A);
    // Waits for a job with messages processed meanwhile; false on a stop.
    bool Await(TWorkJob& Job);
    // What the matching will need of the entries ahead.
    void Look();
    void Arrived(TAheadEntry& E);
    // False while what it needs is still being read.
    bool Speculate(TAheadEntry& E);
    void Forget(const TAheadEntry& E);
    void Settled(TFileFacts& F);
};

} // namespace finder
