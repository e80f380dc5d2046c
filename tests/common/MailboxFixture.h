#pragma once
// The sample mailbox (tests/data/outlook/home) copied into a temporary
// folder, with HOME and MAILDIR pointing there for as long as the object
// lives, the trash a folder of that tree and the desktop's "open" recorded.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Shell.h"
#include "tests/common/TempTree.h"

namespace corvane_test {

class ScopedMailbox {
public:
    // Samples false: an empty home, no Maildir and no contacts folder.
    explicit ScopedMailbox(bool Samples = true) {
        Tree.Dir("home");
        Tree.Dir("trash");
        if (Samples)
            std::filesystem::copy(CORVANE_OUTLOOK_SAMPLES, Tree.Path("home"),
                                  std::filesystem::copy_options::recursive);
        Save("HOME", FHome);
        Save("MAILDIR", FMaildir);
        setenv("HOME", Tree.Path("home").c_str(), 1);
        setenv("MAILDIR", Tree.Path("home/Maildir").c_str(), 1);
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
    ~ScopedMailbox() {
        plat::SetShellHooks({});
        Restore("HOME", FHome);
        Restore("MAILDIR", FMaildir);
    }
    ScopedMailbox(const ScopedMailbox&) = delete;
    ScopedMailbox& operator=(const ScopedMailbox&) = delete;

    std::string Maildir(const std::string& Rel = "") { return Tree.Path("home/Maildir" + (Rel.empty() ? "" : "/" + Rel)); }
    std::string Contacts(const std::string& Rel = "") { return Tree.Path("home/.contacts" + (Rel.empty() ? "" : "/" + Rel)); }

    TempTree Tree;
    std::vector<std::string> Opened;   // what the desktop was asked to open
    std::vector<std::string> Trashed;  // where trashed files now lie
    bool TrashWorks = true;

private:
    struct TSaved {
        bool Had = false;
        std::string Value;
    } FHome, FMaildir;
    static void Save(const char* Name, TSaved& S) {
        const char* V = std::getenv(Name);
        S.Had = V != nullptr;
        S.Value = V ? V : "";
    }
    static void Restore(const char* Name, const TSaved& S) {
        if (S.Had) setenv(Name, S.Value.c_str(), 1);
        else unsetenv(Name);
    }
};

} // namespace corvane_test
