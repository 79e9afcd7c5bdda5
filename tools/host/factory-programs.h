// The factory programs of a built plug-in: the presets.zip archive embedded in the library file's
// bytes, found, mounted and read with the plug-in's own archive and file-system code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "presets/program-file-system.h"

namespace tarskhost {

// Finds the ZIP archive inside a file's bytes from its end-of-central-directory record: the archive
// starts at the record's position minus the central directory's size and offset. Answers the start
// and length of the last archive in the bytes whose central directory and first local header are
// where the record says; false when there is none.
bool findEmbeddedArchive(const std::vector<uint8_t>& bytes, size_t& start, size_t& length);

// Reads the plug-in file and mounts its factory archive as "res" in the file system.
bool mountFactoryArchive(const std::string& pluginPath, tarsk::ProgramFileSystem& files, std::string& error);

// Reads the factory program "Category/Name" of the plug-in (the name as shown, "Heavenly Echo 1/2",
// or as stored, "Heavenly Echo 1&#47;2") and answers its program chunk, checked to be readable.
bool loadFactoryProgram(const std::string& pluginPath, const std::string& categoryAndName,
                        std::vector<uint8_t>& chunk, std::string& error);

// The same from a file system whose "res" mount is already the factory archive.
bool loadFactoryProgram(tarsk::ProgramFileSystem& files, const std::string& categoryAndName,
                        std::vector<uint8_t>& chunk, std::string& error);

// The factory programs of the plug-in as "Category/Name", in the order the program lists show them.
bool listFactoryPrograms(const std::string& pluginPath, std::vector<std::string>& names, std::string& error);

}  // namespace tarskhost
