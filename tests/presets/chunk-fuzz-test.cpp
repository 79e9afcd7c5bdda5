// Fuzz-style tests: random bytes, random layouts and random truncations fed to the chunk and .fxp
// readers. Every buffer is sized exactly, so the address sanitizer sees any read past the data.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "layout-chunks.h"
#include "presets/fxp-file.h"
#include "presets/program-chunk.h"
#include "tarsklib/stream.h"

namespace tarsk {
namespace {

const uint32_t kVersions[] = {0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x7000,
                              0x8000, 0x9000, 0xA000, 0xB000, 0xC000, 0xD000};

ProgramRecord filledRecord(uint32_t value) {
    ProgramRecord r;
    for (uint32_t& w : r.words) {
        w = value;
    }
    return r;
}

TEST(ChunkFuzz, RandomChunksAreReadOrRefusedWithinTheirBytes) {
    std::mt19937 random(77);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        const size_t size = random() % 1200;
        std::unique_ptr<uint8_t[]> data(new uint8_t[size == 0 ? 1 : size]);
        for (size_t i = 0; i < size; ++i) {
            data[i] = static_cast<uint8_t>(random());
        }
        // Most rounds carry a known version word, so that the layout readers get exercised.
        if (size >= 8 && random() % 4 != 0) {
            const uint32_t version = kVersions[random() % 13];
            for (int i = 0; i < 4; ++i) {
                data[4 + i] = static_cast<uint8_t>(version >> (8 * i));
            }
        }
        const ProgramRecord before = filledRecord(0x11223344);
        ProgramRecord record = before;
        if (readChunk(record, data.get(), size)) {
            ++accepted;
            EXPECT_EQ(record.u(word::version), kCurrentLayout);
            EXPECT_GE(size, chunkLayoutBytes(test::getLE32(data.get() + 4)));
        } else {
            EXPECT_TRUE(record == before);
        }
    }
    EXPECT_GT(accepted, 1000);
}

TEST(ChunkFuzz, RandomFilesAndTruncationsAreReadOrRefused) {
    std::mt19937 random(78);
    const std::vector<std::vector<uint8_t>> chunks = {
        test::chunkD000(0x0800).bytes, test::chunkC000(0).bytes, test::chunk7000(0).bytes,
        test::image4000(1).bytes, test::image3000(2).bytes, test::image2000(0x1000, 3, 1, 2).bytes};
    int accepted = 0;
    for (int round = 0; round < 5000; ++round) {
        std::vector<uint8_t> file = test::makeFxp(chunks[random() % chunks.size()]);
        // Flip a few bytes, anywhere (header fields included), then cut the file somewhere.
        const int flips = static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) {
            file[random() % file.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        }
        if (random() % 2 == 0) {
            file.resize(random() % (file.size() + 1));
        }
        if (random() % 8 == 0 && file.size() >= 60) {
            // A chunk size bigger than the file, up to and beyond the limit.
            const uint32_t claimed = 900 + random() % 3500;
            for (int i = 0; i < 4; ++i) {
                file[56 + i] = static_cast<uint8_t>(claimed >> (24 - 8 * i));
            }
        }
        std::unique_ptr<uint8_t[]> exact(new uint8_t[file.empty() ? 1 : file.size()]);
        std::copy(file.begin(), file.end(), exact.get());
        MemoryStream stream(exact.get(), file.size());
        const ProgramRecord before = filledRecord(0x55667788);
        ProgramRecord record = before;
        if (readFxpIntoRecord(stream, record)) {
            ++accepted;
            EXPECT_EQ(record.u(word::version), kCurrentLayout);
        } else {
            EXPECT_TRUE(record == before);
        }
    }
    EXPECT_GT(accepted, 100);
}

}  // namespace
}  // namespace tarsk
