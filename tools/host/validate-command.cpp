// tarskverb-host validate: runs every check in a child process of its own, so that a plug-in that
// crashes or hangs in one check fails that check and the others still run. One line per check,
// then the totals; exit status 1 when any check failed.
#include "host/validate-command.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <random>
#include <string>

#include "host/command-line.h"
#include "host/exit-codes.h"
#include "host/validate-checks.h"

namespace tarskhost {

const char* const kValidateUsage =
    "  validate [--seed N] [--quick] [--only CHECK,...] PLUGIN.so\n"
    "                    check any VST 2.x effect the way hosts use it: open/close, state round trips,\n"
    "                    damaged chunks, state changes from other threads while audio runs, block sizes\n"
    "                    0 to 8192, rates 8 to 768 kHz, in-place buffers, NaN/Inf/denormal input, time\n"
    "                    in silence after a burst, heap use in the audio callback, hostile time\n"
    "                    information, reset reproducibility, the editor (with a display); one line per\n"
    "                    check, exit code 1 when one fails. --seed makes the random parts repeatable,\n"
    "                    --quick shortens the runs, --only runs the named checks\n";

namespace {

// A check that runs longer than this is stopped and fails: the plug-in hangs.
constexpr int kQuickTimeoutSeconds = 120;
constexpr int kFullTimeoutSeconds = 600;

using validate::Check;
using validate::CheckContext;
using validate::CheckResult;
using validate::CheckStatus;

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

// The child's report travels through a pipe: one status letter, then the detail text.
[[noreturn]] void runInChild(const Check& check, const CheckContext& context, int fd) {
    CheckResult result;
    try {
        result = check.run(context);
    } catch (const std::exception& e) {
        result = {CheckStatus::fail, std::string("exception: ") + e.what()};
    } catch (...) {
        result = {CheckStatus::fail, "unknown exception"};
    }
    const char letter = result.status == CheckStatus::pass ? 'P' : result.status == CheckStatus::skip ? 'S' : 'F';
    writeAll(fd, std::string(1, letter) + result.detail);
    ::close(fd);
    std::fflush(nullptr);
    _exit(0);
}

CheckResult runIsolated(const Check& check, const CheckContext& context, int timeoutSeconds) {
    int fds[2];
    if (pipe(fds) != 0) {
        return {CheckStatus::fail, std::string("cannot make a pipe: ") + std::strerror(errno)};
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return {CheckStatus::fail, std::string("cannot start a process: ") + std::strerror(errno)};
    }
    if (child == 0) {
        ::close(fds[0]);
        runInChild(check, context, fds[1]);
    }
    ::close(fds[1]);

    std::string report;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;  // the deadline test above ends the wait
        }
        char buffer[4096];
        const ssize_t n = ::read(fds[0], buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // the child closed its end: finished or died
        }
        report.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (timedOut) {
        kill(child, SIGKILL);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        return {CheckStatus::fail, "did not finish within " + std::to_string(timeoutSeconds) + " s (the plug-in hangs)"};
    }
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        return {CheckStatus::fail, "the plug-in crashed (signal " + std::to_string(signal) + ", " + strsignal(signal) + ")"};
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.empty()) {
        return {CheckStatus::fail, "the check's process ended with status " +
                                       std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                                       " without a result (a sanitizer report or an exit() in the plug-in)"};
    }
    const char letter = report[0];
    const CheckStatus outcome = letter == 'P' ? CheckStatus::pass : letter == 'S' ? CheckStatus::skip : CheckStatus::fail;
    return {outcome, report.substr(1)};
}

// Splits "a,b,c" into names; answers false when one is not a check's name.
bool parseOnly(const std::string& text, std::vector<std::string>& names) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool known = false;
        for (const Check& check : validate::validateChecks()) {
            known = known || name == check.name;
        }
        if (!known) {
            std::fprintf(stderr, "tarskverb-host validate: no check is named '%s'; the checks are:", name.c_str());
            for (const Check& check : validate::validateChecks()) {
                std::fprintf(stderr, " %s", check.name);
            }
            std::fprintf(stderr, "\n");
            return false;
        }
        names.push_back(name);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return true;
}

bool parseSeed(const std::string& text, uint64_t& seed) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 19) {
        return false;
    }
    seed = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

const char* const kSeedNeeded = "--seed needs a whole number from 0 to 10^19-1";
const char* const kExpectedPlugin = "expected one PLUGIN.so";

const OptionSpec kValidateOptions[] = {
    {"--quick", false},
    {"--seed", true, kSeedNeeded},
    {"--only", true, "--only needs check names"},
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "tarskverb-host validate: %s\n", message.c_str());
    return kExitUsage;
}

// A seed per check, so that one check's result can be reproduced without the others' random draws.
uint64_t checkSeed(uint64_t seed, size_t index) {
    uint64_t z = seed + 0x9E3779B97F4A7C15ull * (index + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

int runValidate(const std::vector<std::string>& args) {
    std::string plugin;
    bool quick = false;
    bool seedGiven = false;
    uint64_t seed = 0;
    std::vector<std::string> only;
    CommandLine line(args, kValidateOptions);
    for (CommandLine::Item item = line.next(); item != CommandLine::Item::end; item = line.next()) {
        if (item == CommandLine::Item::error) {
            return usageError(line.error());
        }
        if (item == CommandLine::Item::positional) {
            if (!plugin.empty()) {
                return usageError(kExpectedPlugin);
            }
            plugin = line.value();
        } else if (line.is("--quick")) {
            quick = true;
        } else if (line.is("--seed")) {
            if (!parseSeed(line.value(), seed)) {
                return usageError(kSeedNeeded);
            }
            seedGiven = true;
        } else if (!parseOnly(line.value(), only)) {
            return kExitUsage;
        }
    }
    if (plugin.empty()) {
        return usageError(kExpectedPlugin);
    }
    if (!seedGiven) {
        std::random_device device;
        seed = (static_cast<uint64_t>(device()) << 32 | device()) % 10000000000ull;
    }
    if (access(plugin.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "tarskverb-host validate: cannot read '%s': %s\n", plugin.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    // A child that writes into a closed pipe must not take the validator down with it.
    signal(SIGPIPE, SIG_IGN);

    std::printf("validating %s (seed %llu%s)\n", plugin.c_str(), static_cast<unsigned long long>(seed),
                quick ? ", quick" : "");
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    const auto checks = validate::validateChecks();
    for (size_t i = 0; i < checks.size(); ++i) {
        if (!only.empty() && std::find(only.begin(), only.end(), checks[i].name) == only.end()) {
            continue;
        }
        CheckContext context{plugin, checkSeed(seed, i), quick};
        const auto start = std::chrono::steady_clock::now();
        const CheckResult result =
            runIsolated(checks[i], context, quick ? kQuickTimeoutSeconds : kFullTimeoutSeconds);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const char* label = result.status == CheckStatus::pass ? "PASS" : result.status == CheckStatus::skip ? "SKIP" : "FAIL";
        std::printf("%s %-34s %s [%.1f s]\n", label, checks[i].name, result.detail.c_str(), seconds);
        std::fflush(stdout);
        passed += result.status == CheckStatus::pass ? 1 : 0;
        failed += result.status == CheckStatus::fail ? 1 : 0;
        skipped += result.status == CheckStatus::skip ? 1 : 0;
    }
    if (skipped > 0) {
        std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    } else {
        std::printf("%d passed, %d failed\n", passed, failed);
    }
    return failed > 0 ? kExitFailure : kExitOk;
}

}  // namespace tarskhost
