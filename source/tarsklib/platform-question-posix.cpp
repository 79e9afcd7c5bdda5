// Yes/no questions on POSIX desktops: zenity, else kdialog, started with posix_spawn; exit code 0 is yes.
#include "platform-question.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform-files.h"

namespace tarsk {

namespace {

constexpr const char* kNullDevice = "/dev/null";

bool hasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

// Runs the program with the arguments (standard streams on the null device, default signal handling)
// and waits for it; answers whether it exited with code 0.
bool runAndWait(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return false;
    }
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, kNullDevice, O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, kNullDevice, O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, kNullDevice, O_WRONLY, 0);
    // The host may block or catch signals; the dialog program starts with the defaults.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t child = 0;
    int failed = posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;  // e.g. the host reaps its children itself: no answer, so no
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool askYesNo(const char* title, const char* text) {
    if (title == nullptr || text == nullptr || !hasDisplay()) {
        return false;
    }
    std::string zenity = findProgramOnPath("zenity");
    if (!zenity.empty()) {
        return runAndWait(zenity, {"--question", std::string("--title=") + title, std::string("--text=") + text,
                                   "--no-markup"});
    }
    std::string kdialog = findProgramOnPath("kdialog");
    if (!kdialog.empty()) {
        return runAndWait(kdialog, {"--title", title, "--yesno", text});
    }
    return false;
}

}  // namespace tarsk
