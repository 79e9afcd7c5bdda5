// Page-aligned memory blocks obtained from the operating system.
#pragma once

#include <cstddef>

namespace tarsk {

// Answers a zeroed, page-aligned block of the given size, or null.
void* allocatePages(size_t bytes);
void releasePages(void* block, size_t bytes);

}  // namespace tarsk
