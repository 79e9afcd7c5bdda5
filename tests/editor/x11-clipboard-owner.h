// A test-side X client that owns CLIPBOARD and answers requests for UTF8_STRING (or never answers),
// served from the test's own loop.
#pragma once

#include <X11/Xlib.h>

#include <string>

namespace tarsk {

class ClipboardOwner {
public:
    ClipboardOwner(const char* text, bool answers) : content(text), answering(answers) {
        display = XOpenDisplay(nullptr);
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
        clipboard = XInternAtom(display, "CLIPBOARD", False);
        utf8 = XInternAtom(display, "UTF8_STRING", False);
        XSetSelectionOwner(display, clipboard, window, CurrentTime);
        XSync(display, False);
    }
    ~ClipboardOwner() { XCloseDisplay(display); }
    bool owns() { return XGetSelectionOwner(display, clipboard) == window; }
    // Answers the requests that came in.
    void serve() {
        while (XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type != SelectionRequest) {
                continue;
            }
            ++requests;
            if (!answering) {
                continue;
            }
            const XSelectionRequestEvent& r = e.xselectionrequest;
            XSelectionEvent reply{};
            reply.type = SelectionNotify;
            reply.requestor = r.requestor;
            reply.selection = r.selection;
            reply.target = r.target;
            reply.time = r.time;
            reply.property = None;
            if (r.target == utf8 && r.property != None) {
                XChangeProperty(display, r.requestor, r.property, utf8, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(content.data()),
                                static_cast<int>(content.size()));
                reply.property = r.property;
            }
            XSendEvent(display, r.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
            XFlush(display);
        }
    }
    int requests = 0;

private:
    std::string content;
    bool answering;
    Display* display = nullptr;
    Window window = 0;
    Atom clipboard = None;
    Atom utf8 = None;
};

}  // namespace tarsk
