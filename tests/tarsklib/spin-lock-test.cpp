// Tests of SpinLock and LockGuard: limited tries, counting, release and hand-over between threads.
#include "tarsklib/spin-lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tarsk {
namespace {

TEST(SpinLock, LimitedTriesFailWhileHeld) {
    SpinLock lock;
    LockGuard first(lock);
    ASSERT_TRUE(first.acquire(1));
    EXPECT_TRUE(first.holds());
    EXPECT_EQ(lock.word.load(), 0);

    LockGuard second(lock);
    EXPECT_FALSE(second.acquire(200));
    EXPECT_FALSE(second.holds());
    EXPECT_EQ(lock.word.load(), 0);

    first.release();
    EXPECT_FALSE(first.holds());
    EXPECT_EQ(lock.word.load(), 1);
    EXPECT_TRUE(second.acquire(1));
    second.release();
    first.release();  // releasing twice gives back nothing more
    EXPECT_EQ(lock.word.load(), 1);

    LockGuard unattached;
    EXPECT_FALSE(unattached.acquire(1));
}

TEST(SpinLock, CountsAcquisitionsAndReleasesThemTogether) {
    SpinLock lock;
    lock.word.store(3);  // a lock word may admit several holders
    {
        LockGuard guard(lock);
        EXPECT_TRUE(guard.acquire(1));
        EXPECT_TRUE(guard.acquire(1));
        EXPECT_EQ(lock.word.load(), 1);
        LockGuard other(lock);
        EXPECT_TRUE(other.acquire(1));
        EXPECT_FALSE(other.acquire(10));
        EXPECT_EQ(lock.word.load(), 0);
        LockGuard moved(std::move(guard));
        EXPECT_FALSE(guard.holds());
        EXPECT_TRUE(moved.holds());
        moved.release();
        EXPECT_EQ(lock.word.load(), 2);
    }  // the destructor releases what `other` still holds
    EXPECT_EQ(lock.word.load(), 3);
}

TEST(SpinLock, AnotherThreadWaitsUntilRelease) {
    SpinLock lock;
    LockGuard mine = LockGuard::locked(lock);
    ASSERT_TRUE(mine.holds());
    std::atomic<int> stage{0};
    std::atomic<bool> refused{false};
    std::atomic<bool> acquiredLater{false};
    std::thread other([&] {
        LockGuard guard(lock);
        refused.store(!guard.acquire(50));  // the main thread holds it
        guard.release();
        stage.store(1);
        while (stage.load() != 2) {
            std::this_thread::yield();
        }
        acquiredLater.store(guard.acquire(0));
    });
    while (stage.load() != 1) {
        std::this_thread::yield();
    }
    mine.release();
    stage.store(2);
    other.join();
    EXPECT_TRUE(refused.load());
    EXPECT_TRUE(acquiredLater.load());
    EXPECT_EQ(lock.word.load(), 1);
}

TEST(SpinLock, BoundedWaitOutlastsAShortHoldAndGivesUpOnALongOne) {
    SpinLock lock;
    LockGuard holder(lock);
    ASSERT_TRUE(holder.acquire(1));
    std::atomic<bool> released{false};
    std::thread brief([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        released = true;
        holder.release();
    });
    // Far more than 200 yielding tries would take, far less than the budget.
    LockGuard waiter(lock);
    EXPECT_TRUE(waiter.acquireWithin(200, 2000000));
    EXPECT_TRUE(released.load());
    brief.join();
    EXPECT_EQ(lock.word.load(), 0);

    // Held for good: the wait ends after its budget with the lock untouched.
    LockGuard late(lock);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(late.acquireWithin(10, 20000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    EXPECT_FALSE(late.holds());
    waiter.release();
    EXPECT_EQ(lock.word.load(), 1);
}

}  // namespace
}  // namespace tarsk
