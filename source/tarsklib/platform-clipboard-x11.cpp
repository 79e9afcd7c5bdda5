// Clipboard requests: XConvertSelection goes to the server and returns; the owner answers (or the server
// answers for an absent owner) with a SelectionNotify that the window's non-blocking pump hands back here.
// Reading the property is a round trip to the server only, never to the owner.
#include "platform-clipboard-x11.h"

namespace tarsk {

X11Clipboard::X11Clipboard(Display* d, Window w) : display(d), window(w) {
    if (display == nullptr) {
        return;
    }
    clipboardAtom = XInternAtom(display, "CLIPBOARD", False);
    utf8Atom = XInternAtom(display, "UTF8_STRING", False);
    incrAtom = XInternAtom(display, "INCR", False);
    propertyAtom = XInternAtom(display, "TARSK_CLIPBOARD", False);
}

void X11Clipboard::requestText(UiContext& context) {
    if (display == nullptr || window == 0) {
        return;
    }
    waiting = &context;
    XConvertSelection(display, clipboardAtom, utf8Atom, propertyAtom, window, CurrentTime);
    XFlush(display);
}

void X11Clipboard::forget(const UiContext& context) {
    if (waiting == &context) {
        waiting = nullptr;
    }
}

void X11Clipboard::selectionNotify(const XSelectionEvent& event) {
    if (event.requestor != window || event.selection != clipboardAtom) {
        return;
    }
    UiContext* target = waiting;
    waiting = nullptr;
    if (event.property == None) {
        return;  // no owner, or the owner refused the conversion
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    // Deleting the property tells the owner the transfer is done.
    const int status = XGetWindowProperty(display, window, event.property, 0, kClipboardMaxBytes / 4, True,
                                          AnyPropertyType, &type, &format, &count, &after, &data);
    if (status == Success && data != nullptr && target != nullptr && format == 8 &&
        type == utf8Atom) {
        // INCR (a large transfer in pieces) is not taken: its type differs, so nothing is delivered.
        target->clipboardArrived(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
    }
    if (data != nullptr) {
        XFree(data);
    }
}

}  // namespace tarsk
