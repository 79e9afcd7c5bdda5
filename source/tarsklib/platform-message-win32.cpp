// Fatal messages on Windows: a message box with no owner, an empty title and the OK button only.
#include "platform-message.h"

#include <windows.h>

namespace tarsk {

void showFatalMessage(const char* text) { MessageBoxA(nullptr, text, "", MB_OK); }

}  // namespace tarsk
