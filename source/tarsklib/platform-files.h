// Files and folders on disk: listing a folder with the kinds of its entries, testing for a path and
// finding a program on the search path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarsk {

constexpr uint32_t kFolderEntryFile = 1;
constexpr uint32_t kFolderEntryFolder = 2;

struct FolderEntry {
    std::string name;
    uint32_t type = 0;  // kFolderEntryFile or kFolderEntryFolder
};

// Lists the files and folders inside a folder (links are followed; "." and "..", and entries that are
// neither files nor folders, are left out), in the order the system gives them. Answers false when the
// folder cannot be read.
bool listFolder(const std::string& path, std::vector<FolderEntry>& entries);

// True when something exists at the path.
bool pathExists(const std::string& path);

// Replaces the file at path with the bytes, or leaves it as it was: the bytes go to a hidden temporary
// file in the same folder, are flushed to the disk, and the temporary file is renamed over the target.
// On failure the temporary file is removed and error holds the errno value of the step that failed.
bool replaceFile(const std::string& path, const void* data, size_t size, int& error);

// The full path of an executable program found on the search path ($PATH), empty when there is none.
std::string findProgramOnPath(const char* program);

}  // namespace tarsk
