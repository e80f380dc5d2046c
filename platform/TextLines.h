#pragma once
// Small text helpers of the line-based files the platform layer reads.
#include <optional>
#include <string>

namespace plat {

// Whether the text holds a control character (a line break among them).
inline bool HasControlCharacter(const std::string& S) {
    for (unsigned char C : S)
        if (C < 32 || C == 127) return true;
    return false;
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
