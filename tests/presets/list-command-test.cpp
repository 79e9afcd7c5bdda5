// tarskverb-host list and render --factory: the factory programs read out of the built plug-in file.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/factory-programs.h"
#include "presets/program-chunk.h"
#include "tarsklib/test-folder.h"

namespace {

std::string buildDir() {
    const char* dir = std::getenv("TARSK_BUILD_DIR");
    return dir != nullptr ? dir : ".";
}
std::string pluginPath() { return buildDir() + "/tarskverb.so"; }

struct RunResult {
    int exitCode = -1;
    std::string output;
};

RunResult runHost(const std::string& arguments) {
    RunResult result;
    std::string command = "'";
    command += buildDir() + "/tarskverb-host' " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        result.output.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(ListCommand, PrintsTheStarterProgramsByCategory) {
    RunResult result = runHost("list '" + pluginPath() + "'");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output,
              "Echoes\n"
              "  Fifths Delay\n"
              "  Heavenly Echo 1/2\n"
              "  Simple Echo\n"
              "Filters\n"
              "  Comb Resonator\n"
              "  Phaser Sweep\n"
              "Rooms\n"
              "  Small Room\n"
              "  Wooden Chamber\n"
              "7 programs in 3 categories\n");

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
