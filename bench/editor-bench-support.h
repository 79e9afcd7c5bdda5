// What the editor benchmarks share: a host callback that answers only its version, one Xvfb with a
// host window for the editor to open in, and a renderer that takes the batches and draws nothing.
#pragma once

#include <X11/Xlib.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "host/xvfb-server.h"
#include "plugin/vst2-abi.h"
#include "tarsklib/ui-renderer.h"

namespace benchsupport {

inline intptr_t quietHost(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

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

// A renderer that takes the batches and draws nothing.
class DiscardingRenderer final : public tarsk::Renderer {
public:
    bool makeCurrent() override { return true; }
    void release() override {}
    const char* vendor() const override { return ""; }
    const char* rendererName() const override { return "discard"; }
    const char* version() const override { return ""; }
    void beginFrame() override {}
    void setView(int, int, int, int, float, float, float, float) override {}
    void clear() override {}
    void endFrame() override {}
    void beginBatches() override {}
    bool drawBatch(const tarsk::DrawBatch& batch) override {
        benchmark::DoNotOptimize(batch.vertices);
        return true;
    }
    void endBatches() override {}
    tarsk::TextureId createAlphaTexture(const tarsk::TextureLevel*, int, int, float) override { return 0; }
    tarsk::TextureId createRgbaTexture(const uint8_t*, int, int) override { return 0; }
    void deleteTexture(tarsk::TextureId) override {}
};

}  // namespace benchsupport
