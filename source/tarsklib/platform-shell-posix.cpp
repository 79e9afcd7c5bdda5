// Showing a folder on POSIX desktops: xdg-open in a new session, started through a double fork so
// that it is never our child (no zombie) and nobody waits for it.
#include "platform-shell.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform-files.h"

namespace tarsk {

namespace {

constexpr int kExitExecFailed = 127;
constexpr int kFallbackDescriptorLimit = 1024;

// Runs in the forked child of a possibly multi-threaded process: async-signal-safe calls only.
[[noreturn]] void execDetached(const char* program, char* const argv[]) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    int nullDevice = open("/dev/null", O_RDWR);
    if (nullDevice >= 0) {
        dup2(nullDevice, STDIN_FILENO);
        dup2(nullDevice, STDOUT_FILENO);
        dup2(nullDevice, STDERR_FILENO);
    }
    // The host's own descriptors (audio devices, sockets) stay with the host.
    if (close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < kFallbackDescriptorLimit; ++fd) {
            close(fd);
        }
    }
    execv(program, argv);
    _exit(kExitExecFailed);
}

}  // namespace

bool openInFileBrowser(const std::string& folder) {
    std::string opener = findProgramOnPath("xdg-open");
    if (opener.empty() || folder.empty()) {
        return false;
    }
    char* const argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(folder.c_str()), nullptr};
    pid_t middle = fork();
    if (middle < 0) {
        return false;
    }
    if (middle == 0) {
        setsid();
        pid_t opened = fork();
        if (opened == 0) {
            execDetached(opener.c_str(), argv);
        }
        _exit(opened < 0 ? kExitExecFailed : 0);
    }
    // The middle process ends at once; collecting it is all the waiting there is.
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tarsk
