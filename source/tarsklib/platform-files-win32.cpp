// Files and folders on Windows: FindFirstFileA/FindNextFileA, GetFileAttributesA and SearchPathA.
#include "platform-files.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace tarsk {

namespace {

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool endsWithSeparator(const std::string& path) { return !path.empty() && (path.back() == '/' || path.back() == '\\'); }

// The errno value that callers of replaceFile expect for a Windows error code.
int errnoOf(DWORD code) {
    switch (code) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_SHARING_VIOLATION:
            return EACCES;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        default:
            return EIO;
    }
}

}  // namespace

bool replaceFile(const std::string& path, const void* data, size_t size, int& error) {
    error = 0;
    const size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) {
        error = EISDIR;
        return false;
    }
    // A hidden temporary file beside the target, named after the process and the clock; a name that
    // exists already is tried again with the next number.
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    constexpr int kNameTries = 16;
    for (int attempt = 0; attempt < kNameTries && file == INVALID_HANDLE_VALUE; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof(suffix), ".%lx.%lx.%d", static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<unsigned long>(GetTickCount()), attempt);
        temporary = folder + "\\." + base + suffix;
        file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = errnoOf(GetLastError());
        return false;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t written = 0;
    while (written < size) {
        const DWORD chunk = static_cast<DWORD>(size - written < 0x40000000u ? size - written : 0x40000000u);
        DWORD done = 0;
        if (!WriteFile(file, bytes + written, chunk, &done, nullptr) || done == 0) {
            error = done == 0 && GetLastError() == ERROR_SUCCESS ? ENOSPC : errnoOf(GetLastError());
            break;
        }
        written += done;
    }
    if (error == 0 && !FlushFileBuffers(file)) {
        error = errnoOf(GetLastError());
    }
    if (!CloseHandle(file) && error == 0) {
        error = errnoOf(GetLastError());
    }
    if (error == 0) {
        // The program file itself is not hidden.
        SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            error = errnoOf(GetLastError());
        }
    }
    if (error != 0) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

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
