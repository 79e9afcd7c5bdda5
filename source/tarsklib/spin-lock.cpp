// SpinLock acquisition and release.
#include "spin-lock.h"

#include "platform-clock.h"
#include "platform-thread.h"

namespace tarsk {

namespace {
constexpr uint32_t kSpinsBeforeYield = 0x3FFF;
constexpr uint32_t kSleepStepMicros = 100;  // short enough to catch the gap between two audio blocks
constexpr uint64_t kMicrosPerSecond = 1000000;
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

bool LockGuard::acquireWithin(uint32_t spins, uint32_t budgetMicros) {
    if (lockWord == nullptr) {
        return false;
    }
    const uint64_t frequency = counterFrequency();
    const uint64_t start = counterNow();
    const uint64_t budget = frequency == 0 ? 0 : budgetMicros * frequency / kMicrosPerSecond;
    auto expired = [&] { return counterNow() - start >= budget; };
    // Brief spinning first: most holds (a record copy, a short audio block) end within it.
    for (uint32_t i = 0; i < spins || i == 0; ++i) {
        if (acquire(1)) {
            return true;
        }
        if (expired()) {
            return false;
        }
        sleepMs(0);
    }
    for (;;) {
        sleepMicros(kSleepStepMicros);
        if (acquire(1)) {
            return true;
        }
        if (expired()) {
            return false;
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
