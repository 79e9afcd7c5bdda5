// The render command of tarskverb-host: runs a sound file, or an impulse, through a plug-in offline.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarskhost {

// The lines of the host's usage text that describe render.
extern const char* const kRenderUsage;

// Runs `render` with the arguments after the command name; answers the process exit code
// (0 done, 1 something could not be read, written or loaded, 2 bad usage).
int runRender(const std::vector<std::string>& args);

// Reads and checks a program file into a chunk; on failure answers false with a message in error.
bool readProgramFile(const std::string& path, std::vector<uint8_t>& chunk, std::string& error);

}  // namespace tarskhost
