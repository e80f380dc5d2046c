#include "finder/core/MatchAhead.h"

#include "finder/pictures/PictureSimilarity.h"
#include "tags/RealMediaFile.h"

#include <algorithm>

namespace finder {

namespace {

constexpr auto Slice = std::chrono::milliseconds(5);

// The matching thread's run while it consumes: a job that thread runs
// itself processes its messages between blocks and sees its stop at once.
thread_local TRunControl* tMatchingRun = nullptr;

bytes::TPass PassOf(const std::atomic<bool>& Stop)
{
    return [&Stop] {
        if (TRunControl* Run = tMatchingRun) {
            if (Run->StopRequested()) return false;
            Run->ProcessMessages();
            return true;
        }
        return !Stop.load(std::memory_order_relaxed);
    };
}

// One pair of read buffers per thread, smaller than the plain road's: the
// threads' buffers add up, and few files are larger.
bytes::TBuffers& ThreadBuffers()
{
    constexpr size_t Bytes = 16 * 1024;
    thread_local bytes::TBuffers Buffers{std::unique_ptr<unsigned char[]>(new unsigned char[Bytes]),
                                         std::unique_ptr<unsigned char[]>(new unsigned char[Bytes]), Bytes};
    return Buffers;
}

// The checksum of a file's first Limit bytes with this thread's buffer.
bool Checksum(bytes::TLazyFile& File, size_t Limit, uint32_t& Crc, const bytes::TPass& Pass)
{
    bytes::TBuffers& B = ThreadBuffers();
    return bytes::ChecksumFd(File, Limit, Crc, Pass, B.A.get(), B.Bytes);
}

bytes::TFileId IdOf(const plat::TWin32FindData& D)
{
    return {plat::PackDevice(D.Device), D.Inode, D.Size(), D.ftLastWriteTime};
}

bool SameFile(const bytes::TFileId& A, const bytes::TFileId& B) { return A.Device == B.Device && A.Inode == B.Inode; }

// The file as the facts know it, opened relative to its folder while the
// walk's listing holds that open, by full path otherwise (and always through
// a test's opener).
bytes::TLazyFile FileOf(const TFileFacts& F, const bytes::TOpener& Open)
{
    if (F.Name && F.FolderFd >= 0 && !Open) return bytes::TLazyFile(nullptr, *F.Name, F.Id, F.FolderFd, 0);
    return bytes::TLazyFile(&Open, F.FullPath(), F.Id);
}

bool Stopped(const std::atomic<bool>& Stop)
{
    return tMatchingRun ? tMatchingRun->StopRequested() : Stop.load(std::memory_order_relaxed);
}

} // namespace

enum TMatchAhead::TOp : uint8_t { opHead, opCrc, opCompare, opTags, opPicture };

// Several reads as one job: fewer locks and wake-ups than a job a file. Each
// task fills in its own facts; the job holds them only until it has run.
class TTaskJob : public TWorkJob {
public:
    struct TTask {
        TMatchAhead::TOp Op;
        TFileFactsRef F;
    };
    TTaskJob(TMatchAhead& Ahead, const bytes::TOpener& Open, const std::atomic<bool>& Stop,
             const std::function<int(const std::string&, std::vector<std::string>&)>& Read, TPictureComparer* Comparer)
        : FAhead(Ahead), FOpen(Open), FStop(Stop), FRead(Read), FComparer(Comparer) {}
    std::vector<TTask> Tasks;

protected:
    void Run() override
    {
        for (TTask& T : Tasks) RunTask(T.Op, *T.F);
        Drop();
    }
    void Drop() override { Tasks.clear(); }

private:
    TMatchAhead& FAhead;
    const bytes::TOpener& FOpen;
    const std::atomic<bool>& FStop;
    const std::function<int(const std::string&, std::vector<std::string>&)>& FRead;
    TPictureComparer* FComparer;

    void RunTask(TMatchAhead::TOp Op, TFileFacts& F)
    {
        switch (Op) {
        case TMatchAhead::opHead: {
            if (Stopped(FStop)) {
                F.HeadResult = TFileFacts::rStopped;
                break;
            }
            bytes::TLazyFile File = FileOf(F, FOpen);
            F.HeadResult = Checksum(File, bytes::HeadBytes, F.Head, {})
                               ? TFileFacts::rOk
                               : TFileFacts::rUnreadable;
            break;
        }
        case TMatchAhead::opCrc: {
            bytes::TLazyFile File = FileOf(F, FOpen);
            if (Checksum(File, SIZE_MAX, F.Crc, PassOf(FStop)))
                F.CrcResult = TFileFacts::rOk;
            else
                F.CrcResult = Stopped(FStop) ? TFileFacts::rStopped : TFileFacts::rUnreadable;
            break;
        }
        case TMatchAhead::opCompare: {
            bytes::TLazyFile A = FileOf(F, FOpen), B = FileOf(*F.Other, FOpen);
            F.Compared = bytes::CompareFds(A, B, PassOf(FStop), ThreadBuffers());
            break;
        }
        case TMatchAhead::opTags: {
            TFileFacts::TMedia& M = *F.Media;
            const tags::TRMWarningsKept Kept(M.TagWarnings);
            try {
                M.TagCount = FRead(F.FullPath(), M.Tags);
            } catch (...) {
                M.TagError = std::current_exception();
            }
            M.TagsRead = true;
            break;
        }
        case TMatchAhead::opPicture:
            // A picture that raises an error is left to the matching, which
            // meets the same error where the plain road does.
            if (FAhead.FPictureAhead) FAhead.FPictureAhead();
            if (Stopped(FStop)) break;
            try {
                if (F.Media->Sizes.empty()) {
                    std::vector<std::pair<int, int>> Sizes;
                    {
                        std::lock_guard<std::mutex> Lock(FAhead.FSizesMutex);
                        Sizes = FAhead.FGroupSizes;
                    }
                    FComparer->Prepare(F.FullPath(), Sizes);
                } else {
                    FComparer->Prepare(F.FullPath(), F.Media->Sizes, false);
                }
            } catch (...) {
            }
            break;
        }
    }
};

TMatchAhead::TMatchAhead(TMatcher& Matcher, TWorkPool& Pool, const TMatchOptions& Options, TRunControl& Run)
    : FMatcher(Matcher), FPool(Pool), FRun(Run), FOptions(Options), FOpen(Matcher.FHooks.OpenForRead),
      FComparer(Matcher.Comparer()), FPictureAhead(Matcher.FHooks.PictureAhead)
{
}

TMatchAhead::~TMatchAhead() = default;

bool TMatchAhead::Passes(const TAheadEntry& E) const { return E.Passes; }

TFileFactsRef TMatchAhead::NewFacts(TAsking& A)
{
    if (!A.Block || A.Used == std::size(A.Block->Facts)) {
        A.Block = std::make_shared<TAsking::TBlock>();
        A.Used = 0;
    }
    // One allocation for many files, let go of when the last of them goes.
    return TFileFactsRef(A.Block, &A.Block->Facts[A.Used++]);
}

TFileFactsRef& TMatchAhead::EntryFacts(TAheadEntry& E, TAsking& A)
{
    if (!E.Facts) {
        E.Facts = NewFacts(A);
        TFileFacts& F = *E.Facts;
        F.Folder = E.Folder;
        F.Name = &E.Data->cFileName;
        F.FolderFd = E.FolderFd;
        F.Holder = E.Holder;
        F.Id = IdOf(*E.Data);
        F.Seq = E.Seq;
    }
    return E.Facts;
}

TFileFactsRef TMatchAhead::Facts(const std::string& Path, const bytes::TFileId& Id, uint64_t Seq)
{
    TFileFactsRef F = NewFacts(FMatching);
    F->Path = Path;
    F->Id = Id;
    F->Seq = Seq;
    return F;
}

TFileFactsRef TMatchAhead::Facts(const TFolderText& Folder, const std::string& Name, int FolderFd,
                                 std::shared_ptr<const void> Holder, const bytes::TFileId& Id, uint64_t Seq)
{
    TFileFactsRef F = NewFacts(FMatching);
    F->Folder = Folder;
    F->Path = Name;  // the name, kept by the facts themselves
    F->Name = &F->Path;
    F->FolderFd = FolderFd;
    F->Holder = std::move(Holder);
    F->Id = Id;
    F->Seq = Seq;
    return F;
}

void TMatchAhead::Ask(TAsking& A, TOp Op, const TFileFactsRef& F, uint64_t Order, size_t PerJob)
{
    if (!A.Open) {
        A.Open = std::make_shared<TTaskJob>(*this, FOpen, FStop, FMatcher.FHooks.ReadMusicTags, FComparer);
        A.Open->Order = Order;
    }
    A.Open->Tasks.push_back({Op, F});
    if (Op == opPicture) {
        F->Made().PictureJobs.push_back(A.Open);
    } else {
        TWorkJobRef& Slot = Op == opHead    ? F->HeadJob
                            : Op == opCrc   ? F->CrcJob
                            : Op == opCompare ? F->CompareJob
                                              : F->Made().TagsJob;
        Slot = A.Open;
    }
    if (A.Open->Tasks.size() >= PerJob) {
        A.Ready.push_back(std::move(A.Open));
        A.Open.reset();
    }
}

void TMatchAhead::Submit(TAsking& A)
{
    if (A.Open) {
        A.Ready.push_back(std::move(A.Open));
        A.Open.reset();
    }
    FPool.SubmitFacts(A.Ready);
}

// ---------------------------------------------------------------------------
// The handing side

int TMatchAhead::TSizeCensus::Meet(uint64_t Size)
{
    constexpr uint32_t Again = 1u << 31;
    if (Size >= (1u << 30) - 1) {
        int& Met = FLarge[Size];
        return Met < 2 ? Met++ : 2;
    }
    auto Home = [](uint32_t Key, size_t Mask) { return size_t((Key * 0x9E3779B97F4A7C15ull) >> 24) & Mask; };
    // Filled to four fifths at most.
    if ((FCount + 1) * 5 > FSlots.size() * 4) {
        std::vector<uint32_t> Old(FSlots.empty() ? 64 : FSlots.size() * 2, 0);
        Old.swap(FSlots);
        const size_t Mask = FSlots.size() - 1;
        for (uint32_t S : Old) {
            if (!S) continue;
            size_t I = Home(S & ~Again, Mask);
            while (FSlots[I]) I = (I + 1) & Mask;
            FSlots[I] = S;
        }
    }
    const uint32_t Key = uint32_t(Size + 1);
    const size_t Mask = FSlots.size() - 1;
    for (size_t I = Home(Key, Mask);; I = (I + 1) & Mask) {
        uint32_t& S = FSlots[I];
        if (!S) {
            S = Key;
            ++FCount;
            return 0;
        }
        if ((S & ~Again) == Key) {
            const int Met = S & Again ? 2 : 1;
            S |= Again;
            return Met;
        }
    }
}

bool TMatchAhead::Push(TAheadEntry Entry)
{
    Entry.Seq = ++FSeq;
    Entry.Passes = Entry.Data && Entry.Data->Stated &&
                   PassesFileFilter(FOptions.Filter, Entry.Data->cFileName, int64_t(Entry.Data->Size()));
    if (Entry.Passes) {
        if (Content()) {
            // A file is read only once another of its size has been met; the
            // first of a size is read when the second comes.
            const int Met = FSizes.Meet(Entry.Data->Size());
            if (Met > 0) {
                Entry.FirstShare = Met == 1;
                Ask(FHanding, opHead, EntryFacts(Entry, FHanding), Entry.Seq, 32);
            }
        } else if (FOptions.Kind == TScanKind::Title && FOptions.Mode == 3) {
            Ask(FHanding, opTags, EntryFacts(Entry, FHanding), Entry.Seq, 4);
        }
    }
    FBatch.push_back(std::move(Entry));
    return FBatch.size() < 256 ? !Stopping() : Flush();
}

bool TMatchAhead::Flush()
{
    Submit(FHanding);
    if (FBatch.empty()) return !Stopping();
    std::unique_lock<std::mutex> Lock(FMutex);
    if (FQueue.size() >= Capacity) {
        // The walk waits until the matching has taken half: one wake-up for
        // many entries.
        FHandingWaits = true;
        if (FMatcher.FHooks.WalkWaits) FMatcher.FHooks.WalkWaits();
        FRoom.wait(Lock, [&] { return FQueue.size() <= Capacity / 2 || Stopping(); });
        FHandingWaits = false;
    }
    if (Stopping()) {
        FBatch.clear();
        return false;
    }
    for (TAheadEntry& E : FBatch) FQueue.push_back(std::move(E));
    FBatch.clear();
    const bool Wake = FConsumerWaits;
    Lock.unlock();
    if (Wake) FArrived.notify_one();
    return true;
}

void TMatchAhead::Finish(std::exception_ptr Error)
{
    Flush();
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

// ---------------------------------------------------------------------------
// The matching side

void TMatchAhead::Consume(const std::function<void(const TAheadEntry&)>& OnFile,
                          const std::function<void(const std::string&)>& OnMessage)
{
    struct TOnThisThread {
        TMatchAhead& A;
        explicit TOnThisThread(TMatchAhead& Ahead) : A(Ahead)
        {
            tMatchingRun = &A.FRun;
            A.FMatcher.FAhead = &A;
        }
        ~TOnThisThread()
        {
            tMatchingRun = nullptr;
            A.FMatcher.FAhead = nullptr;
            A.FMatcher.FCandidateFacts.reset();
            A.FMatcher.FGroupFacts.clear();
            A.Stop();
        }
    } OnThisThread(*this);

    for (;;) {
        if (FRun.StopRequested()) break;
        bool Finished = false, Wake = false;
        size_t Old = FHorizon.size();
        {
            std::unique_lock<std::mutex> Lock(FMutex);
            if (FQueue.empty() && !FFinished && FHorizon.empty()) {
                // Nothing to match yet: the window stays live meanwhile.
                FConsumerWaits = true;
                FArrived.wait_for(Lock, Slice, [&] { return !FQueue.empty() || FFinished; });
                FConsumerWaits = false;
            }
            // The view ahead stays bounded; the rest waits in the queue.
            while (!FQueue.empty() && FHorizon.size() < Capacity) {
                FHorizon.push_back(std::move(FQueue.front()));
                FQueue.pop_front();
            }
            Finished = FFinished && FQueue.empty();
            Wake = FHandingWaits && FQueue.size() <= Capacity / 2;
        }
        if (Wake) FRoom.notify_one();
        for (; Old < FHorizon.size(); ++Old) Arrived(FHorizon[Old]);
        Submit(FMatching);
        if (FHorizon.empty()) {
            if (Finished) break;
            FRun.ProcessMessages();
            continue;
        }
        // A stretch of entries between two looks at the queue. What the looks
        // ahead ask for goes to the pool every few entries, and before the
        // matching waits for anything.
        for (int N = 0; N < 64 && !FHorizon.empty(); ++N) {
            Look();
            if (N % 8 == 0) Submit(FMatching);
            if (FRun.StopRequested()) break;
            FRun.ProcessMessages();
            TAheadEntry& E = FHorizon.front();
            if (E.Data) {
                FMatcher.FCandidateFacts = E.Facts;
                OnFile(E);
                FMatcher.FCandidateFacts.reset();
                if (FComparer) NoteGroupSizes();
                if (E.Facts) Settled(*E.Facts);
            } else {
                OnMessage(E.Message);
            }
            Forget(E);
            FHorizon.pop_front();
            if (FLookAt > 0) --FLookAt;
            if (FPicturesAsked > 0) --FPicturesAsked;
        }
    }
    std::exception_ptr Error;
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        Error = FError;
    }
    if (Error && !FRun.StopRequested()) std::rethrow_exception(Error);
}

void TMatchAhead::Arrived(TAheadEntry& E)
{
    if (!Content() || !Passes(E)) return;
    const int64_t Size = int64_t(E.Data->Size());
    const bool Grouped = FMatcher.FBySize.Find(Size) != nullptr;
    if (E.Facts) {
        // Its size is shared: the first blocks of the groups of that size,
        // or of the file ahead that will open the first, will be needed.
        if (Grouped) {
            FMatcher.AskHeads(Size, E.Seq);
        } else {
            TAheadEntry** First = FFirstOfSize.Find(Size);
            if (First && *First != &E) AskHead(EntryFacts(**First, FMatching), E.Seq);
        }
    }
    if (!Grouped) {
        bool Fresh = false;
        TAheadEntry*& First = FFirstOfSize.Get(Size, &Fresh);
        if (Fresh) First = &E;
    }
}

void TMatchAhead::Look()
{
    if (FComparer) {
        // Every picture is decoded once, by the pool, one to a job, only a
        // few ahead: by then the sizes of the groups it will meet are known
        // and its scaled copies come from the same decode.
        const size_t Ahead = std::min(FHorizon.size(), size_t(FPool.Threads()) * 2 + 2);
        for (; FPicturesAsked < Ahead; ++FPicturesAsked) {
            TAheadEntry& E = FHorizon[FPicturesAsked];
            if (Passes(E) && FOptions.Mode == 4) Ask(FMatching, opPicture, EntryFacts(E, FMatching), E.Seq, 1);
        }
    }
    for (int N = 0; N < 256 && FLookAt < FHorizon.size(); ++N) {
        TAheadEntry& E = FHorizon[FLookAt];
        if (!Speculate(E)) return;  // again once what it needs has come
        ++FLookAt;
    }
}

// The comparison the matching will most likely make for this entry, asked
// for now: with the first group of its size and first block, or with the
// file ahead that will open that group. Only ever a guess: the matching
// still decides by what it finds.
bool TMatchAhead::Speculate(TAheadEntry& E)
{
    if (FComparer) {
        if (!E.Facts) return !Passes(E);  // its picture not asked for yet
        if (E.Facts->Media)
            for (const TWorkJobRef& J : E.Facts->Media->PictureJobs)
                if (!J->Done()) return false;
        SpeculatePictures(E);
        return true;
    }
    if (!Content() || !E.Facts || !Passes(E)) return true;
    TFileFacts& F = *E.Facts;
    if (F.HeadJob && !F.HeadJob->Done()) return false;
    if (F.HeadResult != TFileFacts::rOk || F.Looked) return true;
    const int64_t Size = int64_t(E.Data->Size());
    TFileFactsRef Target;
    if (const auto* Chain = FMatcher.FBySize.Find(Size)) {
        // The groups' first blocks read meanwhile count; one still being
        // read holds the guess back (none is waited for here).
        for (uint32_t I = Chain->Asked ? Chain->First : TMatcher::NoGroup; I != TMatcher::NoGroup; I = FMatcher.FAux[I].Next) {
            const TMatcher::TContentAux& A = FMatcher.FAux[I];
            if (A.HasHead || A.Dead || !A.Asked) continue;
            auto G = FMatcher.FGroupFacts.find(I);
            if (G == FMatcher.FGroupFacts.end() || !G->second->HeadJob) continue;
            if (!G->second->HeadJob->Done()) return false;
            bool Stopped = false;
            FMatcher.ResolveHead(Size, I, Stopped);
        }
        if (Chain->Pending > Chain->Asked) FMatcher.AskHeads(Size, E.Seq);
    }
    F.Looked = true;
    if (FMatcher.FBySize.Find(Size)) {
        std::vector<uint32_t>& Same = FMatcher.FSameHead;
        FMatcher.SameHeadGroups(Size, F.Head, Same);
        if (Same.size() > 1 && uint64_t(Size) > bytes::HeadBytes) {
            // Several contents share that first block: whole checksums sort
            // them out before any comparison.
            if (!F.CrcJob) Ask(FMatching, opCrc, E.Facts, E.Seq, 4);
            for (uint32_t I : Same) {
                if (FMatcher.FCrcs.Find(I)) continue;
                TFileFactsRef G = FMatcher.GroupFacts(I);
                if (!G->CrcJob) Ask(FMatching, opCrc, G, E.Seq, 4);
            }
            return true;
        }
        if (Same.size() == 1) {
            Target = FMatcher.FirstFacts(Same[0], E.Seq);
        }
    }
    if (!Target) {
        // No group of that first block yet: the first file ahead with it
        // opens one (a name with a dot opens; one without only joins).
        const TSizeHeadKey Key{Size, F.Head};
        if (TAheadEntry** Opener = FOpener.Find(Key)) {
            // Facts of their own: an entry's facts are read only by its jobs.
            const TAheadEntry& O = **Opener;
            Target = Facts(O.Folder, O.Data->cFileName, O.FolderFd, O.Holder, IdOf(*O.Data), E.Seq);
        }
        else if (E.Data->cFileName.find('.') != std::string::npos)
            FOpener.Get(Key) = &E;
    }
    if (!Target) return true;
    F.Other = Target;
    Ask(FMatching, opCompare, E.Facts, E.Seq, 8);
    return true;
}

// A matched file's facts let go of its folder's listing and of the other
// file once no job of theirs can still read them.
void TMatchAhead::Settled(TFileFacts& F)
{
    // A job still to run reads the name from the folder's listing, which
    // the facts keep alive until it has.
    for (const TWorkJobRef* J : {&F.HeadJob, &F.CrcJob, &F.CompareJob, F.Media ? &F.Media->TagsJob : nullptr})
        if (J && *J && !(*J)->Done()) return;
    if (F.Media)
        for (const TWorkJobRef& J : F.Media->PictureJobs)
            if (!J->Done()) return;
    F.Holder.reset();
    F.Other.reset();
    F.FolderFd = -1;
}

// A picture compared with a group's first picture of another size with the
// same proportions is compared with the wider one scaled down: those scaled
// copies are asked for now, the wider side's picture decoded by the pool.
void TMatchAhead::SpeculatePictures(TAheadEntry& E)
{
    TFileFacts& F = *E.Facts;
    if (F.Looked) return;
    F.Looked = true;
    const std::string Path = F.FullPath();
    int Width = 0, Height = 0;
    if (!FComparer->KnownSize(Path, Width, Height)) return;
    const int64_t Size = int64_t(E.Data->Size());
    const TDateTime Modified = FOptions.SameDate ? plat::FileTimeToLocalDateTime(E.Data->ftLastWriteTime) : 0;
    std::vector<std::pair<int, int>> Own;  // this picture at the sizes of narrower groups
    for (const auto& Group : FMatcher.FGroups) {
        if (Group->Kind() != TGroupKind::SimilarPicture) continue;
        const auto& G = static_cast<const TSearchSimilar&>(*Group);
        const TScanResultSimilar& First = G.Files[0];
        if (FOptions.SameSize && Size != First.Size) continue;
        if (FOptions.SameDate && Modified != First.Modified) continue;
        const std::string FirstPath = First.Folder + First.Name;
        int GroupWidth = 0, GroupHeight = 0;
        if (!FComparer->KnownSize(FirstPath, GroupWidth, GroupHeight)) continue;
        if ((GroupWidth == Width && GroupHeight == Height) || !ProportionsAgree(GroupWidth, GroupHeight, Width, Height))
            continue;
        if (GroupWidth > Width) {
            // The group's picture at this one's size, once for every picture of that size.
            if (!FScaledAsked.insert(FirstPath + '\0' + std::to_string(Width) + 'x' + std::to_string(Height)).second)
                continue;
            TFileFactsRef Scaled = Facts(FirstPath, {}, E.Seq);
            Scaled->Made().Sizes = {{Width, Height}};
            Ask(FMatching, opPicture, Scaled, E.Seq, 1);
            F.Made().PictureJobs.push_back(Scaled->Media->PictureJobs.back());
        } else {
            Own.emplace_back(GroupWidth, GroupHeight);
        }
    }
    if (Own.empty()) return;
    std::sort(Own.begin(), Own.end());
    Own.erase(std::unique(Own.begin(), Own.end()), Own.end());
    TFileFactsRef Scaled = Facts(Path, {}, E.Seq);
    Scaled->Made().Sizes = std::move(Own);
    Ask(FMatching, opPicture, Scaled, E.Seq, 1);
    F.Made().PictureJobs.push_back(Scaled->Media->PictureJobs.back());
}

void TMatchAhead::NoteGroupSizes()
{
    for (; FGroupsSeen < FMatcher.FGroups.size(); ++FGroupsSeen) {
        const TGroupRecord& Group = *FMatcher.FGroups[FGroupsSeen];
        if (Group.Kind() != TGroupKind::SimilarPicture) continue;
        const TScanResultSimilar& First = static_cast<const TSearchSimilar&>(Group).Files[0];
        int Width = 0, Height = 0;
        if (!FComparer->KnownSize(First.Folder + First.Name, Width, Height)) continue;
        std::lock_guard<std::mutex> Lock(FSizesMutex);
        if (std::find(FGroupSizes.begin(), FGroupSizes.end(), std::make_pair(Width, Height)) == FGroupSizes.end())
            FGroupSizes.emplace_back(Width, Height);
    }
}

bool TMatchAhead::PicturesReady(TFileFacts* F)
{
    if (!F) return true;
    Submit(FMatching);
    if (F->Media)
        for (const TWorkJobRef& J : F->Media->PictureJobs)
            if (!Await(*J)) return false;
    return true;
}

void TMatchAhead::Forget(const TAheadEntry& E)
{
    if (!E.Data || !Content()) return;
    const int64_t Size = int64_t(E.Data->Size());
    TAheadEntry** First = FFirstOfSize.Find(Size);
    if (First && *First == &E) FFirstOfSize.Erase(Size);
    // Only a read first block can have made it the opener of one.
    if (E.Facts && E.Facts->HeadJob && E.Facts->HeadJob->Done() && E.Facts->HeadResult == TFileFacts::rOk) {
        const TSizeHeadKey Key{Size, E.Facts->Head};
        TAheadEntry** Opener = FOpener.Find(Key);
        if (Opener && *Opener == &E) FOpener.Erase(Key);
    }
}

void TMatchAhead::AskHead(const TFileFactsRef& F, uint64_t Seq)
{
    if (!F->HeadJob) Ask(FMatching, opHead, F, Seq, 8);
}

bool TMatchAhead::Await(TWorkJob& Job)
{
    if (Job.Done()) return true;
    Submit(FMatching);
    for (;;) {
        if (FPool.RunOrWait(Job, Slice)) return true;
        if (FRun.StopRequested()) return false;
        FRun.ProcessMessages();
    }
}

bool TMatchAhead::Head(TFileFacts& F, uint32_t& Head, bool& Stopped)
{
    if (!F.HeadJob) {
        // Not asked for ahead: read here.
        bytes::TLazyFile File = FileOf(F, FOpen);
        const bool Ok = Checksum(File, bytes::HeadBytes, Head, {});
        F.HeadResult = Ok ? TFileFacts::rOk : TFileFacts::rUnreadable;
        F.Head = Head;
        return Ok;
    }
    if (!Await(*F.HeadJob)) {
        Stopped = true;
        return false;
    }
    if (F.HeadResult == TFileFacts::rStopped || F.HeadResult == TFileFacts::rNone) {
        Stopped = true;
        return false;
    }
    Head = F.Head;
    return F.HeadResult == TFileFacts::rOk;
}

bool TMatchAhead::Crc(TFileFacts& F, uint32_t& Crc, bool& Stopped)
{
    if (!F.CrcJob) {
        bytes::TLazyFile File = FileOf(F, FOpen);
        if (Checksum(File, SIZE_MAX, Crc, PassOf(FStop))) return true;
        Stopped = FRun.StopRequested();
        return false;
    }
    if (!Await(*F.CrcJob) || F.CrcResult == TFileFacts::rStopped || F.CrcResult == TFileFacts::rNone) {
        Stopped = true;
        return false;
    }
    Crc = F.Crc;
    return F.CrcResult == TFileFacts::rOk;
}

TCompareResult TMatchAhead::Compare(TFileFacts& A, const TFileFactsRef& B)
{
    if (A.CompareJob && A.Other && SameFile(A.Other->Id, B->Id)) {
        // A job dropped unrun (only at a stop) leaves Stopped.
        if (!Await(*A.CompareJob)) return TCompareResult::Stopped;
        return A.Compared;
    }
    bytes::TLazyFile FA = FileOf(A, FOpen), FB = FileOf(*B, FOpen);
    return bytes::CompareFds(FA, FB, PassOf(FStop), ThreadBuffers());
}

int TMatchAhead::Tags(TFileFacts* F, const std::string& Path, std::vector<std::string>& List)
{
    TFileFacts::TMedia* M = F ? F->Media.get() : nullptr;
    if (M && M->TagsJob && F->FullPath() == Path && Await(*M->TagsJob) && M->TagsRead) {
        // The reader's warnings appear now, as if it had read the file here.
        for (const auto& [Text, Caption] : M->TagWarnings) tags::ShowRMWarning(Text, Caption);
        M->TagWarnings.clear();
        if (M->TagError) std::rethrow_exception(M->TagError);
        List = M->Tags;
        return M->TagCount;
    }
    return FMatcher.FHooks.ReadMusicTags(Path, List);
}


// ---------------------------------------------------------------------------
// The matcher's same-content decision on this road: the plain road's, from
// what was read ahead.

TFileFactsRef TMatcher::FirstFacts(uint32_t Index, uint64_t Seq)
{
    const auto& G = static_cast<const TSearchStatBye&>(*FGroups[Index]);
    const TScanResultBye& M = G.Files[G.Opener];
    return FAhead->Facts(M.Folder, M.Name, M.Folder.Handle(), nullptr, {M.Device, M.Inode, uint64_t(M.Size), M.WriteTime},
                         Seq);
}

TFileFactsRef TMatcher::GroupFacts(uint32_t Index)
{
    TFileFactsRef& F = FGroupFacts[Index];
    if (!F) F = FirstFacts(Index, 0);
    return F;
}

void TMatcher::AskHeads(int64_t Size, uint64_t Seq)
{
    TChain* Chain = FBySize.Find(Size);
    if (!Chain || Chain->Asked >= Chain->Pending) return;
    for (uint32_t I = Chain->First; I != NoGroup; I = FAux[I].Next) {
        TContentAux& A = FAux[I];
        if (A.HasHead || A.Dead || A.Asked) continue;
        A.Asked = true;
        ++Chain->Asked;
        FAhead->AskHead(GroupFacts(I), Seq);
    }
}

bool TMatcher::ResolveHead(int64_t Size, uint32_t Index, bool& Stopped)
{
    TFileFactsRef F = GroupFacts(Index);
    uint32_t Head = 0;
    if (!FAhead->Head(*F, Head, Stopped)) {
        if (!Stopped) {
            // Its first file cannot be read: the group takes nobody.
            FAux[Index].Dead = true;
            LeavePending(Size, Index);
            FGroupFacts.erase(Index);
        }
        return false;
    }
    SetHead(Size, Index, Head);
    if (!F->CrcJob) FGroupFacts.erase(Index);
    return true;
}

int TMatcher::MatchContentAhead(const TFolderText& Folder, const std::string& Name, int64_t Size,
                                 const plat::TWin32FindData& Entry, int FolderFd)
{
    bool Stopped = false;
    uint32_t HeadY = 0;
    // Kept for the group this file may open.
    auto KeepHead = [&] { KeepCandidateHead(Folder, Name, HeadY); };
    if (FCandidateFacts && FCandidateFacts->HeadJob) {
        if (!FAhead->Head(*FCandidateFacts, HeadY, Stopped)) return -1;
        KeepHead();
    }
    const TChain* Found = FBySize.Find(Size);
    if (!Found) return -1;
    const TChain Chain = *Found;
    if (!FCandidateFacts)
        FCandidateFacts = FAhead->Facts(Folder, Name, FolderFd, nullptr,
                                        {plat::PackDevice(Entry.Device), Entry.Inode, Entry.Size(), Entry.ftLastWriteTime}, 0);
    TFileFacts& Y = *FCandidateFacts;
    if (!FHasCandidateHead) {
        if (!FAhead->Head(Y, HeadY, Stopped)) return -1;
        KeepHead();
    }
    if (Chain.Pending > 0) {
        for (uint32_t I = Chain.First; I != NoGroup; I = FAux[I].Next) {
            if (FAux[I].HasHead || FAux[I].Dead) continue;
            if (!ResolveHead(Size, I, Stopped) && Stopped) return -1;
        }
    }
    std::vector<uint32_t>& SameHead = FSameHead;
    SameHeadGroups(Size, HeadY, SameHead);
    if (SameHead.empty()) return -1;
    const bool UseCrc = SameHead.size() > 1 && uint64_t(Size) > bytes::HeadBytes;
    uint32_t CrcY = 0;
    bool HasCrcY = false;
    for (uint32_t I : SameHead) {
        TContentAux& A = FAux[I];
        if (UseCrc) {
            if (!HasCrcY) {
                if (!FAhead->Crc(Y, CrcY, Stopped)) return -1;
                HasCrcY = true;
            }
            const uint32_t* Known = FCrcs.Find(I);
            uint32_t GroupCrc = Known ? *Known : 0;
            if (!Known) {
                TFileFactsRef G = GroupFacts(I);
                const bool Ok = FAhead->Crc(*G, GroupCrc, Stopped);
                FGroupFacts.erase(I);
                if (!Ok) {
                    if (Stopped) return -1;
                    A.Dead = true;
                    continue;
                }
                FCrcs.Get(I) = GroupCrc;
            }
            if (GroupCrc != CrcY) continue;
        }
        switch (FAhead->Compare(Y, FirstFacts(I, 0))) {
        case TCompareResult::Equal: return int(I);
        case TCompareResult::Different: break;
        case TCompareResult::SecondUnreadable: A.Dead = true; break;
        case TCompareResult::FirstUnreadable:
        case TCompareResult::Stopped: return -1;
        }
    }
    return -1;
}

} // namespace finder
