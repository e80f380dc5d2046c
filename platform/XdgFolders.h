#pragma once
// The user's base folders as the XDG rules give them: the variable when it
// holds an absolute path, else its default below the home folder.
#include <string>

namespace plat {

std::string HomeFolder();  // $HOME, else the account's home folder, else "."
std::string ConfigHome();  // $XDG_CONFIG_HOME or ~/.config
std::string DataHome();    // $XDG_DATA_HOME or ~/.local/share
std::string CacheHome();   // $XDG_CACHE_HOME or ~/.cache

} // namespace plat
