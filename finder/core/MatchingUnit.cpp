#include "finder/core/MatchingUnit.h"

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "finder/core/FileBytes.h"
#include "finder/core/MatchAhead.h"
#include "finder/pictures/PictureSimilarity.h"
#include "platform/PathAt.h"
#include "tags/MusicTags.h"

namespace finder {

namespace {

using namespace bytes;

template <class M>
TFileId IdOf(const M& Member)
{
    return {Member.Device, Member.Inode, uint64_t(Member.Size), Member.WriteTime};
}

TFileId IdOf(const plat::TWin32FindData& Entry)
{
    return {plat::PackDevice(Entry.Device), Entry.Inode, Entry.Size(), Entry.ftLastWriteTime};
}

// The scan's stamp of a member from its directory entry.
template <class M>
M& Stamped(M& Member, const plat::TWin32FindData& Data)
{
    Member.Inode = Data.Inode;
    Member.ChangeTime = Data.ChangeTime;
    Member.Device = plat::PackDevice(Data.Device);
    return Member;
}

// The run's stop test and message pump before each block.
TPass PassOf(TRunControl* Run)
{
    if (!Run) return {};
    return [Run] {
        if (Run->StopRequested()) return false;
        Run->ProcessMessages();
        return true;
    };
}

bool IsDots(const std::string& Name) { return Name == "." || Name == ".."; }

} // namespace

void TRunControl::ProcessMessages()
{
    if (!FProcessMessages) return;
    if (FInterval.count() > 0) {
        const auto Now = std::chrono::steady_clock::now();
        if (Now - FLast < FInterval) return;
        FLast = Now;
    }
    FProcessMessages();
}

const uint32_t* BuildChecksumTable()
{
    static const struct TTable {
        uint32_t T[256];
        TTable()
        {
            for (uint32_t N = 0; N < 256; ++N) {
                uint32_t C = N;
                for (int K = 0; K < 8; ++K) C = (C & 1) ? (C >> 1) ^ 0xEDB88320u : C >> 1;
                T[N] = C;
            }
        }
    } Table;
    return Table.T;
}

uint32_t UpdateChecksum(uint32_t Checksum, const unsigned char* Data, size_t Size)
{
    // zlib's CRC-32 is the same standard checksum as the table above (the
    // tests hold them equal), only several times faster. zlib keeps the
    // register inverted, so the inversions are undone around the call.
    while (Size > 0) {
        const uInt N = uInt(std::min<size_t>(Size, 1u << 30));
        Checksum = ~uint32_t(crc32(~Checksum, Data, N));
        Data += N;
        Size -= N;
    }
    return Checksum;
}

bool FileChecksum(const std::string& Path, uint32_t& Checksum, TRunControl* Run)
{
    TLazyFile F(nullptr, Path);
    TBuffers Buf;
    return ChecksumFd(F, SIZE_MAX, Checksum, PassOf(Run), Buf.A.get());
}

TCompareResult CompareFileContents(const std::string& PathA, const std::string& PathB, TRunControl* Run)
{
    TLazyFile A(nullptr, PathA), B(nullptr, PathB);
    TBuffers Buf;
    if (A.Fd() < 0) return TCompareResult::FirstUnreadable;
    return CompareFds(A, B, PassOf(Run), Buf);
}

bool SameChecksum(const std::string& PathA, const std::string& PathB, TRunControl* Run)
{
    return CompareFileContents(PathA, PathB, Run) == TCompareResult::Equal;
}

// ---------------------------------------------------------------------------

TMatcher::TMatcher(TGroupList& Groups, const TMatchOptions& Options, TRunControl& Run, TMatchHooks Hooks)
    : FGroups(Groups), FOptions(Options), FRun(Run), FHooks(std::move(Hooks))
{
    if (!FHooks.ReadMusicTags) FHooks.ReadMusicTags = tags::ReadMusicTags;
    FSimilarityTest = FOptions.SimilarityOn && FOptions.SimilarityText != "100";
    FThreshold = std::strtod(FOptions.SimilarityText.c_str(), nullptr);
    // Groups already in the list (a run that goes on) are indexed as well.
    for (uint32_t I = 0; I < FGroups.size(); ++I) {
        TGroupRecord& G = *FGroups[I];
        if (G.Count > 1) {
            ++FDupGroups;
            FDupFiles += G.Count;
        }
        switch (G.Kind()) {
        case TGroupKind::SameName:
        case TGroupKind::SongTitle: AddName(I); break;
        case TGroupKind::SameContent:
            FAux.resize(I + 1);
            AddToSizeChain(static_cast<TSearchStatBye&>(G).Size(), I);
            break;
        case TGroupKind::SimilarPicture:
            FAux.resize(I + 1);
            AddToSizeChain(int64_t(static_cast<TSearchSimilar&>(G).Size), I);
            break;
        case TGroupKind::Mail:
        case TGroupKind::Contact: break;
        }
    }
}

TMatcher::~TMatcher() = default;

std::string_view TMatcher::GroupKey(uint32_t Index) const
{
    const TGroupRecord& G = *FGroups[Index];
    if (G.Kind() == TGroupKind::SongTitle) return static_cast<const TSearchStatID3&>(G).Title;
    return static_cast<const TSearchStat&>(G).Name.view();
}

uint32_t TMatcher::NameHash(std::string_view Key)
{
    const uint64_t H = std::hash<std::string_view>()(Key);
    return uint32_t(H ^ (H >> 32));
}

int TMatcher::FindName(std::string_view Key) const
{
    if (FNameSlots.empty()) return -1;
    const uint32_t H = NameHash(Key);
    const size_t Mask = FNameSlots.size() - 1;
    for (size_t I = H & Mask;; I = (I + 1) & Mask) {
        const TNameSlot& S = FNameSlots[I];
        if (S.Index == UINT32_MAX) return -1;
        if (S.Hash == H && GroupKey(S.Index) == Key) return int(S.Index);
    }
}

// Keeps the first group of a key: a later group of the same key (only after
// a stop) is never the one that takes an entry.
void TMatcher::AddName(uint32_t Index)
{
    if ((FNameCount + 1) * 10 > FNameSlots.size() * 7) {
        // Every slot keeps its hash: growing moves slots without reading
        // a single group record (each key is distinct already).
        std::vector<TNameSlot> Old;
        Old.swap(FNameSlots);
        FNameSlots.resize(Old.empty() ? 1024 : Old.size() * 2);
        const size_t Mask = FNameSlots.size() - 1;
        for (const TNameSlot& S : Old) {
            if (S.Index == UINT32_MAX) continue;
            size_t I = S.Hash & Mask;
            while (FNameSlots[I].Index != UINT32_MAX) I = (I + 1) & Mask;
            FNameSlots[I] = S;
        }
    }
    const std::string_view Key = GroupKey(Index);
    const uint32_t H = NameHash(Key);
    const size_t Mask = FNameSlots.size() - 1;
    for (size_t I = H & Mask;; I = (I + 1) & Mask) {
        TNameSlot& S = FNameSlots[I];
        if (S.Index == UINT32_MAX) {
            S.Index = Index;
            S.Hash = H;
            ++FNameCount;
            return;
        }
        if (S.Hash == H && GroupKey(S.Index) == Key) {
            if (Index < S.Index) S.Index = Index;
            return;
        }
    }
}

bool TMatcher::ReadFirstMember(TSearchStat& G)
{
    TScanResult& First = G.Files[0];
    plat::TWin32FindData Data;
    if (!plat::StatEntry(First.Folder + G.Name, Data) || Data.IsDirectory()) return false;
    First = NameMember(First.Folder, Data);
    return true;
}

void TMatcher::Joined(TGroupRecord& Group)
{
    ++Group.Count;
    if (Group.Count == 2) {
        ++FDupGroups;
        FDupFiles += 2;
    } else {
        ++FDupFiles;
    }
}

void TMatcher::AddToSizeChain(int64_t Size, uint32_t Index)
{
    if (FAux.size() <= Index) FAux.resize(Index + 1);
    TChain& C = FBySize.Get(Size);
    if (C.First == NoGroup) C.First = Index;
    else FAux[C.Last].Next = Index;
    C.Last = Index;
    ++C.Pending;
}

int64_t TMatcher::GroupSize(uint32_t Index) const
{
    const TGroupRecord& G = *FGroups[Index];
    if (G.Kind() == TGroupKind::SameContent) return static_cast<const TSearchStatBye&>(G).Size();
    return int64_t(static_cast<const TSearchSimilar&>(G).Size);
}

namespace {

size_t HeadHash(int64_t Size, uint32_t Head)
{
    const uint64_t X = (uint64_t(Size) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(Head) * 0xC2B2AE3D27D4EB4Full);
    return size_t(X ^ (X >> 29));
}

} // namespace

// The slot of this size and first block, or the empty slot where it goes.
TMatcher::THeadSlot* TMatcher::FindHead(int64_t Size, uint32_t Head)
{
    if (FByHead.empty()) return nullptr;
    const size_t Mask = FByHead.size() - 1;
    for (size_t I = HeadHash(Size, Head) & Mask;; I = (I + 1) & Mask) {
        THeadSlot& S = FByHead[I];
        if (S.Index == UINT32_MAX || (S.Head == Head && GroupSize(S.Index) == Size)) return &S;
    }
}

void TMatcher::GrowHeads()
{
    std::vector<THeadSlot> Old;
    Old.swap(FByHead);
    FByHead.resize(Old.empty() ? 1024 : Old.size() * 2);
    const size_t Mask = FByHead.size() - 1;
    for (const THeadSlot& S : Old) {
        if (S.Index == UINT32_MAX) continue;
        size_t I = HeadHash(GroupSize(S.Index), S.Head) & Mask;
        while (FByHead[I].Index != UINT32_MAX) I = (I + 1) & Mask;
        FByHead[I] = S;
    }
}

void TMatcher::SameHeadGroups(int64_t Size, uint32_t Head, std::vector<uint32_t>& Out)
{
    Out.clear();
    const THeadSlot* S = FindHead(Size, Head);
    if (!S || S->Index == UINT32_MAX) return;
    for (uint32_t I = S->Index; I != NoGroup; I = NextHead(I))
        if (!FAux[I].Dead) Out.push_back(I);
}

uint32_t TMatcher::NextHead(uint32_t Index) const
{
    const uint32_t* Next = const_cast<TFlatMap<uint32_t, uint32_t, TIndexHash>&>(FNextHead).Find(Index);
    return Next ? *Next : NoGroup;
}

// A group's first block is known now (or never will be).
void TMatcher::LeavePending(int64_t Size, uint32_t Index)
{
    TContentAux& A = FAux[Index];
    TChain& Chain = FBySize.Get(Size);
    --Chain.Pending;
    if (A.Asked) {
        A.Asked = false;
        --Chain.Asked;
    }
}

// Records a group's first-block checksum and links it into the chain of its
// size and checksum, which stays in opening order.
void TMatcher::SetHead(int64_t Size, uint32_t Index, uint32_t Head)
{
    TContentAux& A = FAux[Index];
    if (A.HasHead) return;
    A.HasHead = true;
    A.Head = Head;
    LeavePending(Size, Index);
    if ((FHeadCount + 1) * 10 > FByHead.size() * 7) GrowHeads();
    THeadSlot& S = *FindHead(Size, Head);
    if (S.Index == UINT32_MAX) {
        S = {Index, Head};
        ++FHeadCount;
        return;
    }
    if (S.Index > Index) {
        FNextHead.Get(Index) = S.Index;
        S.Index = Index;
        return;
    }
    uint32_t P = S.Index;
    for (uint32_t N = NextHead(P); N != NoGroup && N < Index; N = NextHead(P)) P = N;
    if (const uint32_t After = NextHead(P); After != NoGroup) FNextHead.Get(Index) = After;
    FNextHead.Get(P) = Index;
}

int TMatcher::ReadTags(const std::string& Path)
{
    if (Path != FTagPath) {
        FTagPath.clear();
        // The count is what the list holds, so entry 0 exists whenever it is above 0.
        const int Count = FAhead ? FAhead->Tags(FCandidateFacts.get(), Path, FTags) : FHooks.ReadMusicTags(Path, FTags);
        FTagCount = Count > 0 ? int(FTags.size()) : 0;
        FTagPath = Path;
    }
    return FTagCount;
}

void TMatcher::EnsureBuffers()
{
    if (FBufA) return;
    FBufA.reset(new unsigned char[BlockBytes]);
    FBufB.reset(new unsigned char[BlockBytes]);
}

// The first group (in opening order) of this size whose first file has the
// candidate's bytes, or -1. Groups are indexed by size and by the checksum of
// their first block, and the whole file's checksum sorts out the rest before
// any byte comparison; a file alone in its size is never read, and every
// file is opened as few times as the comparisons need.
void TMatcher::KeepCandidateHead(const TFolderText& Folder, const std::string& Name, uint32_t Head)
{
    FCandidateFolder = Folder;
    FCandidateName = Name;
    FCandidateHead = Head;
    FHasCandidateHead = true;
}

int TMatcher::MatchContent(const TFolderText& Folder, const std::string& Name, int64_t Size,
                           const plat::TWin32FindData& Entry, int FolderFd)
{
    FHasCandidateHead = false;
    if (FAhead) return MatchContentAhead(Folder, Name, Size, Entry, FolderFd);
    const std::string Path = Folder + Name;
    const TChain* Found = FBySize.Find(Size);
    if (!Found) return -1;
    const TChain Chain = *Found;

    EnsureBuffers();
    TBuffers Buf{std::move(FBufA), std::move(FBufB)};
    struct TGiveBack {
        TMatcher& M;
        TBuffers& B;
        ~TGiveBack()
        {
            M.FBufA = std::move(B.A);
            M.FBufB = std::move(B.B);
        }
    } GiveBack{*this, Buf};

    TLazyFile Candidate(&FHooks.OpenForRead, Path, IdOf(Entry));
    auto FirstPath = [&](uint32_t I) {
        const auto& G = static_cast<const TSearchStatBye&>(*FGroups[I]);
        return G.Folder() + G.Name();
    };
    auto FirstId = [&](uint32_t I) {
        const auto& G = static_cast<const TSearchStatBye&>(*FGroups[I]);
        return IdOf(G.Files[G.Opener]);
    };
    auto KeepHead = [&](uint32_t Head) { KeepCandidateHead(Folder, Name, Head); };
    bool Stop = false;
    // Compares with group I's first file; marks the group dead when that
    // file cannot be read. True on equal bytes.
    auto SameBytes = [&](uint32_t I) {
        TLazyFile First(&FHooks.OpenForRead, FirstPath(I), FirstId(I));
        uint32_t HeadC = 0, HeadG = 0;
        bool HeadsRead = false;
        // The first blocks' checksums come with the comparison when unknown.
        const bool Want = !FHasCandidateHead || !FAux[I].HasHead;
        const TCompareResult R =
            CompareFds(Candidate, First, PassOf(&FRun), Buf, &HeadC, &HeadG, Want ? &HeadsRead : nullptr);
        if (HeadsRead) {
            KeepHead(HeadC);
            SetHead(Size, I, HeadG);
        }
        switch (R) {
        case TCompareResult::Equal: return true;
        case TCompareResult::Different: return false;
        case TCompareResult::SecondUnreadable: FAux[I].Dead = true; return false;
        case TCompareResult::FirstUnreadable:
        case TCompareResult::Stopped: Stop = true; return false;
        }
        return false;
    };

    // One group of this size, its first block unknown: compare at once.
    if (Chain.First == Chain.Last && Chain.Pending == 1)
        return !FAux[Chain.First].Dead && SameBytes(Chain.First) ? int(Chain.First) : -1;

    uint32_t Head = 0, Crc = 0;
    bool HasCrc = false;
    if (!ChecksumFd(Candidate, HeadBytes, Head, {}, Buf.A.get())) return -1;
    KeepHead(Head);
    if (Chain.Pending > 0) {
        for (uint32_t I = Chain.First; I != NoGroup; I = FAux[I].Next) {
            TContentAux& A = FAux[I];
            if (A.HasHead || A.Dead) continue;
            TLazyFile First(&FHooks.OpenForRead, FirstPath(I), FirstId(I));
            uint32_t H = 0;
            if (!ChecksumFd(First, HeadBytes, H, {}, Buf.B.get())) {
                A.Dead = true;
                continue;
            }
            SetHead(Size, I, H);
        }
    }
    std::vector<uint32_t>& SameHead = FSameHead;
    SameHeadGroups(Size, Head, SameHead);
    const bool UseCrc = SameHead.size() > 1 && uint64_t(Size) > HeadBytes;
    for (uint32_t I : SameHead) {
        TContentAux& A = FAux[I];
        if (UseCrc) {
            if (!HasCrc) {
                if (!ChecksumFd(Candidate, SIZE_MAX, Crc, PassOf(&FRun), Buf.A.get())) return -1;
                HasCrc = true;
            }
            const uint32_t* Known = FCrcs.Find(I);
            uint32_t GroupCrc = Known ? *Known : 0;
            if (!Known) {
                TLazyFile First(&FHooks.OpenForRead, FirstPath(I), FirstId(I));
                if (!ChecksumFd(First, SIZE_MAX, GroupCrc, PassOf(&FRun), Buf.B.get())) {
                    if (FRun.StopRequested()) return -1;
                    A.Dead = true;
                    continue;
                }
                FCrcs.Get(I) = GroupCrc;
            }
            if (GroupCrc != Crc) continue;
        }
        if (SameBytes(I)) return int(I);
        if (Stop) return -1;
    }
    return -1;
}

TPictureComparer* TMatcher::Comparer()
{
    if (FHooks.PictureSimilarity || FOptions.Kind != TScanKind::Similar || !FSimilarityTest) return nullptr;
    if (!FComparer) {
        if (!FHooks.Comparer) FOwnComparer = std::make_unique<TPictureComparer>();
        FComparer = FHooks.Comparer ? FHooks.Comparer : FOwnComparer.get();
    }
    return FComparer;
}

bool TMatcher::SimilarJoin(TSearchSimilar& G, const std::string& Path, const plat::TWin32FindData& Entry,
                           TDateTime Modified, double& Similarity)
{
    const TScanResultSimilar& First = G.Files[0];
    const int64_t Size = int64_t(Entry.Size());
    Similarity = 0.0;
    // A failed also-criterion refuses this group only; the next one is tried.
    if (FOptions.SameSize && Size != First.Size) return false;
    if (FOptions.SameDate && Modified != First.Modified) return false;
    const std::string FirstPath = First.Folder + First.Name;
    if (!FSimilarityTest) {
        // Without the similarity test only identical copies join.
        if (Size != First.Size) return false;
        EnsureBuffers();
        TBuffers Buf{std::move(FBufA), std::move(FBufB)};
        TLazyFile A(&FHooks.OpenForRead, Path, IdOf(Entry));
        TLazyFile B(&FHooks.OpenForRead, FirstPath, IdOf(First));
        const TCompareResult R = CompareFds(A, B, PassOf(&FRun), Buf);
        FBufA = std::move(Buf.A);
        FBufB = std::move(Buf.B);
        if (R != TCompareResult::Equal) return false;
        Similarity = 100.0;
        return true;
    }
    if (FHooks.PictureSimilarity) {
        Similarity = FHooks.PictureSimilarity(FirstPath, Path, FThreshold);
    } else {
        Similarity = Comparer()->Similarity(FirstPath, Path, FThreshold);
    }
    return !(FThreshold > Similarity);
}

namespace {

// Reads the size and times of an entry listed by name alone; false when the
// file has gone (or is no longer a regular file) since it was listed.
bool CompleteEntry(int FolderFd, const std::string& Path, plat::TWin32FindData& Data)
{
    if (Data.Stated) return true;
    if (FolderFd >= 0) return plat::StatNameOnly(FolderFd, Data);
    return plat::StatEntry(Path, Data) && !Data.IsDirectory();
}

} // namespace

namespace {

// Seconds east of UTC at Seconds as the zone's rules give the local time;
// false when it has none or it is a leap second.
bool OffsetAt(time_t Seconds, int32_t& Offset)
{
    tm Local{};
    if (!localtime_r(&Seconds, &Local) || Local.tm_sec > 59) return false;
    // The local calendar fields as seconds since 1970 (proleptic Gregorian).
    const int64_t Y = int64_t(Local.tm_year) + 1900 - (Local.tm_mon < 2);
    const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400, Yoe = Y - Era * 400;
    const int64_t Doy = (153 * (Local.tm_mon + (Local.tm_mon > 1 ? -2 : 10)) + 2) / 5 + Local.tm_mday - 1;
    const int64_t Days = Era * 146097 + Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy - 719468;
    Offset = int32_t(Days * 86400 + Local.tm_hour * 3600 + Local.tm_min * 60 + Local.tm_sec - Seconds);
    return true;
}

int64_t FloorDiv(int64_t A, int64_t B) { return A / B - (A % B < 0); }

} // namespace

TDateTime TLocalDates::operator()(uint64_t FileTime)
{
    const timespec T = plat::FileTimeToTimespec(FileTime);
    const int64_t Day = FloorDiv(T.tv_sec, 86400);
    TDay& D = FDays[uint64_t(Day) % std::size(FDays)];
    if (D.Day != Day) {
        int32_t Last = 0;
        D.Day = Day;
        D.Uniform = OffsetAt(time_t(Day * 86400), D.Offset) && OffsetAt(time_t(Day * 86400 + 86399), Last) &&
                    Last == D.Offset;
    }
    if (!D.Uniform) return plat::FileTimeToLocalDateTime(FileTime);
    // plat::EncodeDateTime of the local calendar fields, from the local
    // day and second of the day.
    const int64_t Local = int64_t(T.tv_sec) + D.Offset;
    const int64_t LocalDay = FloorDiv(Local, 86400);
    const double Days = double(LocalDay + 25569);  // counted from 1899-12-30
    const double Time = (double(Local - LocalDay * 86400) * 1000.0 + double(T.tv_nsec / 1000000)) / 86400000.0;
    return Days < 0 ? Days - Time : Days + Time;
}

// The member record of a same-name group for a fully read entry.
TScanResult TMatcher::NameMember(const TFolderText& Folder, const plat::TWin32FindData& Data)
{
    TScanResult M{int64_t(Data.Size()), FDates(Data.ftLastWriteTime), FDates(Data.ftCreationTime), Folder,
                  Data.ftLastWriteTime};
    return Stamped(M, Data);
}

void TMatcher::MatchIntoGroup(bool& Unmatched, const TFolderText& Folder, const std::string& Name,
                              const plat::TWin32FindData& Listed, int FolderFd)
{
    // Folders and the dots take part in no group of any kind.
    if (Listed.IsDirectory() || IsDots(Name)) {
        Unmatched = false;
        return;
    }
    // An entry listed by name alone is read in full where its size or dates
    // count; a same-name scan reads it only once a group of its name exists.
    plat::TWin32FindData Read;
    const plat::TWin32FindData* Entry = &Listed;
    auto Complete = [&] {
        if (Entry->Stated) return true;
        Read = Listed;
        if (!CompleteEntry(FolderFd, Folder + Name, Read)) return false;
        Entry = &Read;
        return true;
    };
    if ((FOptions.Kind != TScanKind::FileName || FilterReadsSize(FOptions.Filter)) && !Complete()) {
        Unmatched = false;
        return;
    }
    const plat::TWin32FindData& FindData = *Entry;
    const int64_t Size = int64_t(FindData.Size());
    if (!PassesFileFilter(FOptions.Filter, Name, Size)) {
        Unmatched = false;
        return;
    }
    if (FGroups.empty()) return;
    if (FRun.StopRequested()) return;
    FRun.ProcessMessages();

    // Local dates are made only for an entry that a group takes.
    auto Modified = [&] { return FDates(FindData.ftLastWriteTime); };
    auto Created = [&] { return FDates(FindData.ftCreationTime); };

    switch (FOptions.Kind) {
    case TScanKind::None: return;

    case TScanKind::FileName: {
        const int Index = FindName(Name);
        if (Index < 0) return;
        auto& G = static_cast<TSearchStat&>(*FGroups[size_t(Index)]);
        Unmatched = false;
        if (!Complete()) return;  // gone since it was listed
        const TScanResult Member = NameMember(Folder, *Entry);
        if (G.Files[0].Unread && !ReadFirstMember(G)) {
            // The file that opened the group has gone: this one takes its place.
            G.Files[0] = Member;
            return;
        }
        if (FOptions.SameSize && Member.Size != G.Files[0].Size) return;
        if (FOptions.SameDate && Member.Modified != G.Files[0].Modified) return;
        G.Files.push_back(Member);
        Joined(G);
        return;
    }

    case TScanKind::FileBye: {
        const int Index = MatchContent(Folder, Name, Size, FindData, FolderFd);
        if (Index < 0) return;
        auto& G = static_cast<TSearchStatBye&>(*FGroups[size_t(Index)]);
        Unmatched = false;
        const TDateTime M = Modified();
        if (FOptions.SameSize && Size != G.Size()) return;
        if (FOptions.SameDate && M != G.Modified()) return;
        Stamped(G.Files.emplace_back(TScanResultBye{Name, Folder, Size, M, Created(), FindData.ftLastWriteTime}),
                FindData);
        Joined(G);
        return;
    }

    case TScanKind::Title: {
        if (ReadTags(Folder + Name) <= 0 || FTags[0].empty()) return;
        const int Index = FindName(FTags[0]);
        if (Index < 0) return;
        auto& G = static_cast<TSearchStatID3&>(*FGroups[size_t(Index)]);
        Unmatched = false;
        const TDateTime M = Modified();
        if (FOptions.SameSize && Size != G.Size) return;
        if (FOptions.SameDate && M != G.Modified) return;
        if (FOptions.SameArtist && (FTags.size() > 1 ? FTags[1] : std::string()) != G.Artist) return;
        G.TotalSize += Size;
        Stamped(G.Files.emplace_back(TScanResultBye{Name, Folder, Size, M, Created(), FindData.ftLastWriteTime}),
                FindData);
        Joined(G);
        return;
    }

    case TScanKind::Similar: {
        const std::string Path = Folder + Name;
        const TDateTime M = Modified();
        // The pictures read ahead for this one are ready before it is compared.
        if (FAhead && !FAhead->PicturesReady(FCandidateFacts.get())) return;
        auto Try = [&](uint32_t I) {
            if (FGroups[I]->Kind() != TGroupKind::SimilarPicture) return false;
            auto& G = static_cast<TSearchSimilar&>(*FGroups[I]);
            double Similarity = 0;
            if (!SimilarJoin(G, Path, FindData, M, Similarity)) return false;
            Stamped(G.Files.emplace_back(
                        TScanResultSimilar{Name, Folder, Similarity, Size, M, Created(), FindData.ftLastWriteTime}),
                    FindData);
            Joined(G);
            Unmatched = false;
            return true;
        };
        bool First = true;
        auto Before = [&] {
            // Each picture comparison is costly: the stop is seen before each group.
            if (!First) {
                if (FRun.StopRequested()) return false;
                FRun.ProcessMessages();
            }
            First = false;
            return true;
        };
        if (FOptions.SameSize) {
            const TChain* Chain = FBySize.Find(Size);
            if (!Chain) return;
            for (uint32_t I = Chain->First; I != NoGroup; I = FAux[I].Next) {
                if (!Before()) return;
                if (Try(I)) return;
            }
        } else {
            for (uint32_t I = 0; I < FGroups.size(); ++I) {
                if (!Before()) return;
                if (Try(I)) return;
            }
        }
        return;
    }
    }
}

void TMatcher::NewGroup(const TFolderText& Folder, const std::string& Name, const plat::TWin32FindData& Listed,
                        int FolderFd)
{
    if (Listed.IsDirectory() || IsDots(Name)) return;
    if (FOptions.Kind == TScanKind::FileName && !Listed.Stated && !FilterReadsSize(FOptions.Filter)) {
        // Alone in its group, the file needs no size or dates yet.
        auto G = std::make_unique<TSearchStat>();
        G->Name = Name;
        G->Count = 1;
        TScanResult& First = G->Files.emplace_back();
        First.Folder = Folder;
        First.Unread = true;
        const uint32_t Index = uint32_t(FGroups.size());
        FGroups.push_back(std::move(G));
        AddName(Index);
        return;
    }
    plat::TWin32FindData Read;
    if (!Listed.Stated) {
        // The filter the walk applied saw no size: it is applied again.
        Read = Listed;
        if (!CompleteEntry(FolderFd, Folder + Name, Read)) return;
        if (!PassesFileFilter(FOptions.Filter, Name, int64_t(Read.Size()))) return;
    }
    const plat::TWin32FindData& FindData = Listed.Stated ? Listed : Read;
    const int64_t Size = int64_t(FindData.Size());
    const TDateTime Modified = FDates(FindData.ftLastWriteTime);
    const TDateTime Created = FDates(FindData.ftCreationTime);
    const uint32_t Index = uint32_t(FGroups.size());

    switch (FOptions.Kind) {
    case TScanKind::None: return;
    case TScanKind::FileName: {
        auto G = std::make_unique<TSearchStat>();
        G->Name = Name;
        G->Count = 1;
        Stamped(G->Files.emplace_back(TScanResult{Size, Modified, Created, Folder, FindData.ftLastWriteTime}), FindData);
        FGroups.push_back(std::move(G));
        AddName(Index);
        return;
    }
    case TScanKind::FileBye: {
        auto G = std::make_unique<TSearchStatBye>();
        G->Count = 1;
        Stamped(G->Files.emplace_back(TScanResultBye{Name, Folder, Size, Modified, Created, FindData.ftLastWriteTime}),
                FindData);
        FGroups.push_back(std::move(G));
        AddToSizeChain(Size, Index);
        if (FHasCandidateHead && FCandidateName == Name && FCandidateFolder == Folder)
            SetHead(Size, Index, FCandidateHead);
        return;
    }
    case TScanKind::Title: {
        if (FOptions.Mode != 3) return;
        // A song without a readable, non-empty title is never listed.
        if (ReadTags(Folder + Name) <= 0 || FTags[0].empty()) return;
        auto G = std::make_unique<TSearchStatID3>();
        G->Title = FTags[0];
        G->Artist = FTags.size() > 1 ? FTags[1] : std::string();
        G->Name = Name;
        G->Folder = Folder;
        G->Size = Size;
        G->Modified = Modified;
        G->TotalSize = Size;
        G->Count = 1;
        Stamped(G->Files.emplace_back(TScanResultBye{G->Name, Folder, Size, Modified, Created, FindData.ftLastWriteTime}),
                FindData);
        FGroups.push_back(std::move(G));
        AddName(Index);
        return;
    }
    case TScanKind::Similar: {
        if (FOptions.Mode != 4) return;
        auto G = std::make_unique<TSearchSimilar>();
        G->Name = Name;
        G->Folder = Folder;
        G->Size = double(Size);
        G->Modified = Modified;
        G->TotalSize = Size;
        G->Count = 1;
        Stamped(G->Files.emplace_back(
                    TScanResultSimilar{G->Name, Folder, 100.0, Size, Modified, Created, FindData.ftLastWriteTime}),
                FindData);
        FGroups.push_back(std::move(G));
        AddToSizeChain(Size, Index);
        return;
    }
    }
}

} // namespace finder
