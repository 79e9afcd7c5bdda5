// tarskverb-host validate in the Windows build: the validator's checks run in the Linux build only
// (they count the heap calls of the process and drive the editor through an X11 frame), so the
// command says so instead of checking less than it promises.
#include "host/validate-command.h"

#include <cstdio>

#include "host/exit-codes.h"

namespace tarskhost {

const char* const kValidateUsage = "  validate          (Linux build only)\n";

int runValidate(const std::vector<std::string>& /*args*/) {
    std::fprintf(stderr, "tarskverb-host validate: the validator is part of the Linux build only\n");
    return kExitUsage;
}

}  // namespace tarskhost
