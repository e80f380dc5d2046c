#pragma once
// Text conversions shared by the tag readers. Tag text is held as UTF-8 in
// std::string; byte comparisons stay byte comparisons.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tags {

// True when Text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF). Zero bytes are valid.
bool IsValidUtf8(std::string_view Text);

// Single-byte text read from a file: kept as it is when it is valid UTF-8,
// else taken as ISO-8859-1 and converted, so it shows and compares alike.
std::string SingleByteToUtf8(std::string_view Text);

// One code point (a surrogate pair counts as one) appended as UTF-8; an
// unpaired surrogate or a value above U+10FFFF becomes U+FFFD.
void AppendUtf8(std::string& Out, uint32_t CodePoint);

// Count 16-bit units from Data (2 * Count bytes), little- or big-endian,
// decoded to UTF-8. Zero units are kept; surrogate pairs are joined.
std::string Utf16ToUtf8(const uint8_t* Data, size_t Count, bool BigEndian);
std::string Utf16ToUtf8(std::u16string_view Text);

// Removes every leading and trailing character of value 0x20 or less.
std::string TrimControl(std::string_view Text);
std::u16string TrimControl(std::u16string_view Text);

// A decimal integer with an optional sign that fits in 32 bits; false for
// anything else (blanks, other characters, an empty text).
bool ParseDecimal(std::string_view Text, int32_t& Value);

// The first Count code points of UTF-8 text (never a cut sequence).
std::string FirstCodePoints(std::string_view Text, size_t Count);

} // namespace tags
