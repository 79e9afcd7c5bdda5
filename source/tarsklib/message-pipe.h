// MessagePipe: a blocking byte ring between two threads. Bytes leave in the order they entered;
// the lock word is held only while positions and bytes change, never while waiting.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spin-lock.h"

namespace tarsk {

class MessagePipe {
public:
    static constexpr size_t kMaxCapacity = 0x3FFFF;

    MessagePipe() = default;
    ~MessagePipe();
    MessagePipe(const MessagePipe&) = delete;
    MessagePipe& operator=(const MessagePipe&) = delete;

    // Frees the old buffer and empties the pipe; n from 1 to 0x3FFFF allocates, other n leave no buffer.
    void setCapacity(size_t n);
    size_t capacity() const { return size; }
    // Bytes waiting to be read.
    size_t used();

    // Both block until all n bytes have moved (sleeping 1 ms while the pipe is full or empty).
    void write(const void* bytes, size_t n);
    void read(void* bytes, size_t n);

    // Moves at most n bytes without waiting; answers how many moved.
    size_t tryWrite(const void* bytes, size_t n);
    size_t tryRead(void* bytes, size_t n);

private:
    uint8_t* buffer = nullptr;
    size_t size = 0;
    size_t freeBytes = 0;
    size_t readPos = 0;
    size_t writePos = 0;
    SpinLock lock;
};

}  // namespace tarsk
