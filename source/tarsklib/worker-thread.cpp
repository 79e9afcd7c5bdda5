// WorkerThread: starting, observing and joining the thread under the object's lock.
#include "worker-thread.h"

namespace tarsk {

WorkerThread::~WorkerThread() { join(); }

int WorkerThread::trampoline(void* self) {
    WorkerThread* worker = static_cast<WorkerThread*>(self);
    worker->startedId.store(currentThreadId(), std::memory_order_release);
    int code = worker->run();
    worker->finished.store(true, std::memory_order_release);
    return code;
}

bool WorkerThread::start() {
    LockGuard guard = LockGuard::locked(lock);
    if (joinPending) {
        return false;
    }
    if (handle.valid()) {
        if (!finished.load(std::memory_order_acquire)) {
            return false;
        }
        joinThread(handle);  // the body has returned, so this does not wait long
        id = 0;
    }
    prepare();
    finished.store(false, std::memory_order_relaxed);
    startedId.store(0, std::memory_order_relaxed);
    handle = startThread(&WorkerThread::trampoline, this);
    if (!handle.valid()) {
        return false;
    }
    // The new thread announces its id before it runs the body; wait for it so that threadId()
    // answers it as soon as start() returns.
    while ((id = startedId.load(std::memory_order_acquire)) == 0) {
        sleepMs(0);
    }
    return true;
}

bool WorkerThread::isRunning() {
    LockGuard guard = LockGuard::locked(lock);
    return handle.valid() && !finished.load(std::memory_order_acquire);
}

uint64_t WorkerThread::threadId() {
    LockGuard guard = LockGuard::locked(lock);
    return id;
}

int WorkerThread::join() {
    ThreadHandle joining;
    {
        LockGuard guard = LockGuard::locked(lock);
        if (!handle.valid() || joinPending || id == currentThreadId()) {
            return 0;  // no thread, somebody else waits for it, or the body would wait for itself
        }
        joining = handle;
        joinPending = true;
    }
    // Wait outside the lock: the body may still call isRunning() or threadId() until it returns.
    int code = joinThread(joining);
    LockGuard guard = LockGuard::locked(lock);
    handle = ThreadHandle();
    id = 0;
    joinPending = false;
    return code;
}

}  // namespace tarsk
