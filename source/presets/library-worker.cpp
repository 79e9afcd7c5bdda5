// LibraryWorker: command encoding, the worker loop, the folder scan and loading a program file into
// an effect's slot.
#include "presets/library-worker.h"

#include <cstring>
#include <memory>
#include <string>

#include "presets/fxp-file.h"
#include "presets/program-chunk.h"
#include "tarsklib/platform-thread.h"

namespace tarsk {

namespace {

constexpr uint32_t kFirstSleepMs = 1;
constexpr size_t kCommandBytes = 4;
constexpr size_t kScanBytes = kCommandBytes + kCommandPathBytes + sizeof(ProgramList*);
constexpr size_t kLoadBytes = kCommandBytes + kCommandPathBytes + sizeof(ProgramSink*) + 4;
constexpr size_t kProgramExtensionChars = 4;  // ".fxp"

// Writes the command word and the NUL-padded path; answers the offset behind them, 0 when the path
// does not fit.
size_t beginCommand(uint8_t* message, uint32_t command, const char* path) {
    if (path == nullptr) {
        return 0;
    }
    const size_t length = std::strlen(path);
    if (length >= kCommandPathBytes) {
        return 0;
    }
    std::memcpy(message, &command, kCommandBytes);
    std::memset(message + kCommandBytes, 0, kCommandPathBytes);
    std::memcpy(message + kCommandBytes, path, length);
    return kCommandBytes + kCommandPathBytes;
}

bool shouldStop(const std::atomic<bool>* abandon) {
    return abandon != nullptr && abandon->load(std::memory_order_relaxed);
}

// The folder's entries are direct children only: a name with a '/' (archives report deeper members too)
// belongs to a deeper level.
bool isDirectChild(const char* name) { return name[0] != '\0' && std::strchr(name, '/') == nullptr; }

}  // namespace

bool isProgramFileName(const char* name) {
    if (name == nullptr || name[0] == '.') {
        return false;
    }
    const size_t length = std::strlen(name);
    const char* lastDot = std::strrchr(name, '.');
    return length > kProgramExtensionChars && lastDot == name + length - kProgramExtensionChars &&
           std::strcmp(lastDot + 1, "fxp") == 0;
}

void scanProgramFolder(ProgramFileSystem& files, const char* folder, ProgramList& list,
                       const std::atomic<bool>* abandon) {
    sleepMs(1);
    if (!list.writeLock(abandon)) {
        return;
    }
    list.clear();
    list.unlock();

    std::unique_ptr<FolderIterator> categories = files.openFolder(folder);
    if (categories == nullptr) {
        return;
    }
    for (; categories->valid() && !shouldStop(abandon); categories->next()) {
        const char* categoryName = categories->name();
        if (categories->type() != kEntryTypeFolder || categoryName[0] == '.' || !isDirectChild(categoryName)) {
            continue;
        }
        if (!list.writeLock(abandon)) {
            return;
        }
        list.addCategory(categoryName);
        list.unlock();

        const std::string subfolder = std::string(folder) + "/" + categoryName;
        std::unique_ptr<FolderIterator> programs = files.openFolder(subfolder);
        for (; programs != nullptr && programs->valid() && !shouldStop(abandon); programs->next()) {
            const char* fileName = programs->name();
            if (programs->type() != kEntryTypeFile || !isDirectChild(fileName) || !isProgramFileName(fileName)) {
                continue;
            }
            const std::string programName(fileName, std::strlen(fileName) - kProgramExtensionChars);
            if (!list.writeLock(abandon)) {
                return;
            }
            list.addEntry(programName.c_str(), subfolder.c_str());
            list.unlock();
            sleepMs(0);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// LibraryWorker

LibraryWorker::LibraryWorker(ProgramFileSystem& fileSystem) : files(fileSystem) {
    pipe.setCapacity(kLibraryPipeBytes);
}

LibraryWorker::~LibraryWorker() { stop(); }

bool LibraryWorker::post(const uint8_t* message, size_t size) {
    LockGuard guard = LockGuard::locked(postLock);
    // Only this lock's holder writes, so the room seen here can only grow until the write.
    if (pipe.capacity() - pipe.used() < size) {
        return false;
    }
    posted.fetch_add(1, std::memory_order_acq_rel);  // before the write: carriedOut never passes it
    if (pipe.tryWrite(message, size) != size) {
        posted.fetch_sub(1, std::memory_order_acq_rel);
        return false;
    }
    return true;
}

bool LibraryWorker::postScan(const char* folder, ProgramList& list) {
    uint8_t message[kScanBytes];
    size_t at = beginCommand(message, libraryCommand::kScan, folder);
    if (at == 0) {
        return false;
    }
    ProgramList* pointer = &list;
    std::memcpy(message + at, &pointer, sizeof(pointer));
    return post(message, sizeof(message));
}

bool LibraryWorker::postLoad(const char* file, ProgramSink& sink, uint32_t slot) {
    uint8_t message[kLoadBytes];
    size_t at = beginCommand(message, libraryCommand::kLoad, file);
    if (at == 0) {
        return false;
    }
    ProgramSink* pointer = &sink;
    std::memcpy(message + at, &pointer, sizeof(pointer));
    std::memcpy(message + at + sizeof(pointer), &slot, sizeof(slot));
    return post(message, sizeof(message));
}

bool LibraryWorker::postStop() {
    const uint32_t command = libraryCommand::kStop;
    return post(reinterpret_cast<const uint8_t*>(&command), sizeof(command));
}

void LibraryWorker::stop() {
    if (isRunning()) {
        stopping.store(true, std::memory_order_relaxed);
        postStop();  // a full pipe is fine: the flag ends the loop as well
    }
    join();
    stopping.store(false, std::memory_order_relaxed);
    LockGuard guard = LockGuard::locked(postLock);
    pipe.setCapacity(kLibraryPipeBytes);  // drops what was still queued
    carriedOut.store(posted.load(std::memory_order_acquire), std::memory_order_release);
}

bool LibraryWorker::waitUntilIdle(uint32_t timeoutMs) {
    for (uint32_t waited = 0;; ++waited) {
        if (carriedOut.load(std::memory_order_acquire) >= posted.load(std::memory_order_acquire)) {
            return true;
        }
        if (waited >= timeoutMs) {
            return false;
        }
        sleepMs(1);
    }
}

void LibraryWorker::dropWaitingBytes() {
    uint8_t scratch[256];
    while (pipe.tryRead(scratch, sizeof(scratch)) > 0) {
    }
}

void LibraryWorker::carryOutScan() {
    char folder[kCommandPathBytes];
    ProgramList* list = nullptr;
    pipe.read(folder, sizeof(folder));
    pipe.read(&list, sizeof(list));
    folder[kCommandPathBytes - 1] = '\0';
    if (list != nullptr) {
        scanProgramFolder(files, folder, *list, &stopping);
        scans.fetch_add(1, std::memory_order_acq_rel);
    }
}

void LibraryWorker::carryOutLoad() {
    char path[kCommandPathBytes];
    ProgramSink* sink = nullptr;
    uint32_t slot = 0;
    pipe.read(path, sizeof(path));
    pipe.read(&sink, sizeof(sink));
    pipe.read(&slot, sizeof(slot));
    path[kCommandPathBytes - 1] = '\0';
    if (sink == nullptr) {
        return;
    }
    std::unique_ptr<Stream> stream = files.open(path, kOpenRead);
    uint8_t chunk[kMaxChunkBytes] = {};
    size_t size = 0;
    if (stream == nullptr || !readFxpChunk(*stream, chunk, size)) {
        return;  // a file that fails the checks is not loaded; nothing is reported
    }
    sink->postSetChunk(chunk, size, static_cast<int32_t>(slot));
    sink->updateDisplay();
}

int LibraryWorker::run() {
    sleepMs(kFirstSleepMs);
    bool stopped = false;
    while (!stopped && !stopping.load(std::memory_order_relaxed)) {
        if (pipe.used() >= kCommandBytes) {
            uint32_t command = 0;
            pipe.read(&command, sizeof(command));
            switch (command) {
                case libraryCommand::kStop: stopped = true; break;
                case libraryCommand::kScan: carryOutScan(); break;
                case libraryCommand::kLoad: carryOutLoad(); break;
                default:
                    // The fields of an unknown command cannot be told apart from what follows:
                    // everything waiting is dropped, and counted as carried out.
                    dropWaitingBytes();
                    carriedOut.store(posted.load(std::memory_order_acquire), std::memory_order_release);
                    sleepMs(kWorkerPollMs);
                    continue;
            }
            carriedOut.fetch_add(1, std::memory_order_acq_rel);
        }
        sleepMs(kWorkerPollMs);
    }
    sleepMs(kWorkerPollMs);
    return 0;
}

// Constructed after the file system and the lists, so destroyed before them: the worker's thread
// ends while what it works on still exists.
LibraryWorker& libraryWorker() {
    fileSystem();
    factoryList();
    userList();
    static LibraryWorker worker(fileSystem());
    return worker;
}

}  // namespace tarsk
