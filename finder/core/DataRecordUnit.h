#pragma once
// The group and member records of a file scan. A group describes itself by
// its first member (the file that opened it); members follow in the order
// they joined. Sizes are 64-bit throughout. A scan keeps one record per file
// it meets, so the records are packed: texts are shared, a group's first
// member sits in the group itself.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/FileTime.h"

namespace finder {

// A handle on text shared by the records, counted by its holders through
// Counter::Hold and Counter::Release.
template <class P, class Counter>
class TCounted {
public:
    TCounted() = default;
    explicit TCounted(P Ptr) noexcept : FPtr(Ptr) {}
    TCounted(const TCounted& O) noexcept : FPtr(O.FPtr) { Counter::Hold(FPtr); }
    TCounted(TCounted&& O) noexcept : FPtr(std::exchange(O.FPtr, nullptr)) {}
    TCounted& operator=(TCounted O) noexcept
    {
        std::swap(FPtr, O.FPtr);
        return *this;
    }
    ~TCounted() { Counter::Release(FPtr); }

protected:
    P FPtr = nullptr;
};

struct TFolderNode {
    std::atomic<uint32_t> Refs;
    int Handle = -1;  // the folder open for looking up its entries, while a scan runs
    std::string Text;
    static void Hold(TFolderNode* N)
    {
        if (N) N->Refs.fetch_add(1, std::memory_order_relaxed);
    }
    static void Release(TFolderNode* N)
    {
        if (N && N->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete N;
    }
};

// A folder path shared by every member found in that folder, so that a scan
// over many files keeps each folder's text once. Ends in "/".
class TFolderText : public TCounted<TFolderNode*, TFolderNode> {
public:
    TFolderText() = default;
    explicit TFolderText(std::string Text, int Handle = -1)
        : TCounted(new TFolderNode{{1}, Handle, std::move(Text)}) {}
    const std::string& str() const { return FPtr ? FPtr->Text : Empty(); }
    // The folder's open handle (a descriptor) given with the text, -1 when
    // none was; the one who gave it closes it, once nobody uses it.
    int Handle() const { return FPtr ? FPtr->Handle : -1; }
    void ForgetHandle() const
    {
        if (FPtr) FPtr->Handle = -1;
    }
    operator const std::string&() const { return str(); }
    bool operator==(const TFolderText& O) const { return str() == O.str(); }

private:
    static const std::string& Empty()
    {
        static const std::string E;
        return E;
    }
};

struct TNameCounter {
    static void Hold(const char* Text);
    static void Release(const char* Text);
};

// A file name kept in blocks of names shared by the records: eight bytes in
// a record, and copies (a group and its first member) share one text.
class TNameText : public TCounted<const char*, TNameCounter> {
public:
    TNameText() = default;
    TNameText(std::string_view Text);
    TNameText(const std::string& Text) : TNameText(std::string_view(Text)) {}
    TNameText(const char* Text) : TNameText(std::string_view(Text)) {}

    // The bytes are zero-ended, their length just before them: one byte
    // below 255, else 255 and four bytes before that.
    std::string_view view() const
    {
        if (!FPtr) return {};
        const uint8_t Short = uint8_t(FPtr[-1]);
        if (Short < 255) return {FPtr, Short};
        uint32_t Length;
        std::memcpy(&Length, FPtr - 1 - sizeof Length, sizeof Length);
        return {FPtr, Length};
    }
    const char* c_str() const { return FPtr ? FPtr : ""; }
    std::string str() const { return std::string(view()); }
    operator std::string() const { return str(); }
    operator std::string_view() const { return view(); }
    size_t size() const { return view().size(); }
    bool empty() const { return view().empty(); }
    friend bool operator==(const TNameText& A, const TNameText& B) { return A.view() == B.view(); }
    friend bool operator==(const TNameText& A, std::string_view B) { return A.view() == B; }
    friend bool operator==(const TNameText& A, const std::string& B) { return A.view() == B; }
    friend bool operator==(const TNameText& A, const char* B) { return A.view() == B; }
    friend std::ostream& operator<<(std::ostream& Out, const TNameText& N) { return Out << N.view(); }
};

inline std::string operator+(const TFolderText& Folder, const std::string& Name) { return Folder.str() + Name; }
inline std::string operator+(const TFolderText& Folder, const TNameText& Name)
{
    std::string Path = Folder.str();
    Path += Name.view();
    return Path;
}
inline std::string operator+(const TNameText& A, const std::string& B) { return A.str() + B; }
inline std::string operator+(const std::string& A, const TNameText& B)
{
    std::string S = A;
    S += B.view();
    return S;
}

// A folder and a name kept as the records keep them (a row per member of a
// large result), read as the one text they make together.
struct TPathText {
    TFolderText Folder;
    TNameText Name;
    TPathText() = default;
    TPathText(TFolderText F, TNameText N) : Folder(std::move(F)), Name(std::move(N)) {}
    TPathText(const std::string& Text) : Name(Text) {}
    TPathText(const char* Text) : Name(Text) {}
    std::string str() const { return Folder + Name; }
    operator std::string() const { return str(); }
    bool empty() const { return Folder.str().empty() && Name.empty(); }
    friend std::string operator+(const TPathText& A, const TPathText& B) { return A.str() + B.str(); }
    friend bool operator==(const TPathText& A, std::string_view B) { return A.str() == B; }
    friend bool operator==(const TPathText& A, const char* B) { return A.str() == B; }
    friend std::ostream& operator<<(std::ostream& Out, const TPathText& P) { return Out << P.str(); }
};

// The members of a group: the first kept in place (most groups never get a
// second), all of them in one array once there are more. Contiguous, in
// joining order, like a vector.
template <class T>
class TMembers {
public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    TMembers() noexcept {}
    TMembers(const TMembers& O) : TMembers()
    {
        reserve(O.size());
        for (const T& M : O) push_back(M);
    }
    TMembers(TMembers&& O) noexcept : TMembers() { Take(O); }
    TMembers& operator=(const TMembers& O)
    {
        if (this != &O) {
            TMembers Copy(O);
            clear();
            Take(Copy);
        }
        return *this;
    }
    TMembers& operator=(TMembers&& O) noexcept
    {
        if (this != &O) {
            clear();
            Take(O);
        }
        return *this;
    }
    ~TMembers() { clear(); }

    size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    T* data() { return FCap > 1 ? FMany : &FOne; }
    const T* data() const { return FCap > 1 ? FMany : &FOne; }
    T* begin() { return data(); }
    T* end() { return data() + FSize; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + FSize; }
    T& operator[](size_t I) { return data()[I]; }
    const T& operator[](size_t I) const { return data()[I]; }
    T& front() { return data()[0]; }
    const T& front() const { return data()[0]; }
    T& back() { return data()[FSize - 1]; }
    const T& back() const { return data()[FSize - 1]; }

    void reserve(size_t N)
    {
        if (N <= FCap) return;
        T* Many = static_cast<T*>(::operator new(N * sizeof(T), std::align_val_t(alignof(T))));
        T* Old = data();
        for (uint32_t I = 0; I < FSize; ++I) {
            new (Many + I) T(std::move(Old[I]));
            Old[I].~T();
        }
        FreeArray();
        FMany = Many;
        FCap = uint32_t(N);
    }
    template <class... A>
    T& emplace_back(A&&... Args)
    {
        if (FSize == FCap) reserve(FCap * 2);
        T* Slot = data() + FSize;
        new (Slot) T(std::forward<A>(Args)...);
        ++FSize;
        return *Slot;
    }
    void push_back(const T& M) { emplace_back(M); }
    void push_back(T&& M) { emplace_back(std::move(M)); }
    void clear()
    {
        T* D = data();
        for (uint32_t I = 0; I < FSize; ++I) D[I].~T();
        FSize = 0;
        FreeArray();
    }

private:
    union {
        T FOne;     // the only member while FCap is 1
        T* FMany;   // all of them once FCap is above 1
    };
    uint32_t FSize = 0, FCap = 1;

    void FreeArray()
    {
        if (FCap > 1) ::operator delete(FMany, std::align_val_t(alignof(T)));
        FCap = 1;
    }
    void Take(TMembers& O) noexcept
    {
        if (O.FCap > 1) {
            FMany = O.FMany;
            FCap = O.FCap;
            FSize = O.FSize;
        } else if (O.FSize == 1) {
            new (&FOne) T(std::move(O.FOne));
            O.FOne.~T();
            FSize = 1;
        }
        O.FSize = 0;
        O.FCap = 1;
    }
};

// Every member also keeps what the scan saw of its file beyond size and
// write time (WriteTime): Inode, ChangeTime (status change, a file time)
// and Device (plat::PackDevice). A deletion removes only that very file.
template <class To, class From>
void CopyStamp(To& T, const From& F)
{
    T.Inode = F.Inode;
    T.ChangeTime = F.ChangeTime;
    T.Device = F.Device;
}

enum class TGroupKind { SameName, SameContent, SongTitle, SimilarPicture, Mail, Contact };

// Base of every group record in the group list.
struct TGroupRecord {
    virtual ~TGroupRecord() = default;
    virtual TGroupKind Kind() const = 0;
    int32_t Count = 0;  // always the number of members
};

using TGroupList = std::vector<std::unique_ptr<TGroupRecord>>;

// The records of the scans that meet every file come from slabs of their own
// size: no allocator overhead per file, and the slabs go when the last
// record of their size has gone.
void* RecordAlloc(size_t Size);
void RecordFree(void* P, size_t Size);
#define CORVANE_SLAB_RECORD(T)                                                  \
    static void* operator new(size_t Size) { return RecordAlloc(Size); }        \
    static void operator delete(void* P, size_t Size) { RecordFree(P, Size); }

// A member of a same-name group; its name is the group's Name.
struct TScanResult {
    int64_t Size = 0;
    TDateTime Modified = 0;
    TDateTime Created = 0;
    TFolderText Folder;
    uint64_t WriteTime = 0;  // the file time the scan saw, so a changed file is not deleted
    uint64_t Inode = 0;
    uint64_t ChangeTime = 0;
    uint32_t Device = 0;
    // Only the name was read: a file alone in its group needs no size or
    // times, so these are read when a second file joins.
    bool Unread = false;
};

struct TSearchStat : TGroupRecord {
    CORVANE_SLAB_RECORD(TSearchStat)
    TGroupKind Kind() const override { return TGroupKind::SameName; }
    TNameText Name;
    TMembers<TScanResult> Files;
};

// A member of a same-content or song-title group.
struct TScanResultBye {
    TNameText Name;
    TFolderText Folder;
    int64_t Size = 0;
    TDateTime Modified = 0;
    TDateTime Created = 0;
    uint64_t WriteTime = 0;
    uint64_t Inode = 0;
    uint64_t ChangeTime = 0;
    uint32_t Device = 0;
};

// A same-content group describes itself by the file that opened it: its
// Name, Folder, Size and Modified are that member's, kept only there (a
// content scan has one group for nearly every file). Members may be put in
// another order; Opener follows the opening file.
struct TSearchStatBye : TGroupRecord {
    CORVANE_SLAB_RECORD(TSearchStatBye)
    TGroupKind Kind() const override { return TGroupKind::SameContent; }
    uint32_t Opener = 0;  // index in Files of the file that opened the group
    TMembers<TScanResultBye> Files;

    const TNameText& Name() const { return Files[Opener].Name; }
    const TFolderText& Folder() const { return Files[Opener].Folder; }
    int64_t Size() const { return Files[Opener].Size; }
    TDateTime Modified() const { return Files[Opener].Modified; }
    int64_t TotalSize() const { return Size() * Count; }  // its members are all of one size
};

struct TSearchStatID3 : TGroupRecord {
    TGroupKind Kind() const override { return TGroupKind::SongTitle; }
    std::string Title;
    std::string Artist;
    TNameText Name;
    TFolderText Folder;
    int64_t Size = 0;
    TDateTime Modified = 0;
    int64_t TotalSize = 0;
    TMembers<TScanResultBye> Files;
};

struct TScanResultSimilar {
    TNameText Name;
    TFolderText Folder;
    double Similarity = 0;  // percent of likeness to the first picture
    int64_t Size = 0;
    TDateTime Modified = 0;
    TDateTime Created = 0;
    uint64_t WriteTime = 0;
    uint64_t Inode = 0;
    uint64_t ChangeTime = 0;
    uint32_t Device = 0;
};

struct TSearchSimilar : TGroupRecord {
    TGroupKind Kind() const override { return TGroupKind::SimilarPicture; }
    TNameText Name;
    TFolderText Folder;
    double Size = 0;
    TDateTime Modified = 0;
    int64_t TotalSize = 0;  // the first picture's size; joining pictures leave it
    TMembers<TScanResultSimilar> Files;
};

} // namespace finder
