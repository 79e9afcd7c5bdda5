// Test helpers for the program library: archives built with the zip writer, program files, streams
// over byte copies, and a program sink that records what it is handed.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive-writer.h"
#include "presets/fxp-file.h"
#include "presets/program-chunk.h"
#include "presets/library-worker.h"
#include "tarsklib/spin-lock.h"
#include "tarsklib/stream.h"
#include "tarsklib/test-folder.h"

namespace tarsk::test {

struct ArchiveMember {
    std::string name;  // ending in '/' for a folder
    std::vector<uint8_t> bytes;
    bool compress = true;
};

// The bytes of an archive holding the members in the given order.
inline std::vector<uint8_t> buildArchive(const std::vector<ArchiveMember>& members) {
    TestFolder folder;
    const std::string path = folder.file("test.zip");
    std::string error;
    ArchiveWriter writer;
    bool ok = writer.open(path, error);
    for (const ArchiveMember& member : members) {
        ok = ok && (member.name.back() == '/' ? writer.addFolder(member.name, error)
                                              : writer.addFile(member.name, member.bytes, member.compress, error));
    }
    ok = ok && writer.close(error);
    if (!ok) {
        return {};
    }
    std::string text = readWholeFile(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// A read-only memory stream owning a copy of the bytes, as the archive node takes it.
inline std::shared_ptr<MemoryStream> sharedStream(const std::vector<uint8_t>& bytes) {
    void* block = std::malloc(bytes.empty() ? 1 : bytes.size());
    if (!bytes.empty()) {
        std::memcpy(block, bytes.data(), bytes.size());
    }
    auto stream = std::make_shared<MemoryStream>(block, bytes.size());
    stream->setOwnsBlock(true);
    stream->setReadOnly(true);
    return stream;
}

inline ProgramRecord namedRecord(const char* name, float wet = 30.0f) {
    ProgramRecord record;
    record.setU(word::magic, kProgramMagic);
    record.setU(word::version, kCurrentLayout);
    record.setName(name);
    record.setF(word::wet, wet);
    return record;
}

// The bytes of a current program file for the record.
inline std::vector<uint8_t> programFile(const ProgramRecord& record) {
    std::vector<uint8_t> bytes(kFxpHeaderBytes + kMaxChunkBytes);
    MemoryStream stream(bytes.data(), bytes.size());
    writeFxp(stream, record);
    bytes.resize(static_cast<size_t>(stream.tell()));
    return bytes;
}

inline std::vector<uint8_t> readAll(Stream& stream) {
    std::vector<uint8_t> bytes;
    uint8_t buffer[512];
    size_t got;
    while ((got = stream.read(buffer, 1, sizeof(buffer))) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

// Records the chunks handed to it (from the worker thread) and the display updates.
class RecordingSink final : public ProgramSink {
public:
    bool postSetChunk(const void* data, size_t size, int32_t slot) override {
        LockGuard guard = LockGuard::locked(lock);
        chunk.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        lastSlot = slot;
        ++chunks;
        return true;
    }
    void updateDisplay() override { updates.fetch_add(1); }

    std::vector<uint8_t> lastChunk() {
        LockGuard guard = LockGuard::locked(lock);
        return chunk;
    }
    int32_t slot() {
        LockGuard guard = LockGuard::locked(lock);
        return lastSlot;
    }
    int chunkCount() {
        LockGuard guard = LockGuard::locked(lock);
        return chunks;
    }
    std::atomic<int> updates{0};

private:
    SpinLock lock;
    std::vector<uint8_t> chunk;
    int32_t lastSlot = -1;
    int chunks = 0;
};

}  // namespace tarsk::test
