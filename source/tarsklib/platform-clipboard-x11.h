// The CLIPBOARD selection of the X11 backend, read as UTF-8 without ever waiting for its owner.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>

#include "tarsklib/ui-context.h"

namespace tarsk {

// Longest clipboard text taken, in bytes (the key queue holds far less anyway).
constexpr long kClipboardMaxBytes = 65536;

class X11Clipboard final : public ClipboardSource {
public:
    // display and window: the editor's own connection and window, which receive the SelectionNotify.
    X11Clipboard(Display* display, Window window);
    // Asks the owner of CLIPBOARD to convert it to UTF8_STRING into a property of the window and returns at
    // once. The answer comes through the window's event pump (selectionNotify); a later request replaces an
    // earlier one that has not been answered.
    void requestText(UiContext& context) override;
    // The window's event pump hands over its SelectionNotify events. The text goes to the context of the
    // request. No owner, a refusal and a transfer in increments (INCR) deliver nothing.
    void selectionNotify(const XSelectionEvent& event);
    // Drops a request that has not been answered (the context goes away).
    void forget(const UiContext& context);
    bool pending() const { return waiting != nullptr; }

private:
    Display* display;
    Window window;
    Atom clipboardAtom = None;
    Atom utf8Atom = None;
    Atom incrAtom = None;
    Atom propertyAtom = None;
    UiContext* waiting = nullptr;
};

}  // namespace tarsk
