// What the editor benchmarks that open a window share: one Xvfb with a host window for the editor to
// open in, besides the quiet host and the discarding renderer.
#pragma once

#include <X11/Xlib.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "bench-editor-quiet.h"
#include "host/xvfb-server.h"
#include "plugin/vst2-abi.h"
#include "tarsklib/ui-renderer.h"

namespace benchsupport {

// An Xvfb for the whole run and a host window the editor opens in; ok tells whether both exist.
struct Screen {
    tarskhost::XvfbServer server;
    Display* display = nullptr;
    Window parent = 0;
    bool ok = false;

    explicit Screen(const char* program) {
        std::string error;
        if (!server.start(error)) {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
            return;
        }
        display = XOpenDisplay(nullptr);
        if (display == nullptr) {
            return;
        }
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 640, 320, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
        ok = true;
    }
    ~Screen() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    void* parentPointer() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(parent)); }
};

}  // namespace benchsupport
