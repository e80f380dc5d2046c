#pragma once
// Whole-file writes that never leave half a file behind, and the reads of
// such small files.
#include <optional>
#include <string>

#include <sys/types.h>

namespace plat {

// Replaces Path with a file holding Text: written beside it under a hidden
// temporary name, synced and renamed over it, so a failure leaves the old
// file (or none) as it was. A symbolic link at Path is replaced, never
// followed. Run as root (the elevated copy), the file keeps the owner of the
// file it replaces, else takes the owner of its folder, so the user's own
// folders stay the user's. False with the reason in Error.
bool ReplaceFile(const std::string& Path, const std::string& Text, mode_t Mode, std::string& Error);

// Makes Path and its missing parents (mode 0700); false when one cannot be made.
bool MakeFolders(const std::string& Path);

// The text of the regular file at Path, at most Limit bytes. Opened without
// following a link and without blocking, so that a FIFO planted there cannot
// hang the caller; nullopt (errno in Err) for anything else or a larger file.
std::optional<std::string> ReadSmallFile(const std::string& Path, size_t Limit, int& Err);

} // namespace plat
