// Loading a plug-in library and finding its symbols: dlopen on Linux, LoadLibraryA on Windows.
#pragma once

#include <string>

namespace tarskhost {

// Loads the library file; answers its handle, or null with the system's reason in error.
void* openPluginLibrary(const std::string& path, std::string& error);
// The address of an exported symbol, or null.
void* findPluginSymbol(void* library, const char* name);
void closePluginLibrary(void* library);

}  // namespace tarskhost
