// tarskverb-host as a user runs it: output and exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "host-paths.h"
#include "host/host-run.h"

namespace {

using tarsk::test::fixturePath;
using tarsk::test::hostPath;
using tarsk::test::pluginPath;

using tarsk::test::RunResult;

RunResult run(const std::string& arguments) { return tarsk::test::runHost(arguments); }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string lineStartingWith(const std::string& text, const std::string& start) {
    size_t at = text.find("\n" + start);
    if (at == std::string::npos) {
        return "";
    }
    size_t end = text.find('\n', at + 1);
    return text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

TEST(HostCommandLine, InfoPrintsThePlugInsFace) {
    RunResult result = run("info '" + pluginPath() + "'");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    for (const char* line : {"effect name:    TarskVerb 0.7.6", "vendor:         TarskCode",
                             "product:        TarskVerb FDN Processor 0.7.6", "unique id:      0x5D3B6001",
                             "version:        760", "flags:          0x39 HasEditor CanMono CanReplacing ProgramChunks",
                             "programs:       4", "parameters:     0", "inputs:         2", "outputs:        2",
                             "  0  Ridiva ra dez Urerozidu\n", "  1  Init\n", "  3  Init\n",
                             "current chunk:  880 bytes"}) {
        EXPECT_TRUE(contains(result.output, line)) << "missing: " << line << "\n" << result.output;
    }
    EXPECT_EQ(lineStartingWith(result.output, "  2in2out "), "  2in2out                   1  yes");
    EXPECT_EQ(lineStartingWith(result.output, "  receiveVstEvents "), "  receiveVstEvents         -1  no");
    EXPECT_EQ(lineStartingWith(result.output, "  multipass "), "  multipass                 0  don't know");
}

TEST(HostCommandLine, ExplainsWhatWentWrong) {
    RunResult help = run("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(contains(help.output, "usage: tarskverb-host"));
    EXPECT_EQ(run("").exitCode, 2);
    EXPECT_EQ(run("frobnicate x.so").exitCode, 2);
    EXPECT_EQ(run("info").exitCode, 2);

    std::string textFile = ::testing::TempDir() + "/not-a-plugin.so";
    std::ofstream(textFile) << "just text\n";
    RunResult notLibrary = run("info '" + textFile + "'");
    EXPECT_EQ(notLibrary.exitCode, 1);
    EXPECT_TRUE(contains(notLibrary.output, "cannot load")) << notLibrary.output;

    RunResult missing = run("info /nonexistent/tarskverb.so");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(contains(missing.output, "cannot load")) << missing.output;

    RunResult noEntry = run("info '" + fixturePath("fixture-no-entry.so") + "'");
    EXPECT_EQ(noEntry.exitCode, 1);
    EXPECT_TRUE(contains(noEntry.output, "exports neither VSTPluginMain nor main")) << noEntry.output;

    RunResult nullEntry = run("info '" + fixturePath("fixture-null-entry.so") + "'");
    EXPECT_EQ(nullEntry.exitCode, 1);
    EXPECT_TRUE(contains(nullEntry.output, "returned no effect")) << nullEntry.output;
}

}  // namespace
