#include "tags/TextCodec.h"

#include "platform/TextLines.h"

#include <climits>
#include <cstdint>
#include <type_traits>

namespace tags {

bool IsValidUtf8(std::string_view Text) { return plat::IsValidUtf8(Text); }

void AppendUtf8(std::string& Out, uint32_t Cp)
{
    if ((Cp >= 0xD800 && Cp <= 0xDFFF) || Cp > 0x10FFFF) Cp = 0xFFFD;
    if (Cp < 0x80) {
        Out += char(Cp);
    } else if (Cp < 0x800) {
        Out += char(0xC0 | Cp >> 6);
        Out += char(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        Out += char(0xE0 | Cp >> 12);
        Out += char(0x80 | (Cp >> 6 & 0x3F));
        Out += char(0x80 | (Cp & 0x3F));
    } else {
        Out += char(0xF0 | Cp >> 18);
        Out += char(0x80 | (Cp >> 12 & 0x3F));
        Out += char(0x80 | (Cp >> 6 & 0x3F));
        Out += char(0x80 | (Cp & 0x3F));
    }
}

std::string SingleByteToUtf8(std::string_view Text)
{
    if (IsValidUtf8(Text)) return std::string(Text);
    std::string Out;
    Out.reserve(Text.size() * 2);
    for (char C : Text) AppendUtf8(Out, uint8_t(C));
    return Out;
}

namespace {

template <typename UnitAt>
std::string DecodeUnits(size_t Count, UnitAt Unit)
{
    std::string Out;
    Out.reserve(Count);
    for (size_t I = 0; I < Count; ++I) {
        uint32_t U = Unit(I);
        if (U >= 0xD800 && U <= 0xDBFF && I + 1 < Count) {
            uint32_t L = Unit(I + 1);
            if (L >= 0xDC00 && L <= 0xDFFF) {
                AppendUtf8(Out, 0x10000 + ((U - 0xD800) << 10) + (L - 0xDC00));
                ++I;
                continue;
            }
        }
        AppendUtf8(Out, U); // an unpaired surrogate turns into U+FFFD there
    }
    return Out;
}

} // namespace

std::string Utf16ToUtf8(const uint8_t* Data, size_t Count, bool BigEndian)
{
    return DecodeUnits(Count, [&](size_t I) -> uint32_t {
        uint8_t A = Data[2 * I], B = Data[2 * I + 1];
        return BigEndian ? uint32_t(A) << 8 | B : uint32_t(B) << 8 | A;
    });
}

std::string Utf16ToUtf8(std::u16string_view Text)
{
    return DecodeUnits(Text.size(), [&](size_t I) -> uint32_t { return Text[I]; });
}

namespace {

template <typename S>
S TrimAny(S Text)
{
    size_t B = 0, E = Text.size();
    while (B < E && uint32_t(static_cast<std::make_unsigned_t<typename S::value_type>>(Text[B])) <= 0x20) ++B;
    while (E > B && uint32_t(static_cast<std::make_unsigned_t<typename S::value_type>>(Text[E - 1])) <= 0x20) --E;
    return Text.substr(B, E - B);
}

} // namespace

bool ParseDecimal(std::string_view Text, int32_t& Value)
{
    size_t I = 0;
    bool Negative = false;
    if (I < Text.size() && (Text[I] == '+' || Text[I] == '-')) Negative = Text[I++] == '-';
    if (I == Text.size()) return false;
    int64_t V = 0;
    for (; I < Text.size(); ++I) {
        char C = Text[I];
        if (C < '0' || C > '9') return false;
        V = V * 10 + (C - '0');
        if (V > int64_t(INT32_MAX) + 1) return false;
    }
    if (Negative) V = -V;
    if (V > INT32_MAX || V < INT32_MIN) return false;
    Value = int32_t(V);
    return true;
}

std::string FirstCodePoints(std::string_view Text, size_t Count)
{
    size_t I = 0;
    while (I < Text.size() && Count > 0) {
        ++I;
        while (I < Text.size() && (uint8_t(Text[I]) & 0xC0) == 0x80) ++I; // continuation bytes
        --Count;
    }
    return std::string(Text.substr(0, I));
}

std::string TrimControl(std::string_view Text) { return std::string(TrimAny(Text)); }
std::u16string TrimControl(std::u16string_view Text) { return std::u16string(TrimAny(Text)); }

} // namespace tags
