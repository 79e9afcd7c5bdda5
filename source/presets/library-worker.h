// LibraryWorker: the one background thread of the program library. It takes commands through a
// message pipe: scan a program folder into a program list, load a program file into an effect's slot.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "presets/program-file-system.h"
#include "presets/program-list.h"
#include "tarsklib/message-pipe.h"
#include "tarsklib/spin-lock.h"
#include "tarsklib/worker-thread.h"

namespace tarsk {

// What a load command hands its program to: the effect object. The presets code does not depend on
// the plug-in; EffectProgramSink adapts any effect with these two operations.
class ProgramSink {
public:
    virtual ~ProgramSink() = default;
    // Queues a program chunk for a slot; never waits. Answers false when it was not queued.
    virtual bool postSetChunk(const void* data, size_t size, int32_t slot) = 0;
    // Tells the host that the program names changed.
    virtual void updateDisplay() = 0;
};

template <typename Effect>
class EffectProgramSink final : public ProgramSink {
public:
    explicit EffectProgramSink(Effect& effect) : target(effect) {}
    bool postSetChunk(const void* data, size_t size, int32_t slot) override {
        return target.postSetChunk(data, size, slot);
    }
    void updateDisplay() override { target.updateDisplay(); }

private:
    Effect& target;
};

namespace libraryCommand {
constexpr uint32_t kStop = 0;
constexpr uint32_t kScan = 1;  // folder path, list pointer
constexpr uint32_t kLoad = 2;  // file path, sink pointer, slot (u32)
}  // namespace libraryCommand

constexpr size_t kLibraryPipeBytes = 4096;
constexpr size_t kCommandPathBytes = 256;  // NUL-padded, at most 255 characters
constexpr uint32_t kWorkerPollMs = 10;

// True for the names the scan lists as programs: not starting with '.', the last '.' exactly the
// fourth character from the end, and the extension "fxp" in lower case.
bool isProgramFileName(const char* name);

// The scan itself, on the calling thread: clears the list, then adds every first-level folder of the
// folder (not starting with '.') as a category and the program files directly inside it as its
// entries. With a flag, the scan ends early once the flag is set.
void scanProgramFolder(ProgramFileSystem& files, const char* folder, ProgramList& list,
                       const std::atomic<bool>* abandon = nullptr);

// The editors that share the library: the first to join starts it, the last to leave stops it. The
// count and the start or stop change together under one lock, so that an editor opening while the
// last one closes finds the library either running or stopped, never half stopped.
class LibraryUsers {
public:
    // Counts one more user; for the first, runs start. Answers whether start ran.
    template <typename Start>
    bool join(Start start) {
        std::lock_guard<std::mutex> guard(lock);
        if (users++ != 0) {
            return false;
        }
        start();
        return true;
    }
    // Counts one user less; for the last, runs stop. Answers whether stop ran.
    template <typename Stop>
    bool leave(Stop stop) {
        std::lock_guard<std::mutex> guard(lock);
        if (users == 0 || --users != 0) {
            return false;
        }
        stop();
        return true;
    }
    int32_t count() {
        std::lock_guard<std::mutex> guard(lock);
        return users;
    }

private:
    std::mutex lock;
    int32_t users = 0;
};

class LibraryWorker final : public WorkerThread {
public:
    explicit LibraryWorker(ProgramFileSystem& files);
    // Stops and joins the thread.
    ~LibraryWorker() override;

    // start() (from WorkerThread) answers true only for the call that started the thread.

    // Queue a command; they never wait (a full pipe drops the command and answers false). Paths of
    // 256 characters or more are refused. A sink must stay valid until the worker has carried out the
    // load (waitUntilIdle).
    bool postScan(const char* folder, ProgramList& list);
    bool postLoad(const char* file, ProgramSink& sink, uint32_t slot);
    bool postStop();

    // Ends the thread and waits for it: the stop command, and a flag that cuts a running scan short.
    // Commands still queued are dropped.
    void stop();
    // Waits until every command queued so far has been carried out, at most timeoutMs; answers whether
    // that happened. Waiting is only useful while the thread runs.
    bool waitUntilIdle(uint32_t timeoutMs);
    // The scans carried out since the worker was made (every start included).
    uint64_t scansCarriedOut() const { return scans.load(std::memory_order_acquire); }
    // The editors sharing this worker.
    LibraryUsers& users() { return editors; }

protected:
    int run() override;

private:
    bool post(const uint8_t* message, size_t size);
    void carryOutScan();
    void carryOutLoad();
    void dropWaitingBytes();

    ProgramFileSystem& files;
    MessagePipe pipe;
    SpinLock postLock;  // keeps whole commands together and the room check true until the write
    std::atomic<uint64_t> posted{0};
    std::atomic<uint64_t> carriedOut{0};
    std::atomic<uint64_t> scans{0};
    LibraryUsers editors;
    std::atomic<bool> stopping{false};
};

// The process-wide worker, over fileSystem(). It is stopped when the process ends (or the library
// is unloaded) at the latest.
LibraryWorker& libraryWorker();

}  // namespace tarsk
