// Fatal messages go to standard error: no toolkit may be started inside a host process.
#include "platform-message.h"

#include <cstdio>

namespace tarsk {

void showFatalMessage(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
}

}  // namespace tarsk
