// Tests of the two start programs: the committed Init.fxp loads into the Init record, the slot-0
// program has the current framing, and the generator reproduces both files byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "chunk-builder.h"
#include "presets/fxp-file.h"
#include "program-source.h"
#include "start-programs.h"
#include "tarsklib/stream.h"

namespace tarsk {
namespace {

using test::getBE32;

// The source tree: from the environment that ctest sets, else the one this test was built from.
std::string sourceDir() {
    const char* dir = std::getenv("TARSK_SOURCE_DIR");
    return dir != nullptr ? dir : TARSK_TEST_SOURCE_DIR;
}

std::vector<uint8_t> committedFile(const char* name) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(readWholeFile(sourceDir() + "/resources/programs/" + name, bytes)) << name;
    return bytes;
}

// The Init record as the record tables give it.
ProgramRecord initRecord() {
    ProgramRecord r;
    r.setU(0, 0x5D3B607C);
    r.setU(1, 0xD000);
    r.setU(2, 0x0800);
    const char name[] = "Init";
    std::memcpy(&r.words[4], name, sizeof(name));
    const char description[] = "This preset is a non-operation (identity).";
    std::memcpy(&r.words[101], description, sizeof(description));
    auto set = [&r](int first, std::initializer_list<float> values) {
        for (float v : values) {
            r.setF(first++, v);
        }
    };
    set(11, {100, 0, 0.001f, 1, 1, 1, 1});
    set(18, {0.7141f, 0.7114f, 0.7085f, 0.6926f, 0.7984f, 0.7969f, 0.7953f, 0.7863f});
    set(26, {0.8944f, 0.8927f, 0.8909f, 0.8808f, 0});
    set(31, {0.7071f, 0, 0, -0.7071f, 0, 0.7071f, -0.7071f, 0, 0, 0});
    set(41, {500, 50001, 50001, 0, 0, 1, 1, 1, 1, 100, 1, 1, 0, 0});
    set(55, {1, 0, 0});
    r.setU(58, 0);
    set(59, {0, 0, 0, 0, 1, 0, 0});
    r.setU(66, 0);
    set(67, {0, 0, 0, 0});
    set(71, {0.002f, 0.05f, 0, 1, 0, 1, 0, 0, 0});
    const float e = 4.76837158e-07f;  // 2^-21
    set(80, {1, e, -e, 1, -1, -e, e, -1});
    set(88, {1, e, -e, 1, -1, -e, e, -1});
    set(96, {1, 1, 0, 0, 0});
    return r;
}

TEST(StartPrograms, InitFileIsAnImageThatLoadsIntoTheInitRecord) {
    const std::vector<uint8_t> file = committedFile("Init.fxp");
    ASSERT_EQ(file.size(), 1084u);
    EXPECT_EQ(getBE32(file.data() + 4), 0u);      // byteSize
    EXPECT_EQ(getBE32(file.data() + 20), 1u);     // fxVersion
    EXPECT_EQ(getBE32(file.data() + 56), 1024u);  // chunkSize
    EXPECT_EQ(test::getLE32(file.data() + 60 + 4), 0x4000u);

    ProgramRecord record;
    for (uint32_t& w : record.words) {
        w = 0xDEADBEEF;
    }
    MemoryStream stream(file.data(), file.size());
    ASSERT_TRUE(readFxpIntoRecord(stream, record));
    const ProgramRecord expected = initRecord();
    for (int i = 0; i < kRecordWords; ++i) {
        EXPECT_EQ(record.u(i), expected.u(i)) << "word " << i;
    }
    EXPECT_EQ(std::string(record.name()), "Init");
    EXPECT_EQ(std::string(record.description()), "This preset is a non-operation (identity).");
    EXPECT_EQ(std::signbit(record.f(word::beta)), false);
    EXPECT_EQ(std::signbit(record.f(word::theta)), false);
    EXPECT_EQ(record.f(word::inputVectors + 1), std::ldexp(1.0f, -21));
}

TEST(StartPrograms, SlotZeroProgramIsACurrentFile) {
    const std::vector<uint8_t> file = committedFile("Ridiva ra dez Urerozidu.fxp");
    ASSERT_EQ(file.size(), 940u);
    EXPECT_EQ(getBE32(file.data() + 4), 932u);
    EXPECT_EQ(getBE32(file.data() + 20), 760u);
    ProgramRecord record;
    MemoryStream stream(file.data(), file.size());
    ASSERT_TRUE(readFxpIntoRecord(stream, record));
    EXPECT_EQ(std::string(record.name()), "Ridiva ra dez Urerozidu");
    EXPECT_EQ(std::strlen(record.name()), 23u);
    EXPECT_EQ(record.u(word::magic), kProgramMagic);
    EXPECT_EQ(record.u(word::flags), 0x9820u);  // multitap, inner feedback, swap, cross mixing
    EXPECT_GT(std::strlen(record.description()), 20u);
    // A reverb: feedback, some wet signal, the dry signal untouched.
    EXPECT_GT(record.f(word::halfLife), 0.0f);
    EXPECT_GT(record.f(word::wet), 0.0f);
    EXPECT_EQ(record.f(word::dry), 100.0f);

    // It is exactly what the plug-in's own writer makes of that record.
    std::vector<uint8_t> rewritten(940);
    MemoryStream out(rewritten.data(), rewritten.size());
    ASSERT_TRUE(writeFxp(out, record));
    EXPECT_EQ(rewritten, file);
}

TEST(StartPrograms, GeneratorReproducesTheCommittedFiles) {
    std::random_device seed;
    const std::filesystem::path outDir =
        std::filesystem::temp_directory_path() / ("tarsk-start-programs-" + std::to_string(seed()));
    std::filesystem::create_directories(outDir);
    std::string error;
    ASSERT_TRUE(makeStartPrograms(sourceDir(), outDir.string(), error)) << error;
    for (const StartProgram& program : startPrograms()) {
        std::vector<uint8_t> generated;
        ASSERT_TRUE(readWholeFile((outDir / program.output).string(), generated));
        EXPECT_EQ(generated, committedFile(program.output)) << program.output;
    }
    std::filesystem::remove_all(outDir);

    // A missing source folder is reported, not crashed on.
    EXPECT_FALSE(makeStartPrograms("/nonexistent-tarsk-folder", outDir.string(), error));
    EXPECT_NE(error.find("init.program"), std::string::npos);
}

}  // namespace
}  // namespace tarsk
