// The list command of tarskverb-host: prints the factory programs that a plug-in carries.
#pragma once

#include <string>
#include <vector>

namespace tarskhost {

// The lines of the host's usage text that describe list.
extern const char* const kListUsage;

// Runs `list` with the arguments after the command name; answers the process exit code
// (0 done, 1 the plug-in could not be loaded or carries no archive, 2 bad usage).
int runList(const std::vector<std::string>& args);

}  // namespace tarskhost
