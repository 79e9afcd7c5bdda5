// HostWindow: the top-level X11 window of tarskverb-host, and PNG writing through libpng.
#include "host/host-window-x11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <cstdio>
#include <vector>

namespace tarskhost {

namespace {

Display* asDisplay(void* d) { return static_cast<Display*>(d); }

// The top bit of a channel mask and its shift, for reading pixels of any TrueColor layout.
int maskShift(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1ul) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    unsigned long value = (pixel & mask) >> maskShift(mask);
    unsigned long top = mask >> maskShift(mask);
    return static_cast<uint8_t>(top == 255 ? value : value * 255 / top);
}

}  // namespace

HostWindow::HostWindow() = default;

HostWindow::~HostWindow() {
    destroy();
    if (display != nullptr) {
        XCloseDisplay(asDisplay(display));
    }
}

bool HostWindow::open(int width, int height, const std::string& title, std::string& error) {
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        error = "cannot open the X display (is DISPLAY set?)";
        return false;
    }
    display = d;
    sizeW = width;
    sizeH = height;
    int screen = DefaultScreen(d);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(d, screen);
    attributes.event_mask = StructureNotifyMask | KeyPressMask | KeyReleaseMask;
    window = XCreateWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                           CWBackPixel | CWEventMask, &attributes);
    XStoreName(d, window, title.c_str());
    Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    deleteAtom = deleteWindow;
    XSetWMProtocols(d, window, &deleteWindow, 1);
    XMapWindow(d, window);
    XSync(d, False);
    return true;
}

bool HostWindow::pumpEvents() {
    Display* d = asDisplay(display);
    if (d == nullptr) {
        return false;
    }
    while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == ClientMessage && static_cast<unsigned long>(e.xclient.data.l[0]) == deleteAtom) {
            closeAsked = true;
        } else if (e.type == ConfigureNotify && e.xconfigure.window == window) {
            sizeW = e.xconfigure.width;
            sizeH = e.xconfigure.height;
        } else if (e.type == DestroyNotify && e.xdestroywindow.window == window) {
            closeAsked = true;
        }
    }
    return !closeAsked;
}

void HostWindow::resize(int width, int height) {
    if (display == nullptr || window == 0 || width <= 0 || height <= 0) {
        return;
    }
    XResizeWindow(asDisplay(display), window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(asDisplay(display), False);
    sizeW = width;
    sizeH = height;
}

void HostWindow::destroy() {
    if (display != nullptr && window != 0) {
        XDestroyWindow(asDisplay(display), window);
        XSync(asDisplay(display), False);
        window = 0;
    }
}

bool HostWindow::capturePng(const std::string& path, std::string& error) {
    Display* d = asDisplay(display);
    if (d == nullptr || window == 0) {
        error = "no window to capture";
        return false;
    }
    XSync(d, False);
    // The root window's copy of our area: it is what the screen shows, children of any visual included
    // and multisampled pictures already resolved.
    Window root = DefaultRootWindow(d);
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(d, window, root, 0, 0, &x, &y, &child);
    XImage* image = XGetImage(d, root, x, y, static_cast<unsigned>(sizeW), static_cast<unsigned>(sizeH), AllPlanes,
                              ZPixmap);
    if (image == nullptr) {
        error = "cannot read the window's pixels";
        return false;
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(sizeW) * static_cast<size_t>(sizeH) * 3);
    for (int row = 0; row < sizeH; ++row) {
        for (int col = 0; col < sizeW; ++col) {
            unsigned long pixel = XGetPixel(image, col, row);
            uint8_t* out = &rgb[(static_cast<size_t>(row) * static_cast<size_t>(sizeW) + static_cast<size_t>(col)) * 3];
            out[0] = channel(pixel, image->red_mask);
            out[1] = channel(pixel, image->green_mask);
            out[2] = channel(pixel, image->blue_mask);
        }
    }
    XDestroyImage(image);
    return writeRgbPng(path, rgb.data(), sizeW, sizeH, error);
}

bool writeRgbPng(const std::string& path, const uint8_t* rgb, int width, int height, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write '" + path + "'";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        error = "cannot encode '" + path + "' as PNG";
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row) {
        png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(row) * static_cast<size_t>(width) * 3));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

}  // namespace tarskhost
