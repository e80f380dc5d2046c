#include "finder/core/MD5Unit.h"

#include <glib.h>

namespace finder {

TMD5Context::~TMD5Context()
{
    if (Checksum) g_checksum_free(static_cast<GChecksum*>(Checksum));
}

void MD5Init(TMD5Context& Context)
{
    if (Context.Checksum) g_checksum_free(static_cast<GChecksum*>(Context.Checksum));
    Context.Checksum = g_checksum_new(G_CHECKSUM_MD5);
}

void MD5Update(TMD5Context& Context, const void* Data, size_t Size)
{
    if (!Context.Checksum) MD5Init(Context);
    auto* C = static_cast<GChecksum*>(Context.Checksum);
    const auto* P = static_cast<const guchar*>(Data);
    // GChecksum takes a signed length: feed a huge buffer in slices.
    while (Size > 0) {
        const size_t Part = Size > (size_t(1) << 30) ? (size_t(1) << 30) : Size;
        g_checksum_update(C, P, gssize(Part));
        P += Part;
        Size -= Part;
    }
}

void MD5Final(TMD5Digest& Digest, TMD5Context& Context)
{
    if (!Context.Checksum) MD5Init(Context);
    gsize Length = Digest.size();
    g_checksum_get_digest(static_cast<GChecksum*>(Context.Checksum), Digest.data(), &Length);
    g_checksum_free(static_cast<GChecksum*>(Context.Checksum));
    Context.Checksum = nullptr;
}

TMD5Digest MD5String(std::string_view S)
{
    TMD5Context C;
    MD5Init(C);
    MD5Update(C, S.data(), S.size());
    TMD5Digest D;
    MD5Final(D, C);
    return D;
}

std::string MD5Print(const TMD5Digest& Digest)
{
    static const char Hex[] = "0123456789abcdef";
    std::string Out;
    Out.reserve(32);
    for (uint8_t B : Digest) {
        Out += Hex[B >> 4];
        Out += Hex[B & 15];
    }
    return Out;
}

} // namespace finder
