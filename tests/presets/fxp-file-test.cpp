// Tests of the .fxp framing: the written header, files of every size the layouts give, every header
// check, truncated files, and the hand-over to a slot loader.
#include <gtest/gtest.h>

#include <vector>

#include "layout-chunks.h"
#include "presets/fxp-file.h"
#include "presets/program-chunk.h"
#include "tarsklib/stream.h"

namespace tarsk {
namespace {

using test::ChunkBuilder;
using test::FxpFields;
using test::getBE32;
using test::makeFxp;

ProgramRecord sampleRecord() {
    ProgramRecord r;
    r.setU(word::magic, kProgramMagic);
    r.setU(word::version, kCurrentLayout);
    r.setU(word::flags, 0x0800);
    r.setName("Sample program name");
    r.setDescription("Sample description.");
    for (int i = word::dry; i < word::description; ++i) {
        r.setF(i, static_cast<float>(i) * 0.5f);
    }
    return r;
}

ProgramRecord markedRecord() {
    ProgramRecord r;
    for (uint32_t& w : r.words) {
        w = 0x5A5A5A5A;
    }
    return r;
}

bool readFile(const std::vector<uint8_t>& file, ProgramRecord& record) {
    MemoryStream stream(file.data(), file.size());
    return readFxpIntoRecord(stream, record);
}

TEST(FxpWrite, WritesTheBigEndianHeaderAndTheCurrentChunk) {
    const ProgramRecord record = sampleRecord();
    std::vector<uint8_t> file(1200, 0xCC);
    MemoryStream stream(file.data(), file.size());
    ASSERT_TRUE(writeFxp(stream, record));
    EXPECT_EQ(stream.tell(), 940u);
    EXPECT_EQ(stream.fileByteOrder(), kByteOrderBig);  // the switch stays set

    const uint8_t* p = file.data();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 4), "CcnK");
    EXPECT_EQ(getBE32(p + 4), 932u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 8), 4), "FPCh");
    EXPECT_EQ(getBE32(p + 12), 1u);
    EXPECT_EQ(p[16], 0x5D);
    EXPECT_EQ(p[17], 0x3B);
    EXPECT_EQ(p[18], 0x60);
    EXPECT_EQ(p[19], 0x01);
    EXPECT_EQ(getBE32(p + 20), 760u);
    EXPECT_EQ(getBE32(p + 24), 0u);
    EXPECT_EQ(std::memcmp(p + 28, record.name(), 28), 0);
    EXPECT_EQ(getBE32(p + 56), 880u);
    uint8_t chunk[kChunkBytes];
    writeChunk(chunk, record);
    EXPECT_EQ(std::memcmp(p + 60, chunk, kChunkBytes), 0);  // little-endian words inside
    EXPECT_EQ(file[940], 0xCC);

    ProgramRecord loaded;
    file.resize(940);
    ASSERT_TRUE(readFile(file, loaded));
    EXPECT_TRUE(loaded == record);

    // A stream that refuses part of the file makes the write fail.
    std::vector<uint8_t> small(500);
    MemoryStream tooSmall(small.data(), small.size());
    EXPECT_FALSE(writeFxp(tooSmall, record));
}

TEST(FxpRead, FilesOfEveryLayoutSizeLoad) {
    struct Case {
        ChunkBuilder chunk;
        size_t fileSize;
        uint32_t fxVersion;
    };
    const std::vector<Case> cases = {
        {test::image2000(0x1000, 0, 0, 0), 604, 1},   {test::image2000(0x2000, 0, 0, 0), 604, 1},
        {test::chunk5000(0), 880, 500},               {test::chunk6000(0), 888, 500},
        {test::chunk7000(0), 892, 600},               {test::chunk8000(0), 932, 700},
        {test::chunkB000(0x9000, 0), 940, 720},       {test::chunkB000(0xA000, 0), 940, 720},
        {test::chunkB000(0xB000, 0), 940, 720},       {test::chunkC000(0), 940, 760},
        {test::chunkD000(0x0800), 940, 760},          {test::image4000(0), 1084, 1},
        {test::image3000(0), 1116, 1},
    };
    for (const Case& c : cases) {
        FxpFields fields;
        fields.fxVersion = c.fxVersion;
        fields.byteSize = 0;  // ignored
        const std::vector<uint8_t> file = makeFxp(c.chunk.bytes, fields);
        ASSERT_EQ(file.size(), c.fileSize);
        ProgramRecord record = markedRecord();
        EXPECT_TRUE(readFile(file, record)) << c.fileSize;
        EXPECT_EQ(record.u(word::version), kCurrentLayout);
        EXPECT_EQ(std::string(record.name()), test::kTestName) << "the name comes from the chunk";
    }
}

TEST(FxpRead, EveryHeaderCheckRefusesAndChangesNothing) {
    const std::vector<uint8_t> chunk = test::chunkD000(0x0800).bytes;
    std::vector<FxpFields> wrong(6);
    wrong[0].chunkMagic = 0x43636E4C;  // "CcnL"
    wrong[1].fxMagic = 0x46784363;     // "FxCk": a parameter set, not an opaque chunk
    wrong[2].version = 2;
    wrong[3].fxId = 0x5D3B607C;
    wrong[4].chunkSize = 4097;
    wrong[5].fxId = 0x01603B5D;        // the id in the wrong byte order
    for (const FxpFields& fields : wrong) {
        std::vector<uint8_t> file = makeFxp(chunk, fields);
        file.resize(60 + 4097, 0);
        const ProgramRecord before = markedRecord();
        ProgramRecord record = before;
        EXPECT_FALSE(readFile(file, record));
        EXPECT_TRUE(record == before);
    }

    // byteSize, fxVersion, numParams and prgName are not checked.
    FxpFields ignored;
    ignored.byteSize = 0xFFFFFFFF;
    ignored.fxVersion = 12345;
    ignored.numParams = 99;
    ignored.prgName = "Some other name entirely!!";
    ProgramRecord record = markedRecord();
    EXPECT_TRUE(readFile(makeFxp(chunk, ignored), record));
    EXPECT_EQ(std::string(record.name()), test::kTestName);

    // The largest chunk a file may carry is 4,096 bytes (here a current chunk with padding behind it).
    std::vector<uint8_t> padded(chunk);
    padded.resize(4096, 0);
    record = markedRecord();
    EXPECT_TRUE(readFile(makeFxp(padded), record));

    // The chunk's own magic is not tested on this path.
    std::vector<uint8_t> oddMagic(chunk);
    test::putLE32(oddMagic, 0, 0x12345678);
    record = markedRecord();
    EXPECT_TRUE(readFile(makeFxp(oddMagic), record));
    EXPECT_EQ(record.u(word::magic), 0x12345678u);

    // A chunk the reader refuses (unknown layout) also leaves the record as it was.
    std::vector<uint8_t> unknown(chunk);
    test::putLE32(unknown, 4, 0xE000);
    const ProgramRecord before = markedRecord();
    record = before;
    EXPECT_FALSE(readFile(makeFxp(unknown), record));
    EXPECT_TRUE(record == before);
}

TEST(FxpRead, TruncatedFilesAreRefused) {
    const std::vector<uint8_t> full = makeFxp(test::image4000(0).bytes);
    ASSERT_EQ(full.size(), 1084u);
    for (size_t size : {size_t{0}, size_t{3}, size_t{4}, size_t{8}, size_t{20}, size_t{55}, size_t{59},
                        size_t{60}, size_t{61}, size_t{600}, size_t{1083}}) {
        std::vector<uint8_t> file(full.begin(), full.begin() + static_cast<long>(size));
        const ProgramRecord before = markedRecord();
        ProgramRecord record = before;
        EXPECT_FALSE(readFile(file, record)) << size;
        EXPECT_TRUE(record == before) << size;
    }
    // A chunkSize that claims less than the layout needs: the chunk reader refuses it.
    FxpFields shortChunk;
    shortChunk.chunkSize = 1000;
    ProgramRecord record = markedRecord();
    EXPECT_FALSE(readFile(makeFxp(test::image4000(0).bytes, shortChunk), record));
    EXPECT_TRUE(record == markedRecord());
}

TEST(FxpRead, ReadFxpChunkHandsOverTheChunkBytes) {
    const std::vector<uint8_t> chunk = test::chunk7000(0).bytes;
    const std::vector<uint8_t> file = makeFxp(chunk);
    std::vector<uint8_t> data(kMaxChunkBytes, 0xEE);
    size_t size = 0;
    MemoryStream stream(file.data(), file.size());
    ASSERT_TRUE(readFxpChunk(stream, data.data(), size));
    EXPECT_EQ(size, chunk.size());
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), data.begin()));

    // On failure the caller's buffer and size stay as they were.
    std::vector<uint8_t> cut(file.begin(), file.end() - 1);
    std::vector<uint8_t> untouched(kMaxChunkBytes, 0xEE);
    size_t cutSize = 77;
    MemoryStream cutStream(cut.data(), cut.size());
    EXPECT_FALSE(readFxpChunk(cutStream, untouched.data(), cutSize));
    EXPECT_EQ(cutSize, 77u);
    EXPECT_EQ(untouched, std::vector<uint8_t>(kMaxChunkBytes, 0xEE));
}

class RecordingLoader : public ChunkSlotLoader {
public:
    bool loadSlot(const uint8_t* data, size_t size, uint32_t slot) override {
        ++calls;
        lastSlot = slot;
        lastData.assign(data, data + size);
        return answer;
    }
    int calls = 0;
    uint32_t lastSlot = 99;
    std::vector<uint8_t> lastData;
    bool answer = true;
};

TEST(FxpRead, IntoSlotCallsTheLoaderOnlyForGoodFiles) {
    const std::vector<uint8_t> chunk = test::chunk8000(0).bytes;
    RecordingLoader loader;
    {
        const std::vector<uint8_t> file = makeFxp(chunk);
        MemoryStream stream(file.data(), file.size());
        EXPECT_TRUE(readFxpIntoSlot(loader, stream, 2));
        EXPECT_EQ(loader.calls, 1);
        EXPECT_EQ(loader.lastSlot, 2u);
        EXPECT_EQ(loader.lastData, chunk);
    }
    {
        loader.answer = false;
        const std::vector<uint8_t> file = makeFxp(chunk);
        MemoryStream stream(file.data(), file.size());
        EXPECT_FALSE(readFxpIntoSlot(loader, stream, 1));  // the loader's refusal is passed on
        EXPECT_EQ(loader.calls, 2);
    }
    {
        FxpFields fields;
        fields.fxMagic = 0;
        const std::vector<uint8_t> file = makeFxp(chunk, fields);
        MemoryStream stream(file.data(), file.size());
        EXPECT_FALSE(readFxpIntoSlot(loader, stream, 0));
        EXPECT_EQ(loader.calls, 2);
    }
    {
        const std::vector<uint8_t> full = makeFxp(chunk);
        const std::vector<uint8_t> file(full.begin(), full.end() - 10);
        MemoryStream stream(file.data(), file.size());
        EXPECT_FALSE(readFxpIntoSlot(loader, stream, 0));
        EXPECT_EQ(loader.calls, 2);
    }
}

}  // namespace
}  // namespace tarsk
