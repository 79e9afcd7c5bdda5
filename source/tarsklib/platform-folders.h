// Per-user folders: application data and configuration.
#pragma once

#include <string>

namespace tarsk {

// $XDG_DATA_HOME, else ~/.local/share (an empty or relative value is ignored); empty when unknown.
std::string applicationDataFolder();
// $XDG_CONFIG_HOME, else ~/.config; empty when unknown.
std::string configurationFolder();
// Creates a folder and its parents; answers true when it exists afterwards.
bool createFolders(const std::string& path);

}  // namespace tarsk
