// Messages for the user that the library cannot avoid: the fatal message at load.
#pragma once

namespace tarsk {

// Shows a message that needs no answer (on this platform: standard error).
void showFatalMessage(const char* text);

}  // namespace tarsk
