#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/Clock.h"
#include "platform/ProgramFolder.h"

namespace {

TEST(Clock, SleepWaitsAtLeastItsTime) {
    const uint32_t Start = plat::GetTickCount();
    plat::Sleep(60);
    const uint32_t Elapsed = plat::GetTickCount() - Start;  // unsigned: right across the wrap
    EXPECT_GE(Elapsed, 60u);
    EXPECT_LT(Elapsed, 5000u);
}

TEST(ProgramFolder, FolderOfTheRunningProgram) {
    const std::string Path = plat::ProgramPath();
    ASSERT_FALSE(Path.empty());
    EXPECT_EQ(access(Path.c_str(), X_OK), 0);
    const std::string Folder = plat::ProgramFolder();
    ASSERT_FALSE(Folder.empty());
    EXPECT_EQ(Folder.back(), '/');
    EXPECT_EQ(Path.compare(0, Folder.size(), Folder), 0);
    EXPECT_EQ(Path.find('/', Folder.size()), std::string::npos);

    plat::SetProgramFolderForTests("/opt/elsewhere");
    EXPECT_EQ(plat::ProgramFolder(), "/opt/elsewhere/");
    plat::SetProgramFolderForTests("");
    EXPECT_EQ(plat::ProgramFolder(), Folder);
    EXPECT_FALSE(plat::UserName().empty());
}

} // namespace
