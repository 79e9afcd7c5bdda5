// WGL surface: the pixel-format probe with wglChoosePixelFormatARB, context creation, and making
// the context current and releasing it without disturbing a host that draws with GL itself.
#include "tarsklib/platform-gl-wgl.h"

#include <GL/gl.h>

namespace tarsk {

namespace {

// WGL_ARB_pixel_format and WGL_ARB_multisample attributes.
constexpr int kWglDrawToWindow = 0x2001;
constexpr int kWglAcceleration = 0x2003;
constexpr int kWglSupportOpenGl = 0x2010;
constexpr int kWglDoubleBuffer = 0x2011;
constexpr int kWglPixelType = 0x2013;
constexpr int kWglColorBits = 0x2014;
constexpr int kWglAlphaBits = 0x201B;
constexpr int kWglDepthBits = 0x2022;
constexpr int kWglStencilBits = 0x2023;
constexpr int kWglAuxBuffers = 0x2024;
constexpr int kWglFullAcceleration = 0x2027;
constexpr int kWglTypeRgba = 0x202B;
constexpr int kWglSampleBuffers = 0x2041;
constexpr int kWglSamples = 0x2042;

constexpr int kColourBits = 24;
constexpr int kAlphaBits = 8;
constexpr int kDepthBits = 16;
constexpr int kProbeSize = 16;

using ChoosePixelFormatArb = BOOL(WINAPI*)(HDC, const int*, const FLOAT*, UINT, int*, UINT*);
using SwapIntervalExt = BOOL(WINAPI*)(int);

PIXELFORMATDESCRIPTOR basicDescriptor() {
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = kColourBits;
    pfd.cAlphaBits = kAlphaBits;
    pfd.iLayerType = PFD_MAIN_PLANE;
    return pfd;
}

// With a context current: the first multisampled format the driver offers, 16 samples first.
void chooseMultisampled(HDC dc, WglPixelFormat& chosen) {
    auto choose = reinterpret_cast<ChoosePixelFormatArb>(
        reinterpret_cast<void*>(wglGetProcAddress("wglChoosePixelFormatARB")));
    if (choose == nullptr) {
        return;
    }
    for (int samples : kWglSampleCountsTried) {
        const int attributes[] = {kWglDrawToWindow, 1, kWglAcceleration, kWglFullAcceleration, kWglSupportOpenGl, 1,
                                  kWglDoubleBuffer, 1, kWglPixelType, kWglTypeRgba, kWglColorBits, kColourBits,
                                  kWglAlphaBits, kAlphaBits, kWglDepthBits, kDepthBits, kWglStencilBits, 0,
                                  kWglAuxBuffers, 0, kWglSampleBuffers, 1, kWglSamples, samples, 0, 0};
        int format = 0;
        UINT count = 0;
        if (choose(dc, attributes, nullptr, 1, &format, &count) && count > 0 && format > 0) {
            chosen.index = format;
            chosen.samples = samples;
            return;
        }
    }
}

}  // namespace

WglPixelFormat chooseWglPixelFormat(HINSTANCE instance, const char* windowClass) {
    WglPixelFormat chosen;
    HWND probe = CreateWindowExA(0, windowClass, windowClass, WS_POPUP | WS_DISABLED, 0, 0, kProbeSize, kProbeSize,
                                 nullptr, nullptr, instance, nullptr);
    if (probe == nullptr) {
        return chosen;
    }
    HDC dc = GetDC(probe);
    PIXELFORMATDESCRIPTOR pfd = basicDescriptor();
    int basic = dc != nullptr ? ChoosePixelFormat(dc, &pfd) : 0;
    if (basic > 0 && SetPixelFormat(dc, basic, &pfd)) {
        chosen.index = basic;
        HDC previousDc = wglGetCurrentDC();
        HGLRC previousContext = wglGetCurrentContext();
        HGLRC temporary = wglCreateContext(dc);
        if (temporary != nullptr && wglMakeCurrent(dc, temporary)) {
            chooseMultisampled(dc, chosen);
            wglMakeCurrent(previousDc, previousContext);
        }
        if (temporary != nullptr) {
            wglDeleteContext(temporary);
        }
    }
    if (dc != nullptr) {
        ReleaseDC(probe, dc);
    }
    DestroyWindow(probe);
    return chosen;
}

WglSurface::WglSurface(HWND w, HDC dc, const WglPixelFormat& f) : window(w), deviceContext(dc), format(f) {}

WglSurface::~WglSurface() {
    if (context == nullptr) {
        return;
    }
    if (current) {
        release();
    }
    // A context that is current on this thread is made not current before it goes.
    if (wglGetCurrentContext() == context) {
        wglMakeCurrent(nullptr, nullptr);
    }
    wglDeleteContext(context);
}

bool WglSurface::create() {
    if (format.index <= 0 || deviceContext == nullptr) {
        return false;
    }
    PIXELFORMATDESCRIPTOR pfd{};
    DescribePixelFormat(deviceContext, format.index, sizeof(pfd), &pfd);
    if (!SetPixelFormat(deviceContext, format.index, &pfd)) {
        return false;
    }
    context = wglCreateContext(deviceContext);
    if (context == nullptr || !makeCurrent()) {
        return false;
    }
    auto swapInterval = reinterpret_cast<SwapIntervalExt>(reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT")));
    swapIntervalOff = swapInterval != nullptr && swapInterval(0);
    release();
    return true;
}

bool WglSurface::makeCurrent() {
    if (context == nullptr || current) {
        return current;
    }
    savedDeviceContext = wglGetCurrentDC();
    savedContext = wglGetCurrentContext();
    if (!wglMakeCurrent(deviceContext, context)) {
        return false;
    }
    current = true;
    return true;
}

void WglSurface::release() {
    if (!current) {
        return;
    }
    if (savedContext != nullptr && savedDeviceContext != nullptr) {
        wglMakeCurrent(savedDeviceContext, savedContext);
    } else {
        wglMakeCurrent(nullptr, nullptr);
    }
    savedContext = nullptr;
    savedDeviceContext = nullptr;
    current = false;
}

void WglSurface::present() { SwapBuffers(deviceContext); }

void WglSurface::clear(float r, float g, float b, float a) {
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

}  // namespace tarsk
