// The GLX backend of the editor's GL surface: the multisampled configuration, the context, the
// host's current context kept and brought back around every use, and the placeholder drawing.
#pragma once

#include <GL/glx.h>
#include <X11/Xlib.h>

#include "tarsklib/platform-gl.h"

namespace tarsk {

// Sample counts asked for, best first; without any, a configuration without multisampling.
constexpr int kSampleCountsTried[] = {16, 8, 4, 2};

struct GlxConfigChoice {
    GLXFBConfig config = nullptr;
    XVisualInfo* visual = nullptr;  // owned by the caller: XFree
    int samples = 0;
};

// Chooses a double-buffered RGBA window configuration, multisampled where possible; among equals
// one whose visual has the preferred depth (the parent's), so that the window mixes with its parent.
bool chooseGlxConfig(Display* display, int screen, int preferredDepth, GlxConfigChoice& out);

class GlxSurface final : public GlSurface {
public:
    GlxSurface(Display* display, Window window, const GlxConfigChoice& choice, Colormap colormap);
    ~GlxSurface() override;
    // Creates the context and, with it current, turns the swap interval off; answers false on failure.
    bool create();
    // The window went with its parent: from now on the context is made current on a drawable of its own.
    void windowGone();

    bool makeCurrent() override;
    void release() override;
    void present() override;
    int sampleCount() const override { return samples; }
    void clear(float r, float g, float b, float a) override;

    bool swapIntervalSet() const { return swapIntervalOff; }

private:
    Drawable target();

    Display* display;
    Window window;
    GLXFBConfig config;
    Visual* visual;
    int depth;
    Colormap colormap;
    int samples;
    GLXContext context = nullptr;
    Window spareWindow = 0;  // a hidden 1×1 window for work after the real one is gone
    bool windowLost = false;
    bool swapIntervalOff = false;
    // What was current on the thread before makeCurrent.
    Display* savedDisplay = nullptr;
    GLXDrawable savedDraw = 0;
    GLXDrawable savedRead = 0;
    GLXContext savedContext = nullptr;
    bool current = false;
};

}  // namespace tarsk
