// The editor command of tarskverb-host: runs the plug-in's editor in a top-level X11 window the way a
// host does, with audio running, until the window is closed; or takes a screenshot and exits.
#pragma once

#include <string>
#include <vector>

namespace tarskhost {

extern const char* const kEditorUsage;

// Runs `editor` with the arguments after the command name; answers the process exit code.
int runEditor(const std::vector<std::string>& args);

}  // namespace tarskhost
