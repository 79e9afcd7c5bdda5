// Tests of the program chunk reader and writer: every layout loaded from a hand-built chunk and checked
// word by word after its migration, refusals, the edge cases of the layout history, and the image
// scratch area shared between threads.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <random>
#include <thread>

#include "engine/program-fields.h"
#include "layout-chunks.h"
#include "presets/program-chunk.h"

namespace tarsk {
namespace {

using test::bitsOf;
using test::ChunkBuilder;
using test::markOf;

constexpr uint32_t kSentinel = 0xA5A5A5A5;
constexpr uint32_t kOne = 0x3F800000;
constexpr uint32_t kZero = 0;

using Words = std::array<uint32_t, kRecordWords>;

ProgramRecord sentinelRecord() {
    ProgramRecord r;
    for (uint32_t& w : r.words) {
        w = kSentinel;
    }
    return r;
}

// What a stream layout leaves: the record's old words, overwritten by everything the chunk carried.
Words keptAndCarried(const ChunkBuilder& b) {
    Words w;
    for (int i = 0; i < kRecordWords; ++i) {
        w[i] = b.carried[i] ? b.stored[i] : kSentinel;
    }
    return w;
}

// What an image leaves: a record that starts from zero.
Words imageCarried(const ChunkBuilder& b) {
    Words w;
    for (int i = 0; i < kRecordWords; ++i) {
        w[i] = b.carried[i] ? b.stored[i] : 0;
    }
    return w;
}

uint32_t negated(uint32_t bits) { return bits ^ 0x80000000u; }

void swapTaps(Words& w) {
    for (int line = 0; line < 4; ++line) {
        std::swap(w[18 + line], w[26 + line]);
    }
}

void expectWords(const ProgramRecord& record, const Words& expected) {
    for (int i = 0; i < kRecordWords; ++i) {
        const ProgramField* field = programFieldAtWord(i);
        EXPECT_EQ(record.u(i), expected[i]) << "word " << i << " (" << field->name << ")";
    }
}

ProgramRecord load(const ChunkBuilder& b, bool& ok) {
    ProgramRecord record = sentinelRecord();
    // An exactly sized heap copy, so that a read past the end shows under the address sanitizer.
    std::vector<uint8_t> data(b.bytes);
    ok = readChunk(record, data.data(), data.size());
    return record;
}

// ---------------------------------------------------------------------------------------------
// Every layout, word by word

TEST(ChunkLayouts, CurrentLayoutIsTakenAsItStands) {
    ChunkBuilder b = test::chunkD000(0x1234F0F0);
    ASSERT_EQ(b.bytes.size(), 880u);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = keptAndCarried(b);  // the reserved word 3 keeps its value
    expectWords(r, w);
    EXPECT_EQ(std::string(r.name()), test::kTestName);
    EXPECT_EQ(std::string(r.description()), test::kTestDescription);
}

TEST(ChunkLayouts, C000DropsTwoDynamicsValuesAndClearsInverterDepths) {
    ChunkBuilder b = test::chunkC000(0x0000FFFF);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = keptAndCarried(b);
    w[1] = 0xD000;
    w[62] = kZero;  // LFO inverter depths and the envelope's, cleared by the last step
    w[70] = kZero;
    w[79] = kZero;
    expectWords(r, w);
    // The 10th and 11th of the eleven stored values land in words 78 and 79 (then 79 is cleared).
    EXPECT_EQ(r.f(word::support), 1078.0f);
    EXPECT_NE(r.f(word::support), 7777.0f);
    EXPECT_NE(r.f(word::envInverterDepth), 8888.0f);
}

TEST(ChunkLayouts, B000TurnsTapFlagsIntoLevelsAndNegatesTheSecondAngles) {
    ChunkBuilder b = test::chunkB000(0xB000, 0x0301);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = keptAndCarried(b);
    w[1] = 0xD000;
    w[2] = 0x5000;
    w[40] = negated(markOf(40));
    w[54] = negated(markOf(54));
    w[98] = kOne;
    w[99] = kOne;
    w[100] = kZero;
    w[62] = w[70] = w[79] = kZero;
    expectWords(r, w);
    EXPECT_EQ(r.f(word::beta), -1040.0f);
}

TEST(ChunkLayouts, A000DerivesMultitapFromTheOldBits) {
    // 0x2412: old multitap count 2, "filters before output" and bit 13 (both cleared), tap 3 output.
    ChunkBuilder b = test::chunkB000(0xA000, 0x2412);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = keptAndCarried(b);
    w[1] = 0xD000;
    w[2] = 0xD000;  // multitap, tap outputs, inner feedback
    w[40] = negated(markOf(40));
    w[54] = negated(markOf(54));
    w[98] = kZero;
    w[99] = kZero;
    w[100] = kOne;
    w[62] = w[70] = w[79] = kZero;
    expectWords(r, w);

    // Cross mixing alone also made a program multitap; it keeps cross mixing and gains no inner feedback.
    ChunkBuilder cross = test::chunkB000(0xA000, 0x0030);
    ProgramRecord rc = load(cross, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(rc.u(word::flags), 0x8020u);
}

TEST(ChunkLayouts, N9000SwapsTapOneAndThreeAndSetsTheSwapFlag) {
    ChunkBuilder b = test::chunkB000(0x9000, 0x0020);
    b.at(40 + 4 * (18 - 11)).word(18, bitsOf(0.2f));  // line 1: tap 1 at 0.2 ...
    b.at(40 + 4 * (26 - 11)).word(26, bitsOf(0.9f));  // ... tap 3 at 0.9
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = keptAndCarried(b);
    swapTaps(w);
    w[1] = 0xD000;
    w[2] = 0x8820;  // swap flag added, cross mixing made it multitap
    w[40] = negated(markOf(40));
    w[54] = negated(markOf(54));
    w[98] = w[99] = w[100] = kZero;
    w[62] = w[70] = w[79] = kZero;
    expectWords(r, w);
    EXPECT_EQ(r.f(word::tap1), 0.9f);
    EXPECT_EQ(r.f(word::tap3), 0.2f);
    EXPECT_EQ(r.f(word::tap2), 1022.0f);
    EXPECT_NE(r.u(word::flags) & flag::swapRowsColumns, 0u);
}

TEST(ChunkLayouts, N8000ClearsSupportAndInverterDepth) {
    ChunkBuilder b = test::chunk8000(0x00010104);
    ASSERT_EQ(b.bytes.size(), 872u);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = keptAndCarried(b);
    swapTaps(w);
    w[1] = 0xD000;
    w[2] = 0x0001D800;  // high bits pass every step
    w[40] = negated(markOf(40));
    w[54] = negated(markOf(54));
    w[78] = w[79] = kZero;
    w[98] = kOne;
    w[99] = w[100] = kZero;
    w[62] = w[70] = kZero;
    expectWords(r, w);
}

TEST(ChunkLayouts, N7000GivesTheSecondLfoItsDefaults) {
    ChunkBuilder b = test::chunk7000(0);
    ASSERT_EQ(b.bytes.size(), 832u);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = keptAndCarried(b);
    swapTaps(w);
    w[1] = 0xD000;
    w[2] = 0x0800;
    w[40] = negated(markOf(40));
    w[54] = negated(markOf(54));
    w[59] = w[60] = w[61] = kZero;
    w[63] = kOne;
    for (int i = 64; i <= 69; ++i) {
        w[i] = 0;
    }
    w[62] = w[70] = kZero;
    w[78] = w[79] = kZero;
    w[98] = w[99] = w[100] = kZero;
    expectWords(r, w);
    EXPECT_EQ(r.u(word::lfo1 + lfo::shape), markOf(58));  // 0x7000 carries the first LFO's shape
}

TEST(ChunkLayouts, N6000ClearsTheFirstLfoShape) {
    ChunkBuilder b = test::chunk6000(0x0200);
    ASSERT_EQ(b.bytes.size(), 828u);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = keptAndCarried(b);
    swapTaps(w);
    w[1] = 0xD000;
    w[2] = 0x4800;
    w[40] = negated(markOf(40));
    w[54] = negated(markOf(54));
    w[58] = 0;
    w[59] = w[60] = w[61] = kZero;
    w[63] = kOne;
    for (int i = 64; i <= 69; ++i) {
        w[i] = 0;
    }
    w[62] = w[70] = kZero;
    w[78] = w[79] = kZero;
    w[98] = kZero;
    w[99] = kOne;
    w[100] = kZero;
    expectWords(r, w);
}

TEST(ChunkLayouts, N5000SetsUnityGains) {
    ChunkBuilder b = test::chunk5000(0x0040);
    ASSERT_EQ(b.bytes.size(), 820u);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = keptAndCarried(b);
    swapTaps(w);
    w[1] = 0xD000;
    w[2] = 0x0840;
    w[40] = negated(markOf(40));
    w[54] = negated(markOf(54));
    w[58] = 0;
    w[59] = w[60] = w[61] = kZero;
    w[63] = kOne;
    for (int i = 64; i <= 69; ++i) {
        w[i] = 0;
    }
    w[62] = w[70] = kZero;
    w[78] = w[79] = kZero;
    w[96] = w[97] = kOne;
    w[98] = w[99] = w[100] = kZero;
    expectWords(r, w);
}

// Everything a load from 0x5000 sets, for records that come out of an image (which start from zero).
void expectFrom5000(Words& w, uint32_t flags, uint32_t tap1, uint32_t tap2, uint32_t tap3) {
    swapTaps(w);
    w[1] = 0xD000;
    w[2] = flags;
    w[40] = negated(w[40]);
    w[54] = negated(w[54]);
    w[63] = kOne;
    w[78] = w[79] = kZero;
    w[96] = w[97] = kOne;
    w[98] = tap1;
    w[99] = tap2;
    w[100] = tap3;
}

TEST(ChunkLayouts, N4000ImageIsCompactedIntoAFreshRecord) {
    ChunkBuilder b = test::image4000(0x0500);
    ASSERT_EQ(b.bytes.size(), 1024u);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = imageCarried(b);  // word 3 and all words the image lacks start from 0, not from the old record
    expectFrom5000(w, 0x4800, kOne, kZero, kOne);
    expectWords(r, w);
    EXPECT_EQ(std::string(r.description()), test::kTestDescription);
}

TEST(ChunkLayouts, N3000ImageMovesItsDescription) {
    ChunkBuilder b = test::image3000(0x0001);
    ASSERT_EQ(b.bytes.size(), 1056u);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = imageCarried(b);
    // The multitap count makes the program multitap with inner feedback, without cross mixing.
    expectFrom5000(w, 0x9800, kZero, kZero, kZero);
    expectWords(r, w);
    EXPECT_EQ(std::string(r.description()), test::kTestDescription);
}

TEST(ChunkLayouts, N2000ImageTakesTheInnerAnglesFromBelowAndHasNoDescription) {
    ChunkBuilder b = test::image2000(0x2000, 0x0002, 0.25f, 0.5f);
    ASSERT_EQ(b.bytes.size(), 544u);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = imageCarried(b);
    w[53] = bitsOf(0.25f);
    w[54] = bitsOf(0.5f);  // negated by the 0xB000 step
    for (int i = 101; i <= 220; ++i) {
        w[i] = 0;
    }
    // A multitap count implied cross mixing in these images.
    expectFrom5000(w, 0x9820, kZero, kZero, kZero);
    expectWords(r, w);
    EXPECT_EQ(r.f(word::theta), -0.5f);
    EXPECT_EQ(r.description()[0], 0);
}

TEST(ChunkLayouts, N1000ImageGetsDecayScaleAndMidBandDefaults) {
    ChunkBuilder b = test::image2000(0x1000, 0, 3.0f, -4.0f);
    bool ok = false;
    ProgramRecord r = load(b, ok);
    ASSERT_TRUE(ok);
    Words w = imageCarried(b);
    const float defaults[] = {1.0f, 1.0f, 1.0f, 1.0f, 100.0f, 1.0f, 1.0f};
    for (int i = 0; i < 7; ++i) {
        w[46 + i] = bitsOf(defaults[i]);
    }
    w[53] = bitsOf(3.0f);
    w[54] = bitsOf(-4.0f);
    for (int i = 101; i <= 220; ++i) {
        w[i] = 0;
    }
    expectFrom5000(w, 0x0800, kZero, kZero, kZero);
    expectWords(r, w);
    EXPECT_EQ(r.f(word::midCenter), 100.0f);
    EXPECT_EQ(r.f(word::theta), 4.0f);
}

// ---------------------------------------------------------------------------------------------
// Refusals

std::vector<ChunkBuilder> oneChunkOfEachLayout() {
    return {test::chunkD000(0),        test::chunkC000(0),        test::chunkB000(0xB000, 0),
            test::chunkB000(0xA000, 0), test::chunkB000(0x9000, 0), test::chunk8000(0),
            test::chunk7000(0),        test::chunk6000(0),        test::chunk5000(0),
            test::image4000(0),        test::image3000(0),        test::image2000(0x2000, 0, 0, 0),
            test::image2000(0x1000, 0, 0, 0)};
}

TEST(ChunkRefusals, ShortChunksOfEveryLayoutLeaveTheRecordUntouched) {
    for (const ChunkBuilder& b : oneChunkOfEachLayout()) {
        const size_t full = b.bytes.size();
        const uint32_t version = test::getLE32(b.bytes.data() + 4);
        EXPECT_EQ(chunkLayoutBytes(version), full) << std::hex << version;
        for (size_t size : {full - 1, full - 4, full / 2, size_t{16}, size_t{12}, size_t{11}, size_t{4}, size_t{0}}) {
            std::vector<uint8_t> data(b.bytes.begin(), b.bytes.begin() + static_cast<long>(size));
            const ProgramRecord before = sentinelRecord();
            ProgramRecord record = before;
            EXPECT_FALSE(readChunk(record, data.data(), data.size())) << std::hex << version << " size " << std::dec << size;
            EXPECT_TRUE(record == before) << std::hex << version << " size " << std::dec << size;
        }
        // One byte more than needed is fine: a chunk may sit in a larger buffer.
        std::vector<uint8_t> longer(b.bytes);
        longer.push_back(0);
        ProgramRecord record = sentinelRecord();
        EXPECT_TRUE(readChunk(record, longer.data(), longer.size())) << std::hex << version;
        EXPECT_EQ(record.u(word::version), 0xD000u);
    }
    ProgramRecord record = sentinelRecord();
    EXPECT_FALSE(readChunk(record, nullptr, 880));
    EXPECT_TRUE(record == sentinelRecord());
}

TEST(ChunkRefusals, UnknownLayoutVersionsChangeNothing) {
    for (uint32_t version : {0x0000u, 0x0FFFu, 0x0800u, 0xD001u, 0xE000u, 0x5D3B607Cu, 0xFFFFFFFFu}) {
        ChunkBuilder b = test::chunkD000(0x0800);
        test::putLE32(b.bytes, 4, version);
        b.bytes.resize(4096, 0);
        const ProgramRecord before = sentinelRecord();
        ProgramRecord record = before;
        EXPECT_FALSE(readChunk(record, b.bytes.data(), b.bytes.size())) << std::hex << version;
        EXPECT_TRUE(record == before) << std::hex << version;
        EXPECT_EQ(chunkLayoutBytes(version), 0u);
    }
}

// ---------------------------------------------------------------------------------------------
// Edge cases of the layout history and the writer

TEST(ChunkEdgeCases, OldMagicSurvivesLoadAndSave) {
    for (const ChunkBuilder& b : {test::chunkD000(0, test::kOldMagic), test::chunk5000(0, test::kOldMagic)}) {
        ProgramRecord record;
        ASSERT_TRUE(readChunk(record, b.bytes.data(), b.bytes.size()));
        EXPECT_EQ(record.u(word::magic), test::kOldMagic);
        uint8_t chunk[kChunkBytes];
        ASSERT_EQ(writeChunk(chunk, record), kChunkBytes);
        EXPECT_EQ(test::getLE32(chunk), test::kOldMagic);
        EXPECT_EQ(chunk[0], 0x01);
        EXPECT_EQ(test::getLE32(chunk + 4), 0xD000u);
    }
}

TEST(ChunkEdgeCases, WriteThenReadGivesTheRecordBackInTheCurrentLayout) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 50; ++round) {
        ProgramRecord original;
        for (uint32_t& w : original.words) {
            w = random();
        }
        original.setU(word::version, 0xD000);
        original.setU(word::reserved, 0);
        uint8_t chunk[kChunkBytes + 4];
        std::memset(chunk, 0xCC, sizeof(chunk));
        ASSERT_EQ(writeChunk(chunk, original), 880u);
        EXPECT_EQ(chunk[880], 0xCC) << "wrote past 880 bytes";
        // Layout: words 0-2, the name at 12, the description at 400, no word 3.
        EXPECT_EQ(test::getLE32(chunk + 0), original.u(0));
        EXPECT_EQ(test::getLE32(chunk + 8), original.u(2));
        EXPECT_EQ(std::memcmp(chunk + 12, original.name(), 28), 0);
        EXPECT_EQ(test::getLE32(chunk + 40), original.u(word::dry));
        EXPECT_EQ(std::memcmp(chunk + 400, original.description(), 480), 0);

        ProgramRecord loaded = sentinelRecord();
        ASSERT_TRUE(readChunk(loaded, chunk, kChunkBytes));
        EXPECT_EQ(loaded.u(word::reserved), kSentinel);  // not carried: kept
        loaded.setU(word::reserved, 0);
        EXPECT_TRUE(loaded == original);
    }
}

TEST(ChunkEdgeCases, VersionWordIsWrittenAsTheRecordHoldsIt) {
    ProgramRecord record;
    record.setU(word::version, 0x1234);
    uint8_t chunk[kChunkBytes];
    writeChunk(chunk, record);
    EXPECT_EQ(test::getLE32(chunk + 4), 0x1234u);
}

// ---------------------------------------------------------------------------------------------
// The shared scratch area

TEST(ChunkConcurrency, ImageReadsOnTwoThreadsDoNotMix) {
    const ChunkBuilder first = test::image3000(0x0001);
    ChunkBuilder second = test::image2000(0x1000, 0x0004, 7.0f, 8.0f);
    ProgramRecord expectedFirst;
    ProgramRecord expectedSecond;
    ASSERT_TRUE(readChunk(expectedFirst, first.bytes.data(), first.bytes.size()));
    ASSERT_TRUE(readChunk(expectedSecond, second.bytes.data(), second.bytes.size()));
    ASSERT_FALSE(expectedFirst == expectedSecond);

    std::atomic<int> ready{0};
    auto reader = [&ready](const ChunkBuilder* b, const ProgramRecord* expected, int* mismatches) {
        // Both threads start reading together, so that their reads overlap as much as possible.
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        for (int i = 0; i < 20000; ++i) {
            ProgramRecord record;
            if (!readChunk(record, b->bytes.data(), b->bytes.size()) || !(record == *expected)) {
                ++*mismatches;
            }
        }
    };
    int mismatchesFirst = 0;
    int mismatchesSecond = 0;
    std::thread a(reader, &first, &expectedFirst, &mismatchesFirst);
    std::thread b(reader, &second, &expectedSecond, &mismatchesSecond);
    a.join();
    b.join();
    EXPECT_EQ(mismatchesFirst, 0);
    EXPECT_EQ(mismatchesSecond, 0);
}

}  // namespace
}  // namespace tarsk
