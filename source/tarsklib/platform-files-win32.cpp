// Files and folders on Windows: FindFirstFileA/FindNextFileA, GetFileAttributesA and SearchPathA.
#include "platform-files.h"

#include <windows.h>

namespace tarsk {

namespace {

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool endsWithSeparator(const std::string& path) { return !path.empty() && (path.back() == '/' || path.back() == '\\'); }

}  // namespace

bool listFolder(const std::string& path, std::vector<FolderEntry>& entries) {
    entries.clear();
    if (path.empty()) {
        return false;
    }
    std::string pattern = path;
    if (!endsWithSeparator(pattern)) {
        pattern += '\\';
    }
    pattern += '*';
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        // An empty folder still lists "." and ".."; no first entry means no readable folder.
        return false;
    }
    do {
        if (isDotOrDotDot(found.cFileName)) {
            continue;
        }
        // Devices and other special entries do not come out of a folder listing on Windows: every
        // entry is a file or a folder (links to folders carry the directory bit as well).
        uint32_t type = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kFolderEntryFolder : kFolderEntryFile;
        entries.push_back(FolderEntry{found.cFileName, type});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

bool pathExists(const std::string& path) {
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string findProgramOnPath(const char* program) {
    if (program == nullptr || program[0] == '\0') {
        return std::string();
    }
    char found[MAX_PATH];
    DWORD length = SearchPathA(nullptr, program, ".exe", MAX_PATH, found, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        return std::string();
    }
    DWORD attributes = GetFileAttributesA(found);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::string();
    }
    return std::string(found, length);
}

}  // namespace tarsk
