#include "platform/Autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/TempTree.h"

namespace {

class AutostartTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        if (const char* Old = std::getenv("XDG_CONFIG_HOME")) FOld = Old;
        setenv("XDG_CONFIG_HOME", Tree.Path("config").c_str(), 1);
    }
    void TearDown() override { setenv("XDG_CONFIG_HOME", FOld.c_str(), 1); }
    std::string FOld;
};

struct TPathCase {
    const char* Name;
    const char* Folder;
};

class AutostartRoundTrip : public AutostartTest, public ::testing::WithParamInterface<TPathCase> {};

// Whatever the program's path holds, the entry written for it runs exactly it.
TEST_P(AutostartRoundTrip, EntryRunsExactlyTheProgram) {
    const std::string Program = std::string(GetParam().Folder) + "/corvane";
    const std::string Entry = Tree.Path("config/autostart/corvane.desktop");
    EXPECT_EQ(plat::AutostartEntryPath(Program), Entry);
    EXPECT_FALSE(plat::AutostartEntryRuns(Program));
    std::string Error;
    ASSERT_TRUE(plat::WriteAutostartEntry(Program, Error)) << Error;
    EXPECT_TRUE(plat::AutostartEntryRuns(Program));
    EXPECT_FALSE(plat::AutostartEntryRuns(Program + "x"));
    const std::string Text = Tree.Read("config/autostart/corvane.desktop");
    EXPECT_EQ(Text.rfind("[Desktop Entry]\nType=Application\nName=Corvane\nExec=", 0), 0u) << Text;
    EXPECT_NE(Text.find("\nIcon="), std::string::npos);
    ASSERT_TRUE(plat::RemoveAutostartEntry(Program, Error)) << Error;
    EXPECT_FALSE(Tree.Exists("config/autostart/corvane.desktop"));
    EXPECT_TRUE(plat::RemoveAutostartEntry(Program, Error));  // a missing entry is no error
    EXPECT_FALSE(plat::WriteAutostartEntry(Program + "\n", Error));  // no entry can hold a line break
}

INSTANTIATE_TEST_SUITE_P(Paths, AutostartRoundTrip,
                         ::testing::Values(TPathCase{"Plain", "/usr/bin"}, TPathCase{"Blanks", "/opt/My Apps"},
                                           TPathCase{"Reserved", "/tmp/a\"b$c`d\\e%f'g&h;i(j)<k>#~*?|"},
                                           TPathCase{"Percent", "/srv/100%%"},
                                           TPathCase{"Utf8", "/home/caf\xc3\xa9"}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

struct TEntryCase {
    const char* Name;
    const char* Lines;
    bool Runs;
};

class AutostartEntries : public ::testing::TestWithParam<TEntryCase> {};

// Only an entry whose Exec, unquoted, is exactly the program's path counts.
TEST_P(AutostartEntries, RunExactlyTheProgram) {
    const std::string Text = std::string("[Desktop Entry]\nType=Application\n") + GetParam().Lines + "\n";
    EXPECT_EQ(plat::DesktopEntryRuns(Text, "/usr/bin/corvane"), GetParam().Runs) << Text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AutostartEntries,
    ::testing::Values(TEntryCase{"Exact", "Exec=/usr/bin/corvane", true},
                      TEntryCase{"Quoted", "Exec=\"/usr/bin/corvane\"", true},
                      TEntryCase{"BlanksAroundEquals", "Exec = /usr/bin/corvane ", true},
                      TEntryCase{"CrLf", "Exec=/usr/bin/corvane\r", true},
                      TEntryCase{"LetterCase", "Exec=/usr/bin/Corvane", false},
                      TEntryCase{"QuotesInsideTheQuotes", "Exec=\"\\\\\"/usr/bin/corvane\\\\\"\"", false},
                      TEntryCase{"SingleQuotes", "Exec='/usr/bin/corvane'", false},
                      TEntryCase{"Argument", "Exec=/usr/bin/corvane -Scan", false},
                      TEntryCase{"FieldCode", "Exec=/usr/bin/corvane %U", false},
                      TEntryCase{"OpenQuote", "Exec=\"/usr/bin/corvane", false},
                      TEntryCase{"UnknownEscape", "Exec=/usr/bin/corv\\ane", false},
                      TEntryCase{"Hidden", "Exec=/usr/bin/corvane\nHidden=true", false},
                      TEntryCase{"OtherGroup", "Name=x\n[Desktop Action Scan]\nExec=/usr/bin/corvane", false},
                      TEntryCase{"NoExec", "Name=Corvane", false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
