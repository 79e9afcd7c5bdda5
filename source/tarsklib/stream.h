// Byte streams with a declared file byte order: files on disk and memory blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk {

constexpr uint32_t kByteOrderLittle = 0x101;
constexpr uint32_t kByteOrderBig = 0x102;

constexpr uint32_t kSeekFromStart = 0x301;
constexpr uint32_t kSeekFromEnd = 0x302;
constexpr uint32_t kSeekFromCurrent = 0x303;

// Open modes of FileStream: the marker 0x200 with the bits read 1, write 2, truncate 4, append 8.
constexpr uint32_t kOpenRead = 0x201;         // "rb"
constexpr uint32_t kOpenAppend = 0x202;       // "ab"
constexpr uint32_t kOpenReadWrite = 0x203;    // "r+b"
constexpr uint32_t kOpenWrite = 0x206;        // "wb"
constexpr uint32_t kOpenWriteRead = 0x207;    // "w+b"
constexpr uint32_t kOpenAppendOnly = 0x20A;   // "ab"
constexpr uint32_t kOpenAppendRead = 0x20B;   // "a+b"

// The byte order of the machine we run on.
uint32_t hostByteOrder();

// Reverses every item of a buffer in place (2-, 4- and 8-byte items by direct swaps, others byte by byte).
void reverseItems(void* buffer, size_t itemSize, size_t count);

class Stream {
public:
    Stream();
    virtual ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Reads up to count items of itemSize bytes; answers the number of whole items read.
    virtual size_t read(void* buffer, size_t itemSize, size_t count) = 0;
    // Writes up to count items; answers the number of whole items written.
    virtual size_t write(const void* buffer, size_t itemSize, size_t count) = 0;
    virtual bool atEnd() = 0;
    virtual uint64_t tell() = 0;
    virtual bool seek(int64_t offset, uint32_t origin) = 0;

    void setFileByteOrder(uint32_t order) { fileOrder = order; }
    uint32_t fileByteOrder() const { return fileOrder; }
    bool swapsBytes() const { return fileOrder != hostOrder; }

    // Convenience readers and writers of single fields in the file byte order.
    bool readU32(uint32_t& value);
    bool writeU32(uint32_t value);
    bool readBytes(void* buffer, size_t n) { return n == 0 || read(buffer, 1, n) == n; }
    bool writeBytes(const void* buffer, size_t n) { return n == 0 || write(buffer, 1, n) == n; }

protected:
    uint32_t fileOrder;
    uint32_t hostOrder;
};

// A stream over a file of the C standard library. A mode that is not in the table opens nothing;
// every operation of an unopened stream does nothing and answers 0.
class FileStream final : public Stream {
public:
    FileStream(const char* path, uint32_t mode);
    ~FileStream() override;

    bool isOpen() const { return file != nullptr; }
    size_t read(void* buffer, size_t itemSize, size_t count) override;
    size_t write(const void* buffer, size_t itemSize, size_t count) override;
    bool atEnd() override;
    uint64_t tell() override;
    bool seek(int64_t offset, uint32_t origin) override;
    // Flushes buffered data; answers false when the data could not be written.
    bool flush();

private:
    void* file;  // FILE*
};

// A stream over a memory block. The position never passes the end.
class MemoryStream final : public Stream {
public:
    MemoryStream(const void* base, size_t size);
    ~MemoryStream() override;

    // When set, the destructor frees the block with std::free.
    void setOwnsBlock(bool owns) { ownsBlock = owns; }
    // When set, write() refuses (resources and archives are read-only).
    void setReadOnly(bool readOnly) { writable = !readOnly; }

    size_t read(void* buffer, size_t itemSize, size_t count) override;
    size_t write(const void* buffer, size_t itemSize, size_t count) override;
    bool atEnd() override { return position == size; }
    uint64_t tell() override { return position; }
    bool seek(int64_t offset, uint32_t origin) override;

    const uint8_t* data() const { return base; }
    size_t length() const { return size; }

private:
    uint8_t* base;
    size_t size;
    size_t position = 0;
    bool ownsBlock = false;
    bool writable = true;
};

}  // namespace tarsk
