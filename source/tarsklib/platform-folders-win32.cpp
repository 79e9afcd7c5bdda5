// Per-user folders on Windows: the roaming application-data folder (CSIDL_APPDATA), and creating
// folders with their parents.
#include "platform-folders.h"

#include <windows.h>
#include <shlobj.h>

namespace tarsk {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool isFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where the first folder that may have to be made begins: after a drive ("C:\"), after the share of
// a network path ("\\server\share\"), else after a leading separator.
size_t firstMadeFolder(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') {
        return path.size() > 2 && isSeparator(path[2]) ? 3 : 2;
    }
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        size_t separators = 0;
        for (size_t i = 2; i < path.size(); ++i) {
            if (isSeparator(path[i]) && ++separators == 2) {
                return i + 1;
            }
        }
        return path.size();
    }
    return !path.empty() && isSeparator(path[0]) ? 1 : 0;
}

}  // namespace

std::string applicationDataFolder() {
    char folder[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
        return std::string();
    }
    return folder;
}

// Settings live in the registry on Windows; the configuration folder is the application-data folder.
std::string configurationFolder() { return applicationDataFolder(); }

bool createFolders(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    for (size_t i = firstMadeFolder(path); i < path.size(); ++i) {
        if (isSeparator(path[i]) && i > 0 && !isSeparator(path[i - 1])) {
            std::string prefix = path.substr(0, i);
            if (!CreateDirectoryA(prefix.c_str(), nullptr) && !isFolder(prefix)) {
                return false;
            }
        }
    }
    return CreateDirectoryA(path.c_str(), nullptr) || isFolder(path);
}

}  // namespace tarsk
