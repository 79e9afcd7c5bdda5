// HostWindow: the top-level Win32 window of tarskverb-host, which pumps the thread's messages (the
// editor's window and timer messages among them) and captures what the screen shows of it.
#include "host/host-window.h"

#include <windows.h>

#include <vector>

namespace tarskhost {

namespace {

constexpr const char* kClassName = "TarskverbHostFrame";
constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr int kBytesPerCapturedPixel = 4;

HWND asWindow(uintptr_t w) { return reinterpret_cast<HWND>(w); }

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        // The frame stays until the host has closed the editor in it; the loop sees the request.
        auto* closeAsked = reinterpret_cast<bool*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (closeAsked != nullptr) {
            *closeAsked = true;
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool registerFrameClass() {
    WNDCLASSA frameClass{};
    if (GetClassInfoA(GetModuleHandleA(nullptr), kClassName, &frameClass)) {
        return true;
    }
    frameClass.style = CS_HREDRAW | CS_VREDRAW;
    frameClass.lpfnWndProc = frameProcedure;
    frameClass.hInstance = GetModuleHandleA(nullptr);
    frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frameClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    frameClass.lpszClassName = kClassName;
    return RegisterClassA(&frameClass) != 0;
}

// The outer size of a frame whose client area has the given size.
SIZE frameSize(int width, int height) {
    RECT r{0, 0, width, height};
    AdjustWindowRect(&r, kFrameStyle, FALSE);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

bool HostWindow::displayAvailable(std::string& /*reason*/) { return true; }

HostWindow::HostWindow() = default;

HostWindow::~HostWindow() { destroy(); }

bool HostWindow::open(int width, int height, const std::string& title, std::string& error) {
    if (!registerFrameClass()) {
        error = "cannot register the host window's class";
        return false;
    }
    SIZE outer = frameSize(width, height);
    HWND frame = CreateWindowExA(0, kClassName, title.c_str(), kFrameStyle, CW_USEDEFAULT, CW_USEDEFAULT, outer.cx,
                                 outer.cy, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (frame == nullptr) {
        error = "cannot create the host window";
        return false;
    }
    SetWindowLongPtrA(frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&closeAsked));
    window = reinterpret_cast<uintptr_t>(frame);
    sizeW = width;
    sizeH = height;
    ShowWindow(frame, SW_SHOWNORMAL);
    UpdateWindow(frame);
    return true;
}

bool HostWindow::pumpEvents() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return !closeAsked;
}

void HostWindow::resize(int width, int height) {
    if (window == 0) {
        return;
    }
    SIZE outer = frameSize(width, height);
    SetWindowPos(asWindow(window), nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    sizeW = width;
    sizeH = height;
}

bool HostWindow::capturePng(const std::string& path, std::string& error) {
    if (window == 0) {
        error = "no window to capture";
        return false;
    }
    // What the screen shows of the client area, children included (a GL child's pixels are on the
    // screen, not in the frame's own device context).
    POINT origin{0, 0};
    ClientToScreen(asWindow(window), &origin);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = sizeW;
    format.bmiHeader.biHeight = -sizeH;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (memory != nullptr && bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, sizeW, sizeH, screen, origin.x, origin.y, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, previous);
    }
    std::vector<uint8_t> rgb;
    if (copied) {
        const auto* bgra = static_cast<const uint8_t*>(bits);
        rgb.resize(static_cast<size_t>(sizeW) * static_cast<size_t>(sizeH) * 3);
        for (size_t i = 0, n = static_cast<size_t>(sizeW) * static_cast<size_t>(sizeH); i < n; ++i) {
            rgb[i * 3 + 0] = bgra[i * kBytesPerCapturedPixel + 2];
            rgb[i * 3 + 1] = bgra[i * kBytesPerCapturedPixel + 1];
            rgb[i * 3 + 2] = bgra[i * kBytesPerCapturedPixel + 0];
        }
    }
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    if (!copied) {
        error = "cannot read the window's picture from the screen";
        return false;
    }
    return writeRgbPng(path, rgb.data(), sizeW, sizeH, error);
}

void HostWindow::destroy() {
    if (window != 0) {
        DestroyWindow(asWindow(window));
        window = 0;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
    }
}

}  // namespace tarskhost
