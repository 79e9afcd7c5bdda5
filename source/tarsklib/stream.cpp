// Byte streams: byte-order handling shared by all streams, the file stream and the memory stream.
#include "stream.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tarsk {

uint32_t hostByteOrder() {
    return std::endian::native == std::endian::little ? kByteOrderLittle : kByteOrderBig;
}

void reverseItems(void* buffer, size_t itemSize, size_t count) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    if (itemSize < 2) {
        return;
    }
    for (size_t i = 0; i < count; ++i, p += itemSize) {
        if (itemSize == 2) {
            uint16_t v;
            std::memcpy(&v, p, 2);
            v = __builtin_bswap16(v);
            std::memcpy(p, &v, 2);
        } else if (itemSize == 4) {
            uint32_t v;
            std::memcpy(&v, p, 4);
            v = __builtin_bswap32(v);
            std::memcpy(p, &v, 4);
        } else if (itemSize == 8) {
            uint64_t v;
            std::memcpy(&v, p, 8);
            v = __builtin_bswap64(v);
            std::memcpy(p, &v, 8);
        } else {
            std::reverse(p, p + itemSize);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Stream

Stream::Stream() : fileOrder(hostByteOrder()), hostOrder(hostByteOrder()) {}
Stream::~Stream() = default;

bool Stream::readU32(uint32_t& value) { return read(&value, 4, 1) == 1; }
bool Stream::writeU32(uint32_t value) { return write(&value, 4, 1) == 1; }

// ---------------------------------------------------------------------------------------------
// FileStream

namespace {

const char* fopenMode(uint32_t mode) {
    switch (mode) {
        case kOpenRead: return "rb";
        case kOpenAppend: return "ab";
        case kOpenReadWrite: return "r+b";
        case kOpenWrite: return "wb";
        case kOpenWriteRead: return "w+b";
        case kOpenAppendOnly: return "ab";
        case kOpenAppendRead: return "a+b";
        default: return nullptr;
    }
}

// Writes items byte-swapped through a small bounce buffer, so that the caller's data stays untouched.
template <typename Sink>
size_t writeSwapped(const void* buffer, size_t itemSize, size_t count, Sink sink) {
    uint8_t bounce[512];
    const uint8_t* from = static_cast<const uint8_t*>(buffer);
    size_t perBatch = std::max<size_t>(1, sizeof(bounce) / itemSize);
    if (itemSize > sizeof(bounce)) {
        return 0;  // no item of that size is ever written swapped
    }
    size_t written = 0;
    while (written < count) {
        size_t batch = std::min(perBatch, count - written);
        std::memcpy(bounce, from + written * itemSize, batch * itemSize);
        reverseItems(bounce, itemSize, batch);
        size_t done = sink(bounce, batch);
        written += done;
        if (done < batch) {
            break;
        }
    }
    return written;
}

bool multiplyFits(size_t itemSize, size_t count) {
    return itemSize == 0 || count <= std::numeric_limits<size_t>::max() / itemSize;
}

}  // namespace

FileStream::FileStream(const char* path, uint32_t mode) : file(nullptr) {
    const char* how = fopenMode(mode);
    if (path != nullptr && how != nullptr) {
        file = std::fopen(path, how);
    }
}

FileStream::~FileStream() {
    if (file != nullptr) {
        std::fclose(static_cast<FILE*>(file));
    }
}

size_t FileStream::read(void* buffer, size_t itemSize, size_t count) {
    if (file == nullptr || itemSize == 0 || count == 0) {
        return 0;
    }
    size_t items = std::fread(buffer, itemSize, count, static_cast<FILE*>(file));
    if (swapsBytes()) {
        reverseItems(buffer, itemSize, items);
    }
    return items;
}

size_t FileStream::write(const void* buffer, size_t itemSize, size_t count) {
    if (file == nullptr || itemSize == 0 || count == 0) {
        return 0;
    }
    FILE* f = static_cast<FILE*>(file);
    if (!swapsBytes() || itemSize == 1) {
        return std::fwrite(buffer, itemSize, count, f);
    }
    return writeSwapped(buffer, itemSize, count,
                        [f, itemSize](const uint8_t* bytes, size_t n) { return std::fwrite(bytes, itemSize, n, f); });
}

bool FileStream::atEnd() { return file == nullptr || std::feof(static_cast<FILE*>(file)) != 0; }

uint64_t FileStream::tell() {
    if (file == nullptr) {
        return 0;
    }
    long position = std::ftell(static_cast<FILE*>(file));
    return position < 0 ? 0 : static_cast<uint64_t>(position);
}

bool FileStream::seek(int64_t offset, uint32_t origin) {
    if (file == nullptr) {
        return false;
    }
    int whence = origin == kSeekFromStart ? SEEK_SET : origin == kSeekFromEnd ? SEEK_END
                                                     : origin == kSeekFromCurrent ? SEEK_CUR : -1;
    if (whence < 0) {
        return false;
    }
    return std::fseek(static_cast<FILE*>(file), static_cast<long>(offset), whence) == 0;
}

bool FileStream::flush() { return file != nullptr && std::fflush(static_cast<FILE*>(file)) == 0; }

// ---------------------------------------------------------------------------------------------
// MemoryStream

MemoryStream::MemoryStream(const void* block, size_t blockSize)
    : base(static_cast<uint8_t*>(const_cast<void*>(block))), size(block != nullptr ? blockSize : 0) {}

MemoryStream::~MemoryStream() {
    if (ownsBlock) {
        std::free(base);
    }
}

size_t MemoryStream::read(void* buffer, size_t itemSize, size_t count) {
    if (itemSize == 0 || count == 0 || !multiplyFits(itemSize, count)) {
        return 0;
    }
    size_t items = std::min(count * itemSize, size - position) / itemSize;
    if (items == 0) {
        return 0;  // also keeps a stream without a block away from memcpy
    }
    std::memcpy(buffer, base + position, items * itemSize);
    position += items * itemSize;
    if (swapsBytes()) {
        reverseItems(buffer, itemSize, items);
    }
    return items;
}

size_t MemoryStream::write(const void* buffer, size_t itemSize, size_t count) {
    if (!writable || itemSize == 0 || count == 0 || !multiplyFits(itemSize, count)) {
        return 0;
    }
    size_t items = std::min(count * itemSize, size - position) / itemSize;
    if (items == 0) {
        return 0;
    }
    if (!swapsBytes() || itemSize == 1) {
        std::memcpy(base + position, buffer, items * itemSize);
        position += items * itemSize;
        return items;
    }
    size_t written = writeSwapped(buffer, itemSize, items, [this, itemSize](const uint8_t* bytes, size_t n) {
        std::memcpy(base + position, bytes, n * itemSize);
        position += n * itemSize;
        return n;
    });
    return written;
}

bool MemoryStream::seek(int64_t offset, uint32_t origin) {
    // Offsets are taken in unsigned 32-bit arithmetic, as the stream format has always done, so an
    // offset of -4 from the end lands 4 bytes before it; the position never passes the end.
    uint32_t delta = static_cast<uint32_t>(offset);
    switch (origin) {
        case kSeekFromStart:
            position = std::min<uint64_t>(static_cast<uint64_t>(offset < 0 ? 0 : offset), size);
            return true;
        case kSeekFromEnd:
            position = std::min<size_t>(static_cast<uint32_t>(size + delta), size);
            return true;
        case kSeekFromCurrent:
            position = std::min<size_t>(static_cast<uint32_t>(position + delta), size);
            return true;
        default:
            return false;
    }
}

}  // namespace tarsk
