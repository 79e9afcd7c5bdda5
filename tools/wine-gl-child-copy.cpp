// A library that tools/test-windows.sh preloads into Wine for the editor's screenshot under Xvfb.
//
// Wine 8.0 (Debian bookworm's build) shows nothing of an OpenGL child window. The GL picture is drawn
// into an offscreen (Composite-redirected) X window, and on SwapBuffers winex11 copies it with
// XCopyArea into the X window of the top-level window that holds the child. But the device context of
// a child window without an X window of its own is given drawable 0 (its X11DRV_GetDC keeps the
// failed ancestor lookup's 0 instead of the top-level window), so the GC made for that context and
// every copy fail with BadDrawable and BadGC, which winex11 ignores on its GDI connection: the screen
// keeps the frame's background. A window of the editor's kind shows its picture on Windows.
//
// This library gives the two failing calls a destination. A GC asked for drawable 0 is made on the
// root window (same screen and depth, so it serves any window), and a copy to drawable 0 goes to
// this process's top-most viewable top-level X window that can hold it: the host's frame. For a
// frame Wine lets the window manager decorate, that X window is the client area, which is what the
// copy's offsets are relative to. Calls with a real drawable pass through unchanged, so a Wine
// without the fault is not affected.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

namespace {

using CreateGcFunction = GC (*)(Display*, Drawable, unsigned long, XGCValues*);
using CopyAreaFunction = int (*)(Display*, Drawable, Drawable, GC, int, int, unsigned int, unsigned int, int,
                                 int);

template <typename Function>
Function nextDefinition(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Whether the window's _NET_WM_PID names this process.
bool ownedByThisProcess(Display* display, Window window, Atom pidAtom) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    bool owned = false;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr) {
        // Format-32 properties come as longs.
        owned = type == XA_CARDINAL && format == 32 && count == 1 &&
                *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(getpid());
        XFree(data);
    }
    return owned;
}

// This process's top-most viewable top-level window with room for width x height at (x, y), or 0.
Window hostFrame(Display* display, int x, int y, unsigned int width, unsigned int height) {
    Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    Window root = DefaultRootWindow(display);
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (pidAtom == None || XQueryTree(display, root, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    // XQueryTree lists the children bottom to top.
    for (unsigned int i = count; i-- > 0 && found == 0;) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) == 0 || attributes.map_state != IsViewable) {
            continue;
        }
        const long long right = static_cast<long long>(x) + width;
        const long long bottom = static_cast<long long>(y) + height;
        const bool roomy = x >= 0 && y >= 0 && right <= attributes.width && bottom <= attributes.height;
        if (roomy && ownedByThisProcess(display, children[i], pidAtom)) {
            found = children[i];
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

}  // namespace

extern "C" GC XCreateGC(Display* display, Drawable drawable, unsigned long mask, XGCValues* values) {
    static const auto next = nextDefinition<CreateGcFunction>("XCreateGC");
    return next(display, drawable != 0 ? drawable : DefaultRootWindow(display), mask, values);
}

extern "C" int XCopyArea(Display* display, Drawable source, Drawable destination, GC gc, int sourceX, int sourceY,
                         unsigned int width, unsigned int height, int x, int y) {
    static const auto next = nextDefinition<CopyAreaFunction>("XCopyArea");
    if (destination == 0) {
        destination = hostFrame(display, x, y, width, height);
        if (destination == 0) {
            return 0;  // nowhere to show it, as without this library
        }
    }
    return next(display, source, destination, gc, sourceX, sourceY, width, height, x, y);
}
