// XvfbServer: a private virtual X server for tests and benchmarks. It picks a free display number
// derived from the process id, starts Xvfb without TCP, waits until it answers and points DISPLAY at it.
#pragma once

#include <sys/types.h>

#include <string>

namespace tarskhost {

class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer() { stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts the server and sets DISPLAY; answers false (with a message) when Xvfb cannot be started.
    bool start(std::string& error);
    void stop();
    const std::string& displayName() const { return name; }

private:
    pid_t pid = -1;
    std::string name;
};

}  // namespace tarskhost
