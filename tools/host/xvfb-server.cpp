// XvfbServer: fork and exec Xvfb on a free display, wait for it, stop it.
#include "host/xvfb-server.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace tarskhost {

namespace {

constexpr int kFirstDisplay = 120;
constexpr int kDisplaySpread = 700;
constexpr int kDisplayTries = 20;
constexpr int kWaitSteps = 200;
constexpr auto kWaitStep = std::chrono::milliseconds(50);

bool displayTaken(int number) {
    std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
    std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    return access(lock.c_str(), F_OK) == 0 || access(socket.c_str(), F_OK) == 0;
}

}  // namespace

bool XvfbServer::start(std::string& error) {
    if (pid > 0) {
        return true;
    }
    int base = kFirstDisplay + static_cast<int>(getpid()) % kDisplaySpread;
    for (int attempt = 0; attempt < kDisplayTries; ++attempt) {
        int number = base + attempt * 7;
        if (displayTaken(number)) {
            continue;
        }
        std::string display = ":" + std::to_string(number);
        pid_t child = fork();
        if (child < 0) {
            error = "fork failed";
            return false;
        }
        if (child == 0) {
            // Quiet: Xvfb's start-up chatter is not the test's output.
            freopen("/dev/null", "w", stderr);
            freopen("/dev/null", "w", stdout);
            execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int step = 0; step < kWaitSteps; ++step) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                child = -1;  // it ended: the number was taken after all, or Xvfb is missing
                break;
            }
            Display* d = XOpenDisplay(display.c_str());
            if (d != nullptr) {
                XCloseDisplay(d);
                pid = child;
                name = display;
                setenv("DISPLAY", display.c_str(), 1);
                return true;
            }
            std::this_thread::sleep_for(kWaitStep);
        }
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
    }
    error = "cannot start Xvfb (is it installed?)";
    return false;
}

void XvfbServer::stop() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

}  // namespace tarskhost
