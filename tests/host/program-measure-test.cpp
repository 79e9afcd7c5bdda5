// Program measurement against programs whose sound is known in closed form: the identity, a plain
// feedback loop whose decay follows from its half life, and a loop without loss.
#include <gtest/gtest.h>

#include "engine/program-record.h"
#include "host-paths.h"
#include "host/program-measure.h"
#include "presets/program-chunk.h"
#include "program-source.h"

namespace tarsk {
namespace {

ProgramRecord initRecord() {
    ProgramSource source;
    std::string error;
    EXPECT_TRUE(readProgramSourceFile(std::string(TARSK_TEST_SOURCE_DIR) + "/resources/programs/init.program",
                                      source, error))
        << error;
    return source.record;
}

std::vector<uint8_t> chunkOf(const ProgramRecord& record) {
    std::vector<uint8_t> chunk(kMaxChunkBytes);
    chunk.resize(writeChunk(chunk.data(), record));
    return chunk;
}

// Wet only, four 100 ms lines feeding back into themselves, no filters: 60 dB take 10 half lives.
ProgramRecord plainLoop(float halfLifeMs) {
    ProgramRecord record = initRecord();
    record.setF(word::dry, 0.0f);
    record.setF(word::wet, 100.0f);
    for (int i = 0; i < 4; ++i) {
        record.setF(word::delayLength + i, 100.0f + 7.0f * static_cast<float>(i));
    }
    record.setF(word::halfLife, halfLifeMs);
    record.setF(word::lowcut, 0.0f);
    record.setF(word::highcut, 50001.0f);
    return record;
}

TEST(ProgramMeasure, ReadsLevelDecayAndTailOfKnownPrograms) {
    tarskhost::MeasureSettings settings;
    tarskhost::ProgramMeasurement m;
    std::string error;

    ASSERT_TRUE(tarskhost::measureProgram(test::pluginPath(), chunkOf(initRecord()), settings, m, error)) << error;
    EXPECT_TRUE(m.finite);
    EXPECT_NEAR(m.peakDbfs, settings.burstPeakDbfs, 0.1);
    EXPECT_NEAR(m.gainDb, 0.0, 0.01);
    EXPECT_LE(m.tailSeconds, 0.011);
    EXPECT_FALSE(m.sustains);
    EXPECT_GT(m.burstCentroidHz, 11000.0);  // white noise up to 24 kHz centres near 12 kHz
    EXPECT_LT(m.burstCentroidHz, 13000.0);

    ASSERT_TRUE(tarskhost::measureProgram(test::pluginPath(), chunkOf(plainLoop(100.0f)), settings, m, error))
        << error;
    EXPECT_TRUE(m.finite);
    EXPECT_NEAR(m.decaySeconds, 1.0, 0.1);
    // From about -15 dBFS at the end of the burst down to -90 dBFS: a little over 75 dB of the decay.
    EXPECT_GT(m.tailSeconds, 1.0);
    EXPECT_LT(m.tailSeconds, 1.6);
    EXPECT_FALSE(m.sustains);

    ASSERT_TRUE(tarskhost::measureProgram(test::pluginPath(), chunkOf(plainLoop(400.0f)), settings, m, error))
        << error;
    EXPECT_NEAR(m.decaySeconds, 4.0, 0.4);

    // A loop that loses nothing sustains to the end of the render; ten 100 ms passes of the burst pile
    // up to about 10 dB above it, and no further.
    settings.maxTailSeconds = 3.0;
    ASSERT_TRUE(tarskhost::measureProgram(test::pluginPath(), chunkOf(plainLoop(1e9f)), settings, m, error))
        << error;
    EXPECT_TRUE(m.finite);
    EXPECT_TRUE(m.sustains);
    EXPECT_GT(m.peakDbfs, settings.burstPeakDbfs + 6.0);
    EXPECT_LT(m.peakDbfs, settings.burstPeakDbfs + 18.0);
    EXPECT_NEAR(m.renderedSeconds, settings.burstSeconds + settings.maxTailSeconds, 0.02);
}

}  // namespace
}  // namespace tarsk
