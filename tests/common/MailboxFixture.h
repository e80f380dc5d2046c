#pragma once
// The sample mailbox (tests/data/outlook/home) copied into a temporary
// folder, with HOME and MAILDIR pointing there for as long as the object
// lives, the trash a folder of that tree and the desktop's "open" recorded.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Shell.h"
#include "tests/common/TempTree.h"

namespace corvane_test {

// Sets an environment variable for as long as the object lives.
class ScopedEnv {
public:
    ScopedEnv(const char* Name, const std::string& Value) : FName(Name) {
        if (const char* Old = std::getenv(Name)) FOld = Old;
        setenv(Name, Value.c_str(), 1);
    }
    ~ScopedEnv() { FOld ? setenv(FName, FOld->c_str(), 1) : unsetenv(FName); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* FName;
    std::optional<std::string> FOld;
};

class ScopedMailbox {
public:
    TempTree Tree;
    std::vector<std::string> Opened;   // what the desktop was asked to open
    std::vector<std::string> Trashed;  // where trashed files now lie
    bool TrashWorks = true;

    // Samples false: an empty home, no Maildir and no contacts folder.
    explicit ScopedMailbox(bool Samples = true) {
        Tree.Dir("home");
        Tree.Dir("trash");
        if (Samples)
            std::filesystem::copy(CORVANE_OUTLOOK_SAMPLES, Tree.Path("home"),
                                  std::filesystem::copy_options::recursive);
        plat::TShellHooks Hooks;
        Hooks.Open = [this](const std::string& P) { Opened.push_back(P); };
        Hooks.Trash = [this](const std::string& P, std::string* Error) {
            if (!TrashWorks) {
                if (Error) *Error = "no trash here";
                return false;
            }
            const std::string To = Tree.Path("trash/" + std::to_string(Trashed.size()) + "-" +
                                             std::filesystem::path(P).filename().string());
            std::filesystem::rename(P, To);
            Trashed.push_back(To);
            return true;
        };
        plat::SetShellHooks(Hooks);
    }
    ~ScopedMailbox() { plat::SetShellHooks({}); }

    std::string Maildir(const std::string& Rel = "") { return Tree.Path("home/Maildir" + (Rel.empty() ? "" : "/" + Rel)); }
    std::string Contacts(const std::string& Rel = "") { return Tree.Path("home/.contacts" + (Rel.empty() ? "" : "/" + Rel)); }

private:
    ScopedEnv FHome{"HOME", Tree.Path("home")};
    ScopedEnv FMaildir{"MAILDIR", Tree.Path("home/Maildir")};
};

} // namespace corvane_test
