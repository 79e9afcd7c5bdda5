// Editor window benchmarks under a private Xvfb with Mesa's llvmpipe, at display scale 1:
//   EditorFirstOpen effEditOpen to the end of the first frame (first effEditIdle) of a new instance's
//                   editor; open_ms is the open and first frame alone.
//   EditorReopen    the same for an editor that was open before (its window and context were kept).
//   EditorSteadyFrame  CPU time per steady frame of the open editor: the whole process (llvmpipe's
//                   rasteriser threads included) and the calling thread alone; effEditIdle is called
//                   34 ms after the last one, so every call draws a frame.
//   EditorFrameBuild/page  our own part of a frame on each page (0 Summary ... 5 Settings): the editor
//                   takes its snapshot, builds the header and the page in its draw list, flushes it into a
//                   renderer that discards the batches (no GL driver time is counted) and writes back.
// Run: cmake --build build --target editor-bench && build/bench/editor-bench
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "host/xvfb-server.h"
#include "plugin/verb-effect.h"

namespace {

using Clock = std::chrono::steady_clock;

intptr_t quietHost(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One Xvfb for the whole run and a host window the editor opens in.
struct Screen {
    tarskhost::XvfbServer server;
    Display* display = nullptr;
    Window parent = 0;
    bool ok = false;

    Screen() {
        std::string error;
        if (!server.start(error)) {
            std::fprintf(stderr, "editor-bench: %s\n", error.c_str());
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
    void* parentPointer() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(parent)); }
};

Screen& screen() {
    static Screen s;
    return s;
}

// The first open of an editor: its own connection, window, context and first shader compilations.
void EditorFirstOpen(benchmark::State& state) {
    if (!screen().ok) {
        state.SkipWithError("no Xvfb");
        return;
    }
    double openSeconds = 0.0;
    int64_t opens = 0;
    for (auto _ : state) {
        tarsk::VerbEffect effect(quietHost);
        auto start = Clock::now();
        effect.dispatch(vst2::effEditOpen, 0, 0, screen().parentPointer(), 0);
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        openSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++opens;
        effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    }
    state.counters["open_ms"] = opens > 0 ? openSeconds * 1000.0 / static_cast<double>(opens) : 0.0;
}
BENCHMARK(EditorFirstOpen)->Unit(benchmark::kMillisecond)->Iterations(5);

// Reopening the editor of an instance whose editor was open before (the host closed and reopened it).
void EditorReopen(benchmark::State& state) {
    if (!screen().ok) {
        state.SkipWithError("no Xvfb");
        return;
    }
    tarsk::VerbEffect effect(quietHost);
    effect.dispatch(vst2::effEditOpen, 0, 0, screen().parentPointer(), 0);
    effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    double openSeconds = 0.0;
    int64_t opens = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        effect.dispatch(vst2::effEditOpen, 0, 0, screen().parentPointer(), 0);
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        openSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++opens;
        effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    }
    state.counters["open_ms"] = opens > 0 ? openSeconds * 1000.0 / static_cast<double>(opens) : 0.0;
}
BENCHMARK(EditorReopen)->Unit(benchmark::kMillisecond)->Iterations(20);

void EditorSteadyFrame(benchmark::State& state) {
    if (!screen().ok) {
        state.SkipWithError("no Xvfb");
        return;
    }
    tarsk::VerbEffect effect(quietHost);
    effect.dispatch(vst2::effEditOpen, 0, 0, screen().parentPointer(), 0);
    for (int i = 0; i < 5; ++i) {  // past the first frames
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(34));
    }
    uint64_t framesBefore = effect.editor()->rootView().framesDrawn();
    double cpu = 0.0;
    double threadCpu = 0.0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(34));
        double before = processCpuSeconds();
        double threadBefore = threadCpuSeconds();
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        cpu += processCpuSeconds() - before;
        threadCpu += threadCpuSeconds() - threadBefore;
    }
    uint64_t frames = effect.editor()->rootView().framesDrawn() - framesBefore;
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["cpu_ms_per_frame"] = frames > 0 ? cpu * 1000.0 / static_cast<double>(frames) : 0.0;
    state.counters["ui_thread_cpu_ms_per_frame"] = frames > 0 ? threadCpu * 1000.0 / static_cast<double>(frames) : 0.0;
    state.counters["msaa_samples"] = effect.editor()->rootView().sampleCount();
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}
BENCHMARK(EditorSteadyFrame)->Unit(benchmark::kMillisecond)->Iterations(60);

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

void EditorFrameBuild(benchmark::State& state) {
    if (!screen().ok) {
        state.SkipWithError("no Xvfb");
        return;
    }
    tarsk::VerbEffect effect(quietHost);
    effect.dispatch(vst2::effEditOpen, 0, 0, screen().parentPointer(), 0);
    effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
    DiscardingRenderer renderer;
    tarsk::Editor& editor = effect.editor()->editor();
    editor.useRenderer(&renderer);
    editor.setPage(static_cast<int32_t>(state.range(0)));
    editor.draw();
    for (auto _ : state) {
        editor.draw();
    }
    state.counters["draw_calls"] = editor.drawList().stats().drawCalls;
    editor.useRenderer(nullptr);
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}
BENCHMARK(EditorFrameBuild)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
