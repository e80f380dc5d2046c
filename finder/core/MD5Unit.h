#pragma once
// The MD5 message digest (RFC 1321) that stands for an e-mail's content.
// The digest itself comes from GLib's GChecksum.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace finder {

using TMD5Digest = std::array<uint8_t, 16>;

struct TMD5Context {
    void* Checksum = nullptr;  // GChecksum*
    TMD5Context() = default;
    ~TMD5Context();
    TMD5Context(const TMD5Context&) = delete;
    TMD5Context& operator=(const TMD5Context&) = delete;
};

void MD5Init(TMD5Context& Context);
void MD5Update(TMD5Context& Context, const void* Data, size_t Size);
// Gives the digest and clears the context.
void MD5Final(TMD5Digest& Digest, TMD5Context& Context);

// The digest of the bytes of S (its length, no terminator).
TMD5Digest MD5String(std::string_view S);
// 32 lowercase hexadecimal digits, high nibble first.
std::string MD5Print(const TMD5Digest& Digest);

} // namespace finder
