// Showing a folder in the desktop's file browser.
#pragma once

#include <string>

namespace tarsk {

// Starts the desktop's opener on the folder, detached, without waiting for it. Answers whether the
// opener was started; a desktop without one is not an error for the caller.
bool openInFileBrowser(const std::string& folder);

}  // namespace tarsk
