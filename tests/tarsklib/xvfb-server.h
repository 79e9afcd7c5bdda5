// Test support: a private Xvfb server started for the test binary and stopped with it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace tarsk::test {

// Starts "Xvfb -displayfd" (the server picks a free display number and reports it on a pipe), so that
// parallel test runs never share a display. running() says whether the server came up.
class XvfbServer {
public:
    explicit XvfbServer(const char* screen = "320x240x24") {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            // The server goes with the test process, and keeps quiet on the test's output.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            int quiet = open("/dev/null", O_WRONLY);
            if (quiet >= 0) {
                dup2(quiet, 1);
                dup2(quiet, 2);
            }
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", screen,
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return;
        }
        // The display number arrives as text ending in a newline once the server accepts clients.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') {
            number.push_back(c);
        }
        close(fds[0]);
        if (!number.empty()) {
            display = ":" + number;
        }
    }
    ~XvfbServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return !display.empty(); }
    const std::string& name() const { return display; }

private:
    pid_t pid = -1;
    std::string display;
};

}  // namespace tarsk::test
