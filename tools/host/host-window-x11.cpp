// HostWindow: the top-level X11 window of tarskverb-host.
#include "host/host-window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace tarskhost {

namespace {

Display* asDisplay(void* d) { return static_cast<Display*>(d); }

// The top bit of a channel mask and its shift, for reading pixels of any TrueColor layout.
int maskShift(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1ul) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    unsigned long value = (pixel & mask) >> maskShift(mask);
    unsigned long top = mask >> maskShift(mask);
    return static_cast<uint8_t>(top == 255 ? value : value * 255 / top);
}

constexpr int kOpenAttempts = 40;
constexpr int kOpenRetryMs = 50;
constexpr int kMapWaitSteps = 200;
constexpr int kMapWaitStepMs = 5;

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

// A plug-in's late BadWindow or BadMatch on our connection must not end the host through Xlib's
// default handler, which exits the process: the host notes the error and goes on.
int noteError(Display*, XErrorEvent*) { return 0; }

}  // namespace

bool HostWindow::displayAvailable(std::string& reason) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == 0) {
        reason = "DISPLAY is not set";
        return false;
    }
    Display* d = openDisplay();
    if (d == nullptr) {
        reason = std::string("cannot open display ") + name;
        return false;
    }
    XCloseDisplay(d);
    return true;
}

HostWindow::HostWindow() = default;

HostWindow::~HostWindow() {
    destroy();
    if (display != nullptr) {
        XCloseDisplay(asDisplay(display));
        XSetErrorHandler(reinterpret_cast<XErrorHandler>(previousHandler));
    }
}

bool HostWindow::open(int width, int height, const std::string& title, std::string& error) {
    Display* d = openDisplay();
    if (d == nullptr) {
        error = "cannot open the X display (is DISPLAY set?)";
        return false;
    }
    previousHandler = reinterpret_cast<void*>(XSetErrorHandler(noteError));
    display = d;
    sizeW = width;
    sizeH = height;
    int screen = DefaultScreen(d);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(d, screen);
    attributes.event_mask = StructureNotifyMask | KeyPressMask | KeyReleaseMask;
    window = XCreateWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                           CWBackPixel | CWEventMask, &attributes);
    XStoreName(d, window, title.c_str());
    Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    deleteAtom = deleteWindow;
    XSetWMProtocols(d, window, &deleteWindow, 1);
    XMapWindow(d, window);
    XSync(d, False);
    // Wait (bounded) until the window is viewable, so that the editor's child is viewable at once.
    for (int step = 0; step < kMapWaitSteps; ++step) {
        XWindowAttributes state{};
        if (XGetWindowAttributes(d, window, &state) != 0 && state.map_state == IsViewable) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kMapWaitStepMs));
    }
    return true;
}

bool HostWindow::pumpEvents() {
    Display* d = asDisplay(display);
    if (d == nullptr) {
        return false;
    }
    while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == ClientMessage && static_cast<unsigned long>(e.xclient.data.l[0]) == deleteAtom) {
            closeAsked = true;
        } else if (e.type == ConfigureNotify && e.xconfigure.window == window) {
            sizeW = e.xconfigure.width;
            sizeH = e.xconfigure.height;
        } else if (e.type == DestroyNotify && e.xdestroywindow.window == window) {
            closeAsked = true;
        }
    }
    return !closeAsked;
}

void HostWindow::resize(int width, int height) {
    if (display == nullptr || window == 0 || width <= 0 || height <= 0) {
        return;
    }
    XResizeWindow(asDisplay(display), window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(asDisplay(display), False);
    sizeW = width;
    sizeH = height;
}

void HostWindow::destroy() {
    if (display != nullptr && window != 0) {
        XDestroyWindow(asDisplay(display), window);
        XSync(asDisplay(display), False);
        window = 0;
    }
}

bool HostWindow::capturePng(const std::string& path, std::string& error) {
    Display* d = asDisplay(display);
    if (d == nullptr || window == 0) {
        error = "no window to capture";
        return false;
    }
    XSync(d, False);
    // The root window's copy of our area: it is what the screen shows, children of any visual included
    // and multisampled pictures already resolved.
    Window root = DefaultRootWindow(d);
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(d, window, root, 0, 0, &x, &y, &child);
    XImage* image = XGetImage(d, root, x, y, static_cast<unsigned>(sizeW), static_cast<unsigned>(sizeH), AllPlanes,
                              ZPixmap);
    if (image == nullptr) {
        error = "cannot read the window's pixels";
        return false;
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(sizeW) * static_cast<size_t>(sizeH) * 3);
    for (int row = 0; row < sizeH; ++row) {
        for (int col = 0; col < sizeW; ++col) {
            unsigned long pixel = XGetPixel(image, col, row);
            uint8_t* out = &rgb[(static_cast<size_t>(row) * static_cast<size_t>(sizeW) + static_cast<size_t>(col)) * 3];
            out[0] = channel(pixel, image->red_mask);
            out[1] = channel(pixel, image->green_mask);
            out[2] = channel(pixel, image->blue_mask);
        }
    }
    XDestroyImage(image);
    return writeRgbPng(path, rgb.data(), sizeW, sizeH, error);
}

}  // namespace tarskhost
