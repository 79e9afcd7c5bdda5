// tarskverb-host validate: checks any VST 2.x effect the way hosts use it.
#pragma once

#include <string>
#include <vector>

namespace tarskhost {

extern const char* const kValidateUsage;

// args: the command's arguments after "validate"; answers the process exit code.
int runValidate(const std::vector<std::string>& args);

}  // namespace tarskhost
