// What the tests that run tarskverb-host editor as a child process share: finding its windows on the
// test's X display and waiting for the process to end.
#pragma once

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace tarsk::test {

// A top-level window by its title, 0 when there is none.
inline Window findWindowNamed(Display* display, const char* title) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        return 0;
    }
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name != nullptr) {
            found = std::strcmp(name, title) == 0 ? children[i] : 0;
            XFree(name);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

// The first child window of a window, 0 when it has none.
inline Window findChild(Display* display, Window window) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) {
        return 0;
    }
    Window found = count > 0 ? children[0] : 0;
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

// The exit code of a child process, waiting up to 20 s; a child still running then is killed (-1).
inline int waitForExit(pid_t child) {
    constexpr int kPolls = 400;
    constexpr auto kPoll = std::chrono::milliseconds(50);
    for (int i = 0; i < kPolls; ++i) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(kPoll);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

}  // namespace tarsk::test
