// Counting the heap calls a thread makes while it is marked as being inside the audio callback.
// tarskverb-host replaces malloc and its relatives with thin wrappers over the C library's own
// allocator; builds with AddressSanitizer or ThreadSanitizer keep the sanitizer's allocator instead
// and cannot count.
#pragma once

#include <cstdint>

namespace tarskhost::validate {

struct HeapCalls {
    uint64_t allocations = 0;  // malloc, calloc, realloc, the aligned forms (and new, which uses them)
    uint64_t releases = 0;     // free (and delete)
};

// Whether this build counts heap calls at all.
bool heapCallsCounted();
// Marks the calling thread as inside (true) or outside (false) the audio callback.
void watchHeapCalls(bool inside);
// The calls made so far, in all threads, while marked inside.
HeapCalls watchedHeapCalls();

}  // namespace tarskhost::validate
