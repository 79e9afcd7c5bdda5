// The measure command of tarskverb-host: the numbers of a program's sound, for tuning programs.
#pragma once

#include <string>
#include <vector>

namespace tarskhost {

// The lines of the host's usage text that describe measure.
extern const char* const kMeasureUsage;

// Runs `measure` with the arguments after the command name; answers the process exit code
// (0 done, 1 a program or the plug-in could not be read or gave output that is not finite, 2 bad usage).
int runMeasure(const std::vector<std::string>& args);

}  // namespace tarskhost
