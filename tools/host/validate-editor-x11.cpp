// The validator's host window on X11: one plain top-level window on a display connection of its own.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "host/validate-editor-window.h"

namespace tarskhost::validate {

namespace {

constexpr int kDefaultSize = 400;
constexpr const char* kWindowTitle = "tarskverb-host validate";
constexpr int kOpenAttempts = 40;
constexpr int kOpenRetryMs = 50;

// A plug-in's late BadWindow or BadMatch must not end the validator through Xlib's default handler,
// which exits the process; count them instead.
int lastErrorCode = 0;
int ignoreError(Display*, XErrorEvent* event) {
    lastErrorCode = event->error_code;
    return 0;
}

// Opens a connection, trying again for a while: an X server that lost its last client resets
// itself and refuses connections for a moment.
Display* openDisplay() {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr)) {
            return display;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kOpenRetryMs));
    }
    return nullptr;
}

}  // namespace

bool hostWindowAvailable(std::string& reason) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == 0) {
        reason = "DISPLAY is not set";
        return false;
    }
    Display* display = openDisplay();
    if (display == nullptr) {
        reason = std::string("cannot open display ") + name;
        return false;
    }
    XCloseDisplay(display);
    return true;
}

bool runInHostWindow(int width, int height, const HostWindowBody& body, std::string& error) {
    Display* display = openDisplay();
    if (display == nullptr) {
        error = "cannot open the display";
        return false;
    }
    XErrorHandler previous = XSetErrorHandler(ignoreError);
    const int screen = DefaultScreen(display);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                        static_cast<unsigned>(width > 0 ? width : kDefaultSize),
                                        static_cast<unsigned>(height > 0 ? height : kDefaultSize), 0,
                                        BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, window, kWindowTitle);
    XSelectInput(display, window, StructureNotifyMask | ExposureMask);
    XMapWindow(display, window);
    // Wait until the window is mapped so that the editor's child becomes viewable at once.
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.window == window) {
            break;
        }
    }
    XSync(display, False);

    auto pump = [display] {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
    };
    body(static_cast<uintptr_t>(window), pump);

    XDestroyWindow(display, window);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return true;
}

}  // namespace tarskhost::validate
