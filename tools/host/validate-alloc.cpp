// Heap call counting for the validator: malloc and its relatives defined in the executable take
// precedence over the C library's for the whole process, the plug-in included. Each wrapper bumps a
// counter when its thread is marked, then forwards to glibc's allocator entry points.
#include "host/validate-alloc.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARSK_VALIDATE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TARSK_VALIDATE_SANITIZED 1
#endif
#endif

namespace tarskhost::validate {

#ifdef TARSK_VALIDATE_SANITIZED

bool heapCallsCounted() { return false; }
void watchHeapCalls(bool) {}
HeapCalls watchedHeapCalls() { return {}; }

#else

namespace {
// Initial-exec TLS of the executable: reading it never allocates, so it is safe inside malloc.
thread_local bool insideCallback __attribute__((tls_model("initial-exec"))) = false;
std::atomic<uint64_t> allocationCount{0};
std::atomic<uint64_t> releaseCount{0};
}  // namespace

bool heapCallsCounted() { return true; }
void watchHeapCalls(bool inside) { insideCallback = inside; }
HeapCalls watchedHeapCalls() {
    return {allocationCount.load(std::memory_order_relaxed), releaseCount.load(std::memory_order_relaxed)};
}

inline void noteAllocation() {
    if (insideCallback) {
        allocationCount.fetch_add(1, std::memory_order_relaxed);
    }
}
inline void noteRelease(void* p) {
    if (insideCallback && p != nullptr) {
        releaseCount.fetch_add(1, std::memory_order_relaxed);
    }
}

#endif

}  // namespace tarskhost::validate

#ifndef TARSK_VALIDATE_SANITIZED

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
void __libc_free(void* p);

__attribute__((visibility("default"))) void* malloc(size_t size) {
    tarskhost::validate::noteAllocation();
    return __libc_malloc(size);
}
__attribute__((visibility("default"))) void* calloc(size_t count, size_t size) {
    tarskhost::validate::noteAllocation();
    return __libc_calloc(count, size);
}
__attribute__((visibility("default"))) void* realloc(void* p, size_t size) {
    tarskhost::validate::noteAllocation();
    return __libc_realloc(p, size);
}
__attribute__((visibility("default"))) void free(void* p) {
    tarskhost::validate::noteRelease(p);
    __libc_free(p);
}
__attribute__((visibility("default"))) void* memalign(size_t alignment, size_t size) {
    tarskhost::validate::noteAllocation();
    return __libc_memalign(alignment, size);
}
__attribute__((visibility("default"))) void* aligned_alloc(size_t alignment, size_t size) {
    tarskhost::validate::noteAllocation();
    return __libc_memalign(alignment, size);
}
__attribute__((visibility("default"))) void* valloc(size_t size) {
    tarskhost::validate::noteAllocation();
    return __libc_valloc(size);
}
__attribute__((visibility("default"))) void* pvalloc(size_t size) {
    tarskhost::validate::noteAllocation();
    return __libc_pvalloc(size);
}
__attribute__((visibility("default"))) int posix_memalign(void** out, size_t alignment, size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    tarskhost::validate::noteAllocation();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr && size != 0) {
        return ENOMEM;
    }
    *out = p;
    return 0;
}
}

#endif
