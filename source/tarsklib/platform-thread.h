// Threads and sleeping: the platform's thread service behind a plain interface.
#pragma once

#include <cstdint>

namespace tarsk {

using ThreadEntry = int (*)(void* argument);

struct ThreadHandle {
    uintptr_t native = 0;  // 0 when no thread
    bool valid() const { return native != 0; }
};

// Starts a thread that runs entry(argument); answers an invalid handle when the thread cannot start.
ThreadHandle startThread(ThreadEntry entry, void* argument);
// Waits for the thread to end and answers its exit code; the handle is released.
int joinThread(ThreadHandle& handle);
// A number that identifies the calling thread.
uint64_t currentThreadId();

// Sleeps for ms milliseconds; sleep(0) gives up the rest of the time slice.
void sleepMs(uint32_t ms);
// Sleeps for about us microseconds (at least one scheduler wake-up).
void sleepMicros(uint32_t us);

}  // namespace tarsk
