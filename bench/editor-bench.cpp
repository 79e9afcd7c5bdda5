// Editor window benchmarks under a private Xvfb with Mesa's llvmpipe, at display scale 1:
//   EditorFirstOpen effEditOpen to the end of the first frame (first effEditIdle) of a new instance's
//                   editor; open_ms is the open and first frame alone.
//   EditorReopen    the same for an editor that was open before (its window and context were kept).
//   EditorSteadyFrame  CPU time per steady frame of the open editor that reaches the screen: the whole
//                   process (llvmpipe's rasteriser threads included) and the calling thread alone;
//                   effEditIdle is called 34 ms after the last one with the window exposed, so every
//                   call draws and presents a frame.
//   EditorIdle/page  CPU of the whole process per effEditIdle every 20 ms, resting on the Summary page
//                   (0) or the Editor page (1); frames identical to the last skip GL.
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

#include "editor-bench-support.h"
#include "host/xvfb-server.h"
#include "plugin/editor-view.h"
#include "plugin/verb-effect.h"

namespace {

using benchsupport::DiscardingRenderer;
using benchsupport::quietHost;
using benchsupport::Screen;

using Clock = std::chrono::steady_clock;

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

Screen& screen() {
    static Screen s{"editor-bench"};
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
    tarsk::GlRootView& root = effect.editor()->rootView();
    uint64_t framesBefore = root.framesDrawn();
    double cpu = 0.0;
    double threadCpu = 0.0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(34));
        // A frame that must reach the screen: the window asks for a repaint.
        XClearArea(screen().display, static_cast<Window>(root.platformWindow()->nativeHandle()), 0, 0, 0, 0, True);
        XSync(screen().display, False);
        double before = processCpuSeconds();
        double threadBefore = threadCpuSeconds();
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        cpu += processCpuSeconds() - before;
        threadCpu += threadCpuSeconds() - threadBefore;
    }
    uint64_t frames = root.framesDrawn() - framesBefore;
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["cpu_ms_per_frame"] = frames > 0 ? cpu * 1000.0 / static_cast<double>(frames) : 0.0;
    state.counters["ui_thread_cpu_ms_per_frame"] = frames > 0 ? threadCpu * 1000.0 / static_cast<double>(frames) : 0.0;
    state.counters["msaa_samples"] = root.sampleCount();
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}
BENCHMARK(EditorSteadyFrame)->Unit(benchmark::kMillisecond)->Iterations(60);

// An open editor as a host keeps it: effEditIdle every 20 ms, resting on a page (0 Summary, 1 Editor
// with its analysis strip). CPU of the whole process per idle call, llvmpipe's threads included;
// presented_share is the part of the frames that went to GL (the rest were identical and skipped).
void EditorIdle(benchmark::State& state) {
    if (!screen().ok) {
        state.SkipWithError("no Xvfb");
        return;
    }
    tarsk::VerbEffect effect(quietHost);
    effect.dispatch(vst2::effVendorSpecific, tarsk::kVendorIndexPage, state.range(0), nullptr, 0);
    effect.dispatch(vst2::effEditOpen, 0, 0, screen().parentPointer(), 0);
    for (int i = 0; i < 10; ++i) {
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    tarsk::GlRootView& root = effect.editor()->rootView();
    uint64_t framesBefore = root.framesDrawn();
    uint64_t presentedBefore = root.framesPresented();
    double cpu = 0.0;
    double threadCpu = 0.0;
    int64_t calls = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        double before = processCpuSeconds();
        double threadBefore = threadCpuSeconds();
        effect.dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
        cpu += processCpuSeconds() - before;
        threadCpu += threadCpuSeconds() - threadBefore;
        ++calls;
    }
    state.counters["ui_thread_cpu_ms_per_idle"] = calls > 0 ? threadCpu * 1000.0 / static_cast<double>(calls) : 0.0;
    uint64_t frames = root.framesDrawn() - framesBefore;
    state.counters["cpu_ms_per_idle"] = calls > 0 ? cpu * 1000.0 / static_cast<double>(calls) : 0.0;
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["presented_share"] =
        frames > 0 ? static_cast<double>(root.framesPresented() - presentedBefore) / static_cast<double>(frames) : 0.0;
    effect.dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
}
BENCHMARK(EditorIdle)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(100);

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
