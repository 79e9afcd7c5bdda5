// The X11 backend of the editor window: a child window of the host's window on a Display connection
// of its own, the error trap that keeps X errors away from the host, and key translation.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>

#include "tarsklib/gl-event.h"
#include "tarsklib/platform-window.h"

namespace tarsk {

class GlxSurface;
class X11Input;
class X11Clipboard;

// While one exists on a thread, X errors of its display are counted instead of reaching Xlib's
// default handler (which ends the process). The handler is process-wide: it is installed only for
// the outermost trap and the previous one comes back afterwards; errors of other displays go on to
// the previous handler. The destructor syncs first, so that every error of the calls inside arrives.
class XErrorTrap {
public:
    explicit XErrorTrap(Display* display);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Syncs and answers how many errors arrived so far.
    int errors();
    unsigned char lastErrorCode() const { return lastCode; }

private:
    friend int handleTrappedError(Display* display, XErrorEvent* error);
    Display* display;
    XErrorTrap* outer;
    int (*previousHandler)(Display*, XErrorEvent*) = nullptr;
    int errorCount = 0;
    unsigned char lastCode = 0;
};

// The key event for a key symbol (keysym after shift and caps lock): a character where the key has one,
// else a key code. Control characters of Backspace, Tab, Return and Escape count as characters.
GlEvent translateKeySymbol(unsigned long keySymbol);

class X11Window final : public PlatformWindow {
public:
    static std::unique_ptr<X11Window> create(uintptr_t parent, int width, int height, int hostMode,
                                             GlWindowRecord* record);
    ~X11Window() override;

    void pumpEvents() override;
    bool isViewable() override;
    bool takeExposed() override;
    void takeFocus() override;
    void show() override;
    void resize(int width, int height) override;
    int width() const override { return sizeW; }
    int height() const override { return sizeH; }
    GlSurface& surface() override;
    uintptr_t nativeHandle() const override { return window; }
    bool park() override;
    bool adopt(uintptr_t parent, int width, int height) override;

    PlatformInput* input() override;
    ClipboardSource* clipboard() override;

    Display* display() const { return connection; }
    bool isGone() const { return gone; }

private:
    X11Window() = default;
    void translate(XEvent& xe);
    void keyEvent(XKeyEvent& key, bool pressed);
    void forwardToHost(XKeyEvent& key);
    bool viewableNow();
    // Finds the host's top-level window above parent; answers false when parent is not a window.
    bool findTopLevel(Window parent);

    Display* connection = nullptr;
    Window window = 0;
    Window hostTopLevel = 0;
    Colormap colormap = 0;
    std::unique_ptr<GlxSurface> gl;
    std::unique_ptr<X11Input> keys;
    std::unique_ptr<X11Clipboard> selection;
    GlWindowRecord* record = nullptr;
    int hostMode = 0;
    int sizeW = 0;
    int sizeH = 0;
    bool gone = false;
    bool exposed = false;
    bool fullyObscured = false;
};

}  // namespace tarsk
