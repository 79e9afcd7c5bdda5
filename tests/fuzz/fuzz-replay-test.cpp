// Every input of the fuzz corpora, seeds and the inputs that once failed, through its fuzz target in
// the ordinary builds: the targets abort when a property fails, which fails the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz-target.h"

namespace tarsk::fuzz {
namespace {

struct Target {
    const char* corpus;
    void (*run)(const uint8_t*, size_t);
};

void PrintTo(const Target& target, std::ostream* out) { *out << target.corpus; }

class FuzzReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, EveryCorpusInputHoldsTheTargetsProperties) {
    const std::filesystem::path folder = std::filesystem::path(TARSK_FUZZ_CORPUS_DIR) / GetParam().corpus;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        GetParam().run(bytes.data(), bytes.size());
        ++inputs;
    }
    EXPECT_GE(inputs, 2) << "the corpus " << folder << " is missing";
}

INSTANTIATE_TEST_SUITE_P(Corpora, FuzzReplay,
                         testing::Values(Target{"chunk-reader", chunkReader}, Target{"fxp-reader", fxpReader},
                                         Target{"zip-archive", zipArchive}, Target{"settings-text", settingsText}),
                         [](const testing::TestParamInfo<Target>& info) {
                             std::string name = info.param.corpus;
                             for (char& c : name) {
                                 c = c == '-' ? '_' : c;
                             }
                             return name;
                         });

// The empty input and single bytes: the smallest cases each reader must refuse quietly.
TEST(FuzzReplay, EmptyAndOneByteInputsAreHarmless) {
    const uint8_t byte = 0x50;
    for (auto run : {chunkReader, fxpReader, zipArchive, settingsText}) {
        run(nullptr, 0);
        run(&byte, 1);
    }
}

}  // namespace
}  // namespace tarsk::fuzz
