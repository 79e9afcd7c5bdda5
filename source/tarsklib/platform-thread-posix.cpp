// Threads and sleeping on POSIX: pthreads, sched_yield and nanosleep.
#include "platform-thread.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <new>

namespace tarsk {

namespace {

struct ThreadStart {
    ThreadEntry entry;
    void* argument;
};

void* threadMain(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    int code = start.entry(start.argument);
    return reinterpret_cast<void*>(static_cast<intptr_t>(code));
}

}  // namespace

static_assert(sizeof(pthread_t) <= sizeof(uintptr_t), "pthread_t must fit a ThreadHandle");

ThreadHandle startThread(ThreadEntry entry, void* argument) {
    ThreadHandle handle;
    if (entry == nullptr) {
        return handle;
    }
    ThreadStart* start = new (std::nothrow) ThreadStart{entry, argument};
    if (start == nullptr) {
        return handle;
    }
    // The new thread starts with every signal blocked: inside a host process the host's own
    // threads are the ones that should receive them.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pthread_t thread;
    int failed = pthread_create(&thread, nullptr, threadMain, start);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (failed != 0) {
        delete start;
        return handle;
    }
    handle.native = static_cast<uintptr_t>(thread);
    return handle;
}

int joinThread(ThreadHandle& handle) {
    if (!handle.valid()) {
        return 0;
    }
    void* result = nullptr;
    pthread_t thread = static_cast<pthread_t>(handle.native);
    handle.native = 0;
    if (pthread_join(thread, &result) != 0) {
        return 0;
    }
    return static_cast<int>(reinterpret_cast<intptr_t>(result));
}

uint64_t currentThreadId() { return static_cast<uint64_t>(pthread_self()); }

void sleepMs(uint32_t ms) {
    if (ms == 0) {
        sched_yield();
        return;
    }
    timespec wanted{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    timespec left{};
    while (nanosleep(&wanted, &left) != 0 && errno == EINTR) {
        wanted = left;
    }
}

void sleepMicros(uint32_t us) {
    timespec wanted{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000L};
    timespec left{};
    while (nanosleep(&wanted, &left) != 0 && errno == EINTR) {
        wanted = left;
    }
}

}  // namespace tarsk
