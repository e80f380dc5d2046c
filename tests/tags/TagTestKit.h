#pragma once
// Byte builders and the real samples (tests/data/music) shared by the tag
// reader tests.
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tagtest {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes A, const Bytes& B)
{
    A.insert(A.end(), B.begin(), B.end());
    return A;
}
inline Bytes B(std::string_view S) { return Bytes(S.begin(), S.end()); }
inline Bytes Resized(Bytes File, size_t Size)
{
    File.resize(Size);
    return File;
}
inline Bytes Le(uint64_t V, int N)
{
    Bytes Out;
    for (int I = 0; I < N; ++I) Out.push_back(uint8_t(V >> (8 * I)));
    return Out;
}
inline Bytes Be(uint64_t V, int N)
{
    Bytes Out;
    for (int I = N - 1; I >= 0; --I) Out.push_back(uint8_t(V >> (8 * I)));
    return Out;
}

inline std::string Sample(const std::string& Name) { return std::string(CORVANE_SAMPLES) + "/" + Name; }
inline Bytes Load(const std::string& Name)
{
    std::ifstream In(Sample(Name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(In), {});
}

// Parts joined by "|": what a reader gave, in one line that a failure shows whole.
inline std::string Join(std::initializer_list<std::string> Parts)
{
    std::string S;
    for (const std::string& Part : Parts) S += (S.empty() && &Part == Parts.begin() ? "" : "|") + Part;
    return S;
}

// A table row's name: the test's name, and what a failure prints of the row.
struct Named {
    const char* Name;
};
inline std::ostream& operator<<(std::ostream& Out, const Named& Row) { return Out << Row.Name; }
// A row of bytes to read and the summary of what must come out.
struct Row : Named {
    Bytes File;
    std::string Expected;
};
struct RowName {
    template <typename Info> std::string operator()(const Info& I) const { return I.param.Name; }
};

} // namespace tagtest
