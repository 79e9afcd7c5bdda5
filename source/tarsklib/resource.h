// Resources carried inside the library, opened by file name: type = extension, name = base name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "stream.h"

namespace tarsk {

struct ResourceBytes {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Looks a resource up by type and name, both compared without regard to case.
// Answers false when the library carries no such resource.
bool findResource(const char* type, const char* name, ResourceBytes& out);

// Opens "Base Name.ext" as a read-only memory stream over the resource bytes, or answers null.
std::unique_ptr<MemoryStream> openResource(const char* fileName);

}  // namespace tarsk
