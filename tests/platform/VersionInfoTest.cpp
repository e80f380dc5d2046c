#include "platform/VersionInfo.h"

#include <gtest/gtest.h>

#include "common/TempTree.h"
#include "platform/ProgramFolder.h"

namespace {

// This program carries the stamp "9.8.7.65432" (see CMakeLists.txt).
const std::string Stamp = "9.8.7.65432";

class VersionInfoTest : public corvane_test::TempTreeTest {
protected:
    std::string Copy(const std::string& Bytes) { return Tree.File("copy", {.Content = Bytes}); }
    std::string ReadSelf() {
        int Fd = open(plat::ProgramPath().c_str(), O_RDONLY);
        std::string Out;
        char Buf[65536];
        for (ssize_t N; (N = read(Fd, Buf, sizeof Buf)) > 0;) Out.append(Buf, size_t(N));
        close(Fd);
        return Out;
    }
};

TEST_F(VersionInfoTest, ReadsTheStampOfThisProgram) {
    EXPECT_EQ(plat::ReadVersionStamp(plat::ProgramPath()), Stamp);
    EXPECT_EQ(plat::ReadVersionStamp(Copy(ReadSelf())), Stamp);
}

TEST_F(VersionInfoTest, FilesWithoutAStampGiveEmpty) {
    const std::string Elf = ReadSelf();
    ASSERT_GT(Elf.size(), 4096u);
    struct Case {
        const char* What;
        std::string Bytes;
    };
    std::string Renamed = Elf;  // the section's name changed by one letter
    size_t NamePos = Renamed.rfind(std::string("corvane_version") + '\0');  // the section-name table comes last
    ASSERT_NE(NamePos, std::string::npos);
    Renamed[NamePos] = 'k';
    std::string Three = Elf;  // the stamp itself damaged: not four numbers
    size_t StampPos = Three.find(Stamp + '\0');
    ASSERT_NE(StampPos, std::string::npos);
    Three[StampPos + 5] = 'x';
    std::string WildOffsets = Elf;  // section table pointing past the end
    for (int I = 40; I < 48; ++I) WildOffsets[size_t(I)] = '\xff';
    std::string WildCount = Elf;    // a name-table index beyond the sections
    WildCount[62] = '\xfe';
    WildCount[63] = '\xff';

    const std::vector<Case> Cases = {
        {"empty file", ""},
        {"text", "version 1.0.0.1\n"},
        {"magic only", "\x7f" "ELF"},
        {"header only", Elf.substr(0, 64)},
        {"first half", Elf.substr(0, Elf.size() / 2)},
        {"all but the last byte", Elf.substr(0, Elf.size() - 1)},
        {"garbage after the magic", "\x7f" "ELF" + std::string(5000, '\xa5')},
        {"renamed section", Renamed},
        {"damaged stamp", Three},
        {"section table out of the file", WildOffsets},
        {"name table out of range", WildCount},
    };
    for (const auto& C : Cases) EXPECT_EQ(plat::ReadVersionStamp(Copy(C.Bytes)), "") << C.What;
}

TEST_F(VersionInfoTest, PathsThatAreNoFiles) {
    EXPECT_EQ(plat::ReadVersionStamp(Tree.Path("missing")), "");
    EXPECT_EQ(plat::ReadVersionStamp(Tree.Root()), "");
    EXPECT_EQ(plat::ReadVersionStamp(""), "");
    EXPECT_EQ(plat::ReadVersionStamp(Tree.Fifo("pipe")), "");  // never blocks on a FIFO
}

} // namespace
