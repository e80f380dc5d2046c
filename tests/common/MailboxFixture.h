#pragma once
// The sample mailbox (tests/data/outlook/home) copied into a temporary
// folder, with HOME and MAILDIR pointing there for as long as the object
// lives, the trash in that home and the desktop's "open" recorded.
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
    std::vector<std::string> Opened;  // what the desktop was asked to open

    // Samples false: an empty home, no Maildir and no contacts folder.
    explicit ScopedMailbox(bool Samples = true) {
        Tree.Dir("home");
        if (Samples)
            std::filesystem::copy(CORVANE_OUTLOOK_SAMPLES, Tree.Path("home"),
                                  std::filesystem::copy_options::recursive);
        FHooks.Open = [this](const std::string& P) { Opened.push_back(P); };
        plat::SetShellHooks(FHooks);
    }
    ~ScopedMailbox() { plat::SetShellHooks({}); }

    // The trash is the home's own; while refused it moves nothing.
    void RefuseTrash(bool Refuse) {
        FHooks.Trash = nullptr;
        if (Refuse)
            FHooks.Trash = [](const std::string&, std::string* Error) {
                if (Error) *Error = "no trash here";
                return false;
            };
        plat::SetShellHooks(FHooks);
    }
    std::string Trashed(const std::string& Name, bool Info = false) {
        return Tree.Read("home/.local/share/Trash/" + (Info ? "info/" + Name + ".trashinfo" : "files/" + Name));
    }

    std::string Maildir(const std::string& Rel = "") { return Tree.Path("home/Maildir" + (Rel.empty() ? "" : "/" + Rel)); }
    std::string Contacts(const std::string& Rel = "") { return Tree.Path("home/.contacts" + (Rel.empty() ? "" : "/" + Rel)); }

private:
    plat::TShellHooks FHooks;
    ScopedEnv FHome{"HOME", Tree.Path("home")};
    ScopedEnv FData{"XDG_DATA_HOME", Tree.Path("home/.local/share")};
    ScopedEnv FMaildir{"MAILDIR", Tree.Path("home/Maildir")};
};

} // namespace corvane_test
