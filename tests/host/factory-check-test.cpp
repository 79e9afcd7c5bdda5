// The check over every factory program the built plug-in carries: each is played through the plug-in
// with a noise burst at -12 dBFS and must stay finite, stay below +6 dBFS and die away within the
// time its source promises (or sustain, when it says so); the archive must hold exactly the sources,
// and no two programs may be the same sound under two names. The reverbs (halls, rooms, plates) are
// also held to the figures of their impulse responses at 48 kHz: a smooth tail spectrum, left and
// right that do not cancel in mono, dense echoes soon after the first arrival, and halls that keep
// their bass, unless the source names a figure as exempt and says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/program-record.h"
#include "host-paths.h"
#include "host/factory-programs.h"
#include "host/program-measure.h"
#include "presets/program-chunk.h"
#include "presets/program-file-system.h"
#include "program-source.h"

namespace tarsk {
namespace {

namespace fs = std::filesystem;

constexpr double kMaxPeakDbfs = 6.0;
// A promise may be generous, but not wildly: a program that dies away in a fraction of the time its
// description gives does not sound like what it says.
constexpr double kShortestShareOfPromise = 0.4;
constexpr double kPromiseSlackSeconds = 0.2;
constexpr double kRenderBeyondPromiseSeconds = 5.0;
constexpr double kSustainRenderSeconds = 10.0;
constexpr double kRates[] = {48000.0, 44100.0, 96000.0};
constexpr size_t kMinPrograms = 150;
constexpr size_t kMinCategories = 8;

// The reverb figures (tarskhost::TailFigures) and the categories held to them.
constexpr double kMaxPeakiness = 2.8;
constexpr double kMaxCorrelation = 0.3;
constexpr double kMaxDensitySeconds = 0.1;
constexpr double kMinHallBassRatio = 1.0;
constexpr double kFiguresRate = 48000.0;
const std::set<std::string> kReverbCategories = {"Halls", "Plates", "Rooms"};
const std::string kHalls = "Halls";


std::string factoryFolder() { return std::string(TARSK_TEST_SOURCE_DIR) + "/resources/factory"; }

bool hidden(const fs::path& path) { return path.filename().string().rfind('.', 0) == 0; }

std::vector<std::string> categories() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(factoryFolder(), ec)) {
        if (entry.is_directory() && !hidden(entry.path())) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Source {
    std::string file;
    ProgramSource program;
};

std::vector<Source> sourcesOf(const std::string& category) {
    std::vector<Source> sources;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(factoryFolder() + "/" + category, ec)) {
        if (!entry.is_regular_file() || hidden(entry.path()) || entry.path().extension() != ".program") {
            continue;
        }
        Source source;
        source.file = entry.path().string();
        std::string error;
        EXPECT_TRUE(readProgramSourceFile(source.file, source.program, error)) << error;
        sources.push_back(source);
    }
    std::sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) { return a.file < b.file; });
    return sources;
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param) {
        name.push_back(std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_');
    }
    return name;
}

class FactoryCategory : public testing::TestWithParam<std::string> {};

TEST_P(FactoryCategory, EveryProgramIsSafeAndDiesAwayAsPromised) {
    ProgramFileSystem files;
    std::string error;
    ASSERT_TRUE(tarskhost::mountFactoryArchive(test::pluginPath(), files, error)) << error;
    const std::vector<Source> sources = sourcesOf(GetParam());
    ASSERT_FALSE(sources.empty());

    for (const Source& source : sources) {
        const std::string program = GetParam() + "/" + source.program.record.name();
        SCOPED_TRACE(program + " (" + source.file + ")");
        std::vector<uint8_t> chunk;
        ASSERT_TRUE(tarskhost::loadFactoryProgram(files, program, chunk, error)) << error;

        // The promise holds at the common host rates, not only at the one the program was tuned at.
        for (const double rate : kRates) {
            SCOPED_TRACE(std::to_string(static_cast<int>(rate)) + " Hz");
            tarskhost::MeasureSettings settings;
            settings.sampleRate = rate;
            const bool sustains = source.program.tail == TailPromise::sustain;
            settings.maxTailSeconds =
                sustains ? kSustainRenderSeconds : source.program.tailSeconds + kRenderBeyondPromiseSeconds;
            tarskhost::ProgramMeasurement m;
            ASSERT_TRUE(tarskhost::measureProgram(test::pluginPath(), chunk, settings, m, error)) << error;

            EXPECT_TRUE(m.finite);
            EXPECT_LT(m.peakDbfs, kMaxPeakDbfs);
            if (sustains) {
                EXPECT_TRUE(m.sustains) << "marked 'tail sustain' but silent " << m.tailSeconds
                                        << " s after the burst";
                continue;
            }
            ASSERT_EQ(source.program.tail, TailPromise::seconds);
            EXPECT_FALSE(m.sustains) << "still sounding " << settings.maxTailSeconds << " s after the burst";
            EXPECT_LE(m.tailSeconds, source.program.tailSeconds);
            EXPECT_GE(m.tailSeconds, kShortestShareOfPromise * source.program.tailSeconds - kPromiseSlackSeconds)
                << "promises " << source.program.tailSeconds << " s";
        }
    }
}

// Echoes, filters, resonators, modulation and overdrive keep their own checks.
class FactoryReverbCategory : public testing::TestWithParam<std::string> {};

TEST_P(FactoryReverbCategory, ReverbsMeetTheTailFigures) {
    ProgramFileSystem files;
    std::string error;
    ASSERT_TRUE(tarskhost::mountFactoryArchive(test::pluginPath(), files, error)) << error;
    tarskhost::MeasureSettings settings;
    settings.sampleRate = kFiguresRate;

    for (const Source& source : sourcesOf(GetParam())) {
        const std::string program = GetParam() + "/" + source.program.record.name();
        SCOPED_TRACE(program + " (" + source.file + ")");
        const uint32_t exempt = source.program.exemptFigures;
        if (exempt == kAllFigures) {
            continue;
        }
        std::vector<uint8_t> chunk;
        ASSERT_TRUE(tarskhost::loadFactoryProgram(files, program, chunk, error)) << error;
        tarskhost::TailFigures f;
        ASSERT_TRUE(tarskhost::measureTailFigures(test::pluginPath(), chunk, settings, f, error)) << error;
        ASSERT_TRUE(f.valid) << "the impulse response is silent";

        const bool smooth = (exempt & kFigurePeakiness) != 0 || f.peakiness <= kMaxPeakiness;
        const bool wide = (exempt & kFigureCorrelation) != 0 || std::fabs(f.correlation) <= kMaxCorrelation;
        const bool dense = (exempt & kFigureDensity) != 0 || f.densitySeconds <= kMaxDensitySeconds;
        const bool bass = GetParam() != kHalls || (exempt & kFigureBass) != 0 || f.bassRatio >= kMinHallBassRatio;
        EXPECT_TRUE(smooth) << "the tail rings: peakiness " << f.peakiness << " (at most " << kMaxPeakiness << ")";
        EXPECT_TRUE(wide) << "left and right correlate by " << f.correlation << " (at most +-" << kMaxCorrelation
                          << ")";
        EXPECT_TRUE(dense) << "dense only " << f.densitySeconds * 1000.0 << " ms after the first arrival (at most "
                           << kMaxDensitySeconds * 1000.0 << ")";
        EXPECT_TRUE(bass) << "the bass dies early: T30 125 Hz / 1 kHz = " << f.bassRatio << " (at least "
                          << kMinHallBassRatio << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(Check, FactoryCategory, testing::ValuesIn(categories()), testName);
INSTANTIATE_TEST_SUITE_P(Check, FactoryReverbCategory, testing::ValuesIn(kReverbCategories), testName);

// The record of a program with its texts blanked: two programs with equal sounds compare equal.
std::vector<uint32_t> soundOf(const std::vector<uint8_t>& chunk) {
    ProgramRecord record;
    EXPECT_TRUE(readChunk(record, chunk.data(), chunk.size()));
    std::memset(&record.words[word::name], 0, kNameBytes);
    std::memset(&record.words[word::description], 0, kDescriptionBytes);
    record.setU(word::magic, 0);
    return std::vector<uint32_t>(std::begin(record.words), std::end(record.words));
}

TEST(FactoryArchive, HoldsExactlyTheSourcesAsDistinctPrograms) {
    std::vector<std::string> listed;
    std::string error;
    ASSERT_TRUE(tarskhost::listFactoryPrograms(test::pluginPath(), listed, error)) << error;

    std::set<std::string> expected;
    std::set<std::string> names;
    for (const std::string& category : categories()) {
        for (const Source& source : sourcesOf(category)) {
            const std::string name = source.program.record.name();
            expected.insert(category + "/" + name);
            EXPECT_TRUE(names.insert(name).second) << "the name '" << name << "' is used twice";
        }
    }
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), expected);
    EXPECT_EQ(listed.size(), expected.size());
    EXPECT_GE(listed.size(), kMinPrograms);
    EXPECT_GE(categories().size(), kMinCategories);

    ProgramFileSystem files;
    ASSERT_TRUE(tarskhost::mountFactoryArchive(test::pluginPath(), files, error)) << error;
    std::map<std::vector<uint32_t>, std::string> sounds;
    for (const std::string& program : listed) {
        std::vector<uint8_t> chunk;
        ASSERT_TRUE(tarskhost::loadFactoryProgram(files, program, chunk, error)) << error;
        auto [at, added] = sounds.emplace(soundOf(chunk), program);
        EXPECT_TRUE(added) << program << " is the same program as " << at->second;
    }
}

}  // namespace
}  // namespace tarsk
