#pragma once
#include <string>

namespace plat {
// The running program file and its folder (ending in "/"). A file replaced
// or removed while the program runs keeps its path: the file there now, or
// none.
std::string ProgramPath();
std::string ProgramFolder();
// Tests pretend the program lives elsewhere; "" restores the real one.
void SetProgramFolderForTests(const std::string& Folder);
// The user's account name; "" when unknown.
std::string UserName();
} // namespace plat
