// Showing a folder on Windows: the shell's "open" verb on the folder, which starts Explorer there.
#include "platform-shell.h"

#include <windows.h>
#include <shellapi.h>

namespace tarsk {

namespace {

// ShellExecuteA answers a number above 32 on success.
constexpr INT_PTR kShellExecuteFirstSuccess = 33;

}  // namespace

bool openInFileBrowser(const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    HINSTANCE result = ShellExecuteA(nullptr, "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) >= kShellExecuteFirstSuccess;
}

}  // namespace tarsk
