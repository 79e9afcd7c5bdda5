// Resources carried inside the library, opened as streams by file name. The lookup itself is the
// platform's (resource-embedded on Linux, resource-win32 on Windows).
#include "resource.h"

#include <cstring>
#include <new>

namespace tarsk {

namespace {

constexpr size_t kMaxResourceName = 256;

}  // namespace

std::unique_ptr<MemoryStream> openResource(const char* fileName) {
    if (fileName == nullptr) {
        return nullptr;
    }
    const char* dot = std::strrchr(fileName, '.');
    if (dot == nullptr) {
        return nullptr;
    }
    // The base name, copied out without allocating (resource names are short).
    char name[kMaxResourceName];
    const size_t nameLength = static_cast<size_t>(dot - fileName);
    if (nameLength >= sizeof(name)) {
        return nullptr;
    }
    std::memcpy(name, fileName, nameLength);
    name[nameLength] = '\0';
    ResourceBytes bytes;
    if (!findResource(dot + 1, name, bytes)) {
        return nullptr;
    }
    std::unique_ptr<MemoryStream> stream(new (std::nothrow) MemoryStream(bytes.data, bytes.size));
    if (stream != nullptr) {
        stream->setReadOnly(true);
    }
    return stream;
}

}  // namespace tarsk
