// Program files for the command-line host: an .fxp file is read only when its chunk passes the
// checks the plug-in makes before it loads a chunk, so that a render or a measurement never runs
// quietly with another program than the one asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarskhost {

// More than any program file needs (a 60-byte header and a chunk of at most 4,096 bytes).
constexpr size_t kMaxProgramFileBytes = 65536;

// Checks a program chunk: long enough, a program magic word, a known layout and the layout's size.
bool checkProgramChunk(const uint8_t* data, size_t size, std::string& error);

// The checked chunk of an .fxp file image; name is the file's name for the messages.
bool chunkOfFxp(const std::vector<uint8_t>& bytes, const std::string& name, std::vector<uint8_t>& chunk,
                std::string& error);

// Writes a program chunk (checked as above) as an .fxp file; on failure answers false with a message.
bool writeProgramFile(const std::string& path, const uint8_t* chunk, size_t size, std::string& error);

// Reads a regular .fxp file and answers its checked chunk.
bool readProgramFile(const std::string& path, std::vector<uint8_t>& chunk, std::string& error);

}  // namespace tarskhost
