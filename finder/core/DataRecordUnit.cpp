#include "finder/core/DataRecordUnit.h"

#include <cstdlib>
#include <mutex>

namespace finder {

// ---- names ------------------------------------------------------------------
//
// Names are appended to blocks of 64 KiB, each aligned to its size so that
// a name finds its block's reference count by its own address. Each thread
// appends to a block of its own; a block goes when its last name has gone.

namespace {

constexpr size_t BlockBytes = 64 * 1024;
constexpr size_t HeaderBytes = 16;

struct TNameBlock {
    std::atomic<uint32_t> Refs;
    uint32_t Used;  // bytes after the header
};

TNameBlock* BlockOf(const char* Text)
{
    return reinterpret_cast<TNameBlock*>(reinterpret_cast<uintptr_t>(Text) & ~uintptr_t(BlockBytes - 1));
}

void ReleaseBlock(TNameBlock* B)
{
    if (B->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        B->~TNameBlock();
        std::free(B);
    }
}

TNameBlock* NewBlock(size_t Bytes)
{
    void* P = std::aligned_alloc(BlockBytes, Bytes);
    if (!P) throw std::bad_alloc();
    return new (P) TNameBlock{{1}, 0};
}

// The block this thread appends to; it holds a reference of its own.
struct TCurrentBlock {
    TNameBlock* Block = nullptr;
    ~TCurrentBlock()
    {
        if (Block) ReleaseBlock(Block);
    }
};
thread_local TCurrentBlock tCurrent;

// The length before the bytes (see TNameText::view).
size_t LengthBytes(size_t Size) { return Size < 255 ? 1 : 1 + sizeof(uint32_t); }

char* Place(TNameBlock* B, std::string_view Text)
{
    char* At = reinterpret_cast<char*>(B) + HeaderBytes + B->Used;
    if (Text.size() < 255) {
        *At++ = char(uint8_t(Text.size()));
    } else {
        const uint32_t Length = uint32_t(Text.size());
        std::memcpy(At, &Length, sizeof Length);
        At[sizeof Length] = char(uint8_t(255));
        At += 1 + sizeof Length;
    }
    std::memcpy(At, Text.data(), Text.size());
    At[Text.size()] = 0;
    B->Used += uint32_t(LengthBytes(Text.size()) + Text.size() + 1);
    return At;
}

} // namespace

TNameText::TNameText(std::string_view Text)
{
    if (Text.empty()) return;
    const size_t Need = LengthBytes(Text.size()) + Text.size() + 1;
    if (HeaderBytes + Need > BlockBytes) {
        // Longer than a block: one of its own, a multiple of the block size.
        TNameBlock* Own = NewBlock((HeaderBytes + Need + BlockBytes - 1) / BlockBytes * BlockBytes);
        FPtr = Place(Own, Text);
        return;
    }
    TNameBlock*& B = tCurrent.Block;
    if (!B || HeaderBytes + B->Used + Need > BlockBytes) {
        if (B) ReleaseBlock(B);
        B = NewBlock(BlockBytes);
    }
    FPtr = Place(B, Text);
    B->Refs.fetch_add(1, std::memory_order_relaxed);
}

void TNameCounter::Hold(const char* Text)
{
    if (Text) BlockOf(Text)->Refs.fetch_add(1, std::memory_order_relaxed);
}

void TNameCounter::Release(const char* Text)
{
    if (Text) ReleaseBlock(BlockOf(Text));
}

// ---- record slabs -----------------------------------------------------------

namespace {

struct TSlabs {
    size_t Size = 0;
    std::vector<void*> Slabs;
    void* Free = nullptr;  // a list through the free items' first word
    size_t Live = 0;
};

std::mutex& SlabMutex()
{
    static std::mutex M;
    return M;
}

// One list per record size; there are only a few.
TSlabs& SlabsFor(size_t Size)
{
    static TSlabs Classes[8];
    for (TSlabs& S : Classes) {
        if (S.Size == Size) return S;
        if (S.Size == 0) {
            S.Size = Size;
            return S;
        }
    }
    throw std::bad_alloc();
}

constexpr size_t SlabBytes = 64 * 1024;

} // namespace

void* RecordAlloc(size_t Size)
{
    std::lock_guard<std::mutex> Lock(SlabMutex());
    TSlabs& S = SlabsFor(Size);
    if (!S.Free) {
        const size_t Item = (Size + 7) / 8 * 8;
        char* Slab = static_cast<char*>(::operator new(SlabBytes));
        S.Slabs.push_back(Slab);
        for (size_t At = 0; At + Item <= SlabBytes; At += Item) {
            void* P = Slab + At;
            *static_cast<void**>(P) = S.Free;
            S.Free = P;
        }
    }
    void* P = S.Free;
    S.Free = *static_cast<void**>(P);
    ++S.Live;
    return P;
}

void RecordFree(void* P, size_t Size)
{
    if (!P) return;
    std::lock_guard<std::mutex> Lock(SlabMutex());
    TSlabs& S = SlabsFor(Size);
    *static_cast<void**>(P) = S.Free;
    S.Free = P;
    if (--S.Live == 0) {
        // The last record of this size: every slab goes back.
        for (void* Slab : S.Slabs) ::operator delete(Slab);
        S.Slabs.clear();
        S.Free = nullptr;
    }
}

} // namespace finder
