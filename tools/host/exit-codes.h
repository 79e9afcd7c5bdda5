// The exit codes of tarskverb-host, the same for every command.
#pragma once

namespace tarskhost {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // a file or the plug-in could not be read, written or loaded; a check failed
constexpr int kExitUsage = 2;    // bad command line

}  // namespace tarskhost
