// SpinLock acquisition and release.
#include "spin-lock.h"

#include "platform-thread.h"

namespace tarsk {

namespace {
constexpr uint32_t kSpinsBeforeYield = 0x3FFF;
}

bool LockGuard::acquire(uint32_t tries) {
    if (lockWord == nullptr) {
        return false;
    }
    uint32_t failed = 0;
    for (;;) {
        int32_t value = lockWord->word.load(std::memory_order_relaxed);
        if (value > 0 && lockWord->word.compare_exchange_weak(value, value - 1, std::memory_order_acquire,
                                                              std::memory_order_relaxed)) {
            ++held;
            return true;
        }
        ++failed;
        if (tries != 0) {
            if (failed >= tries) {
                return false;
            }
            sleepMs(0);
        } else if (failed % kSpinsBeforeYield == 0) {
            sleepMs(0);
        }
    }
}

void LockGuard::release() {
    if (lockWord != nullptr && held != 0) {
        lockWord->word.fetch_add(static_cast<int32_t>(held), std::memory_order_release);
        held = 0;
    }
}

}  // namespace tarsk
