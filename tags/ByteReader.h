#pragma once
// One bounded byte reader for every tag format: it cannot run past its data.
// A read beyond the end fails (returns false or an empty result) and marks
// the reader as failed; callers test Ok() once after a run of reads.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tags {

class TByteReader {
public:
    TByteReader(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
    explicit TByteReader(const std::vector<uint8_t>& Data) : FData(Data.data()), FSize(Data.size()) {}

    size_t Size() const { return FSize; }
    size_t Position() const { return FPos; }
    size_t Remaining() const { return FSize - FPos; }
    bool Ok() const { return FOk; }
    bool AtEnd() const { return FPos >= FSize; }

    bool Seek(size_t Pos) {
        if (Pos > FSize) return Fail();
        FPos = Pos;
        return true;
    }
    bool Skip(uint64_t Count) {
        if (Count > Remaining()) return Fail();
        FPos += size_t(Count);
        return true;
    }
    bool Read(void* Out, size_t Count) {
        if (Count > Remaining()) return Fail();
        for (size_t i = 0; i < Count; ++i) static_cast<uint8_t*>(Out)[i] = FData[FPos + i];
        FPos += Count;
        return true;
    }
    // Count bytes as a string; "" and failure when fewer remain.
    std::string ReadString(size_t Count) {
        if (Count > Remaining()) { Fail(); return {}; }
        std::string S(reinterpret_cast<const char*>(FData + FPos), Count);
        FPos += Count;
        return S;
    }
    // A view of the next Count bytes without copying; nullptr when fewer remain.
    const uint8_t* Peek(size_t Count) const { return Count <= Remaining() ? FData + FPos : nullptr; }

    uint8_t U8() { uint8_t b[1]; return Read(b, 1) ? b[0] : 0; }
    uint16_t U16LE() { uint8_t b[2]; return Read(b, 2) ? uint16_t(b[0] | b[1] << 8) : 0; }
    uint16_t U16BE() { uint8_t b[2]; return Read(b, 2) ? uint16_t(b[0] << 8 | b[1]) : 0; }
    uint32_t U32LE() {
        uint8_t b[4];
        return Read(b, 4) ? uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24 : 0;
    }
    uint32_t U32BE() {
        uint8_t b[4];
        return Read(b, 4) ? uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]) : 0;
    }
    uint64_t U64LE() { uint64_t lo = U32LE(); uint64_t hi = U32LE(); return lo | hi << 32; }

    // A sub-reader over the next Count bytes (clamped and marked failed when short).
    TByteReader Sub(size_t Count) {
        if (Count > Remaining()) { Fail(); Count = Remaining(); }
        TByteReader R(FData + FPos, Count);
        FPos += Count;
        return R;
    }

private:
    bool Fail() { FOk = false; return false; }
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
    bool FOk = true;
};

// Random access to a file held open, or to a block of memory, so that a
// reader can jump over pictures and audio and read only what it needs.
// Offsets are 64-bit: a 4 GiB file must not wrap.
class TByteSource {
public:
    TByteSource(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size), FOpen(true) {}
    // Opens a regular file read-only; IsOpen() is false when that fails.
    explicit TByteSource(const std::string& Path);
    ~TByteSource();
    TByteSource(const TByteSource&) = delete;
    TByteSource& operator=(const TByteSource&) = delete;

    bool IsOpen() const { return FOpen; }
    uint64_t Size() const { return FSize; }
    // Exactly Count bytes from Offset; false when fewer remain or reading fails.
    bool ReadAt(uint64_t Offset, void* Out, size_t Count);

private:
    const uint8_t* FData = nullptr;
    uint64_t FSize = 0;
    int FFile = -1;
    bool FOpen = false;
};

// Reads at most Limit bytes of a file from Offset; the result is shorter when
// the file is. Never allocates more than the file holds.
bool ReadFileBytes(const std::string& Path, uint64_t Offset, size_t Limit, std::vector<uint8_t>& Out);
// The file's size, or -1 when it cannot be opened for reading.
int64_t FileSizeOf(const std::string& Path);

} // namespace tags
