// Page-aligned blocks from VirtualAlloc (committed pages arrive zeroed).
#include "platform-memory.h"

#include <windows.h>

namespace tarsk {

void* allocatePages(size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE); }

void releasePages(void* block, size_t bytes) {
    if (block != nullptr) {
        // Decommit first, then release the whole reservation (MEM_RELEASE takes a size of 0).
        VirtualFree(block, bytes, MEM_DECOMMIT);
        VirtualFree(block, 0, MEM_RELEASE);
    }
}

}  // namespace tarsk
