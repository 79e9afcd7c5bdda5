// Resources on Linux: lookup in the table of byte arrays that the build embeds into the library.
#include "resource.h"

#include <cstring>

#include "resource-table.h"

namespace tarsk {

namespace {

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares a terminated text with the first `length` characters of another, without regard to
// ASCII case (and without the locale, which belongs to the host).
bool sameIgnoringCase(const char* text, const char* other, size_t length) {
    for (size_t i = 0; i < length; ++i, ++text) {
        if (*text == '\0' || asciiUpper(*text) != asciiUpper(other[i])) {
            return false;
        }
    }
    return *text == '\0';
}

bool lookUp(const char* type, size_t typeLength, const char* name, size_t nameLength, ResourceBytes& out) {
    for (size_t i = 0; i < kEmbeddedResourceCount; ++i) {
        const EmbeddedResource& resource = kEmbeddedResources[i];
        if (sameIgnoringCase(resource.type, type, typeLength) && sameIgnoringCase(resource.name, name, nameLength)) {
            out.data = resource.data;
            out.size = resource.size;
            return true;
        }
    }
    return false;
}

}  // namespace

bool findResource(const char* type, const char* name, ResourceBytes& out) {
    if (type == nullptr || name == nullptr) {
        return false;
    }
    return lookUp(type, std::strlen(type), name, std::strlen(name), out);
}

}  // namespace tarsk
