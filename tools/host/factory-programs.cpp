// The factory programs of a built plug-in: locating the embedded archive by its end-of-central-directory
// record, mounting it, and reading one program's chunk.
#include "host/factory-programs.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/program-record.h"
#include "presets/fxp-file.h"
#include "presets/library-actions.h"
#include "presets/library-worker.h"
#include "presets/program-list.h"
#include "presets/program-chunk.h"
#include "presets/zip-archive-node.h"
#include "tarsklib/stream.h"

namespace tarskhost {

namespace {

constexpr uint32_t kEndOfDirectorySignature = 0x06054B50;  // "PK\5\6"
constexpr uint32_t kDirectoryEntrySignature = 0x02014B50;  // "PK\1\2"
constexpr uint32_t kLocalHeaderSignature = 0x04034B50;     // "PK\3\4"
constexpr size_t kEndOfDirectoryBytes = 22;
constexpr size_t kEntryCountOffset = 10;
constexpr size_t kDirectorySizeOffset = 12;
constexpr size_t kDirectoryOffsetOffset = 16;
constexpr size_t kCommentLengthOffset = 20;
constexpr const char* kArchiveRootMember = "presets/";

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}
uint16_t u16At(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
    tarsk::FileStream file(path.c_str(), tarsk::kOpenRead);
    if (!file.isOpen() || !file.seek(0, tarsk::kSeekFromEnd)) {
        return false;
    }
    const uint64_t size = file.tell();
    if (!file.seek(0, tarsk::kSeekFromStart)) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    return file.readBytes(bytes.data(), bytes.size());
}

// The archive [start, start + length) of a candidate record at `at`, when the record is consistent.
bool archiveAt(const std::vector<uint8_t>& bytes, size_t at, size_t& start, size_t& length) {
    const size_t end = at + kEndOfDirectoryBytes + u16At(bytes, at + kCommentLengthOffset);
    const uint64_t directorySize = u32At(bytes, at + kDirectorySizeOffset);
    const uint64_t directoryOffset = u32At(bytes, at + kDirectoryOffsetOffset);
    if (end > bytes.size() || directorySize + directoryOffset > at) {
        return false;
    }
    const size_t first = at - static_cast<size_t>(directorySize + directoryOffset);
    const size_t directory = first + static_cast<size_t>(directoryOffset);
    const bool hasEntries = u16At(bytes, at + kEntryCountOffset) > 0;
    if (!hasEntries || directory + 4 > bytes.size() || u32At(bytes, directory) != kDirectoryEntrySignature ||
        u32At(bytes, first) != kLocalHeaderSignature) {
        return false;
    }
    start = first;
    length = end - first;
    return true;
}

// A read-only memory stream that owns a copy of the bytes.
std::shared_ptr<tarsk::MemoryStream> copyOf(const uint8_t* data, size_t size) {
    void* block = std::malloc(size > 0 ? size : 1);
    if (block == nullptr) {
        return nullptr;
    }
    std::memcpy(block, data, size);
    auto stream = std::make_shared<tarsk::MemoryStream>(block, size);
    stream->setOwnsBlock(true);
    stream->setReadOnly(true);
    return stream;
}

// The last consistent archive whose end-of-central-directory record starts before `before`.
bool findArchiveBefore(const std::vector<uint8_t>& bytes, size_t before, size_t& record, size_t& start,
                       size_t& length) {
    if (bytes.size() < kEndOfDirectoryBytes) {
        return false;
    }
    size_t at = std::min(before, bytes.size() - kEndOfDirectoryBytes + 1);
    while (at-- > 0) {
        if (u32At(bytes, at) == kEndOfDirectorySignature && archiveAt(bytes, at, start, length)) {
            record = at;
            return true;
        }
    }
    return false;
}

}  // namespace

bool findEmbeddedArchive(const std::vector<uint8_t>& bytes, size_t& start, size_t& length) {
    size_t record = 0;
    return findArchiveBefore(bytes, bytes.size(), record, start, length);
}

bool mountFactoryArchive(const std::string& pluginPath, tarsk::ProgramFileSystem& files, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readFile(pluginPath, bytes)) {
        error = "cannot read '" + pluginPath + "'";
        return false;
    }
    // The signature bytes also occur in code (the archive reader compares with them): candidates are
    // tried from the end until one is an archive with the factory folder.
    size_t record = 0;
    size_t start = 0;
    size_t length = 0;
    for (size_t before = bytes.size(); findArchiveBefore(bytes, before, record, start, length); before = record) {
        auto node = std::make_shared<tarsk::ZipArchiveNode>(copyOf(bytes.data() + start, length));
        if (node->isOpen() && node->exists(kArchiveRootMember)) {
            files.mount(tarsk::kResourceMount, node);
            return true;
        }
    }
    error = "'" + pluginPath + "' carries no factory program archive";
    return false;
}

bool loadFactoryProgram(const std::string& pluginPath, const std::string& categoryAndName,
                        std::vector<uint8_t>& chunk, std::string& error) {
    tarsk::ProgramFileSystem files;
    if (!mountFactoryArchive(pluginPath, files, error)) {
        return false;
    }
    if (!loadFactoryProgram(files, categoryAndName, chunk, error)) {
        error += " in '" + pluginPath + "'";
        return false;
    }
    return true;
}

bool loadFactoryProgram(tarsk::ProgramFileSystem& files, const std::string& categoryAndName,
                        std::vector<uint8_t>& chunk, std::string& error) {
    const size_t slash = categoryAndName.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == categoryAndName.size()) {
        error = "a factory program is named \"Category/Name\", not '" + categoryAndName + "'";
        return false;
    }
    const std::string category = categoryAndName.substr(0, slash);
    const std::string name = categoryAndName.substr(slash + 1);
    const std::string path = std::string(tarsk::kFactoryProgramsPath) + "/" + category + "/" +
                             tarsk::encodeFileName(name) + tarsk::kProgramFileExtension;
    std::unique_ptr<tarsk::Stream> stream = files.open(path, tarsk::kOpenRead);
    if (stream == nullptr) {
        error = "no factory program '" + categoryAndName + "' (tarskverb-host list shows them)";
        return false;
    }
    std::vector<uint8_t> data(tarsk::kMaxChunkBytes);
    size_t size = 0;
    tarsk::ProgramRecord record;
    if (!tarsk::readFxpChunk(*stream, data.data(), size) || size == 0 ||
        !tarsk::readChunk(record, data.data(), size)) {
        error = "the factory program '" + categoryAndName + "' is damaged";
        return false;
    }
    data.resize(size);
    chunk = std::move(data);
    return true;
}

bool listFactoryPrograms(const std::string& pluginPath, std::vector<std::string>& names, std::string& error) {
    tarsk::ProgramFileSystem files;
    if (!mountFactoryArchive(pluginPath, files, error)) {
        return false;
    }
    tarsk::ProgramList list;
    tarsk::scanProgramFolder(files, tarsk::kFactoryProgramsPath, list);
    names.clear();
    list.readLock();
    for (uint32_t c = 0; c < list.categoryCount(); ++c) {
        const tarsk::ProgramCategory category = list.category(c);
        for (uint32_t e = category.firstEntry; e < category.firstEntry + category.entryCount; ++e) {
            names.push_back(tarsk::decodeFileName(category.name) + "/" + tarsk::decodeFileName(list.entry(e).name));
        }
    }
    list.unlock();
    return true;
}

}  // namespace tarskhost
