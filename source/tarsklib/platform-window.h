// PlatformWindow: the editor's child window inside a host's window, as the platform-free code sees it.
// The backend (platform-window-x11) translates the window system's events into GlEvents for the
// window record's handler and owns the window's GL surface.
#pragma once

#include <cstdint>
#include <memory>

#include "tarsklib/gl-event.h"
#include "tarsklib/platform-gl.h"

namespace tarsk {

class PlatformInput;
class ClipboardSource;

// The editor host modes (kept by the window; they decide where keys the editor does not take go).
constexpr int kWindowHostModeDefault = 0;
constexpr int kWindowHostModeKeysStay1 = 1;
constexpr int kWindowHostModeKeysStay6 = 6;

class PlatformWindow {
public:
    virtual ~PlatformWindow() = default;
    // Hands every waiting event to the record's handler without blocking.
    virtual void pumpEvents() = 0;
    // Whether the window is mapped with all its ancestors (false once the window is gone).
    virtual bool isViewable() = 0;
    // True once after the window was exposed (its contents must be drawn again).
    virtual bool takeExposed() = 0;
    // Gives the window the keyboard focus (only while viewable).
    virtual void takeFocus() = 0;
    virtual void show() = 0;
    virtual void resize(int width, int height) = 0;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual GlSurface& surface() = 0;
    // The native window handle (an X11 Window id here).
    virtual uintptr_t nativeHandle() const = 0;
    // Hides the window and takes it out of its parent, keeping it and its GL context for the next open
    // (which then costs no context creation and no shader compilation). Answers false when the window
    // cannot be kept (it is gone); the owner then destroys it.
    virtual bool park() = 0;
    // Moves a parked window into a new parent at the given size (not yet shown); answers false when
    // the parent cannot take it, in which case the owner destroys it and makes a new one.
    virtual bool adopt(uintptr_t parent, int width, int height) = 0;
    // The modifier keys and the system clipboard of the window's own connection (owned by the window;
    // null where the backend has none).
    virtual PlatformInput* input() { return nullptr; }
    virtual ClipboardSource* clipboard() { return nullptr; }
};

// Creates the child window (not yet shown) and its GL context in the parent window (a native handle).
// Answers null when the display, the parent, the window or the context cannot be had.
std::unique_ptr<PlatformWindow> createPlatformWindow(uintptr_t parent, int width, int height, int hostMode,
                                                     GlWindowRecord* record);

}  // namespace tarsk
