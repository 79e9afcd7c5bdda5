// SpinLock: a counting lock word (1 = free, 0 = taken) acquired with compare-and-swap;
// LockGuard: holds it, optionally giving up after a number of tries.
#pragma once

#include <atomic>
#include <cstdint>

namespace tarsk {

struct SpinLock {
    std::atomic<int32_t> word{1};
};

class LockGuard {
public:
    LockGuard() = default;
    explicit LockGuard(SpinLock& lock) : lockWord(&lock) {}
    // Acquires at once, without a try limit.
    static LockGuard locked(SpinLock& lock) {
        LockGuard guard(lock);
        guard.acquire(0);
        return guard;
    }
    LockGuard(LockGuard&& other) noexcept : lockWord(other.lockWord), held(other.held) { other.held = 0; }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    ~LockGuard() { release(); }

    void attach(SpinLock& lock) { lockWord = &lock; }

    // Tries up to `tries` times, yielding between failed tries; tries = 0 waits for ever
    // (yielding every 16,383 failed tries). Answers whether the lock is held afterwards.
    bool acquire(uint32_t tries);
    // For threads that may sleep: spins `spins` tries (yielding between them), then sleeps in short
    // steps until the lock is free or `budgetMicros` microseconds have passed since the call.
    // Meant for waiting out another thread's bounded hold, such as one audio block.
    bool acquireWithin(uint32_t spins, uint32_t budgetMicros);
    void release();
    bool holds() const { return held != 0; }

private:
    SpinLock* lockWord = nullptr;
    uint32_t held = 0;
};

}  // namespace tarsk
