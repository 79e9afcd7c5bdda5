// X11 editor window: own Display connection, child of the host's window, GLX visual with its own
// colormap, event translation, keyboard focus and keys passed on to the host.
//
// Index: error trap | key translation | creation | events | keys | window services
#include "tarsklib/platform-window-x11.h"

#include <X11/XF86keysym.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <atomic>

#include "tarsklib/platform-clipboard-x11.h"
#include "tarsklib/platform-gl-glx.h"
#include "tarsklib/platform-input-x11.h"

namespace tarsk {

// ---------------------------------------------------------------------------------------------
// Error trap

namespace {

// The trap of the calling thread. Xlib calls the process-wide handler on the thread that made the
// failing call, so a thread-local pointer finds the right trap.
thread_local XErrorTrap* activeTrap = nullptr;

// The handler that was installed before ours; errors of other threads' displays go there. One word
// for the process because Xlib's handler is one word for the process.
std::atomic<int (*)(Display*, XErrorEvent*)>& handlerBeforeOurs() {
    static std::atomic<int (*)(Display*, XErrorEvent*)> previous{nullptr};
    return previous;
}

constexpr int kWheelUp = 4;
constexpr int kWheelDown = 5;
constexpr int kWheelLeft = 6;
constexpr int kWheelRight = 7;

}  // namespace

int handleTrappedError(Display* display, XErrorEvent* error) {
    XErrorTrap* trap = activeTrap;
    while (trap != nullptr && trap->display != display) {
        trap = trap->outer;
    }
    if (trap != nullptr) {
        ++trap->errorCount;
        trap->lastCode = error->error_code;
        return 0;
    }
    auto previous = handlerBeforeOurs().load(std::memory_order_acquire);
    if (previous != nullptr && previous != &handleTrappedError) {
        return previous(display, error);
    }
    return 0;
}

XErrorTrap::XErrorTrap(Display* d) : display(d), outer(activeTrap) {
    if (outer == nullptr) {
        previousHandler = XSetErrorHandler(&handleTrappedError);
        if (previousHandler != &handleTrappedError) {
            handlerBeforeOurs().store(previousHandler, std::memory_order_release);
        }
    }
    activeTrap = this;
}

XErrorTrap::~XErrorTrap() {
    if (display != nullptr) {
        XSync(display, False);
    }
    activeTrap = outer;
    if (outer == nullptr) {
        XSetErrorHandler(previousHandler);
    }
}

int XErrorTrap::errors() {
    if (display != nullptr) {
        XSync(display, False);
    }
    return errorCount;
}

// ---------------------------------------------------------------------------------------------
// Key translation

GlEvent translateKeySymbol(unsigned long keySymbol) {
    // Latin-1 symbols are their characters; newer symbols carry the code point behind 0x01000000.
    if ((keySymbol >= 0x20 && keySymbol <= 0x7E) || (keySymbol >= 0xA0 && keySymbol <= 0xFF)) {
        return keyEvent(static_cast<uint32_t>(keySymbol), 0);
    }
    if ((keySymbol & 0xFF000000ul) == 0x01000000ul) {
        uint32_t codePoint = static_cast<uint32_t>(keySymbol & 0x00FFFFFFul);
        if (codePoint != 0 && codePoint <= key::kCharacterBits) {
            return keyEvent(codePoint, 0);
        }
        return keyEvent(0, key::kOther);
    }
    if (keySymbol >= XK_F1 && keySymbol <= XK_F12) {
        return keyEvent(0, key::kF1 + static_cast<uint32_t>(keySymbol - XK_F1));
    }
    if (keySymbol >= XK_KP_0 && keySymbol <= XK_KP_9) {
        return keyEvent('0' + static_cast<uint32_t>(keySymbol - XK_KP_0), 0);
    }
    switch (keySymbol) {
        case XK_BackSpace:
            return keyEvent(key::kBackspace, 0);
        case XK_Tab:
        case XK_ISO_Left_Tab:
        case XK_KP_Tab:
            return keyEvent(key::kTab, 0);
        case XK_Return:
        case XK_KP_Enter:
            return keyEvent(key::kReturn, 0);
        case XK_Escape:
            return keyEvent(key::kEscape, 0);
        case XK_KP_Space:
            return keyEvent(' ', 0);
        case XK_KP_Multiply:
            return keyEvent('*', 0);
        case XK_KP_Add:
            return keyEvent('+', 0);
        case XK_KP_Subtract:
            return keyEvent('-', 0);
        case XK_KP_Decimal:
            return keyEvent('.', 0);
        case XK_KP_Divide:
            return keyEvent('/', 0);
        case XK_KP_Equal:
            return keyEvent('=', 0);
        case XK_Shift_L:
        case XK_Shift_R:
            return keyEvent(0, key::kShift);
        case XK_Caps_Lock:
            return keyEvent(0, key::kCapsLock);
        case XK_Control_L:
        case XK_Control_R:
            return keyEvent(0, key::kCtrl);
        case XK_Alt_L:
        case XK_Alt_R:
        case XK_Meta_L:
        case XK_Meta_R:
            return keyEvent(0, key::kAlt);
        case XK_Super_L:
            return keyEvent(0, key::kWindows);
        case XK_Left:
        case XK_KP_Left:
            return keyEvent(0, key::kLeft);
        case XK_Right:
        case XK_KP_Right:
            return keyEvent(0, key::kRight);
        case XK_Up:
        case XK_KP_Up:
            return keyEvent(0, key::kUp);
        case XK_Down:
        case XK_KP_Down:
            return keyEvent(0, key::kDown);
        case XK_Home:
        case XK_KP_Home:
            return keyEvent(0, key::kHome);
        case XK_End:
        case XK_KP_End:
            return keyEvent(0, key::kEnd);
        case XK_Page_Up:
        case XK_KP_Page_Up:
            return keyEvent(0, key::kPageUp);
        case XK_Page_Down:
        case XK_KP_Page_Down:
            return keyEvent(0, key::kPageDown);
        case XK_Insert:
        case XK_KP_Insert:
            return keyEvent(0, key::kInsert);
        case XK_Delete:
        case XK_KP_Delete:
            return keyEvent(0, key::kDelete);
        case XF86XK_AudioRaiseVolume:
            return keyEvent(0, key::kVolumeUp);
        case XF86XK_AudioLowerVolume:
            return keyEvent(0, key::kVolumeDown);
        case XF86XK_AudioMute:
            return keyEvent(0, key::kVolumeMute);
        default:
            return keyEvent(0, key::kOther);
    }
}

// ---------------------------------------------------------------------------------------------
// Creation

std::unique_ptr<PlatformWindow> createPlatformWindow(uintptr_t parent, int width, int height, int hostMode,
                                                     GlWindowRecord* record) {
    return X11Window::create(parent, width, height, hostMode, record);
}

std::unique_ptr<X11Window> X11Window::create(uintptr_t parent, int width, int height, int hostMode,
                                             GlWindowRecord* record) {
    if (parent == 0 || width <= 0 || height <= 0) {
        return nullptr;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    std::unique_ptr<X11Window> w(new X11Window());
    w->connection = display;
    w->record = record;
    w->hostMode = hostMode;
    w->sizeW = width;
    w->sizeH = height;

    XErrorTrap trap(display);
    Window parentWindow = static_cast<Window>(parent);
    XWindowAttributes parentAttributes{};
    if (!XGetWindowAttributes(display, parentWindow, &parentAttributes) || trap.errors() != 0) {
        return nullptr;  // not a window of this display (or gone): the destructor closes the display
    }
    w->findTopLevel(parentWindow);

    int screen = XScreenNumberOfScreen(parentAttributes.screen);
    GlxConfigChoice choice;
    if (!chooseGlxConfig(display, screen, parentAttributes.depth, choice)) {
        return nullptr;
    }
    XSetWindowAttributes attributes{};
    w->colormap = XCreateColormap(display, parentAttributes.root, choice.visual->visual, AllocNone);
    attributes.colormap = w->colormap;
    attributes.border_pixel = 0;
    attributes.background_pixmap = None;
    attributes.override_redirect = True;  // a parked window is a child of the root: no manager takes it
    attributes.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | FocusChangeMask | ExposureMask | StructureNotifyMask |
                            VisibilityChangeMask;
    w->window = XCreateWindow(display, parentWindow, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), 0, choice.visual->depth, InputOutput,
                              choice.visual->visual, CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask | CWOverrideRedirect,
                              &attributes);
    XStoreName(display, w->window, "TarskVerb");
    XSync(display, False);
    if (trap.errors() != 0 || w->window == 0) {
        XFree(choice.visual);
        return nullptr;
    }
    w->keys = std::make_unique<X11Input>(display);
    w->selection = std::make_unique<X11Clipboard>(display, w->window);
    w->gl = std::make_unique<GlxSurface>(display, w->window, choice, w->colormap);
    XFree(choice.visual);
    if (!w->gl->create()) {
        return nullptr;
    }
    return w;
}

bool X11Window::findTopLevel(Window parent) {
    // The host's top-level window: the ancestor just below the root.
    Window walker = parent;
    for (int depth = 0; depth < 64; ++depth) {
        Window root = 0;
        Window up = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(connection, walker, &root, &up, &children, &count)) {
            return false;
        }
        if (children != nullptr) {
            XFree(children);
        }
        if (up == root || up == 0) {
            hostTopLevel = walker;
            return true;
        }
        walker = up;
    }
    return false;
}

X11Window::~X11Window() {
    if (connection == nullptr) {
        return;
    }
    {
        XErrorTrap trap(connection);
        selection.reset();
        keys.reset();
        gl.reset();
        if (window != 0 && !gone) {
            XDestroyWindow(connection, window);
        }
        if (colormap != 0) {
            XFreeColormap(connection, colormap);
        }
    }
    XCloseDisplay(connection);
}

// ---------------------------------------------------------------------------------------------
// Events

PlatformInput* X11Window::input() { return keys.get(); }

ClipboardSource* X11Window::clipboard() { return selection.get(); }

void X11Window::pumpEvents() {
    XErrorTrap trap(connection);
    while (XPending(connection) > 0) {
        XEvent xe;
        XNextEvent(connection, &xe);
        translate(xe);
    }
}

void X11Window::translate(XEvent& xe) {
    GlEvent e;
    auto send = [this](const GlEvent& ev) {
        return record != nullptr && record->handler != nullptr && record->handler(this, &ev, record->user);
    };
    switch (xe.type) {
        case ButtonPress:
        case ButtonRelease: {
            bool pressed = xe.type == ButtonPress;
            unsigned int b = xe.xbutton.button;
            if (b >= static_cast<unsigned>(kWheelUp) && b <= static_cast<unsigned>(kWheelRight)) {
                if (!pressed) {
                    return;
                }
                int steps = b == static_cast<unsigned>(kWheelUp) || b == static_cast<unsigned>(kWheelRight) ? 1 : -1;
                e.type = b <= static_cast<unsigned>(kWheelDown) ? event::kWheelVertical : event::kWheelHorizontal;
                e.extra = withTopByte(static_cast<uint32_t>(static_cast<uint8_t>(static_cast<int8_t>(steps))));
            } else {
                uint32_t number = b == Button1 ? button::kLeft : b == Button2 ? button::kMiddle : button::kRight;
                if (pressed) {
                    takeFocus();
                }
                e.type = pressed ? event::kButtonDown : event::kButtonUp;
                e.extra = withTopByte(number);
            }
            e.x = static_cast<float>(static_cast<int16_t>(xe.xbutton.x));
            e.y = static_cast<float>(static_cast<int16_t>(xe.xbutton.y));
            send(e);
            return;
        }
        case MotionNotify:
            e.type = event::kMouseMove;
            e.x = static_cast<float>(static_cast<int16_t>(xe.xmotion.x));
            e.y = static_cast<float>(static_cast<int16_t>(xe.xmotion.y));
            send(e);
            return;
        case LeaveNotify:
            if (xe.xcrossing.detail != NotifyInferior) {
                e.type = event::kMouseLeave;
                send(e);
            }
            return;
        case FocusOut:
            // Only the focus really leaving: NotifyPointer and friends come and go with the pointer
            // while the focus is PointerRoot, and the window taking the focus on a click sees one too.
            if (xe.xfocus.mode == NotifyNormal &&
                (xe.xfocus.detail == NotifyAncestor || xe.xfocus.detail == NotifyVirtual ||
                 xe.xfocus.detail == NotifyNonlinear || xe.xfocus.detail == NotifyNonlinearVirtual)) {
                e.type = event::kFocusLost;
                send(e);
            }
            return;
        case KeyPress:
        case KeyRelease:
            keyEvent(xe.xkey, xe.type == KeyPress);
            return;
        case Expose:
            if (xe.xexpose.count == 0) {
                exposed = true;
            }
            return;
        case MapNotify:
            exposed = true;
            return;
        case SelectionNotify:
            if (selection != nullptr) {
                selection->selectionNotify(xe.xselection);
            }
            return;
        case VisibilityNotify:
            fullyObscured = xe.xvisibility.state == VisibilityFullyObscured;
            if (!fullyObscured) {
                exposed = true;
            }
            return;
        case ConfigureNotify:
            if (xe.xconfigure.window == window) {
                sizeW = xe.xconfigure.width;
                sizeH = xe.xconfigure.height;
            }
            return;
        case DestroyNotify:
            if (xe.xdestroywindow.window == window) {
                gone = true;
                if (gl != nullptr) {
                    gl->windowGone();
                }
            }
            return;
        default:
            return;
    }
}

// ---------------------------------------------------------------------------------------------
// Keys

void X11Window::keyEvent(XKeyEvent& key, bool pressed) {
    bool taken = false;
    if (pressed) {
        KeySym symbol = NoSymbol;
        char text[8];
        const int length = XLookupString(&key, text, sizeof(text), &symbol, nullptr);
        if (symbol != NoSymbol) {
            GlEvent e = translateKeySymbol(symbol);
            // Ctrl with a letter gives the letter's control character (Ctrl+V, 22, pastes in a text area).
            const bool letter = (symbol >= XK_a && symbol <= XK_z) || (symbol >= XK_A && symbol <= XK_Z);
            if ((key.state & ControlMask) != 0 && letter && length == 1 && text[0] > 0 && text[0] < 0x20) {
                e = tarsk::keyEvent(static_cast<uint32_t>(text[0]), 0);
            }
            taken = record != nullptr && record->handler != nullptr && record->handler(this, &e, record->user);
        }
    }
    // Key releases always go on, like presses the editor did not take; events that a host sent us
    // (send_event) never go back, so that a host forwarding keys cannot loop with us.
    if (!taken && !key.send_event && hostMode != kWindowHostModeKeysStay1 && hostMode != kWindowHostModeKeysStay6) {
        forwardToHost(key);
    }
}

void X11Window::forwardToHost(XKeyEvent& key) {
    if (hostTopLevel == 0 || gone) {
        return;
    }
    XEvent forwarded{};
    forwarded.xkey = key;
    forwarded.xkey.window = hostTopLevel;
    forwarded.xkey.subwindow = None;
    long mask = key.type == KeyPress ? KeyPressMask : KeyReleaseMask;
    XSendEvent(connection, hostTopLevel, True, mask, &forwarded);
}

// ---------------------------------------------------------------------------------------------
// Window services

bool X11Window::viewableNow() {
    if (gone || window == 0) {
        return false;
    }
    XErrorTrap trap(connection);
    XWindowAttributes attributes{};
    Status ok = XGetWindowAttributes(connection, window, &attributes);
    if (trap.errors() != 0 || !ok) {
        gone = true;
        if (gl != nullptr) {
            gl->windowGone();
        }
        return false;
    }
    return attributes.map_state == IsViewable;
}

bool X11Window::isViewable() { return viewableNow() && !fullyObscured; }

bool X11Window::takeExposed() {
    bool was = exposed;
    exposed = false;
    return was;
}

void X11Window::takeFocus() {
    if (!viewableNow()) {
        return;  // XSetInputFocus on a window that is not viewable is a BadMatch
    }
    XErrorTrap trap(connection);
    XSetInputFocus(connection, window, RevertToParent, CurrentTime);
}

void X11Window::show() {
    if (gone) {
        return;
    }
    XErrorTrap trap(connection);
    XMapWindow(connection, window);
    XSync(connection, False);
}

void X11Window::resize(int width, int height) {
    if (gone || width <= 0 || height <= 0) {
        return;
    }
    XErrorTrap trap(connection);
    XResizeWindow(connection, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    sizeW = width;
    sizeH = height;
}

GlSurface& X11Window::surface() { return *gl; }

bool X11Window::park() {
    if (gone) {
        return false;
    }
    XErrorTrap trap(connection);
    XUnmapWindow(connection, window);
    XReparentWindow(connection, window, DefaultRootWindow(connection), 0, 0);
    hostTopLevel = 0;
    return trap.errors() == 0 && !gone;
}

bool X11Window::adopt(uintptr_t parent, int width, int height) {
    if (gone || parent == 0 || width <= 0 || height <= 0) {
        return false;
    }
    pumpEvents();  // what happened while parked (unmap, reparent) is of no interest now
    exposed = false;
    XErrorTrap trap(connection);
    Window parentWindow = static_cast<Window>(parent);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(connection, parentWindow, &attributes) || trap.errors() != 0 ||
        !findTopLevel(parentWindow)) {
        return false;
    }
    XReparentWindow(connection, window, parentWindow, 0, 0);
    if (width != sizeW || height != sizeH) {
        XResizeWindow(connection, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
        sizeW = width;
        sizeH = height;
    }
    return trap.errors() == 0 && !gone;
}

}  // namespace tarsk
