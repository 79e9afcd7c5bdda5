// Plug-in libraries on Linux: dlopen with every symbol resolved at once and kept local to the library.
#include "host/plugin-library.h"

#include <dlfcn.h>

namespace tarskhost {

void* openPluginLibrary(const std::string& path, std::string& error) {
    // A path without a slash would make dlopen search the library path instead of the file.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : "unknown error";
    }
    return library;
}

void* findPluginSymbol(void* library, const char* name) { return library != nullptr ? dlsym(library, name) : nullptr; }

void closePluginLibrary(void* library) {
    if (library != nullptr) {
        dlclose(library);
    }
}

}  // namespace tarskhost
