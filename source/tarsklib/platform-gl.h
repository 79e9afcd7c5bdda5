// GlSurface: the GL context of one editor window as the platform-free code sees it. The backend
// (platform-gl-glx) keeps whatever context the calling thread had current and brings it back on release.
#pragma once

namespace tarsk {

// Where one view draws: its viewport in window pixels (y up) and the part of the view it shows.
struct GlViewBox {
    int viewportX = 0;
    int viewportY = 0;
    int viewportWidth = 0;
    int viewportHeight = 0;
    float offsetX = 0.0f;  // view pixels clipped away on the left and at the bottom
    float offsetY = 0.0f;
    float width = 0.0f;  // view pixels shown across the viewport
    float height = 0.0f;
};

class GlSurface {
public:
    virtual ~GlSurface() = default;
    // Makes the window's context current on this thread, remembering what was current; answers false
    // when it cannot (nothing is then changed).
    virtual bool makeCurrent() = 0;
    // Makes the remembered context, drawable and display current again (or none).
    virtual void release() = 0;
    // Shows the back buffer.
    virtual void present() = 0;
    // Samples per pixel of the chosen configuration (0 without multisampling).
    virtual int sampleCount() const = 0;

    // ---- drawing, with the context current ----
    virtual void clear(float r, float g, float b, float a) = 0;
    // Viewport and matrices so that view pixel (0, 0) is the box's bottom-left corner, y up.
    virtual void setViewBox(const GlViewBox& box) = 0;
    // A filled rectangle in view pixels; the placeholder drawing until the draw-list renderer draws.
    virtual void fillRect(float x0, float y0, float x1, float y1, const float rgba[4]) = 0;
};

}  // namespace tarsk
