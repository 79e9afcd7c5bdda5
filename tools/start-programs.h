// The start programs that the plug-in carries among its resources, and their generation from the
// readable sources.
#pragma once

#include <span>
#include <string>

namespace tarsk {

struct StartProgram {
    const char* source;  // relative to the source tree
    const char* output;  // file name in the output folder
};

// Init and the program of slot 0.
std::span<const StartProgram> startPrograms();

// Reads every start program's source under sourceDir and writes its .fxp file into outDir.
bool makeStartPrograms(const std::string& sourceDir, const std::string& outDir, std::string& error);

}  // namespace tarsk
