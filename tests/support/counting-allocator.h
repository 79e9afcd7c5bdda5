// The allocation counter of tests/support/counting-allocator.cpp: while `counting` is set, every
// allocation or release call of the process adds one to `allocationCalls`.
#pragma once

#include <atomic>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARSK_COUNTS_ALLOCATIONS 0
#else
#define TARSK_COUNTS_ALLOCATIONS 1
#endif

namespace tarsktest {

extern std::atomic<bool> counting;
extern std::atomic<long> allocationCalls;

}  // namespace tarsktest
