#pragma once
// The machine-wide settings, mirrored once per start, and the common services.
#include <cstdint>
#include <string>
#include "platform/FileTime.h"

// The vendor's web site: a reserved name, so the update check fails silently.
inline constexpr const char* VendorSite = "https://corvane.example";

struct TMyRegistryInfo {
    std::string HomePage;
    std::string HelpURL;
    bool CheckUpdate = false;
    std::string Version;
};

extern TMyRegistryInfo MyRegistryInfo;

// Fills MyRegistryInfo, writing every missing value with its default and
// "Version" with AppVersion.
void LoadSettings();

TDateTime FileTimeToDateTime(const uint64_t& FileTime);
void GetWindowsDir(std::string& Dir);
void GetCurrentUserName(std::string& Name);
void OpenURL(const std::string& URL);
