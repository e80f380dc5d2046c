#pragma once
// The program's entry and the services only it uses.
#include <string>

// The running program's four-part file version ("1.0.0.1"), "" when unknown.
extern std::string AppVersion;

void GetFileVersionString(const std::string& FileName, std::string& Version);
bool IsUACEnabled();
bool ConsumeSetupFlag();
int RunElevated(const std::string& FileName, const std::string& Directory);
int ProgramMain(int argc, char** argv);
