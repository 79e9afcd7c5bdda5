// The table of resources that the build embeds into the library (generated from resources/).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk {

struct EmbeddedResource {
    const char* type;  // extension, upper case
    const char* name;  // base name, upper case
    const uint8_t* data;
    size_t size;
};

extern const EmbeddedResource kEmbeddedResources[];
extern const size_t kEmbeddedResourceCount;

}  // namespace tarsk
