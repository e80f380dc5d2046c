// The version stamp read back from this very program (it carries
// "9.8.7.65432", see CMakeLists.txt) and from damaged copies of it.
#include "platform/VersionInfo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "common/TempTree.h"
#include "platform/ProgramFolder.h"

namespace {

TEST(VersionInfo, StampOfThisProgramAndNoneFromDamagedCopies) {
    corvane_test::TempTree Tree;
    const auto Copy = [&](const std::string& Bytes) { return Tree.File("copy", {.Content = Bytes}); };
    std::ifstream In(plat::ProgramPath(), std::ios::binary);
    const std::string Elf{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
    EXPECT_EQ(plat::ReadVersionStamp(plat::ProgramPath()), "9.8.7.65432");
    EXPECT_EQ(plat::ReadVersionStamp(Copy(Elf)), "9.8.7.65432");

    std::string Renamed = Elf;  // the section's name changed by one letter (the name table comes last)
    const size_t NamePos = Renamed.rfind(std::string("corvane_version") + '\0');
    ASSERT_NE(NamePos, std::string::npos);
    Renamed[NamePos] = 'k';
    std::string Damaged = Elf;  // the stamp itself (and every copy of its text) no longer four numbers
    const std::string Text = std::string("9.8.7.65432") + '\0';
    for (size_t At = 0; (At = Damaged.find(Text, At)) != std::string::npos; At += Text.size()) Damaged[At + 5] = 'x';
    std::string WildOffsets = Elf;  // the section table past the end
    for (size_t I = 40; I < 48; ++I) WildOffsets[I] = '\xff';
    std::string WildCount = Elf;  // a name-table index beyond the sections
    WildCount[62] = '\xfe';
    WildCount[63] = '\xff';
    const std::pair<const char*, std::string> Cases[] = {
        {"header only", Elf.substr(0, 64)},
        {"first half", Elf.substr(0, Elf.size() / 2)},
        {"garbage after the magic", "\x7f" "ELF" + std::string(5000, '\xa5')},
        {"renamed section", Renamed},
        {"damaged stamp", Damaged},
        {"section table out of the file", WildOffsets},
        {"name table out of range", WildCount},
    };
    for (const auto& [What, Bytes] : Cases) EXPECT_EQ(plat::ReadVersionStamp(Copy(Bytes)), "") << What;
    for (const std::string& Path : {Tree.Path("missing"), Tree.Root(), std::string(), Tree.Fifo("pipe")})
        EXPECT_EQ(plat::ReadVersionStamp(Path), "") << Path;  // a FIFO must not block
}

} // namespace
