#pragma once
// The matching engine of the file scans: every directory entry either joins
// the first group that takes it, is dropped, or stays unmatched so that the
// walk may open a group with it. Groups keep their opening order; indexes
// by name, size and title find "the first group that takes it" without
// walking the whole list.
#include <chrono>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "finder/core/DataRecordUnit.h"
#include "finder/core/FileFilter.h"
#include "platform/DirectoryReader.h"

class TPictureComparer;

namespace finder {

class TMatchAhead;
struct TFileFacts;

// An open-addressing hash map for the matcher's indexes: one probe sequence
// in one flat array, no node per entry. A 64-bit integer key marks a free
// slot with the one value it never takes (INT64_MIN), other keys with a flag.
template <class K>
struct TFlatFree {
    static constexpr bool ByKey = false;
};
template <>
struct TFlatFree<int64_t> {
    static constexpr bool ByKey = true;
    static constexpr int64_t Key = INT64_MIN;
};
template <>
struct TFlatFree<uint32_t> {  // group indexes, which stay far below it
    static constexpr bool ByKey = true;
    static constexpr uint32_t Key = UINT32_MAX;
};

template <class K, class V, class H>
class TFlatMap {
public:
    // Removes Key, moving later entries of its probe run back into place.
    void Erase(const K& Key)
    {
        if (FSlots.empty()) return;
        size_t I = H()(Key) & FMask;
        for (;; I = (I + 1) & FMask) {
            if (!FSlots[I].Used()) return;
            if (FSlots[I].Key == Key) break;
        }
        FSlots[I].Free();
        --FCount;
        for (size_t J = (I + 1) & FMask; FSlots[J].Used(); J = (J + 1) & FMask) {
            const size_t Home = H()(FSlots[J].Key) & FMask;
            // An entry whose home lies cyclically in (I, J] stays put.
            if (I <= J ? (I < Home && Home <= J) : (I < Home || Home <= J)) continue;
            FSlots[I] = FSlots[J];
            FSlots[J].Free();
            I = J;
        }
    }
    size_t Count() const { return FCount; }
    V* Find(const K& Key)
    {
        if (FSlots.empty()) return nullptr;
        for (size_t I = H()(Key) & FMask;; I = (I + 1) & FMask) {
            if (!FSlots[I].Used()) return nullptr;
            if (FSlots[I].Key == Key) return &FSlots[I].Value;
        }
    }
    // The value for Key, default-made when new; Fresh tells which. Only a
    // new key may move the entries (pointers from Find stay good otherwise).
    V& Get(const K& Key, bool* Fresh = nullptr)
    {
        if (V* Found = Find(Key)) {
            if (Fresh) *Fresh = false;
            return *Found;
        }
        if ((FCount + 1) * 10 > FSlots.size() * 7) Grow();
        for (size_t I = H()(Key) & FMask;; I = (I + 1) & FMask) {
            Slot& S = FSlots[I];
            if (!S.Used()) {
                S.Take(Key);
                S.Value = V{};
                ++FCount;
                if (Fresh) *Fresh = true;
                return S.Value;
            }
            if (S.Key == Key) {
                if (Fresh) *Fresh = false;
                return S.Value;
            }
        }
    }

private:
    struct FlaggedSlot {
        K Key{};
        V Value{};
        bool IsUsed = false;
        bool Used() const { return IsUsed; }
        void Take(const K& NewKey) { Key = NewKey, IsUsed = true; }
        void Free() { IsUsed = false; }
    };
    struct KeyedSlot {
        K Key = TFlatFree<K>::Key;
        V Value{};
        bool Used() const { return Key != TFlatFree<K>::Key; }
        void Take(const K& NewKey) { Key = NewKey; }
        void Free() { Key = TFlatFree<K>::Key; }
    };
    using Slot = std::conditional_t<TFlatFree<K>::ByKey, KeyedSlot, FlaggedSlot>;
    std::vector<Slot> FSlots;
    size_t FMask = 0, FCount = 0;

    void Grow()
    {
        std::vector<Slot> Old;
        Old.swap(FSlots);
        FSlots.resize(Old.empty() ? 64 : Old.size() * 2);
        FMask = FSlots.size() - 1;
        FCount = 0;
        for (const Slot& S : Old)
            if (S.Used()) Get(S.Key) = S.Value;
    }
};

// Local date-times of file times, exactly as plat::FileTimeToLocalDateTime
// gives them, with the zone's offset looked up once a day: the zone's rules
// cost more than the rest of a file's matching, and a scan's files share few
// days. A day in which the offset changes goes by the rules for every time.
class TLocalDates {
public:
    TDateTime operator()(uint64_t FileTime);

private:
    struct TDay {
        int64_t Day = INT64_MIN;  // days since 1970-01-01 UTC
        int32_t Offset = 0;       // seconds east of UTC, the whole day
        bool Uniform = false;
    };
    TDay FDays[4096];
};

// The run state of a scan: 0 idle, 1 running, 2 stop requested, 3 finished.
enum : uint8_t { rsIdle = 0, rsRunning = 1, rsStopRequested = 2, rsFinished = 3 };

enum class TScanKind { None, FileName, FileBye, Title, Similar };

// What the main window's options say for one scan.
struct TMatchOptions {
    TScanKind Kind = TScanKind::FileName;
    int Mode = 1;                 // 1 Basic, 3 Music, 4 Photo
    bool SameSize = false;        // cbFileSize
    bool SameDate = false;        // cbFileModifyTime
    bool SameArtist = false;      // cbMailSender in the Music mode
    bool SimilarityOn = false;    // chkSimilarty
    std::string SimilarityText = "90";  // edtSimilarity
    TFilterOptions Filter;
};

// The stop request and the message pump shared by every long loop of a run.
// Pending messages are processed at most once per Interval, so a walk over
// many small entries does not spend its time in the pump; the run state is
// tested at every pass.
class TRunControl {
public:
    TRunControl(uint8_t& RunState, std::function<void()> ProcessMessages,
                std::chrono::milliseconds Interval = std::chrono::milliseconds(5))
        : FRunState(RunState), FProcessMessages(std::move(ProcessMessages)), FInterval(Interval) {}

    bool StopRequested() const { return FRunState == rsStopRequested; }
    uint8_t& RunState() { return FRunState; }
    void ProcessMessages();

private:
    uint8_t& FRunState;
    std::function<void()> FProcessMessages;
    std::chrono::milliseconds FInterval;
    std::chrono::steady_clock::time_point FLast{};
};

// The standard CRC-32 table (reflected polynomial 0xEDB88320).
const uint32_t* BuildChecksumTable();
// CRC-32 of the whole file; false when it cannot be read or the run was
// stopped part-way (then Checksum is of no use).
bool FileChecksum(const std::string& Path, uint32_t& Checksum, TRunControl* Run = nullptr);
uint32_t UpdateChecksum(uint32_t Checksum, const unsigned char* Data, size_t Size);

enum class TCompareResult { Equal, Different, FirstUnreadable, SecondUnreadable, Stopped };

// Byte-for-byte comparison of two files, block by block.
TCompareResult CompareFileContents(const std::string& PathA, const std::string& PathB, TRunControl* Run = nullptr);
// True only when both files can be read and their bytes are equal.
bool SameChecksum(const std::string& PathA, const std::string& PathB, TRunControl* Run = nullptr);

// With worker threads the tag reader and the opener are called from them,
// several at once; the picture likeness only ever from the matching thread.
struct TMatchHooks {
    // Music tag list of a file (tags::ReadMusicTags unless replaced).
    std::function<int(const std::string&, std::vector<std::string>&)> ReadMusicTags;
    // Likeness of two pictures in percent; exact when it reaches Threshold.
    std::function<double(const std::string&, const std::string&, double Threshold)> PictureSimilarity;
    // Without that: the comparer to use (its statistics stay readable), one
    // of the matcher's own otherwise. Pictures are prepared ahead through it.
    TPictureComparer* Comparer = nullptr;
    // Opens a file for reading; -1 when it cannot be (a seam for tests).
    std::function<int(const std::string&)> OpenForRead;
    // Called on the thread that prepares a picture ahead, before it looks
    // at the file (a seam for tests: the walk may move on meanwhile).
    std::function<void()> PictureAhead;
    // Called on the walk's thread, under the hand-over lock, as it starts to
    // wait for the matching to make room (a seam for tests).
    std::function<void()> WalkWaits;
};

class TMatcher {
public:
    TMatcher(TGroupList& Groups, const TMatchOptions& Options, TRunControl& Run, TMatchHooks Hooks = {});
    ~TMatcher();
    TMatcher(const TMatcher&) = delete;
    TMatcher& operator=(const TMatcher&) = delete;

    // Unmatched is false on return when the entry joined a group or was
    // dropped; it stays true when no group took it or a stop was requested.
    // An entry listed by name alone (Stated false) is read through its
    // folder's open descriptor FolderFd, or by its path when that is -1;
    // one that has gone meanwhile is dropped.
    void MatchIntoGroup(bool& Unmatched, const TFolderText& Folder, const std::string& Name,
                        const plat::TWin32FindData& FindData, int FolderFd = -1);
    // Opens a group with the entry as its only member (when its kind allows).
    // A same-name group keeps an entry listed by name alone unread.
    void NewGroup(const TFolderText& Folder, const std::string& Name, const plat::TWin32FindData& FindData,
                  int FolderFd = -1);

    // Groups of two or more members and their members, kept up to date for
    // the scanning page's counters.
    int64_t DuplicateGroups() const { return FDupGroups; }
    int64_t DuplicateFiles() const { return FDupFiles; }

private:
    // The end of a chain of groups (group indexes stay below it: half a
    // billion groups would need far more memory than their indexes).
    static constexpr uint32_t NoGroup = (1u << 29) - 1;
    struct TContentAux {  // 8 bytes a group
        uint32_t Next : 29 = NoGroup;  // next group of the same size, in opening order
        uint32_t HasHead : 1 = 0, Dead : 1 = 0;
        uint32_t Asked : 1 = 0;  // its first block is being read ahead
        uint32_t Head = 0;       // CRC-32 of the first block
    };
    struct TChain {
        uint32_t First = NoGroup, Last = NoGroup;
        uint32_t Pending = 0;  // groups of the chain whose first block is not known yet
        uint32_t Asked = 0;    // of these, the ones being read ahead
    };
    struct TSizeHash {
        size_t operator()(int64_t K) const
        {
            const uint64_t X = uint64_t(K) * 0x9E3779B97F4A7C15ull;
            return size_t(X ^ (X >> 29));
        }
    };
    struct TCandidate;

    TGroupList& FGroups;
    TMatchOptions FOptions;
    TRunControl& FRun;
    TMatchHooks FHooks;
    double FThreshold = 90;
    bool FSimilarityTest = false;
    std::unique_ptr<TPictureComparer> FOwnComparer;
    TPictureComparer* FComparer = nullptr;
    // The comparer of a similar-picture scan with its likeness test; null
    // when a hook gives the likeness instead.
    TPictureComparer* Comparer();

    // Same name / song title: the first group of each key. A slot holds the
    // group's index and part of the key's hash; the key itself is read from
    // the group record only when the hashes agree.
    struct TNameSlot {
        uint32_t Index = UINT32_MAX;
        uint32_t Hash = 0;
    };
    std::vector<TNameSlot> FNameSlots;
    size_t FNameCount = 0;
    std::string_view GroupKey(uint32_t Index) const;
    static uint32_t NameHash(std::string_view Key);  // the slot's place and check
    int FindName(std::string_view Key) const;
    void AddName(uint32_t Index);
    TFlatMap<int64_t, TChain, TSizeHash> FBySize;              // same content / pictures
    // The first group (in opening order) of each size and first block: a
    // slot keeps the group's index and its first block's checksum; the size
    // is the group's own, read only when the checksums agree.
    struct THeadSlot {
        uint32_t Index = UINT32_MAX;
        uint32_t Head = 0;
    };
    std::vector<THeadSlot> FByHead;
    size_t FHeadCount = 0;
    int64_t GroupSize(uint32_t Index) const;
    THeadSlot* FindHead(int64_t Size, uint32_t Head);
    void GrowHeads();
    std::deque<TContentAux> FAux;  // per group, content kinds; grows without moving
    // The rare rest, by group: the next group of the same size and first
    // block, and the whole file's CRC-32 once read.
    struct TIndexHash {
        size_t operator()(uint32_t K) const
        {
            const uint64_t X = uint64_t(K) * 0x9E3779B97F4A7C15ull;
            return size_t(X ^ (X >> 29));
        }
    };
    TFlatMap<uint32_t, uint32_t, TIndexHash> FNextHead, FCrcs;
    uint32_t NextHead(uint32_t Index) const;
    // The live groups of this size and first block, in opening order.
    void SameHeadGroups(int64_t Size, uint32_t Head, std::vector<uint32_t>& Out);
    // The first block's checksum of the last candidate, kept for its own group.
    TFolderText FCandidateFolder;
    std::string FCandidateName;
    bool FHasCandidateHead = false;
    uint32_t FCandidateHead = 0;
    void KeepCandidateHead(const TFolderText& Folder, const std::string& Name, uint32_t Head);

    // Tags of the last candidate, so that opening its group reads them once.
    std::string FTagPath;
    int FTagCount = 0;
    std::vector<std::string> FTags;

    int64_t FDupGroups = 0, FDupFiles = 0;

    void Joined(TGroupRecord& Group);
    TLocalDates FDates;
    TScanResult NameMember(const TFolderText& Folder, const plat::TWin32FindData& Data);
    // Reads the size and dates of a same-name group's unread first file;
    // false when it has gone.
    bool ReadFirstMember(TSearchStat& G);
    void AddToSizeChain(int64_t Size, uint32_t Index);
    void SetHead(int64_t Size, uint32_t Index, uint32_t Head);
    void LeavePending(int64_t Size, uint32_t Index);
    int ReadTags(const std::string& Path);
    // Read buffers of the content comparisons, kept for the whole scan.
    std::unique_ptr<unsigned char[]> FBufA, FBufB;
    void EnsureBuffers();
    // Group index or -1; Entry is the candidate's directory entry.
    int MatchContent(const TFolderText& Folder, const std::string& Name, int64_t Size,
                     const plat::TWin32FindData& Entry, int FolderFd);
    bool SimilarJoin(TSearchSimilar& G, const std::string& Path, const plat::TWin32FindData& Entry,
                     TDateTime Modified, double& Similarity);

    // ---- the road with workers (MatchAhead.cpp): the same decisions from
    // what the pool read ahead.
    friend class TMatchAhead;
    TMatchAhead* FAhead = nullptr;
    std::shared_ptr<TFileFacts> FCandidateFacts;  // of the entry being matched
    // First files of groups whose bytes are being read ahead.
    std::unordered_map<uint32_t, std::shared_ptr<TFileFacts>> FGroupFacts;
    std::vector<uint32_t> FSameHead;  // scratch list of groups of one first block
    int MatchContentAhead(const TFolderText& Folder, const std::string& Name, int64_t Size,
                          const plat::TWin32FindData& Entry, int FolderFd);
    std::shared_ptr<TFileFacts> GroupFacts(uint32_t Index);
    // Facts of the file that opened content group Index, read by path.
    std::shared_ptr<TFileFacts> FirstFacts(uint32_t Index, uint64_t Seq);
    // Asks for the first blocks of the groups of this size not known yet.
    void AskHeads(int64_t Size, uint64_t Seq);
    // Takes what the pool read of group Index's first block; false when it
    // cannot be read (the group is then dead) or a stop came.
    bool ResolveHead(int64_t Size, uint32_t Index, bool& Stopped);
};

} // namespace finder
