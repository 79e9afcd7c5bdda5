// MessagePipe transfers in pieces that shrink while the other side lags.
#include "message-pipe.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform-thread.h"

namespace tarsk {

MessagePipe::~MessagePipe() { std::free(buffer); }

void MessagePipe::setCapacity(size_t n) {
    LockGuard guard = LockGuard::locked(lock);
    std::free(buffer);
    buffer = nullptr;
    size = 0;
    freeBytes = 0;
    readPos = 0;
    writePos = 0;
    if (n >= 1 && n <= kMaxCapacity) {
        buffer = static_cast<uint8_t*>(std::malloc(n));
        if (buffer != nullptr) {
            size = n;
            freeBytes = n;
        }
    }
}

size_t MessagePipe::used() {
    LockGuard guard = LockGuard::locked(lock);
    return size - freeBytes;
}

size_t MessagePipe::tryWrite(const void* bytes, size_t n) {
    LockGuard guard = LockGuard::locked(lock);
    if (buffer == nullptr) {
        return 0;
    }
    size_t count = std::min(n, freeBytes);
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    size_t first = std::min(count, size - writePos);
    std::memcpy(buffer + writePos, from, first);
    std::memcpy(buffer, from + first, count - first);
    writePos = (writePos + count) % size;
    freeBytes -= count;
    return count;
}

size_t MessagePipe::tryRead(void* bytes, size_t n) {
    LockGuard guard = LockGuard::locked(lock);
    if (buffer == nullptr) {
        return 0;
    }
    size_t count = std::min(n, size - freeBytes);
    uint8_t* to = static_cast<uint8_t*>(bytes);
    size_t first = std::min(count, size - readPos);
    std::memcpy(to, buffer + readPos, first);
    std::memcpy(to + first, buffer, count - first);
    readPos = (readPos + count) % size;
    freeBytes += count;
    return count;
}

namespace {

// One blocking transfer: pieces of at most half the capacity; while the pipe cannot take (or give)
// a whole piece, sleep 1 ms and halve the piece, starting over with a full piece when it reaches 0.
template <typename Room, typename Move>
void transfer(size_t capacity, size_t n, Room room, Move move) {
    const size_t fullPiece = std::max<size_t>(capacity / 2, 1);
    size_t done = 0;
    size_t piece = std::min(n, fullPiece);
    while (done < n) {
        piece = std::min(piece, n - done);
        if (room() < piece) {
            sleepMs(1);
            if (room() < piece) {
                piece /= 2;
                if (piece == 0) {
                    piece = fullPiece;
                }
            }
            continue;
        }
        done += move(done, piece);
        piece = fullPiece;
    }
}

}  // namespace

void MessagePipe::write(const void* bytes, size_t n) {
    if (n == 0 || buffer == nullptr) {
        return;
    }
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    transfer(
        size, n,
        [this] {
            LockGuard guard = LockGuard::locked(lock);
            return freeBytes;
        },
        [this, from](size_t offset, size_t count) { return tryWrite(from + offset, count); });
}

void MessagePipe::read(void* bytes, size_t n) {
    if (n == 0 || buffer == nullptr) {
        return;
    }
    uint8_t* to = static_cast<uint8_t*>(bytes);
    transfer(
        size, n,
        [this] {
            LockGuard guard = LockGuard::locked(lock);
            return size - freeBytes;
        },
        [this, to](size_t offset, size_t count) { return tryRead(to + offset, count); });
}

}  // namespace tarsk
