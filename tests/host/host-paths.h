// Where the host-level tests find the built plug-in, the command-line host and the fixtures.
#pragma once

#include <cstdlib>
#include <string>

namespace tarsk::test {

inline std::string buildDir() {
    const char* dir = std::getenv("TARSK_BUILD_DIR");
    return dir != nullptr ? dir : ".";
}
inline std::string pluginPath() { return buildDir() + "/tarskverb.so"; }
inline std::string hostPath() { return buildDir() + "/tarskverb-host"; }
inline std::string fixturePath(const char* name) { return std::string(TARSK_FIXTURE_DIR) + "/" + name; }

}  // namespace tarsk::test
