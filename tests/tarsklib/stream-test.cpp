// Tests of the byte streams: byte order, partial transfers, seeking and file open modes.
#include "tarsklib/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tarsklib/test-folder.h"

namespace tarsk {
namespace {

TEST(StreamByteOrder, ItemsAreReversedWhenTheFileOrderDiffersFromTheHost) {
    ASSERT_EQ(hostByteOrder(), kByteOrderLittle);
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    MemoryStream stream(bytes, sizeof(bytes));
    stream.setReadOnly(true);

    uint8_t item[8] = {};
    ASSERT_EQ(stream.read(item, 4, 1), 1u);  // host order: as stored
    EXPECT_EQ(0, std::memcmp(item, "\x01\x02\x03\x04", 4));

    stream.setFileByteOrder(kByteOrderBig);
    EXPECT_TRUE(stream.swapsBytes());
    ASSERT_EQ(stream.read(item, 4, 1), 1u);
    EXPECT_EQ(0, std::memcmp(item, "\x08\x07\x06\x05", 4));
    ASSERT_EQ(stream.read(item, 3, 1), 1u);
    EXPECT_EQ(0, std::memcmp(item, "\x0B\x0A\x09", 3));
    ASSERT_EQ(stream.read(item, 2, 1), 1u);
    EXPECT_EQ(0, std::memcmp(item, "\x0D\x0C", 2));
    ASSERT_EQ(stream.read(item, 1, 2), 2u);  // single bytes are never reversed
    EXPECT_EQ(0, std::memcmp(item, "\x0E\x0F", 2));
    uint32_t word = 0;
    stream.seek(0, kSeekFromStart);
    ASSERT_TRUE(stream.readU32(word));
    EXPECT_EQ(word, 0x01020304u);
}

TEST(StreamByteOrder, WritingSwappedLeavesTheCallersBufferIntact) {
    uint8_t block[32] = {};
    MemoryStream stream(block, sizeof(block));
    stream.setFileByteOrder(kByteOrderBig);

    const uint32_t words[2] = {0x11223344u, 0x55667788u};
    ASSERT_EQ(stream.write(words, 4, 2), 2u);
    EXPECT_EQ(0, std::memcmp(block, "\x11\x22\x33\x44\x55\x66\x77\x88", 8));
    EXPECT_EQ(words[0], 0x11223344u);
    EXPECT_EQ(words[1], 0x55667788u);

    const uint8_t triple[3] = {0xA1, 0xA2, 0xA3};
    ASSERT_EQ(stream.write(triple, 3, 1), 1u);
    EXPECT_EQ(0, std::memcmp(block + 8, "\xA3\xA2\xA1", 3));
    EXPECT_EQ(triple[0], 0xA1);

    const uint64_t wide = 0x0102030405060708ull;
    ASSERT_EQ(stream.write(&wide, 8, 1), 1u);
    EXPECT_EQ(0, std::memcmp(block + 11, "\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    EXPECT_EQ(stream.tell(), 19u);

    // A file stream writes swapped the same way.
    test::TestFolder folder;
    std::string path = folder.file("swapped.bin");
    {
        FileStream file(path.c_str(), kOpenWrite);
        file.setFileByteOrder(kByteOrderBig);
        ASSERT_TRUE(file.writeU32(0xCAFEF00Du));
    }
    EXPECT_EQ(test::readWholeFile(path), std::string("\xCA\xFE\xF0\x0D", 4));
}

TEST(MemoryStream, TransfersStopAtTheEndInWholeItems) {
    uint8_t block[13];
    for (int i = 0; i < 13; ++i) {
        block[i] = static_cast<uint8_t>(i);
    }
    MemoryStream stream(block, sizeof(block));
    ASSERT_TRUE(stream.seek(4, kSeekFromStart));

    uint32_t items[10] = {};
    EXPECT_EQ(stream.read(items, 4, 10), 2u);  // 9 bytes left: two whole items
    EXPECT_EQ(stream.tell(), 12u);
    EXPECT_FALSE(stream.atEnd());
    EXPECT_EQ(0, std::memcmp(items, block + 4, 8));
    EXPECT_EQ(stream.read(items, 4, 1), 0u);
    EXPECT_EQ(stream.tell(), 12u);

    stream.seek(6, kSeekFromStart);
    const uint8_t fill[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(stream.write(fill, 2, 4), 3u);  // 7 bytes of room: three 2-byte items
    EXPECT_EQ(stream.tell(), 12u);
    EXPECT_EQ(block[11], 0xEE);
    EXPECT_EQ(block[12], 12);

    stream.setReadOnly(true);
    stream.seek(0, kSeekFromStart);
    EXPECT_EQ(stream.write(fill, 1, 1), 0u);
    EXPECT_EQ(block[0], 0);

    MemoryStream empty(nullptr, 100);  // no block: no bytes, whatever the size says
    EXPECT_TRUE(empty.atEnd());
    EXPECT_EQ(empty.read(items, 4, 1), 0u);
    EXPECT_EQ(empty.write(fill, 1, 1), 0u);
    empty.setFileByteOrder(kByteOrderBig);
    EXPECT_EQ(empty.write(fill, 2, 1), 0u);
}

TEST(MemoryStream, SeekingNeverPassesTheEnd) {
    uint8_t block[20] = {};
    MemoryStream stream(block, sizeof(block));
    EXPECT_TRUE(stream.seek(-4, kSeekFromEnd));
    EXPECT_EQ(stream.tell(), 16u);
    EXPECT_TRUE(stream.seek(4, kSeekFromEnd));
    EXPECT_EQ(stream.tell(), 20u);
    EXPECT_TRUE(stream.atEnd());
    EXPECT_TRUE(stream.seek(-6, kSeekFromCurrent));
    EXPECT_EQ(stream.tell(), 14u);
    EXPECT_TRUE(stream.seek(100, kSeekFromCurrent));
    EXPECT_EQ(stream.tell(), 20u);
    EXPECT_TRUE(stream.seek(100, kSeekFromStart));
    EXPECT_EQ(stream.tell(), 20u);
    EXPECT_TRUE(stream.seek(3, kSeekFromStart));
    EXPECT_FALSE(stream.seek(0, 0x304));
    EXPECT_EQ(stream.tell(), 3u);
}

TEST(FileStream, OpenModesFollowTheTable) {
    test::TestFolder folder;
    std::string missing = folder.file("missing.bin");
    {
        FileStream stream(missing.c_str(), kOpenRead);
        EXPECT_FALSE(stream.isOpen());
        uint8_t byte = 0x5A;
        EXPECT_EQ(stream.read(&byte, 1, 1), 0u);
        EXPECT_EQ(stream.write(&byte, 1, 1), 0u);
        EXPECT_EQ(stream.tell(), 0u);
        EXPECT_FALSE(stream.seek(0, kSeekFromStart));
        EXPECT_TRUE(stream.atEnd());
        EXPECT_FALSE(stream.flush());
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    for (uint32_t mode : {0x200u, 0x204u, 0x208u, 0x20Fu, 0x101u, 0x1u}) {
        FileStream stream(missing.c_str(), mode);
        EXPECT_FALSE(stream.isOpen()) << std::hex << mode;
    }
    EXPECT_FALSE(std::filesystem::exists(missing));

    std::string path = folder.file("data.bin");
    test::writeWholeFile(path, "old contents");
    {
        FileStream stream(path.c_str(), kOpenWrite);  // truncates
        ASSERT_TRUE(stream.isOpen());
        EXPECT_EQ(stream.write("abc", 1, 3), 3u);
    }
    EXPECT_EQ(test::readWholeFile(path), "abc");
    {
        FileStream stream(path.c_str(), kOpenAppend);
        EXPECT_EQ(stream.write("de", 1, 2), 2u);
    }
    EXPECT_EQ(test::readWholeFile(path), "abcde");
    {
        FileStream stream(path.c_str(), kOpenReadWrite);  // neither truncates nor appends
        ASSERT_TRUE(stream.isOpen());
        EXPECT_EQ(stream.write("X", 1, 1), 1u);
    }
    EXPECT_EQ(test::readWholeFile(path), "Xbcde");
    {
        FileStream stream(path.c_str(), kOpenRead);
        char text[8] = {};
        EXPECT_EQ(stream.read(text, 2, 4), 2u);  // five bytes: two whole 2-byte items
        EXPECT_EQ(std::string(text, 4), "Xbcd");
        EXPECT_TRUE(stream.atEnd());
        EXPECT_EQ(stream.write("!", 1, 1), 0u);  // read-only
        EXPECT_TRUE(stream.seek(-2, kSeekFromEnd));
        EXPECT_EQ(stream.tell(), 3u);
    }
    {
        FileStream stream(path.c_str(), kOpenWriteRead);  // truncates, reads back
        ASSERT_TRUE(stream.isOpen());
        EXPECT_EQ(stream.tell(), 0u);
        EXPECT_EQ(stream.write("xyz", 1, 3), 3u);
        ASSERT_TRUE(stream.seek(0, kSeekFromStart));
        char text[4] = {};
        EXPECT_EQ(stream.read(text, 1, 3), 3u);
        EXPECT_STREQ(text, "xyz");
    }
}

}  // namespace
}  // namespace tarsk
