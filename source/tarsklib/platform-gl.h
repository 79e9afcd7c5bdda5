// GlSurface: the GL context of one editor window as the platform-free code sees it. The backend
// (platform-gl-glx) keeps whatever context the calling thread had current and brings it back on release.
#pragma once

namespace tarsk {

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

    // Clears the colour buffer (context current): what a frame shows when no renderer could be made.
    // Everything else is drawn by the renderer.
    virtual void clear(float r, float g, float b, float a) = 0;
};

}  // namespace tarsk
