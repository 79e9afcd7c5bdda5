// Resources on Windows: the library's own resource section (compiled from a resource script by the
// build), read with FindResourceA, LoadResource, LockResource and SizeofResource.
#include "resource.h"

#include <windows.h>

namespace tarsk {

namespace {

// The module that holds this code: the plug-in DLL inside a host, the executable in tests.
HMODULE ownModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&ownModule), &module)) {
        return nullptr;
    }
    return module;
}

}  // namespace

bool findResource(const char* type, const char* name, ResourceBytes& out) {
    if (type == nullptr || name == nullptr || type[0] == '\0' || name[0] == '\0') {
        return false;
    }
    HMODULE module = ownModule();
    // Resource names and types compare without regard to case (the resource compiler stores them in
    // upper case, and FindResourceA upper-cases what it is asked for).
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        return false;
    }
    out.data = static_cast<const uint8_t*>(data);
    out.size = SizeofResource(module, found);
    return true;
}

}  // namespace tarsk
