// WorkerThread: an object that runs its body on a thread of its own, started and joined on request.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform-thread.h"
#include "spin-lock.h"

namespace tarsk {

// Subclasses implement run(). The destructor joins a thread that still runs, but by then the
// subclass's members are already gone: a subclass whose run() uses its members must make run()
// return and call join() in its own destructor.
// (Suspending, resuming and killing a thread from outside have no safe POSIX equivalent and are left out.)
class WorkerThread {
public:
    WorkerThread() = default;
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the thread when none runs: prepare() under the lock, then the thread, which calls run().
    // A thread that has finished but was not joined yet is joined first. Answers whether a thread started.
    bool start();
    // True from a successful start() until run() has returned.
    bool isRunning();
    // The id of the thread (as currentThreadId() answers on it), 0 when there is none.
    uint64_t threadId();
    // Waits for the thread to end, answers run()'s exit code (0 without a thread) and forgets the thread.
    int join();

protected:
    // The thread body, run on the new thread; its result is the exit code.
    virtual int run() = 0;
    // Called under the lock just before the thread is created.
    virtual void prepare() {}

private:
    static int trampoline(void* self);

    SpinLock lock;  // guards handle, id and joinPending
    ThreadHandle handle;
    uint64_t id = 0;
    bool joinPending = false;  // a join() is waiting for the thread
    std::atomic<uint64_t> startedId{0};  // written by the new thread before it runs the body
    std::atomic<bool> finished{false};
};

}  // namespace tarsk
