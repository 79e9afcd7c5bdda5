// Plug-in libraries on Windows: LoadLibraryExA with the DLL's own folder searched for what it needs,
// GetProcAddress and FreeLibrary.
#include "host/plugin-library.h"

#include <windows.h>

#include <string>

namespace tarskhost {

namespace {

std::string lastErrorText(DWORD code) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string reason = length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason;
}

}  // namespace

void* openPluginLibrary(const std::string& path, std::string& error) {
    // A bare file name would make Windows search its DLL path; the file meant is the one given.
    std::string file = path.find_first_of("/\\") == std::string::npos ? ".\\" + path : path;
    HMODULE library = LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        error = lastErrorText(GetLastError());
    }
    return reinterpret_cast<void*>(library);
}

void* findPluginSymbol(void* library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closePluginLibrary(void* library) {
    if (library != nullptr) {
        FreeLibrary(static_cast<HMODULE>(library));
    }
}

}  // namespace tarskhost
