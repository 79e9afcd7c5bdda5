// Tests of MessagePipe: FIFO order across the wrap-around, a threaded transfer, and capacity limits.
#include "tarsklib/message-pipe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace tarsk {
namespace {

TEST(MessagePipe, BytesLeaveInOrderAcrossTheWrapAround) {
    MessagePipe pipe;
    pipe.setCapacity(10);
    EXPECT_EQ(pipe.capacity(), 10u);
    EXPECT_EQ(pipe.tryWrite("abcdefg", 7), 7u);
    char out[16] = {};
    EXPECT_EQ(pipe.tryRead(out, 5), 5u);
    EXPECT_EQ(std::string(out, 5), "abcde");
    EXPECT_EQ(pipe.tryWrite("hijklmnopq", 10), 8u);  // room for 8; the write wraps past the end
    EXPECT_EQ(pipe.used(), 10u);
    EXPECT_EQ(pipe.tryWrite("z", 1), 0u);
    std::memset(out, 0, sizeof(out));
    EXPECT_EQ(pipe.tryRead(out, 16), 10u);
    EXPECT_EQ(std::string(out, 10), "fghijklmno");
    EXPECT_EQ(pipe.used(), 0u);
    EXPECT_EQ(pipe.tryRead(out, 1), 0u);

    pipe.write("12345678", 8);  // blocking calls that fit at once
    pipe.read(out, 3);
    pipe.write("9ABC", 4);
    pipe.read(out + 3, 9);
    EXPECT_EQ(std::string(out, 12), "123456789ABC");

    pipe.tryWrite("left over", 9);
    pipe.setCapacity(4);  // starts empty
    EXPECT_EQ(pipe.used(), 0u);
    EXPECT_EQ(pipe.tryWrite("wxyz!", 5), 4u);
}

TEST(MessagePipe, OneMegabyteMovesIntactBetweenThreads) {
    constexpr size_t kTotal = 1 << 20;
    std::vector<uint8_t> source(kTotal);
    uint32_t state = 12345;
    for (uint8_t& byte : source) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    std::vector<uint8_t> received(kTotal, 0);
    MessagePipe pipe;
    pipe.setCapacity(4096);

    std::thread writer([&] {
        size_t done = 0;
        for (size_t piece = 1; done < kTotal; piece = piece * 3 % 10007 + 1) {
            size_t n = std::min(piece, kTotal - done);
            pipe.write(source.data() + done, n);
            done += n;
        }
    });
    std::thread reader([&] {
        size_t done = 0;
        for (size_t piece = 5; done < kTotal; piece = piece * 5 % 7001 + 1) {
            size_t n = std::min(piece, kTotal - done);
            pipe.read(received.data() + done, n);
            done += n;
        }
    });
    writer.join();
    reader.join();
    EXPECT_TRUE(received == source);
    EXPECT_EQ(pipe.used(), 0u);
}

TEST(MessagePipe, CapacityOutOfRangeLeavesNoBuffer) {
    MessagePipe pipe;
    char out[4] = {'k', 'e', 'e', 'p'};
    for (size_t capacity : {size_t{0}, size_t{0x40000}}) {
        pipe.setCapacity(16);
        pipe.setCapacity(capacity);
        EXPECT_EQ(pipe.capacity(), 0u) << capacity;
        pipe.write("data", 4);  // returns at once instead of waiting for room
        pipe.read(out, 4);
        EXPECT_EQ(std::string(out, 4), "keep");
        EXPECT_EQ(pipe.tryWrite("data", 4), 0u);
        EXPECT_EQ(pipe.tryRead(out, 4), 0u);
        EXPECT_EQ(pipe.used(), 0u);
    }
    pipe.setCapacity(MessagePipe::kMaxCapacity);
    EXPECT_EQ(pipe.capacity(), MessagePipe::kMaxCapacity);
}

}  // namespace
}  // namespace tarsk
