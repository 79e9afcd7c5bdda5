// Opening and reading input files: regular files only, errors with the system's reason.
#include "host/input-file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarskhost {

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a plain file";
}

}  // namespace

std::string systemReason(int errorNumber) {
    char text[256] = {};
    // The GNU strerror_r may answer a static text instead of filling the buffer.
    const char* reason = strerror_r(errorNumber, text, sizeof(text));
    return reason != nullptr ? reason : "unknown error";
}

int openRegularFile(const std::string& path, std::string& error) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, for ever.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = systemReason(errno);
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = systemReason(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        error = std::string("it is ") + kindOf(status.st_mode) + ", not a regular file";
        ::close(fd);
        return -1;
    }
    // Reads of a regular file never wait anyway; the flag goes so that nothing sees EAGAIN.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

bool readRegularFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error) {
    int fd = openRegularFile(path, error);
    if (fd < 0) {
        return false;
    }
    std::vector<uint8_t> data;
    uint8_t buffer[16384];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = systemReason(errno);
            ::close(fd);
            return false;
        }
        if (got == 0) {
            break;
        }
        if (data.size() + static_cast<size_t>(got) > maxBytes) {
            error = "it is larger than " + std::to_string(maxBytes) + " bytes, more than it can hold";
            ::close(fd);
            return false;
        }
        data.insert(data.end(), buffer, buffer + got);
    }
    ::close(fd);
    bytes = std::move(data);
    return true;
}

}  // namespace tarskhost
