// Files and folders on POSIX: opendir/readdir, stat and access, and whole-file replacement by rename.
#include "platform-files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarsk {

namespace {

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

uint32_t typeOf(int folderFd, const dirent* entry) {
    switch (entry->d_type) {
        case DT_REG: return kFolderEntryFile;
        case DT_DIR: return kFolderEntryFolder;
        case DT_LNK:
        case DT_UNKNOWN: break;  // follow the link, or ask the file system
        default: return 0;
    }
    struct stat info;
    if (fstatat(folderFd, entry->d_name, &info, 0) != 0) {
        return 0;
    }
    return S_ISREG(info.st_mode) ? kFolderEntryFile : S_ISDIR(info.st_mode) ? kFolderEntryFolder : 0;
}

}  // namespace

bool listFolder(const std::string& path, std::vector<FolderEntry>& entries) {
    entries.clear();
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr) {
        return false;
    }
    const int folderFd = dirfd(folder);
    while (const dirent* entry = readdir(folder)) {
        if (isDotOrDotDot(entry->d_name)) {
            continue;
        }
        uint32_t type = typeOf(folderFd, entry);
        if (type != 0) {
            entries.push_back(FolderEntry{entry->d_name, type});
        }
    }
    closedir(folder);
    return true;
}

bool pathExists(const std::string& path) {
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

bool replaceFile(const std::string& path, const void* data, size_t size, int& error) {
    error = 0;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) {
        error = EISDIR;
        return false;
    }
    std::string temporary = folder + "/." + base + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = errno;
        return false;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t written = 0;
    while (written < size) {
        ssize_t n = ::write(fd, bytes + written, size - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        written += static_cast<size_t>(n);
    }
    constexpr mode_t kProgramFileMode = 0644;
    if (error == 0 && fchmod(fd, kProgramFileMode) != 0) {
        error = errno;
    }
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string findProgramOnPath(const char* program) {
    const char* searchPath = std::getenv("PATH");
    if (program == nullptr || program[0] == '\0' || searchPath == nullptr) {
        return std::string();
    }
    const char* start = searchPath;
    for (;;) {
        const char* end = std::strchr(start, ':');
        std::string folder(start, end != nullptr ? static_cast<size_t>(end - start) : std::strlen(start));
        if (!folder.empty() && folder[0] == '/') {  // relative entries would depend on the host's folder
            std::string candidate = folder + "/" + program;
            struct stat info;
            if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (end == nullptr) {
            return std::string();
        }
        start = end + 1;
    }
}

}  // namespace tarsk
