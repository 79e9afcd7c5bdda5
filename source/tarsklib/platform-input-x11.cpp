// Modifier keys: XQueryKeymap asks the server which keys are down now, so the answer is right even when
// the key went down while another window had the keyboard.
#include "platform-input-x11.h"

#include <X11/keysym.h>

namespace tarsk {

namespace {

constexpr int kKeymapBytes = 32;

// The index of a modifier in the key map table (kModifierShift... are key values, not 0-based).
int slotOf(int index) {
    switch (index) {
        case kModifierShift: return 0;
        case kModifierCtrl: return 1;
        case kModifierAlt: return 2;
        case kModifierWindows: return 3;
        default: return -1;
    }
}

}  // namespace

X11Input::X11Input(Display* d) : display(d) {
    static constexpr KeySym kSymbols[kModifierKeyCount][2] = {
        {XK_Shift_L, XK_Shift_R}, {XK_Control_L, XK_Control_R}, {XK_Alt_L, XK_Alt_R}, {XK_Super_L, XK_Super_R}};
    if (display == nullptr) {
        return;
    }
    for (int m = 0; m < kModifierKeyCount; ++m) {
        for (int side = 0; side < 2; ++side) {
            codes[m][side] = XKeysymToKeycode(display, kSymbols[m][side]);
        }
    }
}

bool X11Input::keyDown(int index) const {
    const int slot = slotOf(index);
    if (display == nullptr || slot < 0) {
        return false;
    }
    char keys[kKeymapBytes] = {};
    XQueryKeymap(display, keys);
    for (KeyCode code : codes[slot]) {
        if (code != 0 && (static_cast<unsigned char>(keys[code / 8]) & (1u << (code % 8))) != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace tarsk
