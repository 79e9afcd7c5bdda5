// tarskverb-host list and render --factory: the factory programs read out of the built plug-in file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/factory-programs.h"
#include "host/host-run.h"
#include "presets/program-chunk.h"
#include "tarsklib/test-folder.h"

namespace {

std::string buildDir() {
    const char* dir = std::getenv("TARSK_BUILD_DIR");
    return dir != nullptr ? dir : ".";
}
std::string pluginPath() { return buildDir() + "/tarskverb.so"; }

using tarsk::test::RunResult;
using tarsk::test::runHost;

TEST(ListCommand, PrintsTheFactoryProgramsByCategory) {
    RunResult result = runHost("list '" + pluginPath() + "'");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    // Category lines, the programs indented below them, then the count.
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = result.output.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(result.output.substr(at, end - at));
    }
    ASSERT_GE(lines.size(), 3u);
    size_t categories = 0;
    size_t programs = 0;
    std::string category;
    bool heavenly = false;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].rfind("  ", 0) == 0) {
            ++programs;
            heavenly = heavenly || (category == "Echoes" && lines[i] == "  Heavenly Echo 1/2");
        } else {
            category = lines[i];
            ++categories;
        }
    }
    EXPECT_EQ(lines[0], "Echoes");
    EXPECT_TRUE(heavenly) << "the encoded name is shown decoded";
    EXPECT_EQ(lines.back(), std::to_string(programs) + " programs in " + std::to_string(categories) + " categories");

    // Only a VST plug-in is listed; a file that carries an archive but is none is refused.
    tarsk::test::TestFolder folder;
    const std::string zipOnly = folder.file("presets.zip");
    tarsk::test::writeWholeFile(zipOnly, tarsk::test::readWholeFile(buildDir() + "/resources/presets.zip"));
    RunResult refused = runHost("list '" + zipOnly + "'");
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_EQ(runHost("list").exitCode, 2);
}

TEST(ListCommand, FactoryProgramsLoadByCategoryAndName) {
    std::vector<uint8_t> chunk;
    std::string error;
    ASSERT_TRUE(tarskhost::loadFactoryProgram(pluginPath(), "Echoes/Heavenly Echo 1/2", chunk, error)) << error;
    EXPECT_EQ(chunk.size(), tarsk::chunkLayoutBytes(tarsk::layout::vC000));  // stored in its old layout
    ASSERT_TRUE(tarskhost::loadFactoryProgram(pluginPath(), "Rooms/Small Room", chunk, error)) << error;
    EXPECT_FALSE(tarskhost::loadFactoryProgram(pluginPath(), "Rooms/small room", chunk, error));
    EXPECT_NE(error.find("no factory program"), std::string::npos) << error;
    EXPECT_FALSE(tarskhost::loadFactoryProgram(pluginPath(), "Small Room", chunk, error));

    tarsk::test::TestFolder folder;
    RunResult rendered = runHost("render --impulse 0.5 --factory 'Echoes/Simple Echo' '" + pluginPath() + "' '" +
                                 folder.file("echo.wav") + "'");
    EXPECT_EQ(rendered.exitCode, 0) << rendered.output;
    RunResult missing = runHost("render --impulse 0.5 --factory 'Echoes/Nothing' '" + pluginPath() + "' '" +
                                folder.file("none.wav") + "'");
    EXPECT_EQ(missing.exitCode, 1) << missing.output;
}

}  // namespace
