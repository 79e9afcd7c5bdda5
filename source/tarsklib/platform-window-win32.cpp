// Win32 editor window: the process-wide class with its keyboard hook and pixel-format probe, the
// child window with its WGL surface and 33 ms timer, and the translation of messages into GlEvents.
//
// Index: key translation | process-wide class | keyboard hook | creation | messages | window services
#include "tarsklib/platform-window-win32.h"

#include <windowsx.h>

#include <cstdio>
#include <cstring>
#include <cwctype>
#include <mutex>

#include "tarsklib/platform-clipboard-win32.h"
#include "tarsklib/platform-gl-wgl.h"
#include "tarsklib/platform-input-win32.h"

namespace tarsk {

// ---------------------------------------------------------------------------------------------
// Key translation

uint32_t keyCodeOfVirtualKey(uint32_t virtualKey) {
    if (virtualKey >= VK_F1 && virtualKey <= VK_F12) {
        return key::kF1 + (virtualKey - VK_F1);
    }
    switch (virtualKey) {
        case VK_LBUTTON: return button::kLeft;
        case VK_RBUTTON: return button::kRight;
        case VK_MBUTTON: return button::kMiddle;
        case VK_SHIFT: return key::kShift;
        case VK_CAPITAL: return key::kCapsLock;
        case VK_CONTROL: return key::kCtrl;
        case VK_MENU: return key::kAlt;
        case VK_LWIN: return key::kWindows;
        case VK_LEFT: return key::kLeft;
        case VK_RIGHT: return key::kRight;
        case VK_UP: return key::kUp;
        case VK_DOWN: return key::kDown;
        case VK_HOME: return key::kHome;
        case VK_END: return key::kEnd;
        case VK_PRIOR: return key::kPageUp;
        case VK_NEXT: return key::kPageDown;
        case VK_INSERT: return key::kInsert;
        case VK_DELETE: return key::kDelete;
        case VK_VOLUME_UP: return key::kVolumeUp;
        case VK_VOLUME_DOWN: return key::kVolumeDown;
        case VK_VOLUME_MUTE: return key::kVolumeMute;
        default: return key::kOther;
    }
}

GlEvent translateVirtualKey(uint32_t virtualKey, uint32_t character, bool upper, bool ctrl) {
    if (character == 0) {
        return keyEvent(0, keyCodeOfVirtualKey(virtualKey));
    }
    const bool letter = (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z');
    if (ctrl && letter) {
        // Ctrl with a letter gives the letter's control character (Ctrl+V, 22, pastes in a text area).
        return keyEvent(character & 0x1Fu, 0);
    }
    const auto wide = static_cast<wint_t>(character);
    return keyEvent(static_cast<uint32_t>(upper ? std::towupper(wide) : std::towlower(wide)), 0);
}

// ---------------------------------------------------------------------------------------------
// Process-wide class

namespace {

constexpr UINT_PTR kFrameTimerId = 1;
constexpr UINT kFrameIntervalMs = 33;
constexpr char kClassPrefix[] = "Tarsklib";
constexpr size_t kClassPrefixLength = sizeof(kClassPrefix) - 1;
constexpr LPARAM kContextBit = LPARAM(1) << 29;     // Alt was down (system key)
constexpr LPARAM kTransitionBit = LPARAM(1) << 31;  // set for a release
constexpr LPARAM kRepeatAndScanBits = 0x00FFFFFF;   // what a key message forwarded to the host keeps
constexpr UINT kCharacterOfKey = 2;                 // MAPVK_VK_TO_CHAR
constexpr UINT kDeadKeyBit = 0x80000000u;
constexpr SHORT kKeyDownBit = static_cast<SHORT>(0x8000);
constexpr SHORT kToggledBit = 1;

// The class, its keyboard hook and the chosen pixel format, shared by every window of the process
// while at least one is open (the pixel format stays chosen for the life of the process).
struct WindowClassState {
    std::recursive_mutex lock;
    int windows = 0;
    char className[32] = {};
    HINSTANCE instance = nullptr;
    HHOOK hook = nullptr;
    bool formatChosen = false;
    WglPixelFormat format;
};

WindowClassState& classState() {
    static WindowClassState state;
    return state;
}

// The module that holds this code (the plug-in DLL), whose instance owns the class.
HINSTANCE ownInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownInstance), &module);
    return module;
}

Win32Window* windowObject(HWND window) {
    return window != nullptr ? reinterpret_cast<Win32Window*>(GetWindowLongPtrA(window, GWLP_USERDATA)) : nullptr;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Window* object = windowObject(window);
    if (object != nullptr) {
        return object->handleMessage(message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Keyboard hook

// The editor window that has the keyboard focus, or null when the focus is elsewhere.
Win32Window* focusedEditor() {
    HWND focus = GetFocus();
    if (focus == nullptr) {
        return nullptr;
    }
    char name[64] = {};
    if (RealGetWindowClassA(focus, name, sizeof(name)) < kClassPrefixLength ||
        std::strncmp(name, kClassPrefix, kClassPrefixLength) != 0) {
        return nullptr;
    }
    return windowObject(focus);
}

LRESULT CALLBACK keyboardHook(int code, WPARAM wParam, LPARAM lParam) {
    HHOOK hook = classState().hook;
    Win32Window* editor = code == HC_ACTION && (lParam & kContextBit) == 0 ? focusedEditor() : nullptr;
    if (editor == nullptr) {
        return CallNextHookEx(hook, code, wParam, lParam);
    }
    const bool down = (lParam & kTransitionBit) == 0;
    bool taken = false;
    if (down) {
        const auto virtualKey = static_cast<uint32_t>(wParam);
        uint32_t character = MapVirtualKeyW(virtualKey, kCharacterOfKey);
        if ((character & kDeadKeyBit) != 0) {
            character = 0;  // an accent that waits for its letter
        }
        const bool upper = (GetKeyState(VK_SHIFT) & kKeyDownBit) != 0 || (GetKeyState(VK_CAPITAL) & kToggledBit) != 0;
        const bool ctrl = (GetKeyState(VK_CONTROL) & kKeyDownBit) != 0;
        taken = editor->sendEvent(translateVirtualKey(virtualKey, character, upper, ctrl));
    }
    if (taken) {
        return 1;
    }
    const int mode = editor->hostModeOf();
    if (mode == kWindowHostModeKeysStay1 || mode == kWindowHostModeKeysStay6) {
        return CallNextHookEx(hook, code, wParam, lParam);
    }
    // Keys the editor does not take go to the host's top-level window, as if typed there.
    HWND topLevel = GetAncestor(GetFocus(), GA_ROOT);
    if (topLevel != nullptr) {
        PostMessageA(topLevel, down ? WM_KEYDOWN : WM_KEYUP, wParam, lParam & kRepeatAndScanBits);
    }
    return 1;
}

// With the state locked: registers the class, installs the hook and chooses the pixel format for
// the first window.
bool registerClass(WindowClassState& state) {
    state.instance = ownInstance();
    std::snprintf(state.className, sizeof(state.className), "%s%08lx", kClassPrefix,
                  static_cast<unsigned long>(GetCurrentThreadId()));
    WNDCLASSA windowClass{};
    windowClass.style = CS_OWNDC | CS_GLOBALCLASS;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = state.instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = state.className;
    if (RegisterClassA(&windowClass) == 0) {
        return false;
    }
    state.hook = SetWindowsHookExA(WH_KEYBOARD, keyboardHook, nullptr, GetCurrentThreadId());
    if (!state.formatChosen) {
        state.format = chooseWglPixelFormat(state.instance, state.className);
        state.formatChosen = true;
    }
    return true;
}

// With the state locked: the hook and the class go with the last window.
void unregisterClass(WindowClassState& state) {
    if (state.hook != nullptr) {
        UnhookWindowsHookEx(state.hook);
        state.hook = nullptr;
    }
    UnregisterClassA(state.className, state.instance);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation

std::unique_ptr<Win32Window> Win32Window::create(uintptr_t parent, int width, int height, int hostMode,
                                                 GlWindowRecord* record) {
    HWND parentWindow = reinterpret_cast<HWND>(parent);
    if (parentWindow == nullptr || !IsWindow(parentWindow) || width <= 0 || height <= 0) {
        return nullptr;
    }
    WindowClassState& state = classState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    if (state.windows == 0 && !registerClass(state)) {
        return nullptr;
    }
    std::unique_ptr<Win32Window> w(new Win32Window());
    ++state.windows;  // the destructor counts the window out again, also on failure below
    w->record = record;
    w->hostMode = hostMode;
    w->sizeW = width;
    w->sizeH = height;
    w->window = CreateWindowExA(WS_EX_NOPARENTNOTIFY, state.className, state.className,
                                WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width, height, parentWindow,
                                nullptr, state.instance, nullptr);
    if (w->window == nullptr) {
        return nullptr;
    }
    w->deviceContext = GetDC(w->window);
    w->gl = std::make_unique<WglSurface>(w->window, w->deviceContext, state.format);
    if (w->deviceContext == nullptr || !w->gl->create()) {
        return nullptr;
    }
    w->keys = std::make_unique<Win32Input>();
    w->text = std::make_unique<Win32Clipboard>(w->window);
    SetWindowLongPtrA(w->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w.get()));
    SetTimer(w->window, kFrameTimerId, kFrameIntervalMs, nullptr);
    return w;
}

Win32Window::~Win32Window() {
    WindowClassState& state = classState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    if (window != nullptr) {
        KillTimer(window, kFrameTimerId);
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);  // no message reaches this object any more
        gl.reset();
        if (deviceContext != nullptr) {
            ReleaseDC(window, deviceContext);
        }
        DestroyWindow(window);
    }
    if (--state.windows == 0) {
        unregisterClass(state);
    }
}

std::unique_ptr<PlatformWindow> createPlatformWindow(uintptr_t parent, int width, int height, int hostMode,
                                                     GlWindowRecord* record) {
    return Win32Window::create(parent, width, height, hostMode, record);
}

// ---------------------------------------------------------------------------------------------
// Messages

bool Win32Window::sendEvent(const GlEvent& event) {
    return record != nullptr && record->handler != nullptr && record->handler(this, &event, record->user);
}

bool Win32Window::mouseEvent(uint32_t type, uint32_t buttonNumber, LPARAM lParam) {
    GlEvent e;
    e.type = type;
    e.x = static_cast<float>(GET_X_LPARAM(lParam));
    e.y = static_cast<float>(GET_Y_LPARAM(lParam));
    e.extra = withTopByte(buttonNumber);
    return sendEvent(e);
}

LRESULT Win32Window::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    bool handled = false;
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            SetCapture(window);
            SetFocus(window);
            const uint32_t number = message == WM_LBUTTONDOWN   ? button::kLeft
                                    : message == WM_RBUTTONDOWN ? button::kRight
                                                                : button::kMiddle;
            handled = mouseEvent(event::kButtonDown, number, lParam);
            break;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            ReleaseCapture();
            const uint32_t number = message == WM_LBUTTONUP   ? button::kLeft
                                    : message == WM_RBUTTONUP ? button::kRight
                                                              : button::kMiddle;
            handled = mouseEvent(event::kButtonUp, number, lParam);
            break;
        }
        case WM_MOUSEMOVE:
            if (!trackingLeave) {
                TRACKMOUSEEVENT track{};
                track.cbSize = sizeof(track);
                track.dwFlags = TME_LEAVE;
                track.hwndTrack = window;
                trackingLeave = TrackMouseEvent(&track) != 0;
            }
            handled = mouseEvent(event::kMouseMove, 0, lParam);
            break;
        case WM_MOUSELEAVE: {
            trackingLeave = false;
            GlEvent e;
            e.type = event::kMouseLeave;
            handled = sendEvent(e);
            break;
        }
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL: {
            // Wheel positions come in screen coordinates.
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(window, &at);
            GlEvent e;
            e.type = message == WM_MOUSEWHEEL ? event::kWheelVertical : event::kWheelHorizontal;
            e.x = static_cast<float>(at.x);
            e.y = static_cast<float>(at.y);
            const int steps = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
            e.extra = withTopByte(static_cast<uint32_t>(static_cast<int8_t>(steps)));
            handled = sendEvent(e);
            break;
        }
        case WM_KILLFOCUS: {
            GlEvent e;
            e.type = event::kFocusLost;
            handled = sendEvent(e);
            break;
        }
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS;
        case WM_TIMER:
            if (wParam == kFrameTimerId) {
                GlEvent e;
                e.type = event::kTimer;
                handled = sendEvent(e);
            }
            break;
        case WM_PAINT:
            // The frame is drawn by the timer; the window only learns that it must be drawn again.
            ValidateRect(window, nullptr);
            exposed = true;
            return 0;
        case WM_ERASEBKGND:
            return 1;  // GL covers the whole window
        default:
            break;
    }
    return handled ? 0 : DefWindowProcA(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Window services

void Win32Window::pumpEvents() {
    // The host's message loop dispatches this window's messages; what waits here is clipboard text.
    if (text != nullptr) {
        text->deliver();
    }
}

bool Win32Window::isViewable() { return window != nullptr && IsWindowVisible(window); }

bool Win32Window::takeExposed() {
    bool was = exposed;
    exposed = false;
    return was;
}

void Win32Window::takeFocus() {
    if (isViewable()) {
        SetFocus(window);
    }
}

void Win32Window::show() { ShowWindow(window, SW_SHOW); }

void Win32Window::resize(int width, int height) {
    if (window == nullptr || width <= 0 || height <= 0) {
        return;
    }
    MoveWindow(window, 0, 0, width, height, TRUE);
    sizeW = width;
    sizeH = height;
}

GlSurface& Win32Window::surface() { return *gl; }

PlatformInput* Win32Window::input() { return keys.get(); }

ClipboardSource* Win32Window::clipboard() { return text.get(); }

}  // namespace tarsk
