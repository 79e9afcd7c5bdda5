// Running the built tarskverb-host as a user does, for the tests of its commands.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tarsk::test {

struct RunResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

inline std::string hostBuildDir() {
    const char* dir = std::getenv("TARSK_BUILD_DIR");
    return dir != nullptr ? dir : ".";
}

// Runs tarskverb-host with the arguments (already quoted for the shell); environment is put before
// the command (NAME='value' ...).
inline RunResult runHost(const std::string& arguments, const std::string& environment = "") {
    RunResult result;
    const std::string command =
        environment + " '" + hostBuildDir() + "/tarskverb-host' " + arguments + " 2>&1";
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

}  // namespace tarsk::test
