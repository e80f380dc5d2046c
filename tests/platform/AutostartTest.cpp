#include "platform/Autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/TempTree.h"

namespace {

// Whatever the program's path holds, the entry written for it runs exactly it.
TEST(Autostart, EntryRunsExactlyTheProgram) {
    corvane_test::TempTree Tree;
    const char* Old = std::getenv("XDG_CONFIG_HOME");
    const std::string Saved = Old ? Old : "";
    setenv("XDG_CONFIG_HOME", Tree.Path("config").c_str(), 1);
    for (const char* Folder : {"/usr/bin", "/opt/My Apps", "/tmp/a\"b$c`d\\e%f'g&h;i(j)<k>#~*?|", "/srv/100%%",
                               "/home/caf\xc3\xa9"}) {
        SCOPED_TRACE(Folder);
        const std::string Program = std::string(Folder) + "/corvane";
        EXPECT_EQ(plat::AutostartEntryPath(Program), Tree.Path("config/autostart/corvane.desktop"));
        EXPECT_FALSE(plat::AutostartEntryRuns(Program));
        std::string Error;
        EXPECT_TRUE(plat::WriteAutostartEntry(Program, Error)) << Error;
        EXPECT_TRUE(plat::AutostartEntryRuns(Program)) << Tree.Read("config/autostart/corvane.desktop");
        EXPECT_TRUE(plat::RemoveAutostartEntry(Program, Error)) << Error;
        EXPECT_FALSE(Tree.Exists("config/autostart/corvane.desktop"));
        EXPECT_TRUE(plat::RemoveAutostartEntry(Program, Error));  // a missing entry is no error
        EXPECT_FALSE(plat::WriteAutostartEntry(Program + "\n", Error));  // no entry can hold a line break
    }
    Old ? setenv("XDG_CONFIG_HOME", Saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}

// Only an entry whose Exec, unquoted, is exactly the program's path counts.
TEST(Autostart, EntriesThatRunSomethingElse) {
    const std::pair<const char*, bool> Cases[] = {
        {"Exec=/usr/bin/corvane", true}, {"Exec=\"/usr/bin/corvane\"", true}, {"Exec = /usr/bin/corvane ", true},
        {"Exec=/usr/bin/corvane\r", true}, {"Exec=/usr/bin/Corvane", false}, {"Exec='/usr/bin/corvane'", false},
        {"Exec=\"\\\\\"/usr/bin/corvane\\\\\"\"", false},  // quotes inside the quotes
        {"Exec=/usr/bin/corvane -Scan", false}, {"Exec=/usr/bin/corvane %U", false}, {"Exec=\"/usr/bin/corvane", false},
        {"Exec=/usr/bin/corv\\ane", false},  // an unknown escape
        {"Exec=/usr/bin/corvane\nHidden=true", false}, {"Name=x\n[Desktop Action Scan]\nExec=/usr/bin/corvane", false},
        {"Name=Corvane", false}};
    for (const auto& [Lines, Runs] : Cases) {
        const std::string Text = std::string("[Desktop Entry]\nType=Application\n") + Lines + "\n";
        EXPECT_EQ(plat::DesktopEntryRuns(Text, "/usr/bin/corvane"), Runs) << Text;
    }
}

} // namespace
