// tarskverb-host validate against a small well-behaved effect and against copies of it with one
// fault built in: the validator must pass the good one and catch each fault in the check meant for it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "host/host-paths.h"
#include "host/host-run.h"

namespace tarsk::test {
namespace {

std::string fixture() { return "'" + fixturePath("validate-fixture.so") + "'"; }

// The environment for one run: the fault to build in and no display unless one is given.
std::string environmentFor(const std::string& fault, const std::string& display = "") {
    std::string env = "env -u DISPLAY";
    if (!display.empty()) {
        env += " DISPLAY=" + display;
    }
    if (!fault.empty()) {
        env += " TARSK_FIXTURE_FAULT=" + fault;
    }
    return env;
}

// The line of one check in the validator's output, or "" when it did not run.
std::string lineOf(const std::string& output, const std::string& check) {
    for (const char* label : {"PASS ", "FAIL ", "SKIP "}) {
        const std::string head = label + check + " ";
        size_t at = output.find(head);
        if (at != std::string::npos && (at == 0 || output[at - 1] == '\n')) {
            return output.substr(at, output.find('\n', at) - at);
        }
    }
    return "";
}

TEST(ValidateCommand, AWellBehavedEffectPassesEveryCheck) {
    RunResult run = runHost("validate --quick --seed 7 " + fixture(), environmentFor(""));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("(seed 7, quick)"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("\nFAIL "), std::string::npos) << run.output;
    // Sanitizer builds cannot count heap calls: that check is skipped there.
    const bool heapCounted = lineOf(run.output, "no-heap-in-process").rfind("PASS", 0) == 0;
    EXPECT_NE(run.output.find(heapCounted ? "\n14 passed, 0 failed, 1 skipped\n" : "\n13 passed, 0 failed, 2 skipped\n"),
              std::string::npos) << run.output;
    EXPECT_NE(lineOf(run.output, "editor").find("SKIP editor"), std::string::npos) << run.output;
}

struct FaultCase {
    const char* fault;
    const char* check;
    const char* says;  // a piece of the failing line
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.fault << " in " << c.check; }

class ValidateFault : public testing::TestWithParam<FaultCase> {};

TEST_P(ValidateFault, IsCaughtByItsCheck) {
    const FaultCase& c = GetParam();
    RunResult run = runHost(std::string("validate --quick --seed 3 --only ") + c.check + " " + fixture(),
                            environmentFor(c.fault));
    EXPECT_EQ(run.exitCode, 1) << run.output;
    const std::string line = lineOf(run.output, c.check);
    EXPECT_EQ(line.rfind(std::string("FAIL ") + c.check, 0), 0u) << run.output;
    // Under ThreadSanitizer a racing fault may end the check with the sanitizer's report instead.
    EXPECT_TRUE(line.find(c.says) != std::string::npos || line.find("a sanitizer report") != std::string::npos)
        << line;
    EXPECT_NE(run.output.find("\n0 passed, 1 failed\n"), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ValidateFault,
    testing::Values(FaultCase{"shared-chunk", "concurrent-saves", "same chunk buffer"},
                    FaultCase{"skip-after-switch", "program-switches-while-processing", "unwritten"},
                    FaultCase{"nan-latch", "nan-inf-denormal-input", "even after a reset"},
                    FaultCase{"reset-drift", "reset-reproducibility", "differs by"},
                    FaultCase{"overrun", "block-sizes", "written past"},
                    FaultCase{"half-load", "damaged-chunks", "loaded in part"},
                    FaultCase{"unsafe-chunk", "damaged-chunks", "unsafe to play"},
                    FaultCase{"in-place-unsafe", "in-place-buffers", "differs from separate buffers"},
                    FaultCase{"slow-silence", "silence-after-burst", "silence costs more than"}),
    [](const testing::TestParamInfo<FaultCase>& info) {
        std::string name = info.param.fault;
        for (char& ch : name) {
            ch = ch == '-' ? '_' : ch;
        }
        return name;
    });

TEST(ValidateCommand, HeapCallsInTheAudioCallbackFailWhereTheyCanBeCounted) {
    RunResult run = runHost("validate --quick --only no-heap-in-process " + fixture(), environmentFor("allocate"));
    const std::string line = lineOf(run.output, "no-heap-in-process");
    if (line.rfind("SKIP", 0) == 0) {
        EXPECT_EQ(run.exitCode, 0) << run.output;  // a sanitizer build cannot count
        return;
    }
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(line.rfind("FAIL no-heap-in-process ", 0), 0u) << line;
    EXPECT_NE(line.find("500 blocks after the first: 500 allocations, 500 releases"), std::string::npos) << line;
}

TEST(ValidateCommand, ACrashFailsItsCheckAndTheOthersStillRun) {
    RunResult run = runHost("validate --quick --only damaged-chunks,block-sizes " + fixture(),
                            environmentFor("crash-chunk"));
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(lineOf(run.output, "damaged-chunks").rfind("FAIL", 0), 0u) << run.output;
    EXPECT_EQ(lineOf(run.output, "block-sizes").rfind("PASS", 0), 0u) << run.output;
    EXPECT_NE(run.output.find("\n1 passed, 1 failed\n"), std::string::npos) << run.output;
}

TEST(ValidateCommand, TheSameSeedDrawsTheSameDamagedChunks) {
    auto figures = [](const std::string& seed) {
        RunResult run = runHost("validate --quick --seed " + seed + " --only damaged-chunks " + fixture(),
                                environmentFor(""));
        std::string line = lineOf(run.output, "damaged-chunks");
        return line.substr(0, line.rfind(" ["));  // without the time taken
    };
    const std::string first = figures("11");
    EXPECT_NE(first.find("200 damaged chunks"), std::string::npos) << first;
    EXPECT_EQ(first, figures("11"));
    EXPECT_NE(first, figures("12"));
}

TEST(ValidateCommand, RefusesBadUsage) {
    EXPECT_EQ(runHost("validate").exitCode, 2);
    EXPECT_EQ(runHost("validate --seed x " + fixture()).exitCode, 2);
    EXPECT_EQ(runHost("validate --only no-such-check " + fixture()).exitCode, 2);
    EXPECT_EQ(runHost("validate --frobnicate " + fixture()).exitCode, 2);
    EXPECT_EQ(runHost("validate /nonexistent/plugin.so").exitCode, 1);
    RunResult notAPlugin = runHost("validate --quick --only open-close '" + hostPath() + "'");
    EXPECT_EQ(notAPlugin.exitCode, 1) << notAPlugin.output;
    EXPECT_EQ(lineOf(notAPlugin.output, "open-close").rfind("FAIL", 0), 0u) << notAPlugin.output;
}

// An X server of the test's own, for the editor check. Xvfb picks a free display number itself and
// writes it to a pipe once it accepts connections.
class PrivateDisplay {
public:
    PrivateDisplay() {
        if (std::system("command -v Xvfb > /dev/null 2>&1") != 0) {
            return;
        }
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        pid = fork();
        if (pid == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        ::close(fds[0]);
        if (!number.empty()) {
            name = ":" + number;
        }
    }
    ~PrivateDisplay() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    const std::string& display() const { return name; }

private:
    pid_t pid = -1;
    std::string name;
};

TEST(ValidateCommand, AnAnnouncedEditorThatDoesNotOpenFailsWhenADisplayIsThere) {
    RunResult headless = runHost("validate --quick --only editor " + fixture(), environmentFor("editor-refuses"));
    EXPECT_EQ(headless.exitCode, 0) << headless.output;
    EXPECT_NE(lineOf(headless.output, "editor").find("SKIP editor"), std::string::npos) << headless.output;
    EXPECT_NE(lineOf(headless.output, "editor").find("DISPLAY is not set"), std::string::npos) << headless.output;

    PrivateDisplay server;
    if (server.display().empty()) {
        GTEST_SKIP() << "Xvfb is not available";
    }
    RunResult shown = runHost("validate --quick --only editor " + fixture(),
                              environmentFor("editor-refuses", server.display()));
    EXPECT_EQ(shown.exitCode, 1) << shown.output;
    EXPECT_NE(lineOf(shown.output, "editor").find("effEditOpen answered 0"), std::string::npos) << shown.output;
}

}  // namespace
}  // namespace tarsk::test
