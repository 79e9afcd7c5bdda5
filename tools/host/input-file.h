// Input files of the command-line host: only regular files are read (a FIFO, a device or a folder
// given as a program or a sound would block or make no sense), and failures carry the system's reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarskhost {

// The system's text for an error number, e.g. "No such file or directory".
std::string systemReason(int errorNumber);

// Opens a file for reading when it is a regular file; anything else is refused without waiting for a
// writer. Answers the descriptor, or -1 with the reason in error ("No such file or directory",
// "it is a FIFO, not a regular file"); callers name the file.
int openRegularFile(const std::string& path, std::string& error);

// Reads a whole regular file of at most maxBytes; a longer file is refused. On failure the reason is
// in error, as for openRegularFile.
bool readRegularFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error);

}  // namespace tarskhost
