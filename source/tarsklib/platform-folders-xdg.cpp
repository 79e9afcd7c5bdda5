// Per-user folders after the XDG base directory rules, and creating folders with their parents.
#include "platform-folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace tarsk {

namespace {

constexpr mode_t kFolderMode = 0755;
constexpr size_t kFallbackPasswdBuffer = 16384;

bool isAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

// The user's home: $HOME, else the password database's entry for this user.
std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (isAbsolute(home)) {
        return home;
    }
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : kFallbackPasswdBuffer);
    passwd entry;
    passwd* found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < kFallbackPasswdBuffer * 64) {
        buffer.resize(buffer.size() * 2);
    }
    if (found != nullptr && isAbsolute(found->pw_dir)) {
        return found->pw_dir;
    }
    return std::string();
}

// The folder named by an XDG variable when it holds an absolute path, else home + fallback.
std::string xdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (isAbsolute(value)) {
        return value;
    }
    std::string home = homeFolder();
    if (home.empty()) {
        return home;
    }
    if (home.back() != '/') {
        home += '/';
    }
    return home + fallback;
}

bool isFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string applicationDataFolder() { return xdgFolder("XDG_DATA_HOME", ".local/share"); }

std::string configurationFolder() { return xdgFolder("XDG_CONFIG_HOME", ".config"); }

bool createFolders(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    // Make every prefix that ends before a '/', then the whole path.
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), kFolderMode) != 0 && !isFolder(prefix)) {
            return false;
        }
    }
    return mkdir(path.c_str(), kFolderMode) == 0 || isFolder(path);
}

}  // namespace tarsk
