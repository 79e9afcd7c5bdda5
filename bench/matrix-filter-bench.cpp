// The Matrix and Filter tabs and the analysis strip, CPU only (an editor without a window over a real
// effect object; the pages' widgets run, the draw list is built and emptied, no GL):
//   PageBuild/<tab>     one page alone (Matrix; Filter Linear with the decay graph; Filter Nonlinear
//                       with the transfer curve) built in a frame, the strip left out.
//   EditorFrame/<tab>   the editor's whole frame on that tab: snapshot, header, page, analysis strip
//                       (one phase per frame, so the mean over three frames), write-back.
//   StripPhase/<phase>  one phase of the analysis strip: 0 cooks, renders the response and transforms
//                       the first half (at the 0.3 s length, 16384 samples, and the 30 s length), 1 the
//                       second half, 2 the reduction to 256 bands and their colours.
// Run: cmake --build build --target matrix-filter-bench && build/bench/matrix-filter-bench
#include <benchmark/benchmark.h>

#include "editor/analysis-strip.h"
#include "editor/editor-pages.h"
#include "editor/editor.h"
#include "plugin/fake-host.h"
#include "plugin/verb-effect.h"

namespace tarsk {
namespace {

using test::FakeHost;
using test::FakeHostScope;

struct Bench {
    FakeHost host;
    FakeHostScope scope{host};
    VerbEffect effect{FakeHost::callback};
    EditorSettings settings;
    Editor editor{effect, nullptr, settings};

    explicit Bench(int32_t tab, int32_t filterTab) {
        ProgramSnapshot snap;
        effect.snapshot(snap);
        snap.record.setF(word::halfLife, 1000.0f);
        snap.record.setU(word::flags, snap.record.u(word::flags) | flag::multitap | flag::innerFeedback);
        const uint8_t mask[kChangeFlagCount] = {1, 1, 1, 1};
        effect.commit(snap, mask);
        editor.hoverChanged(true);
        editor.setPage(kPageEditor);
        editor.setSubPage(tab);
        editor.viewWord(kViewFilterTab) = filterTab;
        for (int i = 0; i < 6; ++i) {
            editor.draw();
        }
    }
};

void drawTab(Editor& editor, int32_t tab) {
    if (tab == kTabMatrix) {
        drawMatrixPage(editor);
    } else {
        drawFilterPage(editor);
    }
}

void PageBuild(benchmark::State& state) {
    const int32_t tab = state.range(0) == 0 ? kTabMatrix : kTabFilter;
    const int32_t filterTab = state.range(0) == 2 ? 2 : 1;
    Bench b(tab, filterTab);
    const float u = b.editor.unit();
    for (auto _ : state) {
        b.editor.beginFrame();
        b.editor.pushGroup(kGroupPage, UiPoint{0.0f, 4.0f * u});
        drawTab(b.editor, tab);
        b.editor.popGroup();
        b.editor.endFrame();
        b.editor.flushHeldFrame();
    }
}
BENCHMARK(PageBuild)->Arg(0)->Arg(1)->Arg(2)->ArgName("matrix0_linear1_nonlinear2")->Unit(benchmark::kMicrosecond);

void EditorFrame(benchmark::State& state) {
    const int32_t tab = state.range(0) == 0 ? kTabMatrix : kTabFilter;
    const int32_t filterTab = state.range(0) == 2 ? 2 : 1;
    Bench b(tab, filterTab);
    for (auto _ : state) {
        b.editor.draw();
    }
}
BENCHMARK(EditorFrame)->Arg(0)->Arg(1)->Arg(2)->ArgName("matrix0_linear1_nonlinear2")->Unit(benchmark::kMicrosecond);

void StripPhase(benchmark::State& state) {
    const int phase = static_cast<int>(state.range(0));
    const int length = static_cast<int>(state.range(1));
    Bench b(kTabMatrix, 1);
    const ProgramRecord record = b.editor.program();
    AnalysisStrip strip;
    // Each cycle with the other channel, so that it is a new response the strip renders.
    int channel = 0;
    auto step = [&] {
        if (strip.phase() == 0) {
            channel ^= 1;
        }
        strip.step(record, 44100.0f, 120.0f, length, channel);
    };
    for (int i = 0; i < 3; ++i) {
        step();
    }
    for (auto _ : state) {
        state.PauseTiming();
        while (strip.phase() != phase) {
            step();
        }
        state.ResumeTiming();
        step();
    }
}
BENCHMARK(StripPhase)->Args({0, 3})->Args({0, 7})->Args({1, 3})->Args({2, 3})->ArgNames({"phase", "length"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarsk

BENCHMARK_MAIN();
