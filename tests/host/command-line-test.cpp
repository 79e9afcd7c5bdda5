// tarskverb-host as a user runs it: output and exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

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

// The usage errors of measure, editor and validate: the first fault in the order written, exit code 2,
// before any plug-in is loaded (the plug-in paths here do not exist).
TEST(HostCommandLine, CommandsNameTheFirstFaultInTheirOptions) {
    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"measure", "measure: expected PLUGIN.so\n(tarskverb-host --help lists the options)"},
        {"measure /no/p.so --rate", "measure: --rate needs a value"},
        {"measure --rate --tempo /no/p.so", "measure: --rate takes hertz from 8000 to 384000, not '--tempo'"},
        {"measure --rate 7999 /no/p.so", "--rate takes hertz from 8000 to 384000, not '7999'"},
        {"measure --tempo nan /no/p.so", "--tempo takes beats per minute from 1 to 999, not 'nan'"},
        {"measure --max-tail 600.5 /no/p.so", "--max-tail takes seconds from 0.1 to 600, not '600.5'"},
        {"measure /no/p.so --tempo abc --bogus", "--tempo takes beats per minute"},
        {"measure /no/p.so --bogus --tempo abc", "measure: unknown option '--bogus'"},
        {"measure --rate=48000 /no/p.so", "unknown option '--rate=48000'"},
        {"editor", "editor: expected a PLUGIN.so\nusage:\n  editor PLUGIN.so"},
        {"editor -", "editor: unknown option '-'"},
        {"editor --page 6 /no/p.so", "editor: --page needs a whole number from 0 to 5"},
        {"editor --tab 0 /no/p.so", "editor: --tab needs a whole number from 1 to 5"},
        {"editor --frames 100001 /no/p.so", "editor: --frames needs a whole number from 1 to 100000"},
        {"editor --program", "editor: --program needs a value"},
        {"editor /no/p.so /no/q.so --page 9", "expected one PLUGIN.so, got '/no/q.so' as well"},
        {"editor --page 9 /no/p.so /no/q.so", "--page needs a whole number"},
        {"editor --gallery=1 /no/p.so", "editor: unknown option '--gallery=1'"},
        {"validate", "validate: expected one PLUGIN.so"},
        {"validate /no/p.so /no/q.so", "validate: expected one PLUGIN.so"},
        {"validate --seed", "validate: --seed needs a whole number from 0 to 10^19-1"},
        {"validate --seed 12345678901234567890 /no/p.so", "--seed needs a whole number from 0 to 10^19-1"},
        {"validate --only", "validate: --only needs check names"},
        {"validate --only open-close,nope /no/p.so", "no check is named 'nope'; the checks are: "},
        {"validate -- /no/p.so", "validate: unknown option '--'"},
    };
    for (const Case& c : cases) {
        RunResult result = run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.arguments << "\n" << result.output;
        EXPECT_TRUE(contains(result.output, c.message))
            << "expected '" << c.message << "' for " << c.arguments << "\n" << result.output;
    }
    // One dash starts a program argument of measure, not an option: it gets as far as the plug-in.
    RunResult dashProgram = run("measure -x /no/p.so");
    EXPECT_EQ(dashProgram.exitCode, 1) << dashProgram.output;
    EXPECT_TRUE(contains(dashProgram.output, "cannot read '-x'")) << dashProgram.output;
}

}  // namespace
