// Tests of Stopwatch with an injected counter: unit conversion, restart, large spans and no counter.
#include "tarsklib/stopwatch.h"

#include <gtest/gtest.h>

#include "tarsklib/platform-thread.h"

namespace tarsk {
namespace {

uint64_t fakeCount = 0;
uint64_t fakeCounter() { return fakeCount; }

constexpr uint64_t kNanosecondCounter = 1000000000ull;

TEST(Stopwatch, OneAndAHalfSecondsInEveryUnit) {
    fakeCount = 123456789;
    Stopwatch seconds(kStopwatchSeconds, fakeCounter, kNanosecondCounter);
    Stopwatch milliseconds(kStopwatchMilliseconds, fakeCounter, kNanosecondCounter);
    Stopwatch microseconds(kStopwatchMicroseconds, fakeCounter, kNanosecondCounter);
    Stopwatch nanoseconds(kStopwatchNanoseconds, fakeCounter, kNanosecondCounter);
    EXPECT_EQ(milliseconds.elapsed(), 0u);

    fakeCount += 1500000000ull;
    EXPECT_EQ(seconds.elapsed(), 1u);
    EXPECT_EQ(milliseconds.elapsed(), 1500u);
    EXPECT_EQ(microseconds.elapsed(), 1500000u);
    EXPECT_EQ(nanoseconds.elapsed(), 1500000000u);

    // A counter of another frequency (the old 3.579545 MHz timer chip): 1.5 s is 5,369,318 counts.
    fakeCount = 0;
    Stopwatch slow(kStopwatchMilliseconds, fakeCounter, 3579545);
    fakeCount = 5369318;
    EXPECT_EQ(slow.elapsed(), 1500u);
}

TEST(Stopwatch, RestartAndLongSpans) {
    fakeCount = 1000;
    Stopwatch watch(kStopwatchMilliseconds, fakeCounter, kNanosecondCounter);
    fakeCount += 250000000ull;
    EXPECT_EQ(watch.elapsed(), 250u);
    watch.restart();
    EXPECT_EQ(watch.elapsed(), 0u);
    fakeCount += 999999ull;  // just under a millisecond
    EXPECT_EQ(watch.elapsed(), 0u);
    fakeCount += 1;
    EXPECT_EQ(watch.elapsed(), 1u);

    // A day of nanoseconds times the multiplier needs more than 64 bits before the shift.
    constexpr uint64_t kDayNs = 86400ull * kNanosecondCounter;
    fakeCount = 0;
    Stopwatch ns(kStopwatchNanoseconds, fakeCounter, kNanosecondCounter);
    Stopwatch s(kStopwatchSeconds, fakeCounter, kNanosecondCounter);
    fakeCount = kDayNs;
    EXPECT_EQ(ns.elapsed(), kDayNs);
    EXPECT_EQ(s.elapsed(), 86400u);

    // The counter wrapping round between restart and reading.
    fakeCount = ~0ull - 499999ull;
    Stopwatch wrapped(kStopwatchMicroseconds, fakeCounter, kNanosecondCounter);
    fakeCount = 500000ull;
    EXPECT_EQ(wrapped.elapsed(), 1000u);
}

TEST(Stopwatch, StaysZeroWithoutACounter) {
    fakeCount = 0;
    Stopwatch none(kStopwatchMilliseconds, fakeCounter, 0);
    Stopwatch badUnit(4, fakeCounter, kNanosecondCounter);
    Stopwatch noSource(kStopwatchMilliseconds, nullptr, kNanosecondCounter);
    fakeCount = 5 * kNanosecondCounter;
    EXPECT_EQ(none.elapsed(), 0u);
    EXPECT_EQ(badUnit.elapsed(), 0u);
    EXPECT_EQ(noSource.elapsed(), 0u);
}

TEST(Stopwatch, TheRealCounterMovesForward) {
    Stopwatch watch(kStopwatchNanoseconds);
    uint64_t before = watch.elapsed();
    sleepMs(2);
    EXPECT_GT(watch.elapsed(), before);
}

}  // namespace
}  // namespace tarsk
