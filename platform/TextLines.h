#pragma once
// Small text helpers of the line-based files the platform layer reads.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// Whether the text holds a control character (a line break among them).
inline bool HasControlCharacter(const std::string& S) {
    for (unsigned char C : S)
        if (C < 32 || C == 127) return true;
    return false;
}

// Whether the bytes are UTF-8 throughout: no stray, overlong or cut
// sequence, no surrogate, nothing past U+10FFFF.
inline bool IsValidUtf8(std::string_view Text) {
    const auto* P = reinterpret_cast<const uint8_t*>(Text.data());
    const size_t N = Text.size();
    for (size_t I = 0; I < N;) {
        const uint8_t B = P[I];
        if (B < 0x80) {
            ++I;
            continue;
        }
        size_t Len;
        uint32_t Cp;
        if (B >= 0xC2 && B <= 0xDF) Len = 2, Cp = B & 0x1F;
        else if (B >= 0xE0 && B <= 0xEF) Len = 3, Cp = B & 0x0F;
        else if (B >= 0xF0 && B <= 0xF4) Len = 4, Cp = B & 0x07;
        else return false;
        if (N - I < Len) return false;
        for (size_t K = 1; K < Len; ++K) {
            if ((P[I + K] & 0xC0) != 0x80) return false;
            Cp = Cp << 6 | (P[I + K] & 0x3F);
        }
        if ((Len == 3 && Cp < 0x800) || (Len == 4 && Cp < 0x10000)) return false;  // overlong
        if ((Cp >= 0xD800 && Cp <= 0xDFFF) || Cp > 0x10FFFF) return false;
        I += Len;
    }
    return true;
}

// The text without blanks and tabs at either end.
inline std::string TrimBlanks(const std::string& S) {
    const size_t B = S.find_first_not_of(" \t");
    if (B == std::string::npos) return "";
    return S.substr(B, S.find_last_not_of(" \t") - B + 1);
}

// Undoes backslash escapes: Codes[i] after a backslash stands for Chars[i].
// Nullopt for any other escape or a backslash at the end.
inline std::optional<std::string> UnescapeBackslashes(const std::string& S, const std::string& Codes,
                                                      const std::string& Chars) {
    std::string Out;
    for (size_t I = 0; I < S.size(); ++I) {
        if (S[I] != '\\') {
            Out += S[I];
            continue;
        }
        if (++I == S.size()) return std::nullopt;
        const size_t At = Codes.find(S[I]);
        if (At == std::string::npos) return std::nullopt;
        Out += Chars[At];
    }
    return Out;
}

} // namespace plat
