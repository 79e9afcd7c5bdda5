// The code points that the editor's 277 named character references resolve to.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk::fontmaps {

extern const uint32_t kReferenceCodePoints[];
extern const size_t kReferenceCodePointCount;

}  // namespace tarsk::fontmaps
