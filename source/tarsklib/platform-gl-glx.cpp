// GLX surface: configuration choice, context, the host's context kept around every use, swap
// interval, and the few GL 1.x calls of the placeholder drawing.
#include "tarsklib/platform-gl-glx.h"

#include <GL/gl.h>

#include <cstring>

#include "tarsklib/platform-window-x11.h"

namespace tarsk {

namespace {

using SwapIntervalExt = void (*)(Display*, GLXDrawable, int);
using SwapIntervalMesa = int (*)(unsigned int);

bool hasExtension(const char* list, const char* name) {
    if (list == nullptr) {
        return false;
    }
    size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        bool startOk = p == list || p[-1] == ' ';
        bool endOk = p[n] == ' ' || p[n] == 0;
        if (startOk && endOk) {
            return true;
        }
    }
    return false;
}

// Picks from a list of configurations the first one with a visual, preferring the wanted depth.
bool pickConfig(Display* display, GLXFBConfig* configs, int count, int preferredDepth, GlxConfigChoice& out) {
    int fallback = -1;
    for (int i = 0; i < count; ++i) {
        XVisualInfo* vi = glXGetVisualFromFBConfig(display, configs[i]);
        if (vi == nullptr) {
            continue;
        }
        bool depthMatches = vi->depth == preferredDepth;
        XFree(vi);
        if (depthMatches) {
            fallback = i;
            break;
        }
        if (fallback < 0) {
            fallback = i;
        }
    }
    if (fallback < 0) {
        return false;
    }
    out.config = configs[fallback];
    out.visual = glXGetVisualFromFBConfig(display, out.config);
    int samples = 0;
    if (glXGetFBConfigAttrib(display, out.config, GLX_SAMPLES, &samples) != Success) {
        samples = 0;
    }
    out.samples = samples;
    return out.visual != nullptr;
}

bool chooseWith(Display* display, int screen, int preferredDepth, int samples, GlxConfigChoice& out) {
    int attributes[] = {GLX_X_RENDERABLE,
                        True,
                        GLX_DRAWABLE_TYPE,
                        GLX_WINDOW_BIT,
                        GLX_RENDER_TYPE,
                        GLX_RGBA_BIT,
                        GLX_DOUBLEBUFFER,
                        True,
                        GLX_RED_SIZE,
                        8,
                        GLX_GREEN_SIZE,
                        8,
                        GLX_BLUE_SIZE,
                        8,
                        GLX_ALPHA_SIZE,
                        8,
                        GLX_SAMPLE_BUFFERS,
                        samples > 0 ? 1 : 0,
                        GLX_SAMPLES,
                        samples,
                        None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, screen, attributes, &count);
    if (configs == nullptr) {
        return false;
    }
    bool found = count > 0 && pickConfig(display, configs, count, preferredDepth, out);
    XFree(configs);
    return found;
}

}  // namespace

bool chooseGlxConfig(Display* display, int screen, int preferredDepth, GlxConfigChoice& out) {
    int major = 0;
    int minor = 0;
    if (!glXQueryVersion(display, &major, &minor) || (major == 1 && minor < 3)) {
        return false;
    }
    for (int samples : kSampleCountsTried) {
        if (chooseWith(display, screen, preferredDepth, samples, out)) {
            return true;
        }
    }
    return chooseWith(display, screen, preferredDepth, 0, out);
}

GlxSurface::GlxSurface(Display* display, Window window, const GlxConfigChoice& choice, Colormap colormap)
    : display(display),
      window(window),
      config(choice.config),
      visual(choice.visual->visual),
      depth(choice.visual->depth),
      colormap(colormap),
      samples(choice.samples) {}

GlxSurface::~GlxSurface() {
    XErrorTrap trap(display);
    if (context != nullptr) {
        // A context current on this thread is let go first; whatever the host had stays current.
        bool ours = glXGetCurrentContext() == context;
        if (ours) {
            glXMakeCurrent(display, None, nullptr);
        }
        glXDestroyContext(display, context);
        context = nullptr;
    }
    if (spareWindow != 0) {
        XDestroyWindow(display, spareWindow);
        spareWindow = 0;
    }
}

bool GlxSurface::create() {
    XErrorTrap trap(display);
    context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
    if (trap.errors() != 0 || context == nullptr) {
        if (context != nullptr) {
            glXDestroyContext(display, context);
            context = nullptr;
        }
        return false;
    }
    if (!makeCurrent()) {
        return false;
    }
    // The context must be current before the interval is set: some drivers need it.
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    if (hasExtension(extensions, "GLX_EXT_swap_control")) {
        auto setInterval = reinterpret_cast<SwapIntervalExt>(
            glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
        if (setInterval != nullptr) {
            setInterval(display, window, 0);
            swapIntervalOff = true;
        }
    } else if (hasExtension(extensions, "GLX_MESA_swap_control")) {
        auto setInterval = reinterpret_cast<SwapIntervalMesa>(
            glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
        if (setInterval != nullptr) {
            swapIntervalOff = setInterval(0) == 0;
        }
    }
    if (samples > 0) {
        glEnable(GL_MULTISAMPLE);
        GLint reported = 0;
        glGetIntegerv(GL_SAMPLES, &reported);
        if (reported > 0) {
            samples = reported;
        }
    }
    release();
    return true;
}

void GlxSurface::windowGone() { windowLost = true; }

Drawable GlxSurface::target() {
    if (!windowLost) {
        return window;
    }
    if (spareWindow == 0) {
        XSetWindowAttributes attributes{};
        attributes.colormap = colormap;
        attributes.border_pixel = 0;
        spareWindow = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, depth, InputOutput, visual,
                                    CWColormap | CWBorderPixel, &attributes);
    }
    return spareWindow;
}

bool GlxSurface::makeCurrent() {
    if (context == nullptr) {
        return false;
    }
    savedDisplay = glXGetCurrentDisplay();
    savedDraw = glXGetCurrentDrawable();
    savedRead = glXGetCurrentReadDrawable();
    savedContext = glXGetCurrentContext();
    XErrorTrap trap(display);
    Drawable drawable = target();
    Bool made = drawable != 0 ? glXMakeCurrent(display, drawable, context) : False;
    if (trap.errors() != 0 || !made) {
        // A window that vanished under us: use the spare drawable from now on.
        if (!windowLost) {
            windowLost = true;
            drawable = target();
            made = drawable != 0 ? glXMakeCurrent(display, drawable, context) : False;
        }
        if (trap.errors() != 0 || !made) {
            current = true;  // let release bring the host's context back
            release();
            return false;
        }
    }
    current = true;
    return true;
}

void GlxSurface::release() {
    if (!current) {
        return;
    }
    current = false;
    XErrorTrap trap(display);
    if (savedContext != nullptr && savedDisplay != nullptr) {
        glXMakeContextCurrent(savedDisplay, savedDraw, savedRead, savedContext);
    } else {
        glXMakeCurrent(display, None, nullptr);
    }
    savedContext = nullptr;
    savedDisplay = nullptr;
}

void GlxSurface::present() {
    if (!windowLost) {
        glXSwapBuffers(display, window);
    }
}

void GlxSurface::clear(float r, float g, float b, float a) {
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

}  // namespace tarsk
