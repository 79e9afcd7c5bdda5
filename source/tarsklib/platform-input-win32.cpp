// Modifier keys on Windows: GetKeyState, which follows the messages this thread has taken.
#include "tarsklib/platform-input-win32.h"

#include <windows.h>

namespace tarsk {

namespace {

constexpr SHORT kKeyDownBit = static_cast<SHORT>(0x8000);

}  // namespace

bool Win32Input::keyDown(int index) const {
    switch (index) {
        case kModifierShift: return (GetKeyState(VK_SHIFT) & kKeyDownBit) != 0;
        case kModifierCtrl: return (GetKeyState(VK_CONTROL) & kKeyDownBit) != 0;
        case kModifierAlt: return (GetKeyState(VK_MENU) & kKeyDownBit) != 0;
        case kModifierWindows: return ((GetKeyState(VK_LWIN) | GetKeyState(VK_RWIN)) & kKeyDownBit) != 0;
        default: return false;
    }
}

}  // namespace tarsk
