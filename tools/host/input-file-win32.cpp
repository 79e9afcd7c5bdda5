// Opening and reading input files on Windows: regular files only, errors with the system's reason.
// (Windows has no FIFOs in the file system, but a path may still name a folder or a device.)
#include "host/input-file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace tarskhost {

std::string systemReason(int errorNumber) {
    char text[256] = {};
    if (strerror_s(text, sizeof(text), errorNumber) != 0) {
        return "unknown error";
    }
    return text;
}

int openRegularFile(const std::string& path, std::string& error) {
    struct _stat64 status {};
    if (::_stat64(path.c_str(), &status) != 0) {
        error = systemReason(errno);
        return -1;
    }
    if ((status.st_mode & _S_IFMT) == _S_IFDIR) {
        error = "it is a folder, not a regular file";
        return -1;
    }
    if ((status.st_mode & _S_IFMT) != _S_IFREG) {
        error = "it is not a plain file";
        return -1;
    }
    int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        error = systemReason(errno);
        return -1;
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
        int got = ::_read(fd, buffer, sizeof(buffer));
        if (got < 0) {
            error = systemReason(errno);
            ::_close(fd);
            return false;
        }
        if (got == 0) {
            break;
        }
        if (data.size() + static_cast<size_t>(got) > maxBytes) {
            error = "it is larger than " + std::to_string(maxBytes) + " bytes, more than it can hold";
            ::_close(fd);
            return false;
        }
        data.insert(data.end(), buffer, buffer + got);
    }
    ::_close(fd);
    bytes = std::move(data);
    return true;
}

}  // namespace tarskhost
