// Counts every allocation call of the test binary that includes this header (in exactly one of its
// files) by replacing malloc, free and the C++ allocation operators; not under sanitizers, which
// replace them themselves (TARSK_COUNTS_ALLOCATIONS is then 0). Counting is on while `counting` is set.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARSK_COUNTS_ALLOCATIONS 0
#else
#define TARSK_COUNTS_ALLOCATIONS 1
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocationCalls{0};

}  // namespace

#if TARSK_COUNTS_ALLOCATIONS
namespace {
void countCall() {
    if (counting.load(std::memory_order_relaxed)) {
        allocationCalls.fetch_add(1, std::memory_order_relaxed);
    }
}
}  // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);

void* malloc(size_t size) {
    countCall();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    countCall();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    countCall();
    return __libc_realloc(p, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    countCall();
    return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
    countCall();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    countCall();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) {
        return 12;  // ENOMEM
    }
    *out = p;
    return 0;
}
void free(void* p) {
    countCall();
    __libc_free(p);
}
}

namespace {
void* allocate(size_t size) {
    countCall();
    void* p = __libc_malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void* allocateAligned(size_t size, std::align_val_t alignment) {
    countCall();
    void* p = __libc_memalign(static_cast<size_t>(alignment), size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void release(void* p) {
    countCall();
    __libc_free(p);
}
}  // namespace

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    countCall();
    return __libc_malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    countCall();
    return __libc_malloc(size == 0 ? 1 : size);
}
void* operator new(size_t size, std::align_val_t a) { return allocateAligned(size, a); }
void* operator new[](size_t size, std::align_val_t a) { return allocateAligned(size, a); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { release(p); }
#endif

