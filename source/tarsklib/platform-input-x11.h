// The modifier keys of the X11 backend, read from the server's key map at the time of use.
#pragma once

#include <X11/Xlib.h>

#include "tarsklib/ui-context.h"

namespace tarsk {

constexpr int kModifierKeyCount = 4;  // shift, ctrl, alt, windows

class X11Input final : public PlatformInput {
public:
    // Looks up the key codes of the left and right key of each modifier on display (which the owner keeps
    // open for as long as this object lives).
    explicit X11Input(Display* display);
    bool keyDown(int index) const override;

private:
    Display* display;
    KeyCode codes[kModifierKeyCount][2] = {};
};

}  // namespace tarsk
