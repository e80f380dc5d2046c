#pragma once
// The shell: opening files, folders and addresses, a file's properties, the
// trash. Each through a seam that tests replace.
#include <functional>
#include <string>
#include <string_view>

#include <sys/stat.h>

namespace plat {

// Opens an address, file or folder with the desktop's default application.
void ShellOpen(const std::string& Target);
// Starts a program file, detached, without arguments, in the current folder
// (what the shell's "open" does with a program); false when it did not start.
// Opening it as a document would only show the file, never run it.
bool ShellRun(const std::string& Program);
// Shows a file's properties through the file manager; nothing when none answers.
void ShowProperties(const std::string& Path);
// Moves a file or folder into the freedesktop.org trash of its file system,
// the name's bytes as they are; true only when it is there. The folder that
// holds it is reached through no symbolic link.
bool MoveToTrash(const std::string& Path, std::string* Error = nullptr);
// Moves the entry Name of the folder DirFd (opened without following links)
// into the trash, by descriptors all the way; the trash records InfoPath as
// the place to restore it to, which may differ from where it lies now (a
// file set up under a temporary name). The entry that arrives in the trash
// must be the file Checked names (device and inode) when given, else the one
// found when the move began; another one is put back and the move fails.
// With RestoreDir (the folder InfoPath's name lies in, opened), the trash
// chooses the name to restore to: InfoPath's own, else one with a suffix,
// free in that folder and in the trash alike, and named so in the trash too.
bool MoveToTrashAt(int DirFd, const std::string& Name, const std::string& InfoPath, std::string* Error = nullptr,
                   const struct statx* Checked = nullptr, int RestoreDir = -1);

struct TShellHooks {
    std::function<void(const std::string&)> Open;
    std::function<void(const std::string&)> Properties;
    std::function<bool(const std::string&, std::string*)> Trash;  // both trash calls, given the path to restore to
    std::function<bool(const std::string&)> Run;
};
// Empty members keep the real service.
void SetShellHooks(TShellHooks Hooks);

// A path's bytes with all but ASCII letters, digits, "-._~" and "/" as %XX,
// as file URLs and trash information files hold paths.
std::string PercentEncoded(std::string_view Path);

} // namespace plat
