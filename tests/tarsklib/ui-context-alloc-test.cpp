// A steady frame of the widget gallery allocates nothing after its first: the context, the draw list and
// the paragraph scratch keep their storage. This binary counts every allocation call by replacing malloc,
// free and the C++ allocation operators (not under sanitizers, which replace them themselves).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "tarsklib/ui-gallery.h"
#include "tarsklib/ui-test-support.h"

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

namespace tarsk {
namespace {

// Drives the gallery with the mouse over its widgets, a drag on a fader, the wheel and typing into the
// focused text area, so that every widget runs its active paths.
void scriptedFrame(test::UiHarness& h, GalleryState& state, int frame) {
    const UiFontmap* fonts[3] = {&h.font, &h.font, &h.font};
    const float x = 300.0f + static_cast<float>((frame * 37) % 300);
    const float y = 40.0f + static_cast<float>((frame * 53) % 500);
    h.move(x, y);
    if (frame % 9 == 0) h.ui.wheel(0, (frame % 2) != 0 ? 1.0f : -1.0f);
    h.ui.leftButton(frame % 4 == 1 || frame % 4 == 2, x, y);
    if (h.ui.wantsFocus()) {
        h.ui.key(true, kKeyCharacter | static_cast<uint32_t>('a' + frame % 26));
        h.ui.key(true, kKeyLeft);
    }
    h.ui.beginFrame();
    drawWidgetGallery(h.ui, state, fonts, 3, 7, 800.0f, 600.0f);
    h.ui.endFrame();
}

TEST(UiAllocation, SteadyGalleryFramesAllocateNothing) {
#if !TARSK_COUNTS_ALLOCATIONS
    GTEST_SKIP() << "allocations are not counted under sanitizers";
#endif
    test::UiHarness h;
    h.renderer.keep = false;  // count batches only
    GalleryState state;
    // Give the text area the focus: a click in it.
    const UiRect area = galleryTextAreaRect(800.0f, 600.0f);
    h.press(area.cx, area.cy);
    h.ui.beginFrame();
    const UiFontmap* fonts[3] = {&h.font, &h.font, &h.font};
    drawWidgetGallery(h.ui, state, fonts, 3, 7, 800.0f, 600.0f);
    h.ui.endFrame();
    h.release(area.cx, area.cy);
    ASSERT_TRUE(h.ui.wantsFocus());
    const std::string before = state.text;
    for (int frame = 0; frame < 200; ++frame) scriptedFrame(h, state, frame);
    ASSERT_GT(h.renderer.batchCount, 0);
    counting = true;
    for (int frame = 200; frame < 600; ++frame) scriptedFrame(h, state, frame);
    counting = false;
    EXPECT_EQ(allocationCalls.load(), 0);
    EXPECT_NE(before, state.text);  // the typing reached the text area
}

}  // namespace
}  // namespace tarsk
