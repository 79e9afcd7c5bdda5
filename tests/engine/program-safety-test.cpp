// Every program a chunk can carry is safe to play: hand-edited or damaged values within a word's
// range never drive the network to non-finite values or to output beyond a fixed bound. A fuzzer
// over chunks (reproducible from the seed it prints; TARSK_FUZZ_SEED and TARSK_FUZZ_CASES choose
// another run) and the factory programs with a broken matrix vector hold it.
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/loop-test-support.h"
#include "presets/program-chunk.h"
#include "program-source.h"

namespace tarsk {
namespace {

using test::EngineRig;
using test::Stereo;
using test::kTestRate;

// With input within +-1 no accepted program may give samples beyond what the ranges of its levels
// allow: dry at most unity, plus four lines, each at most the saturator's make-up at Drive 50 times
// Out Gain's +60 dB times full wet (200 %, halved), times both LFOs at +-1000 % on the output
// level and the output gate's 2, carrying a saturated line signal at the loop's clamp times the
// largest overunity gain (1000, over 0.3 for the emphasis) and three taps at the clamp. A network
// that grows passes any finite bound within seconds; this one is about 1e11.
constexpr double kLargestLine = 16.0 * 1000.0 / 0.3 + 3.0 * 16.0;
constexpr double kLargestWetPerLine = 8.6 * 1000.0 * 1.0 * 21.0 * 2.0;
constexpr float kOutputBound = static_cast<float>(1.0 + 4.0 * kLargestWetPerLine * kLargestLine);

std::vector<ProgramRecord> factoryPrograms() {
    std::vector<ProgramRecord> programs;
    const std::filesystem::path root = std::filesystem::path(TARSK_TEST_SOURCE_DIR) / "resources" / "factory";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && entry.path().extension() == ".program") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        ProgramSource source;
        std::string error;
        if (readProgramSourceFile(file.string(), source, error)) {
            programs.push_back(source.record);
        } else {
            ADD_FAILURE() << error;
        }
    }
    return programs;
}

// Loud noise with full-scale clicks and stretches of silence, within +-1.
Stereo loudInput(size_t frames, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    Stereo in(frames);
    for (size_t i = 0; i < frames; ++i) {
        const bool quiet = (i / 3000) % 4 == 3;
        in.left[i] = quiet ? 0.0f : noise(rng);
        in.right[i] = quiet ? 0.0f : noise(rng);
        if (i % 4801 == 0) {
            in.left[i] = 1.0f;
            in.right[i] = 1.0f;
        }
    }
    return in;
}

// The largest magnitude of the output, or infinity when a sample is not finite.
float peakOf(const Stereo& out) {
    float peak = 0.0f;
    for (size_t i = 0; i < out.size(); ++i) {
        for (float v : {out.left[i], out.right[i]}) {
            if (!std::isfinite(v)) {
                return INFINITY;
            }
            peak = std::max(peak, std::fabs(v));
        }
    }
    return peak;
}

// Plays a program from a fresh start; answers the output's peak (infinity when not finite).
float playPeak(const ProgramRecord& record, const Stereo& in, bool freeze = false) {
    EngineRig rig;
    rig.engine->setSampleRate(kTestRate);
    rig.engine->setTempo(120.0f);
    CookRequest request;
    request.freeze = freeze;
    rig.engine->cook(record, request);
    rig.engine->reset();
    return peakOf(rig.run(in, {512}));
}

// ---------------------------------------------------------------------------------------------
// Cooking keeps every level and the matrices within their ranges

// Rows of an orthogonal matrix are orthonormal.
::testing::AssertionResult orthogonal(const Matrix4& m) {
    for (int a = 0; a < kLines; ++a) {
        for (int b = 0; b < kLines; ++b) {
            double sum = 0.0;
            for (int k = 0; k < kLines; ++k) {
                sum += double{m.row[a][k]} * m.row[b][k];
            }
            if (std::fabs(sum - (a == b ? 1.0 : 0.0)) > 1e-5) {
                return ::testing::AssertionFailure() << "rows " << a << " and " << b << " give " << sum;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(ProgramLimits, AnyMatrixVectorsGiveRotations) {
    std::mt19937 rng(29);
    std::uniform_real_distribution<float> any(-16.0f, 16.0f);
    std::vector<std::array<float, 8>> planes = {
        {2.0f, 0, 0, -0.7071f, 0, 0.7071f, -0.7071f, 0},  // one component out of place
        {0, 0, 0, 0, 0, 1, 0, 0},                         // u without a direction
        {1, 1, 0, 0, 2, 2, 0, 0},                         // v along u
        {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},  // v equal to u
    };
    for (int n = 0; n < 40; ++n) {
        std::array<float, 8> p;
        for (float& x : p) {
            x = any(rng);
        }
        planes.push_back(p);
    }
    for (const auto& p : planes) {
        ProgramRecord r = test::initRecord();
        r.setU(word::flags, flag::multitap | flag::innerFeedback | flag::crossMixing);
        r.setF(word::halfLife, 100.0f);
        for (int k = 0; k < 8; ++k) {
            r.setF(word::vectorU + k, p[k]);
        }
        r.setF(word::alpha, 37.0f);
        r.setF(word::beta, -71.0f);
        r.setF(word::phi, 101.0f);
        r.setF(word::theta, 13.0f);
        const EngineState s = test::cooked(r);
        EXPECT_TRUE(orthogonal(s.mainMatrix)) << p[0] << " " << p[1] << " " << p[4];
        EXPECT_TRUE(orthogonal(s.innerMatrix[0]));
        EXPECT_TRUE(orthogonal(s.crossMatrix));
    }
    // Vectors that are already orthonormal keep their rotation: alpha 90 in the plane of lines 1 and 2.
    ProgramRecord r = test::initRecord();
    const float plane[8] = {1, 0, 0, 0, 0, 1, 0, 0};
    for (int k = 0; k < 8; ++k) {
        r.setF(word::vectorU + k, plane[k]);
    }
    r.setF(word::alpha, 90.0f);
    const EngineState s = test::cooked(r);
    EXPECT_NEAR(std::fabs(s.mainMatrix.row[0][1]), 1.0f, 1e-6f);
    EXPECT_NEAR(s.mainMatrix.row[2][2], 1.0f, 1e-6f);
}

TEST(ProgramLimits, LevelsStayInTheirRanges) {
    ProgramRecord r = test::initRecord();
    r.setU(word::flags, flag::tapOutputs | flag::multitap);
    r.setF(word::dry, 1e30f);
    r.setF(word::wet, 1e30f);
    r.setF(word::outGain, 1e30f);
    r.setF(word::inputGain, -1e30f);
    r.setF(word::tapLevel, 1e30f);
    r.setF(word::outputVectors, 3.0f);  // (3, 4): length 5
    r.setF(word::outputVectors + 1, 4.0f);
    r.setF(word::inputVectors + 2, 1e30f);
    EngineState s = test::cooked(r);
    EXPECT_EQ(s.dryGain, 1.0f);
    // Full wet (200 %) at +60 dB, the vector scaled back to unit length: 0.6 and 0.8 of 1000.
    EXPECT_NEAR(s.outputGainL[0], 600.0f, 1e-3f);
    EXPECT_NEAR(s.outputGainR[0], 800.0f, 1e-3f);
    EXPECT_EQ(s.inputGainL[1], -16.0f);
    EXPECT_EQ(s.tapLevel[0][0], 1.0f);

    r.setF(word::dry, -50.0f);
    r.setF(word::wet, -50.0f);
    s = test::cooked(r);
    EXPECT_EQ(s.dryGain, 0.0f);
    EXPECT_EQ(s.outputGainL[0], 0.0f);

    // Within the ranges nothing changes: a factory-like program keeps its numbers.
    r = test::initRecord();
    r.setF(word::wet, 150.0f);
    r.setF(word::outGain, 2.0f);
    s = test::cooked(r);
    EXPECT_NEAR(s.outputGainL[0], 1.5f, 1e-6f);
}

TEST(ProgramLimits, AnOverunityLoopGrowsOnlyUntilTheSaturatorHoldsIt) {
    // A short half life with the largest overunity: the loop gain is far above 1, and the level it
    // settles at is bounded.
    ProgramRecord r = test::samplesRecord({101, 143, 173, 211});
    r.setU(word::flags, flag::filtersBeforeOutput | (1u << flag::emphasisShift));
    r.setF(word::halfLife, 20.0f);
    r.setF(word::drive, 0.05f);
    r.setF(word::overunity, 1e9f);
    r.setF(word::wet, 100.0f);
    r.setF(word::alpha, 45.0f);
    EngineState s = test::cooked(r);
    EXPECT_LE(s.postGain[0] * s.drive[0], 1000.0f * 1.0001f);
    EXPECT_GT(s.postGain[0] * s.drive[0] * s.segmentGainCooked[0][0], 1.0f);  // still growing where small
    const float peak = playPeak(r, loudInput(static_cast<size_t>(kTestRate), 3));
    EXPECT_TRUE(std::isfinite(peak));
    EXPECT_LT(peak, kOutputBound);
}

// ---------------------------------------------------------------------------------------------
// The factory programs with a matrix vector out of place

TEST(ProgramSafety, FactoryProgramsStayFiniteWhateverTheMatrixVectorsSay) {
    const std::vector<ProgramRecord> programs = factoryPrograms();
    ASSERT_GT(programs.size(), 150u);
    const Stereo in = loudInput(static_cast<size_t>(kTestRate), 11);
    for (float component : {1.0f, 2.0f, 4.0f}) {
        int nonFinite = 0;
        int beyond = 0;
        for (const ProgramRecord& factory : programs) {
            ProgramRecord r = factory;
            r.setF(word::vectorU, component);  // 0.7071 in the factory programs
            const float peak = playPeak(r, in);
            nonFinite += std::isfinite(peak) ? 0 : 1;
            beyond += peak > kOutputBound ? 1 : 0;
        }
        EXPECT_EQ(nonFinite, 0) << "programs not finite with u0 = " << component << " (of " << programs.size() << ")";
        EXPECT_EQ(beyond, 0) << "programs beyond the bound with u0 = " << component;
    }
}

// ---------------------------------------------------------------------------------------------
// Chunk fuzzer

uint32_t environmentNumber(const char* name, uint32_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? static_cast<uint32_t>(std::strtoul(text, nullptr, 0)) : fallback;
}

// A value for one word: mostly extremes, sometimes any bits at all.
uint32_t extremeWord(std::mt19937& rng) {
    static constexpr float kExtremes[] = {0.0f,     -0.0f,     1.0f,    -1.0f,     2.0f,     -2.0f,    0.5f,
                                          1e-30f,   -1e-30f,   1e-40f,  1e30f,     -1e30f,   FLT_MAX,  -FLT_MAX,
                                          INFINITY, -INFINITY, NAN,     100.0f,    -100.0f,  1000.0f,  50001.0f,
                                          131071.0f, 1e6f,     -1e6f,   0.7071f,   16.0f,    1e-6f,    3.0f};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(kExtremes)) + 3);
    const int choice = pick(rng);
    if (choice < static_cast<int>(std::size(kExtremes))) {
        uint32_t bits;
        std::memcpy(&bits, &kExtremes[choice], sizeof(bits));
        return bits;
    }
    if (choice == static_cast<int>(std::size(kExtremes))) {
        return std::uniform_int_distribution<uint32_t>(0, 12)(rng);  // small integers: shapes, flags
    }
    if (choice == static_cast<int>(std::size(kExtremes)) + 1) {
        const float v = std::uniform_real_distribution<float>(-1e4f, 1e4f)(rng);
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof(bits));
        return bits;
    }
    return rng();
}

TEST(ProgramSafety, FuzzedChunksPlayFiniteAndBounded) {
    const uint32_t seed = environmentNumber("TARSK_FUZZ_SEED", 0x5EED8u);
    const uint32_t cases = environmentNumber("TARSK_FUZZ_CASES", 300u);
    std::printf("chunk fuzzer: TARSK_FUZZ_SEED=%u TARSK_FUZZ_CASES=%u\n", seed, cases);
    const std::vector<ProgramRecord> programs = factoryPrograms();
    ASSERT_FALSE(programs.empty());
    const Stereo in = loudInput(static_cast<size_t>(kTestRate / 2), seed);

    uint32_t accepted = 0;
    float largest = 0.0f;
    for (uint32_t n = 0; n < cases; ++n) {
        std::mt19937 rng(seed * 7919u + n);  // every case reproducible on its own
        ProgramRecord base = n % 3 == 0 ? test::randomRecord(rng, static_cast<int>(n)) : programs[rng() % programs.size()];
        std::vector<uint8_t> chunk(kMaxChunkBytes);
        chunk.resize(writeChunk(chunk.data(), base));
        const uint32_t words = static_cast<uint32_t>(chunk.size() / 4);

        std::string changes;
        const int count = std::uniform_int_distribution<int>(1, 10)(rng);
        for (int c = 0; c < count; ++c) {
            // Words 1 and 2 (version, flags) and the numeric words after them, rarely the magic.
            const uint32_t at = std::uniform_int_distribution<uint32_t>(n % 50 == 0 ? 0 : 1, std::min(words, 100u) - 1)(rng);
            const uint32_t value = extremeWord(rng);
            std::memcpy(chunk.data() + 4 * at, &value, sizeof(value));
            char text[48];
            std::snprintf(text, sizeof(text), " w%u=0x%08X", at, value);
            changes += text;
        }
        const uint32_t magic = uint32_t{chunk[0]} | uint32_t{chunk[1]} << 8 | uint32_t{chunk[2]} << 16 |
                               uint32_t{chunk[3]} << 24;
        ProgramRecord record = base;
        if ((magic != kProgramMagic && magic != kProgramMagicOld) || !readChunk(record, chunk.data(), chunk.size())) {
            continue;  // refused: nothing to play
        }
        ++accepted;
        const bool freeze = rng() % 8 == 0;
        const float peak = playPeak(record, in, freeze);
        ASSERT_TRUE(std::isfinite(peak) && peak <= kOutputBound)
            << "case " << n << " of seed " << seed << (freeze ? " (frozen)" : "") << ": peak " << peak
            << ", chunk words changed:" << changes;
        largest = std::max(largest, peak);
    }
    std::printf("chunk fuzzer: %u of %u chunks accepted and played, largest peak %g\n", accepted, cases, largest);
    EXPECT_GT(accepted, cases / 2);
}

}  // namespace
}  // namespace tarsk
