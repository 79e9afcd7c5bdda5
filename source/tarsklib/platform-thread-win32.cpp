// Threads and sleeping on Windows: CreateThread, WaitForSingleObject and Sleep.
#include "platform-thread.h"

#include <windows.h>

#include <new>

namespace tarsk {

namespace {

struct ThreadStart {
    ThreadEntry entry;
    void* argument;
};

DWORD WINAPI threadMain(LPVOID raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return static_cast<DWORD>(start.entry(start.argument));
}

}  // namespace

ThreadHandle startThread(ThreadEntry entry, void* argument) {
    ThreadHandle handle;
    if (entry == nullptr) {
        return handle;
    }
    ThreadStart* start = new (std::nothrow) ThreadStart{entry, argument};
    if (start == nullptr) {
        return handle;
    }
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, threadMain, start, 0, &id);
    if (thread == nullptr) {
        delete start;
        return handle;
    }
    handle.native = reinterpret_cast<uintptr_t>(thread);
    return handle;
}

int joinThread(ThreadHandle& handle) {
    if (!handle.valid()) {
        return 0;
    }
    HANDLE thread = reinterpret_cast<HANDLE>(handle.native);
    handle.native = 0;
    DWORD code = 0;
    if (WaitForSingleObject(thread, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeThread(thread, &code)) {
        code = 0;
    }
    CloseHandle(thread);
    return static_cast<int>(code);
}

uint64_t currentThreadId() { return static_cast<uint64_t>(GetCurrentThreadId()); }

void sleepMs(uint32_t ms) { Sleep(ms); }

void sleepMicros(uint32_t us) {
    // Sleep has millisecond steps; anything shorter becomes a yield of the time slice.
    Sleep(us / 1000);
}

}  // namespace tarsk
