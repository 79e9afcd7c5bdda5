// The WGL backend of the editor's GL surface: the pixel format (multisampled through
// wglChoosePixelFormatARB where the driver offers it), the context, and the caller's current context
// kept and brought back around every use.
#pragma once

#include <windows.h>

#include "tarsklib/platform-gl.h"

namespace tarsk {

// Sample counts asked for, best first; without any, the basic format without multisampling.
constexpr int kWglSampleCountsTried[] = {16, 8, 4, 2};

struct WglPixelFormat {
    int index = 0;    // 0 when none could be chosen
    int samples = 0;  // 0 without multisampling
};

// Chooses the window pixel format once per process (a hidden window of the given class, registered
// by the caller, serves for the probe): double-buffered RGBA with 24 colour and 8 alpha bits, the
// best multisampled one that wglChoosePixelFormatARB finds, else ChoosePixelFormat's answer.
WglPixelFormat chooseWglPixelFormat(HINSTANCE instance, const char* windowClass);

class WglSurface final : public GlSurface {
public:
    // deviceContext: the window's own device context (its class has CS_OWNDC).
    WglSurface(HWND window, HDC deviceContext, const WglPixelFormat& format);
    ~WglSurface() override;
    // Sets the pixel format on the window, creates the context and, with it current, turns the swap
    // interval off where wglSwapIntervalEXT exists; answers false on failure.
    bool create();

    bool makeCurrent() override;
    void release() override;
    void present() override;
    int sampleCount() const override { return format.samples; }
    void clear(float r, float g, float b, float a) override;

    bool swapIntervalSet() const { return swapIntervalOff; }

private:
    HWND window;
    HDC deviceContext;
    WglPixelFormat format;
    HGLRC context = nullptr;
    bool swapIntervalOff = false;
    // What was current on the thread before makeCurrent.
    HDC savedDeviceContext = nullptr;
    HGLRC savedContext = nullptr;
    bool current = false;
};

}  // namespace tarsk
